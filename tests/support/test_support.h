// Shared helpers for the tests: scratch folders, files, captured console output.
#pragma once

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "driver/program_output.h"
#include "model/clock.h"
#include "model/instance.h"
#include "model/moves.h"
#include "model/route.h"
#include "model/route_cache.h"
#include "search/search_output.h"
#include "search/search_state.h"
#include "search/settings.h"
#include "search/tabu_search.h"

namespace testing_support {

// A fresh empty folder that becomes the working directory for the lifetime of
// the object (the program reads and writes bare file names); the previous
// working directory is restored and the folder removed afterwards.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

void write_file(const std::filesystem::path& path, const std::string& bytes);
std::string read_file(const std::filesystem::path& path);

// Runs `body` with standard output sent to a file and returns what it printed.
std::string capture_stdout(const std::function<void()>& body);

// Sends standard output to standard error, for EXPECT_EXIT, which matches the
// messages a dying statement writes on standard error.
void stdout_to_stderr();

// Splits text into lines (without their line ends).
std::vector<std::string> split_lines(const std::string& text);

// A matrix of (n+1) x (n+1) cells from a row-major list.
DistanceMatrix make_matrix(int n, const std::vector<float>& cells);

// A random instance: n customers, distances drawn on a grid of points (or
// fully random, asymmetric, when `asymmetric`), demands in 1..max_demand.
struct RandomInstance {
  DistanceMatrix matrix;
  DemandVector demand;
};
RandomInstance random_instance(int n, unsigned seed, int max_demand, bool asymmetric);

// An instance with the state a search works on: the current and best Routes
// and their objectives (capacity 160, overload penalty 1000).
struct SearchProblem {
  DistanceMatrix matrix;
  DemandVector demand;
  int capacity = 160;
  Route current;
  Route best;
  float fo = 0.0f;
  float fomin = 0.0f;
  int length() const { return static_cast<int>(current.size()); }
  int customers() const { return matrix.rows - 1; }
  // objective_value of a Route of this instance.
  float objective(const Route& route) const;
  // Makes `route` both the current and the best Route.
  void start_from(Route route);
  // The instance the searches take (a copy).
  Instance instance() const;
  // Runs `search` (simulated_annealing, tabu_search, hybrid_search) on the
  // current and best Routes from state.moves = `moves`, and carries the
  // Routes and objectives back.
  using SearchFunction = SearchEnd (*)(const Instance&, const Settings&, SearchState&, SearchOutput&, Evaluation);
  SearchEnd run(SearchFunction search, const Settings& settings, SearchOutput& output, ClockTicks start_clock = 0,
                Evaluation evaluation = Evaluation::incremental, long long moves = 0);
};

// The program's output, which also keeps every swap the tabu search makes.
class TracingOutput : public ProgramOutput {
 public:
  std::vector<SwapChoice> trace;
  void tabu_move_chosen(long long iter, float delta, const MoveValue& move) override {
    trace.push_back({move.first, move.second, delta});
    ProgramOutput::tabu_move_chosen(iter, delta, move);
  }
};

// The program's move: the swap of positions i and j.
inline MoveValue position_swap(int i, int j) { return {MoveKind::position_swap, i, j, 0}; }

// examples/cmt1 as the program reads it.
Instance cmt1_instance();

// examples/cmt1 with the program's initial Route (seed 19000).
SearchProblem cmt1_problem();

// random_instance(n, seed, max_demand, asymmetric) with an initial Route built
// after seed_random(seed).
SearchProblem random_problem(int n, unsigned seed, int max_demand);

// Writes "solucao.dat" in the working directory through final_report, its
// console copy discarded and its pause fed from an empty standard input.
void write_report(float fomin, const DemandVector& demand, const Route& best, const DistanceMatrix& matrix,
                  int capacity = 160);

// CMT1's best known trips, as examples/cmt1/CMT1.sol lists them.
std::vector<std::vector<int>> cmt1_best_trips();

// The Route of `trips`, each closed by a zero, padded with zeros to `length`.
Route route_of(const std::vector<std::vector<int>>& trips, std::size_t length = 56);

// A companion program run in the current folder: its exit status (-1 when
// it did not exit), standard error and standard output.
struct ToolOutcome {
  int status;
  std::string errors;
  std::string output;
};
ToolOutcome run_tool(const std::string& binary, const std::string& args);

// The files the program wrote on the bundled instance for each menu choice
// under a counting clock: golden_folder() / "annealing", "tabu", "hybrid".
std::filesystem::path golden_folder();

// gzip's decompression of a file; empty when it cannot be read.
std::string gunzipped(const std::filesystem::path& path);

// The names of the entries of a folder.
std::set<std::string> listing(const std::filesystem::path& folder);

// One line of a progress log; read_log (through the program's log reader)
// fails the test on a line that does not have the log's exact format.
struct LogLine {
  double seconds;
  double objective;
  long long counter;
};
std::vector<LogLine> read_log(const std::string& path);

}  // namespace testing_support
