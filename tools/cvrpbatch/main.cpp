// cvrpbatch's command line: the subcommand, its options and its help.
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <utility>

#include "tools/cvrpbatch/batch.h"

namespace {

using companion::CommandLine;
using companion::Usage;

const char* const kUsage =
    "usage: cvrpbatch run|jobs --searches LIST --seeds LIST (--time S | --moves N | --iterations N)...\n"
    "                 [--round] [--set NAME=V1,V2,...]... [--best NAME=VALUE]... [--solver PATH]\n"
    "                 [--timeout SECONDS] --out RESULTS INSTANCE.vrp...\n"
    "       cvrpbatch run --choices 1,2,3 --out RESULTS [--program PATH] [--timeout SECONDS] FOLDER...\n"
    "       cvrpbatch jobs --choices 1,2,3 --out RESULTS [--program PATH] [--timeout SECONDS] FOLDER...\n"
    "       cvrpbatch collect [--best NAME=VALUE|NAME=FILE.sol]... RESULTS\n"
    "       cvrpbatch [SUBCOMMAND] --help\n";

const char* const kWallClock =
    "Time limits (the program's 30 seconds, --time) are wall-clock time: runs that\n"
    "share cores (jobs run in parallel on one machine) search less and get other\n"
    "results. One run at a time per core is the fair comparison.\n";

const char* const kAbout =
    "Runs cvrpsolve's searches on CVRPLIB instances over seeds and settings, as the\n"
    "field benchmarks heuristics (gaps to the best known costs, primal integrals,\n"
    "performance profiles), or cvrp unchanged on instance folders and menu choices,\n"
    "and compares the runs.\n"
    "\n"
    "Subcommands:\n"
    "  run       makes the runs one at a time, each in a run folder of its own under\n"
    "            RESULTS: RESULTS/NAME-SEARCH-seedN[-SETTING=VALUE...] or RESULTS/NAME-CHOICE\n"
    "  jobs      prints the same runs as shell commands, one per line, for GNU parallel\n"
    "            (on many machines: parallel --sshloginfile hosts.txt), xargs or a job array\n"
    "  collect   gathers the run folders under RESULTS into results.csv, summary.md and\n"
    "            pictures\n"
    "\n";

const char* const kSolverOptions =
    "Options of run and jobs for cvrpsolve's runs:\n"
    "  --searches LIST   annealing, tabu, hybrid, separated by commas\n"
    "  --seeds LIST      seeds (whole numbers) and ranges, separated by commas: 1-10, 1,2,5\n"
    "  --time SECONDS    each run's time limit (cvrpsolve --time); the field's standard\n"
    "                    budget is 2.4 x the number of customers\n"
    "  --moves N         the annealing's budget, for annealing and hybrid runs\n"
    "  --iterations N    the tabu search's budget, for tabu and hybrid runs. Each search\n"
    "                    needs a limit: annealing --time or --moves, tabu --time or\n"
    "                    --iterations, hybrid --time or both budgets\n"
    "  --round           distances rounded to the nearest integer (CVRPLIB's X set)\n"
    "  --set NAME=V1,V2  sweeps a setting of cvrpsolve over values: one run per\n"
    "                    combination of the values of all --set. NAME is one of\n"
    "                    initial-temperature (a number or auto), cooling,\n"
    "                    moves-per-temperature (annealing and hybrid), max-stall,\n"
    "                    tenure, flat-moves, tenure-step (tabu and hybrid), hybrid-share\n"
    "                    (hybrid), penalty (a number or adaptive), overload-target,\n"
    "                    vehicles (+N: the fewest trucks the demands need plus N),\n"
    "                    neighbourhoods, granularity, start (all), ruin-size,\n"
    "                    ruin-string, blink (annealing and hybrid); a setting is swept\n"
    "                    only for the searches that use it. A value of neighbourhoods\n"
    "                    joins its kinds with '+' (neighbourhoods=swap,relocate+2opt*:\n"
    "                    two values), given to cvrpsolve with commas; a run folder's\n"
    "                    name writes 2opt* as 2optstar. Left out: penalty=adaptive\n"
    "                    with the program's moves (neighbourhoods=swap, the default),\n"
    "                    and ruin alone in tabu or hybrid runs, which cvrpsolve\n"
    "                    refuses; overload-target with a fixed penalty, and the ruin's\n"
    "                    settings without ruin (that run is made once, without them)\n"
    "  --best NAME=VALUE|NAME=FILE.sol  the best known cost of INSTANCE NAME (the .vrp\n"
    "                    file's name without .vrp); without it, NAME.sol beside the .vrp.\n"
    "                    An instance without either is refused\n"
    "  --solver PATH     the cvrpsolve to run (default: the one built beside cvrpbatch)\n"
    "  --timeout SECONDS the longest a run may take (default: twice --time plus 60 s;\n"
    "                    3600 s without --time): a run still going then is ended and\n"
    "                    recorded as failed\n"
    "  --out RESULTS     the results folder (made when missing)\n"
    "  INSTANCE.vrp...   CVRPLIB instance files. Paths holding a control character are refused\n";

const char* const kRunOptions =
    "Options of run and jobs for the program's runs:\n"
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
    "  --best NAME=FILE.sol   the same, from the Cost line of a CVRPLIB solution file,\n"
    "                         which must be a solution of the runs' instance\n"
    "                         (without --best: the best known cost the runs recorded:\n"
    "                         run.txt's best_known, or the run folder's best-known.sol)\n"
    "                         NAME is all before the last '=', so it may hold '=';\n"
    "                         VALUE and FILE.sol may not\n";

const char* const kSolverHelp =
    "run with --searches: checks every argument first (nothing is written if one is\n"
    "wrong), then runs cvrpsolve once per instance, search, seed and combination of\n"
    "the --set values, one at a time, in RESULTS/NAME-SEARCH-seedN[-SETTING=VALUE...]:\n"
    "instance.vrp (a copy of the instance, which the run reads), best-known.sol (when\n"
    "the best known cost comes from a file), solution.sol and progress.log (cvrpsolve's\n"
    "--sol and --log), console.txt (cvrpsolve's summary) and run.txt (kind, instance,\n"
    "search, seed, set.NAME for each swept setting, limit, time_limit, round, command:\n"
    "the exact cvrpsolve command run in the folder, host, start, wall_seconds,\n"
    "exit_status, status ok|infeasible|failed, message, instance_file, instance_id: a\n"
    "hash of the .vrp file, best_known and best_known_from). A best known .sol must be\n"
    "a solution of its instance (each customer once, loads within the capacity, its\n"
    "Cost its routes'); sweep values are compared as numbers (0.5,.5 is refused),\n"
    "lists of move kinds as sets (relocate+swap,swap+relocate is refused);\n"
    "a batch of more than 100000 runs, or a run folder name longer than the file\n"
    "system takes, is refused before any run. A run is ok when its .sol\n"
    "passes the check against the instance and agrees with its summary and log;\n"
    "infeasible when its best solution overloads a truck (cvrpsolve's exit status 3);\n"
    "failed otherwise, and the batch goes on (exit status 1 at the end). A run folder\n"
    "that exists is skipped when it holds a run of the same instance file contents and\n"
    "the same command, so an interrupted batch resumes, and counts with the status it\n"
    "was recorded with (the exit status is 1 while any run of the batch failed); any\n"
    "other is refused before anything runs.\n"
    "\n"
    "jobs with --searches: prints one command per run, each a cvrpbatch run of one\n"
    "instance, search, seed and setting.\n"
    "\n";

const char* const kRunHelp =
    "run with --choices: checks every argument first (nothing is written if one is wrong), then runs\n"
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
    "jobs with --choices: checks the same arguments and prints one command per run, each a cvrpbatch\n"
    "run of one instance and one choice with absolute paths, for example\n"
    "  cvrpbatch jobs ... > jobs.txt; parallel -j 1 < jobs.txt\n"
    "  xargs -d '\\n' -P 2 -I{} sh -c {} < jobs.txt\n"
    "The paths must exist on every machine that runs them (a shared folder).\n"
    "\n";

const char* const kCollectHelp =
    "collect on cvrpsolve's runs: reads every run folder under RESULTS, checks each\n"
    "run again (its instance copy against its recorded hash, its .sol against the\n"
    "instance and its summary, its log's order and last record, its time within the\n"
    "limit + 2% + 0.5 s and its wall time, its best-known.sol against the instance;\n"
    "one that fails is a failed row naming why), and writes, all together:\n"
    "  results.csv        one row per run: its instance, search, seed, settings, cost,\n"
    "                     gap_percent to the best known, primal_integral, ...; a run\n"
    "                     below the best known cost says so in its message\n"
    "  summary.md         per search and setting: runs, failed, feasible, mean and best\n"
    "                     gap (means over instances of the means and bests over seeds),\n"
    "                     mean primal integral; the same per instance with the standard\n"
    "                     deviation over seeds\n"
    "  profile.svg/png    the performance profile (Dolan and More) of the searches and\n"
    "                     settings over the instances, by mean cost / best known\n"
    "  plots/NAME.svg/png per instance, the gap over time of each search and setting:\n"
    "                     the median over seeds, shaded from the lowest to the highest\n"
    "The primal integral of a run with time limit T (a budget run without --time: its\n"
    "own time) is 100 x (integral over [0, T] of v(t) / (T x best known) - 1), v(t)\n"
    "the best objective logged up to t, capped at 1.1 x the best known (before the\n"
    "first record too): 0 for a run at the best known from the start, 10 at most.\n"
    "\n"
    "collect on the program's runs: reads every run folder under RESULTS (made here or copied back from\n"
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
  if (subcommand == "run" || subcommand == "jobs")
    return text + kSolverHelp + kRunHelp + kSolverOptions + kRunOptions + "\n" + kWallClock;
  if (subcommand == "collect") return text + kCollectHelp + kCollectOptions + "\n" + kWallClock;
  return text + kAbout + kSolverOptions + kRunOptions + kCollectOptions +
         "  --help                 this text; cvrpbatch SUBCOMMAND --help: that subcommand's\n\n" + kWallClock;
}

