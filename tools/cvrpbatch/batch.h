// cvrpbatch: runs cvrpsolve's searches on CVRPLIB instances over seeds and
// settings, or the program unchanged on instance folders and menu choices,
// one run at a time, each in a run folder of its own, and gathers the run
// folders into a table, a summary and pictures.
//
//   cvrpbatch run|jobs --searches LIST --seeds LIST (--time S | --moves N | --iterations N)...
//                      [--round] [--set NAME=V1,V2]... [--best NAME=VALUE]... [--solver PATH]
//                      [--timeout S] --out RESULTS INSTANCE.vrp...
//   cvrpbatch run|jobs --choices 1,2,3 --out RESULTS [--program PATH] [--timeout S] FOLDER...
//   cvrpbatch collect [--best NAME=VALUE|NAME=FILE.sol]... RESULTS
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "model/cvrplib.h"
#include "report/cvrplib_solution.h"
#include "report/progress_log_reader.h"
#include "report/run_folder.h"
#include "search/settings.h"
#include "tools/common/command_line.h"
#include "tools/plot/output.h"

namespace batch {

// A folder that cannot be used, or an output that cannot be written: the
// message goes to standard error and the exit status is 1.
using companion::Refused;
using companion::refuse_on;
using companion::fixed;

// The program's sizes, for the library's readers and checks.
RunSizes run_sizes();

// The search a menu choice runs, as the program's menu names it.
std::string search_name(int choice);

// The identity of an instance folder (or of a run folder's copies of its
// files) as run.txt records it; throws Refused when a file cannot be read.
std::string folder_identity(const std::filesystem::path& folder);

// A line of results.csv: the fields joined by commas, each quoted when it
// holds a comma, a quote or a line break.
std::string csv_line(const std::vector<std::string>& fields);

// The gap of a cost to the best known cost, in percent.
double gap_percent(double cost, double best_known);

// Whether a cost is below the best known cost by more than the best
// known's precision (below_best_known, the decimals of its shortest text): a
// new best known, or a fault, that results.csv's message and summary.md name.
bool below_known_cost(double cost, double best_known);

// A gap with `format` ("%.2f") while below 1e9 in size, then "%.3g": a
// best known cost such as 1e-300 gives no 300-digit figure.
std::string gap_figure(double gap, const char* format);

// "1 run", "2 runs".
std::string counted(std::size_t count, const std::string& noun);

// A finished run's folder read back and checked through the library, and its
// logs those of the search its menu choice runs. Returns the message of the
// first inconsistency, or nothing.
std::optional<std::string> read_checked_run(const std::filesystem::path& folder, int choice, RunFolder& run);

// run.txt's key=value lines; an unreadable file gives the message.
std::optional<std::string> read_run_record(const std::filesystem::path& path, std::map<std::string, std::string>& values);

// The arguments of run and jobs, as given on the command line: the
// program's runs (--choices, instance folders) or cvrpsolve's (--searches,
// .vrp files).
struct BatchArguments {
  std::optional<std::string> choices;  // "1,2,3"
  std::string results;                 // RESULTS
  std::optional<std::string> program;  // --program, when given
  std::optional<std::string> timeout;  // --timeout, when given
  std::vector<std::string> folders;    // the operands: instance folders or .vrp files
  // cvrpsolve's runs.
  std::optional<std::string> searches, seeds, time, moves, iterations, solver;
  bool round = false;
  std::vector<std::string> sets;  // NAME=V1,V2
  std::vector<std::string> best;  // NAME=VALUE or NAME=FILE.sol
};

struct InstanceFolder {
  std::filesystem::path folder;                     // absolute
  std::string name;                                 // the folder's own name: runs are RESULTS/NAME-CHOICE
  std::string identity;                             // a hash of its instance files, as run.txt records it
  std::optional<std::filesystem::path> best_known;  // its one .sol file, when it has exactly one
};

// The default limit of one run's time, well above the program's 30 seconds.
inline constexpr int kDefaultTimeout = 120;

// A batch whose every argument has been checked; all paths are absolute.
struct Batch {
  std::vector<int> choices;
  std::filesystem::path results;
  std::filesystem::path program;
  bool program_given = false;
  int timeout = kDefaultTimeout;  // seconds
  bool timeout_given = false;
  std::vector<InstanceFolder> instances;
};

// The program's runs: every argument checked (no path with a control
// character, the instance files readable and read by the program's own
// readers, the choices, the folder names, RESULTS creatable and writable,
// each run folder already there a run of the same instance, the program
// executable, the time limit) without writing anything (throws Usage or
// Refused on the first problem), then made or printed as jobs.
int program_batch(const BatchArguments& arguments, bool jobs);

// What run.txt records of a run, in order.
using Record = std::vector<std::pair<std::string, std::string>>;

// How a run that exited ended: status "ok", "infeasible" (a cvrpsolve run
// whose best solution overloads a truck) or "failed", why it failed, and
// what the progress line says of it.
struct Verdict {
  std::string status;
  std::string message;
  std::string result;
};

// One run of a batch as the runner makes it.
struct PlannedRun {
  std::string name;                                            // RESULTS/NAME
  std::vector<std::pair<std::filesystem::path, std::string>> copies;  // input files, copied in under these names
  std::vector<std::string> argv;                               // argv[0]: the program's absolute path
  std::string input;                                           // its standard input
  std::string label;                                           // what the progress line says it runs
  std::string identity;                                        // its instance's
  std::string instance_path;                                   // the instance folder or file, as run.txt names it
  std::string command;                                         // run.txt's command; empty for the program's runs
  std::string job;                                             // the shell command of a cvrpbatch run of it alone
  Record head, tail;                                           // run.txt before and after host ... message
  // Judges a run that exited with `exit_status` in `folder` after `wall` seconds.
  std::function<Verdict(const std::filesystem::path& folder, int exit_status, const std::string& console, double wall)>
      judge;
};

// Whether RESULTS/NAME holds the run already: one of the same instance (and,
// for cvrpsolve's runs, the same command) is done; anything else there is
// refused, naming both instances or both commands.
bool done_run(const std::filesystem::path& target, const PlannedRun& run);

// Checks the run folders already in RESULTS (done_run), then prints each
// run's job, one a line, or makes the runs one at a time; returns the exit
// status (1 when a run failed; infeasible runs do not fail). Throws Refused
// when a run folder there is another run's or RESULTS cannot be made.
int make_or_print(const std::filesystem::path& results, const std::vector<PlannedRun>& runs, int timeout, bool jobs);

// Shared by the two kinds of batch (run.cpp).

// `given` made absolute against the working directory, without "." or ".."
// steps or a trailing separator (lexically: links are not followed, the path
// need not exist).
std::filesystem::path absolute_path(const std::string& given);

// Throws Refused, naming `what` and the path with each control character
// shown as '?', when `path` holds a control character (below 0x20, or
// 0x7f): such a path would span lines in jobs' commands, run.txt or a
// message, and POSIX shells have no quoting for it that every one of them
// reads.
void refuse_control_characters(const std::string& what, const std::string& path);

// --out RESULTS, absolute: an existing writable folder, or a path whose
// nearest existing ancestor is a writable folder (RESULTS is made later).
// Creates nothing; throws Refused for a control character, an existing
// non-folder, or a folder that is not (or cannot be made) writable.
std::filesystem::path checked_results(const std::string& given);

// The executable a batch starts, absolute: `given` (the value of `option`),
// or else `beside` in this executable's own folder. Throws Refused when it
// is not a regular file this user may execute, or its path holds a control
// character.
std::filesystem::path checked_executable(const std::optional<std::string>& given, const char* beside,
                                         const char* option);

// --timeout: a whole number of seconds from 1 to 1000000 written in digits
// alone; anything else throws Refused.
int checked_timeout(const std::string& text);

// The identity run.txt records of input files, each given with the name it
// has in a run folder: FNV-1a 64 over each (its name, a NUL, its size as 8
// bytes little-endian, its bytes), in order, as 16 lowercase hexadecimal
// digits; the same on every platform. Throws Refused when a file cannot be
// read.
std::string file_identity(const std::vector<std::pair<std::string, std::filesystem::path>>& files);

// `word` as one word for a POSIX shell: in single quotes, each ' written as
// '\''. (A control character has no such quoting: refuse it first.)
std::string shell_word(const std::string& word);

// The text of run.txt: a key=value line per entry, in order, with each line
// break (\n or \r) of a value made a space.
std::string run_record(const Record& values);

// Whether anything is at `path`: a file, a folder, or a link, even one to
// nothing (the link is not followed); false also when it cannot be looked at.
bool path_taken(const std::filesystem::path& path);

// cvrpsolve's runs: the arguments checked (throws Usage or Refused before
// anything is written), then made or printed as jobs.
int solver_batch(const BatchArguments& arguments, bool jobs);

// The run.txt kind of cvrpsolve's runs, and the files a run folder holds.
inline constexpr const char* kSolverKind = "cvrpsolve";
inline constexpr const char* kInstanceFile = "instance.vrp";
inline constexpr const char* kSolutionFile = "solution.sol";
inline constexpr const char* kLogFile = "progress.log";

// cvrpsolve's searches, in the order the results list them.
inline constexpr const char* kSearches[] = {"annealing", "tabu", "hybrid"};

// cvrpsolve's summary as its run folder's console.txt holds it, read back
// and checked against the run's .sol (read and checked against the
// instance) and its log.
struct SolverOutcome {
  std::map<std::string, std::string> summary;  // "key: value" lines
  std::string cost_text;                       // two decimals
  double cost = 0.0;                           // a feasible run's: its routes' true cost (routes_cost)
  int overload = 0;
  std::vector<ProgressRecord> log;
};

// Checks a finished cvrpsolve run in `folder` that exited with 0 (a
// feasible solution written) or 3 (infeasible: no .sol). Returns the first
// inconsistency, or nothing.
std::optional<std::string> check_solver_run(const std::filesystem::path& folder, int exit_status, bool round,
                                            const std::string& console, SolverOutcome& outcome);

// A run's own time (its summary's "time: S s", in `name`) within its time
// limit (none: 0) plus 2% + 0.5 s, and within the wall time the batch
// measured around it: the first failure, or nothing.
std::optional<std::string> check_solver_time(const std::string& name, const std::string& time, double time_limit,
                                             double wall);

struct CollectArguments {
  std::vector<std::string> best;  // NAME=VALUE or NAME=FILE.sol
  std::string results;
};

// Gathers the run folders under RESULTS; returns the exit status.
int collect(const CollectArguments& arguments);

// The best known costs --best NAME=VALUE|NAME=FILE.sol gives, by instance
// name (all before the last '='): the value as given and what it reads as.
struct GivenBest {
  std::string value;
  BestKnown known;
};
std::map<std::string, GivenBest> given_best_costs(const std::vector<std::string>& arguments);

// Sets the costs --best gave in `best_known`, with a note for each that
// names no instance of the runs under `results`.
void apply_given_best(const std::map<std::string, GivenBest>& given_best, const std::set<std::string>& instances,
                      const std::string& results, std::map<std::string, double>& best_known);

// collect on run folders of cvrpsolve's runs (`names` under `results`, sorted).
int collect_solver_runs(const CollectArguments& arguments, const std::map<std::string, GivenBest>& given_best,
                        const std::vector<std::string>& names);

// Refuses runs of two different instances under one name: rows (with a
// folder, an instance and its recorded instance_id) whose identities differ.
template <class Row>
void refuse_two_instances(const std::filesystem::path& results, const std::vector<Row>& rows) {
  std::map<std::string, const Row*> identified;  // by instance
  for (const Row& row : rows) {
    if (row.instance_id.empty()) continue;
    const auto [first, fresh] = identified.emplace(row.instance, &row);
    if (!fresh && first->second->instance_id != row.instance_id)
      throw Refused{(results / first->second->folder).string() + " and " + (results / row.folder).string() +
                    " hold runs of two different instances named " + row.instance +
                    " (their instance files differ): move one of them out of " + results.string()};
  }
}

// A picture of collect: STEM.svg and STEM.png, drawn into the set of outputs.
struct Picture {
  std::filesystem::path stem;
  std::function<companion::Failure(const plot::Pictures&)> draw;
};

// RESULTS/plots/INSTANCE, for the instance's picture.
std::filesystem::path plot_stem(const std::filesystem::path& results, std::string instance);

// Writes results.csv, summary.md and the pictures all together, after
// checking every target (a folder, FIFO, device or link in place of one is
// refused before anything is written).
void write_collected(const std::filesystem::path& results, const std::string& csv, const std::string& summary,
                     const std::vector<Picture>& pictures);

// The path of this executable.
std::filesystem::path own_path();

}  // namespace batch
