// The CVRPLIB solution file (".sol"), the form the field's solvers write and
// its checkers read: one line "Route #k: c1 c2 ..." per non-empty route, in
// order, then "Cost X". Customers are numbered 1..n with the depot left out,
// the program's own numbering.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/instance.h"

struct CvrplibSolution {
  std::vector<std::vector<int>> routes;
  double cost = 0.0;
  // The decimals the Cost was written with (those after the point, less a
  // written exponent, at least 0): the precision it is checked to. A solution
  // made in memory is written with two.
  int cost_decimals = 2;
};

// The text of a solution file; the cost is printed with two decimals ("%.2f").
std::string cvrplib_solution_text(const std::vector<std::vector<int>>& routes, double cost);

// Reads a solution file: "Route #k: ..." lines numbered 1, 2, ... in order,
// each with at least one customer number, then one "Cost X" line (X a finite
// real); blank lines, trailing blanks and "\r\n" line ends are allowed, and
// nothing may follow the Cost line. Returns "NAME:LINE: ..." or "NAME: ..."
// for the first departure, or nothing.
std::optional<std::string> parse_cvrplib_solution(std::string_view text, const std::string& name,
                                                  CvrplibSolution& solution);

// parse_cvrplib_solution on a file; one that cannot be read gives "PATH: cannot read: reason".
std::optional<std::string> read_cvrplib_solution(const std::string& path, CvrplibSolution& solution);

// Whether `cost` stands for `exact` to `decimals` decimals: they differ by at
// most half a unit of the last decimal (with a relative slack of 1e-10 for
// the doubles' own rounding).
bool same_to_decimals(double cost, double exact, int decimals);

// Checks a solution of `instance`: every customer 1..n in exactly one route,
// no route's load above the capacity, and the Cost, to the decimals it was
// written with (same_to_decimals), the routes' true cost (routes_cost: the
// double sum of the instance's true distances, as the field's checkers
// compute it). Returns "NAME: ..." for the first departure, or nothing.
std::optional<std::string> check_cvrplib_solution(const CvrplibSolution& solution, const std::string& name,
                                                  const Instance& instance);

// A best known cost as a command line gives it: a positive number, or the path
// of a CVRPLIB solution file whose Cost is read (and must be positive). A
// number that is not positive is refused as "SHOWN: not a positive number",
// with `shown` the argument as the user gave it; `number_refused` then tells
// the caller that the argument itself is wrong (a usage error), not a file.
// With `instance`, a solution file must be a solution of it
// (check_cvrplib_solution), else it is refused as
// "PATH: not a solution of NAME: why".
struct BestKnown {
  double cost = 0.0;
  int decimals = 0;          // the decimals the cost was written with (as CvrplibSolution's)
  std::string file;          // the solution file's path; empty when given as a number
  bool number_refused = false;  // on failure: the text is a number, and not a usable cost
};
std::optional<std::string> read_best_known(const std::string& text, const std::string& shown, BestKnown& best,
                                           const Instance* instance = nullptr);

// A cost below the best known one by more than the best known's precision
// (half a unit of its last written decimal, as same_to_decimals): a new best
// known, or a fault; either way not a plain gap.
bool below_best_known(double cost, double best, int best_decimals);
bool below_best_known(double cost, const BestKnown& best);

// The gap of `cost` to a positive `best`, 100 * (cost - best) / best, as
// text: "%.2f%%" while it is below 1e9 %, then "%.3g%%" ("1.5e+302%"); a gap
// beyond the double range (a best known below 1e-300 or so) as
// "above 1e+308%". Always finite text of at most 16 characters.
std::string gap_text(double cost, double best);
