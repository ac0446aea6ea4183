// cvrpbatch: runs the program unchanged on many instances and menu choices,
// one run at a time, each in a run folder of its own, and gathers the run
// folders into a table, a summary and progress plots.
//
//   cvrpbatch run --choices 1,2,3 --out RESULTS [--program PATH] FOLDER...
//   cvrpbatch jobs --choices 1,2,3 --out RESULTS [--program PATH] FOLDER...
//   cvrpbatch collect [--best NAME=VALUE|NAME=FILE.sol]... RESULTS
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "driver/run.h"
#include "report/run_folder.h"
#include "tools/common/command_line.h"

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

// "1 run", "2 runs".
std::string counted(std::size_t count, const std::string& noun);

// A finished run's folder read back and checked through the library, and its
// logs those of the search its menu choice runs. Returns the message of the
// first inconsistency, or nothing.
std::optional<std::string> read_checked_run(const std::filesystem::path& folder, int choice, RunFolder& run);

// run.txt's key=value lines; an unreadable file gives the message.
std::optional<std::string> read_run_record(const std::filesystem::path& path, std::map<std::string, std::string>& values);

// The arguments run and jobs share, as given on the command line.
struct BatchArguments {
  std::string choices;                 // "1,2,3"
  std::string results;                 // RESULTS
  std::optional<std::string> program;  // --program, when given
  std::optional<std::string> timeout;  // --timeout, when given
  std::vector<std::string> folders;    // the instance folders
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

// Checks every argument (no path with a control character, the instance
// files readable and read by the program's own readers, the choices, the
// folder names, RESULTS creatable and writable, each run folder already there
// a run of the same instance, the program executable, the time limit)
// without writing anything; throws Refused on the first problem.
Batch checked_batch(const BatchArguments& arguments);

// Runs the batch, one run at a time; returns the exit status (1 when a run
// failed). Throws Refused when RESULTS cannot be made.
int run_batch(const Batch& batch);

// Prints one shell command per run of the batch.
void print_jobs(const Batch& batch);

struct CollectArguments {
  std::vector<std::string> best;  // NAME=VALUE or NAME=FILE.sol
  std::string results;
};

// Gathers the run folders under RESULTS; returns the exit status.
int collect(const CollectArguments& arguments);

// The path of this executable.
std::filesystem::path own_path();

}  // namespace batch
