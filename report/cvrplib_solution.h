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

// Checks a solution of `instance`: every customer 1..n in exactly one route,
// no route's load above the capacity, and the Cost, to its two decimals, the
// float sum of the routes' distances in their order (each from the depot
// and back), as a Route's distance is summed. Returns "NAME: ..." for the
// first departure, or nothing.
std::optional<std::string> check_cvrplib_solution(const CvrplibSolution& solution, const std::string& name,
                                                  const Instance& instance);

// A best known cost as a command line gives it: a positive number, or the path
// of a CVRPLIB solution file whose Cost is read (and must be positive). A
// number that is not positive is refused as "SHOWN: not a positive number",
// with `shown` the argument as the user gave it.
struct BestKnown {
  double cost = 0.0;
  std::string file;  // the solution file's path; empty when given as a number
};
std::optional<std::string> read_best_known(const std::string& text, const std::string& shown, BestKnown& best);
