// cvrpsolve: the program's three searches, through the same library code,
// on any CVRPLIB instance, with every setting given on the command line.
//
//   cvrpsolve INSTANCE.vrp [--search annealing|tabu|hybrid] [--seed N]
//             [--time S] [--moves N] [--iterations N] [settings...] [--round]
//             [--sol FILE] [--log FILE] [--best VALUE|FILE.sol]
//
// The summary's cost, distance and gap, and the .sol's Cost, are the
// routes' true cost (routes_cost: the field's convention); the search's own
// float objective is its "objective:" line and the log's.
#pragma once

#include <optional>
#include <string>

#include "search/settings.h"

namespace solve {

enum class Method { annealing, tabu, hybrid };

// The exit status when the best solution found still overloads a truck (no
// .sol is written).
inline constexpr int kOverloaded = 3;
// The exit status when the search ended but an output (the .sol or the log)
// could not be written: the summary is printed all the same, and standard
// error names the output and gives the solution's text. It comes before
// kOverloaded and before 128 + N after signal N.
inline constexpr int kUnwritten = 4;
// Besides them: 0, a feasible best solution, written; 128 + N when signal N
// ended the search; 1 and 2 from run_companion, an input or output or a
// command line that cannot be used (nothing is written then).

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
  bool auto_temperature = false;        // "--initial-temperature auto": auto_initial_temperature
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
  std::optional<MoveKinds> neighbourhoods;
  std::optional<int> granularity;
  bool savings_start = false;
  bool adaptive_penalty = false;        // "--penalty adaptive" (then `penalty` is unset)
  std::optional<double> overload_target;
  std::optional<int> ruin_size;
  std::optional<int> ruin_string;
  std::optional<double> blink;
  std::optional<std::string> sol;       // default: the stem + kFoundSuffix
  std::optional<std::string> log;
  std::optional<std::string> best;      // a value or a .sol file
};

// The default --sol in the working directory: the instance file's stem
// followed by this ("X-n101-k25.found.sol"), never its CVRPLIB NAME.sol,
// which later runs read as the best known solution.
inline constexpr const char* kFoundSuffix = ".found.sol";

// The method's name on the command line and in the summary.
const char* method_name(Method method);

// Reads the instance, runs the search and writes the summary (standard
// output) and the outputs; returns the exit status. Throws companion::Refused
// for an input or output that cannot be used (nothing is written then).
int solve(const Request& request);

}  // namespace solve
