// cvrpbatch's command line: the subcommand, its options and its help.
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include "tools/cvrpbatch/batch.h"

namespace {

using companion::CommandLine;
using companion::Usage;

const char* const kUsage =
    "usage: cvrpbatch run --choices 1,2,3 --out RESULTS [--program PATH] [--timeout SECONDS] FOLDER...\n"
    "       cvrpbatch jobs --choices 1,2,3 --out RESULTS [--program PATH] [--timeout SECONDS] FOLDER...\n"
    "       cvrpbatch collect [--best NAME=VALUE|NAME=FILE.sol]... RESULTS\n"
    "       cvrpbatch [SUBCOMMAND] --help\n";

const char* const kWallClock =
    "The program's 30-second limit is wall-clock time: runs that share cores (jobs\n"
    "run in parallel on one machine) search less and get other results. One run at\n"
    "a time per core is the fair comparison.\n";

const char* const kAbout =
    "Runs cvrp unchanged on instance folders and menu choices, and compares the runs.\n"
    "\n"
    "Subcommands:\n"
    "  run       runs the program once per instance folder and choice, one run at a\n"
    "            time, each in a run folder RESULTS/NAME-CHOICE of its own\n"
    "  jobs      prints the same runs as shell commands, one per line, for GNU parallel\n"
    "            (on many machines: parallel --sshloginfile hosts.txt), xargs or a job array\n"
    "  collect   gathers the run folders under RESULTS into results.csv, summary.md and\n"
    "            a progress plot per instance\n"
    "\n";

const char* const kRunOptions =
    "Options of run and jobs:\n"
    "  --choices LIST   menu choices, separated by commas: 1 simulated annealing,\n"
    "                   2 tabu search, 3 hybrid\n"
    "  --out RESULTS    the results folder (made when missing)\n"
    "  --program PATH   the program to run (default: the cvrp built beside cvrpbatch)\n"
    "  --timeout SECONDS  the longest a run may take (default 120): a run still going\n"
    "                   then is ended, with every process it started, and recorded as failed\n"
    "  FOLDER...        instance folders, each with distancia.dat and demanda.dat (and\n"
    "                   coordenadas.dat, a best known .sol); NAME is the folder's name.\n"
    "                   Paths holding a control character (a line break) are refused\n";

const char* const kCollectOptions =
    "Options of collect:\n"
    "  --best NAME=VALUE      the best known total distance of instance NAME, a positive\n"
    "                         number (one --best per instance)\n"
    "  --best NAME=FILE.sol   the same, from the Cost line of a CVRPLIB solution file\n"
    "                         (without --best: the run folder's best-known.sol, if any)\n"
    "                         NAME is all before the last '=', so it may hold '=';\n"
    "                         VALUE and FILE.sol may not\n";

const char* const kRunHelp =
    "run: checks every argument first (nothing is written if one is wrong), then runs\n"
    "the program once per instance folder and choice, one at a time, with the choice\n"
    "on its standard input, in RESULTS/NAME-CHOICE: the instance's .dat files, its\n"
    "best known .sol (as best-known.sol), the logs and solucao.dat the program writes,\n"
    "console.txt (the console's first lines and final report; never the whole console)\n"
    "and run.txt (instance, choice, program, host, start, wall_seconds, exit_status,\n"
    "status ok|failed, message, instance_folder, instance_id: a hash of the instance's\n"
    ".dat files). A run folder is made under a temporary name (RESULTS/.NAME-CHOICE.*)\n"
    "and renamed when the run is over. A run that fails (exit status not 0, a signal,\n"
    "the time limit, or a report refused by the check) is recorded as failed and the\n"
    "batch goes on; the exit status is then 1. A run folder that exists is skipped\n"
    "when it holds a run of the same instance (the same instance_id), so an interrupted\n"
    "batch resumes: remove a run folder to redo its run. One of another instance under\n"
    "the same name is refused before anything runs.\n"
    "\n"
    "jobs: checks the same arguments and prints one command per run, each a cvrpbatch\n"
    "run of one instance and one choice with absolute paths, for example\n"
    "  cvrpbatch jobs ... > jobs.txt; parallel -j 1 < jobs.txt\n"
    "  xargs -d '\\n' -P 2 -I{} sh -c {} < jobs.txt\n"
    "The paths must exist on every machine that runs them (a shared folder).\n"
    "\n";

const char* const kCollectHelp =
    "collect: reads every run folder under RESULTS (made here or copied back from\n"
    "other machines), checks again each run recorded ok (its report against the\n"
    "instance in its folder, its logs against the report) and writes, all together:\n"
    "  results.csv        one row per run\n"
    "  summary.md         per choice: runs, failed runs, feasible results, the\n"
    "                     instances where it found the best objective, the mean gap\n"
    "                     to the best known and to the batch's best\n"
    "  plots/NAME.svg     the runs of each instance together, one curve per choice\n"
    "  plots/NAME.png\n"
    "A run folder that fails the check becomes a failed row. Folders without run.txt\n"
    "are not runs, and a second run of the same instance and choice (a copied run\n"
    "folder) is not counted: both are named on standard error. Runs of two different\n"
    "instances under one name are refused. The exit status is 0 when the files are\n"
    "written, failed rows or not.\n"
    "\n";


std::string help_of(std::string_view subcommand) {
  std::string text = std::string(kUsage) + "\n";
  if (subcommand == "run" || subcommand == "jobs") return text + kRunHelp + kRunOptions + "\n" + kWallClock;
  if (subcommand == "collect") return text + kCollectHelp + kCollectOptions + "\n" + kWallClock;
  return text + kAbout + kRunOptions + kCollectOptions +
         "  --help                 this text; cvrpbatch SUBCOMMAND --help: that subcommand's\n\n" + kWallClock;
}

batch::BatchArguments batch_arguments(CommandLine& args) {
  batch::BatchArguments arguments;
  bool have_choices = false, have_out = false;
  std::string value;
  while (!args.done()) {
    if (args.option("--choices", arguments.choices)) {
      have_choices = true;
    } else if (args.option("--out", arguments.results)) {
      have_out = true;
    } else if (args.option("--program", value)) {
      arguments.program = value;
    } else if (args.option("--timeout", value)) {
      arguments.timeout = value;
    } else {
      arguments.folders.push_back(args.operand());
    }
  }
  if (!have_choices) throw Usage{"--choices is missing"};
  if (!have_out) throw Usage{"--out is missing"};
  if (arguments.folders.empty()) throw Usage{"no instance folder given"};
  return arguments;
}

batch::CollectArguments collect_arguments(CommandLine& args) {
  batch::CollectArguments arguments;
  std::string value;
  bool have_results = false;
  while (!args.done()) {
    if (args.option("--best", value)) {
      arguments.best.push_back(value);
    } else if (!have_results) {
      arguments.results = args.operand();
      have_results = true;
    } else {
      throw Usage{"more than one results folder given"};
    }
  }
  if (!have_results) throw Usage{"no results folder given"};
  return arguments;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string_view subcommand = argc > 1 ? argv[1] : "";
  const bool known = subcommand == "run" || subcommand == "jobs" || subcommand == "collect";
  if (companion::asks_help(argc, argv)) {
    std::printf("%s", help_of(known ? subcommand : "").c_str());
    return 0;
  }
  return companion::run_companion("cvrpbatch", kUsage, [&] {
    if (!known)
      throw Usage{subcommand.empty() ? "no subcommand given" : "unknown subcommand " + std::string(subcommand)};
    CommandLine args(argc, argv, 2);
    if (subcommand == "collect") return batch::collect(collect_arguments(args));
    const batch::Batch checked = batch::checked_batch(batch_arguments(args));
    if (subcommand == "jobs") {
      batch::print_jobs(checked);
      return 0;
    }
    return batch::run_batch(checked);
  });
}
