// cvrpsolve: the program's three searches, through the same library code,
// on any CVRPLIB instance, with every setting given on the command line.
//
//   cvrpsolve INSTANCE.vrp [--search annealing|tabu|hybrid] [--seed N]
//             [--time S] [--moves N] [--iterations N] [settings...] [--round]
//             [--sol FILE] [--log FILE] [--best VALUE|FILE.sol]
#pragma once

#include <optional>
#include <string>

#include "search/settings.h"

namespace solve {

enum class Method { annealing, tabu, hybrid };

// The exit status when the best solution found still overloads a truck (no
// .sol is written). Besides it: 0, a feasible best solution, written; 1 and
// 2 from run_companion, an input or output or a command line that cannot be
// used.
inline constexpr int kOverloaded = 3;

// A run as the command line asks for it. Settings left unset take the
// program's values for the instance (program_settings, and the minimum
// number of trucks).
struct Request {
  std::string instance;                 // the .vrp file
  Method method = Method::annealing;
  bool round = false;                   // EUC_2D distances rounded to the nearest integer
  std::optional<int> seed;
  std::optional<double> time;           // seconds
  std::optional<long long> moves;       // the annealing's budget
  std::optional<int> iterations;        // the tabu search's budget
  std::optional<float> initial_temperature;
  std::optional<float> cooling;
  std::optional<int> moves_per_temperature;
  std::optional<int> max_stall;
  std::optional<int> tenure;
  std::optional<int> flat_moves;
  std::optional<int> tenure_step;
  std::optional<double> hybrid_share;
  std::optional<int> penalty;
  std::optional<int> vehicles;
  bool vehicles_above_minimum = false;  // "--vehicles +N": the minimum plus `vehicles`
  std::optional<std::string> sol;       // default: the instance file's stem + ".sol" in the working directory
  std::optional<std::string> log;
  std::optional<std::string> best;      // a value or a .sol file
};

// The method's name on the command line and in the summary.
const char* method_name(Method method);

// Reads the instance, runs the search and writes the summary (standard
// output) and the outputs; returns the exit status. Throws companion::Refused
// for an input or output that cannot be used (nothing is written then).
int solve(const Request& request);

}  // namespace solve