batch::BatchArguments batch_arguments(CommandLine& args) {
  batch::BatchArguments arguments;
  bool have_out = false;
  std::string value;
  const std::pair<const char*, std::optional<std::string>*> options[] = {
      {"--choices", &arguments.choices}, {"--program", &arguments.program},  {"--timeout", &arguments.timeout},
      {"--searches", &arguments.searches}, {"--seeds", &arguments.seeds},  {"--time", &arguments.time},
      {"--moves", &arguments.moves},     {"--iterations", &arguments.iterations}, {"--solver", &arguments.solver}};
  while (!args.done()) {
    bool taken = false;
    for (const auto& [name, target] : options)
      if (!taken && args.option(name, value)) {
        if (target->has_value()) throw Usage{std::string(name) + " is given twice"};
        *target = value;
        taken = true;
      }
    if (taken) continue;
    if (args.option("--out", arguments.results)) {
      have_out = true;
    } else if (args.flag("--round")) {
      arguments.round = true;
    } else if (args.option("--set", value)) {
      arguments.sets.push_back(value);
    } else if (args.option("--best", value)) {
      arguments.best.push_back(value);
    } else {
      arguments.folders.push_back(args.operand());
    }
  }
  const bool solver = arguments.searches.has_value();
  if (solver && arguments.choices)
    throw Usage{"--choices (the program's runs) and --searches (cvrpsolve's runs) cannot be mixed in one command"};
  if (!solver && !arguments.choices) throw Usage{"--searches (or --choices for the program's runs) is missing"};
  const std::pair<const char*, bool> only_solver[] = {
      {"--seeds", arguments.seeds.has_value()},         {"--time", arguments.time.has_value()},
      {"--moves", arguments.moves.has_value()},         {"--iterations", arguments.iterations.has_value()},
      {"--solver", arguments.solver.has_value()},       {"--round", arguments.round},
      {"--set", !arguments.sets.empty()},              {"--best", !arguments.best.empty()}};
  for (const auto& [name, given] : only_solver)
    if (!solver && given) throw Usage{std::string(name) + " is for cvrpsolve's runs (--searches), not with --choices"};
  if (solver && arguments.program) throw Usage{"--program is for the program's runs (--choices); --solver names cvrpsolve"};
  if (solver && !arguments.seeds) throw Usage{"--seeds is missing"};
  if (!have_out) throw Usage{"--out is missing"};
  if (arguments.folders.empty()) throw Usage{solver ? "no instance file given" : "no instance folder given"};
  for (const std::string& operand : arguments.folders)
    if (!solver && operand.ends_with(".vrp"))
      throw Usage{operand + " is a CVRPLIB file: cvrpsolve's runs take --searches; --choices takes instance folders"};
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
    const batch::BatchArguments arguments = batch_arguments(args);
    const bool jobs = subcommand == "jobs";
    return arguments.searches ? batch::solver_batch(arguments, jobs) : batch::program_batch(arguments, jobs);
  });
}
