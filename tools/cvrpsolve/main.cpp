// cvrpsolve's command line: the options, their checks and the help.
#include <cstdio>
#include <string>
#include <utility>

#include "search/settings.h"
#include "tools/common/command_line.h"
#include "tools/common/solver_settings.h"
#include "tools/cvrpsolve/solve.h"

namespace {

using companion::CommandLine;
using companion::Usage;
using companion::real_value;
using companion::whole_value;

const char* const kUsage =
    "usage: cvrpsolve INSTANCE.vrp [--search annealing|tabu|hybrid] [--seed N]\n"
    "                 [--time SECONDS] [--moves N] [--iterations N] [--round]\n"
    "                 [--sol FILE] [--log FILE] [--best VALUE|FILE.sol] [--preset strongest]\n"
    "                 [SETTING VALUE]...\n"
    "       cvrpsolve --help\n";

const char* const kHelp =
    "\n"
    "Runs the program's simulated annealing, tabu search or hybrid on a CVRPLIB\n"
    "instance of any size (EUC_2D or EXPLICIT weights, one depot, capacity only),\n"
    "with the program's settings unless told otherwise, and writes the best\n"
    "solution found as a CVRPLIB solution file. Up to 10001 nodes; with the\n"
    "field's moves (--neighbourhoods other than swap) an EUC_2D instance may have\n"
    "up to 30001, its distances then worked out from the coordinates.\n"
    "\n"
    "  --search NAME        annealing (default), tabu or hybrid (a short annealing,\n"
    "                       then tabu search from its best solution)\n"
    "  --seed N             seed of the generator (default 19000, the program's)\n"
    "  --time SECONDS       time limit, counted from the start, at most 1e7 (default\n"
    "                       30), looked at every few thousand moves or scan rows\n"
    "  --moves N            the annealing's budget: exactly N moves, whatever the\n"
    "                       machine (the annealing and the hybrid); a ruin and\n"
    "                       recreate step is one move\n"
    "  --iterations N       the tabu search's budget: exactly N iterations (tabu\n"
    "                       and hybrid). The hybrid takes both budgets, or a time.\n"
    "                       A budget without --time has no time limit.\n"
    "  --round              distances rounded to the nearest integer: CVRPLIB's\n"
    "                       convention for the X and E sets. The CMT set is used\n"
    "                       unrounded (the default).\n"
    "  --sol FILE           the best solution (default: NAME.found.sol in the\n"
    "                       working directory, NAME the instance file's name\n"
    "                       without .vrp, so that it is never taken for the\n"
    "                       instance's own NAME.sol); written only when it\n"
    "                       overloads no truck, after a check against the instance\n"
    "  --log FILE           the progress log, in the program's format: seconds,\n"
    "                       objective, moves or iterations, one line at each\n"
    "                       search's start and at every new best (the hybrid's tabu\n"
    "                       lines follow its annealing's, counting from 0 again)\n"
    "  --best VALUE|FILE    the best known cost (a positive number), or a CVRPLIB\n"
    "                       .sol file of the instance (checked against it) whose\n"
    "                       Cost it is: the summary gives the gap to it, marked\n"
    "                       when the run's cost is below it. A run that overloads\n"
    "                       a truck has no gap: its cost includes the penalty.\n"
    "\n"
    "Settings (default: the program's value; whole numbers up to 2147483647 unless\n"
    "said, every count a search keeps 64-bit):\n"
    "  --initial-temperature T   annealing: the first schedule's temperature, above\n"
    "                            the stopping temperature 0.1 (at or below it no\n"
    "                            move is made), at most 1e30 (10000); auto: twice\n"
    "                            the mean distance from a customer to its nearest\n"
    "                            other customer, at least 1\n"
    "  --cooling F               annealing: cooling factor per level, 0 < F < 1 (0.97)\n"
    "  --moves-per-temperature M annealing: moves per temperature level (10000)\n"
    "  --max-stall S             tabu: iterations without a new best before a\n"
    "                            restart from the best solution (2000)\n"
    "  --tenure K                tabu: the tabu list's length after a new best\n"
    "                            (0.8 n for n customers, as the program works it\n"
    "                            out); its growth stops at 2147483647\n"
    "  --flat-moves F            tabu: flat moves in a row after which the tenure\n"
    "                            grows (5)\n"
    "  --tenure-step S           tabu: by how much it grows, at most 1000000 (10)\n"
    "  --hybrid-share X          hybrid: share of the time limit its annealing gets (0.05)\n"
    "  --penalty W|adaptive      objective: cost of one unit of overload, at most\n"
    "                            1000000 (1000); the total demand, and its product\n"
    "                            with W, must be at most 2147483647. adaptive (with\n"
    "                            the field's moves only): the weight starts at the\n"
    "                            largest distance over the largest demand and is\n"
    "                            raised or lowered to keep the share of overloaded\n"
    "                            solutions visited near --overload-target; what is\n"
    "                            reported and kept prices overload at 1000\n"
    "  --overload-target X       the adaptive penalty's share, 0 < X < 1 (0.25)\n"
    "  --vehicles K              trucks a solution may use, at most one per\n"
    "                            customer (default: the fewest the demands need,\n"
    "                            as the program works it out); +N: that fewest\n"
    "                            number plus N (CVRPLIB's best known solutions\n"
    "                            sometimes use a truck more). The fleet is this\n"
    "                            option: a VEHICLES line in the file is ignored.\n"
    "\n"
    "What the searches move over and start from (default: the program's):\n"
    "  --neighbourhoods LIST     the kinds of move, separated by commas: relocate,\n"
    "                            swap, 2opt, 2opt*, oropt, each once, or all (these\n"
    "                            five), and ruin (swap, the default: the program's\n"
    "                            swap of two Route positions; listed with others:\n"
    "                            of two customers). Each annealing move draws one\n"
    "                            kind, each as likely. ruin, the annealing's only:\n"
    "                            strings of customers near a random one taken out\n"
    "                            of their trips, and each put back at its cheapest\n"
    "                            place that keeps its truck within capacity (next\n"
    "                            to one of its --granularity nearest customers\n"
    "                            first; else anywhere; else an empty truck; else\n"
    "                            where it overloads least)\n"
    "  --ruin-size N             ruin: customers taken out per step on average (10)\n"
    "  --ruin-string N           ruin: the longest string taken from one truck (10)\n"
    "  --blink P                 ruin: the chance that putting a customer back\n"
    "                            passes over a place, 0 to 1 (0.01)\n"
    "  --granularity K           the field's moves join a customer only to one of\n"
    "                            its K nearest customers, K from 1 to 1000 (20)\n"
    "  --start random|savings    the first Route: the program's random one, or\n"
    "                            Clarke and Wright's savings (random)\n"
    "  --preset strongest        for routes near the best known: the annealing over\n"
    "                            ruin from the savings start, the automatic\n"
    "                            temperature, 10000 moves a level (100000 with\n"
    "                            other kinds and no ruin); each of these given on\n"
    "                            its own wins\n"
    "\n"
    "Standard output gets one summary at the end (search, seed, the search's own\n"
    "objective, cost, distance, overload, trucks, moves or iterations, time, gap,\n"
    "and a line for each of neighbourhoods, granularity, start, penalty and\n"
    "temperature that is not the default); cost, distance and gap are of the\n"
    "routes' true cost (the sum in double of the instance's distances, as the\n"
    "field's checkers compute it), the objective and the log are the search's\n"
    "float sums. While the search runs on a terminal, standard error shows one\n"
    "updating status line. Ctrl-C ends the search early and writes what it found.\n"
    "\n"
    "Exit status: 0 a solution was written; 3 the best solution found still\n"
    "overloads a truck (no .sol is written, the log is); 4 the search ended but an\n"
    "output could not be written (the summary is printed all the same, standard\n"
    "error names the output and gives the solution's text); 128 + the signal when\n"
    "interrupted (unless 4); 1 an input or output that cannot be used (nothing is\n"
    "written); 2 a command line that cannot be used.\n";

constexpr long long kIntMax = 2147483647;

int whole(std::string_view option, const std::string& text, long long low, long long high = kIntMax) {
  return static_cast<int>(whole_value(option, text, low, high));
}

// The option --NAME of a setting.
bool setting_option(CommandLine& args, std::string_view name, std::string& value) {
  return args.option("--" + std::string(name), value);
}

// The value of setting NAME, checked as its table entry says.
companion::SettingValue checked(std::string_view name, const std::string& value) {
  return companion::checked_setting(*companion::solver_setting(name), "--" + std::string(name), value);
}
double setting(std::string_view name, const std::string& value) { return checked(name, value).number; }

solve::Method method_named(const std::string& text) {
  for (const solve::Method method : {solve::Method::annealing, solve::Method::tabu, solve::Method::hybrid})
    if (text == solve::method_name(method)) return method;
  throw Usage{"bad value '" + text + "' for --search (annealing, tabu or hybrid)"};
}

// What --preset strongest asks for, each unless given on its own: the
// configuration that came nearest the best known costs on the X instances
// (README, "The searches on the X instances"): the annealing over ruin and
// recreate from the savings start, the automatic temperature, 10000 steps a
// level, the fixed penalty. Given other kinds of move without ruin, the
// small moves' best: 100000 moves a level.
void apply_strongest(solve::Request& request, bool start_given) {
  if (!request.neighbourhoods) request.neighbourhoods = move_bit(MoveKind::ruin);
  if (!start_given) request.savings_start = true;
  if (!request.initial_temperature && !request.auto_temperature) request.auto_temperature = true;
  const bool ruins = (*request.neighbourhoods & move_bit(MoveKind::ruin)) != 0;
  if (!request.moves_per_temperature) request.moves_per_temperature = ruins ? 10000 : 100000;
}

solve::Request parse(int argc, char** argv) {
  solve::Request request;
  bool have_instance = false;
  bool strongest = false;
  bool start_given = false;
  CommandLine args(argc, argv);
  std::string value;
  while (!args.done()) {
    if (args.flag("--round")) {
      request.round = true;
    } else if (args.option("--search", value)) {
      request.method = method_named(value);
    } else if (args.option("--preset", value)) {
      if (value != "strongest") throw Usage{"bad value '" + value + "' for --preset (strongest)"};
      strongest = true;
    } else if (args.option("--seed", value)) {
      request.seed = whole("--seed", value, 0);
    } else if (args.option("--time", value)) {
      request.time = real_value("--time", value, 0.0, 1e7);
    } else if (args.option("--moves", value)) {
      request.moves = whole_value("--moves", value, 1, 1'000'000'000'000'000LL);
    } else if (args.option("--iterations", value)) {
      request.iterations = whole("--iterations", value, 1);
    } else if (setting_option(args, "initial-temperature", value)) {
      const companion::SettingValue temperature = checked("initial-temperature", value);
      request.auto_temperature = !temperature.word.empty();
      request.initial_temperature = request.auto_temperature ? std::nullopt : std::optional(static_cast<float>(temperature.number));
    } else if (setting_option(args, "cooling", value)) {
      request.cooling = static_cast<float>(setting("cooling", value));
    } else if (setting_option(args, "moves-per-temperature", value)) {
      request.moves_per_temperature = static_cast<int>(setting("moves-per-temperature", value));
    } else if (setting_option(args, "max-stall", value)) {
      request.max_stall = static_cast<int>(setting("max-stall", value));
    } else if (setting_option(args, "tenure", value)) {
      request.tenure = static_cast<int>(setting("tenure", value));
    } else if (setting_option(args, "flat-moves", value)) {
      request.flat_moves = static_cast<int>(setting("flat-moves", value));
    } else if (setting_option(args, "tenure-step", value)) {
      request.tenure_step = static_cast<int>(setting("tenure-step", value));
    } else if (setting_option(args, "hybrid-share", value)) {
      request.hybrid_share = setting("hybrid-share", value);
    } else if (setting_option(args, "penalty", value)) {
      const companion::SettingValue penalty = checked("penalty", value);
      request.adaptive_penalty = !penalty.word.empty();
      request.penalty = request.adaptive_penalty ? std::nullopt : std::optional(static_cast<int>(penalty.number));
    } else if (setting_option(args, "overload-target", value)) {
      request.overload_target = setting("overload-target", value);
    } else if (setting_option(args, "neighbourhoods", value)) {
      request.neighbourhoods = checked("neighbourhoods", value).kinds;
    } else if (setting_option(args, "granularity", value)) {
      request.granularity = static_cast<int>(setting("granularity", value));
    } else if (setting_option(args, "start", value)) {
      request.savings_start = checked("start", value).word == "savings";
      start_given = true;
    } else if (setting_option(args, "ruin-size", value)) {
      request.ruin_size = static_cast<int>(setting("ruin-size", value));
    } else if (setting_option(args, "ruin-string", value)) {
      request.ruin_string = static_cast<int>(setting("ruin-string", value));
    } else if (setting_option(args, "blink", value)) {
      request.blink = setting("blink", value);
    } else if (setting_option(args, "vehicles", value)) {
      request.vehicles_above_minimum = value.starts_with('+');
      request.vehicles = static_cast<int>(setting("vehicles", value));
    } else if (args.option("--sol", value)) {
      request.sol = value;
    } else if (args.option("--log", value)) {
      request.log = value;
    } else if (args.option("--best", value)) {
      request.best = value;
    } else {
      std::string operand = args.operand();
      if (have_instance) throw Usage{"more than one instance given"};
      request.instance = std::move(operand);
      have_instance = true;
    }
  }
  if (!have_instance) throw Usage{"no instance given"};
  if (strongest) apply_strongest(request, start_given);
  const bool annealing = request.method != solve::Method::tabu;
  const bool tabu = request.method != solve::Method::annealing;
  if (request.moves && !annealing) throw Usage{"--moves is the annealing's budget: use --iterations"};
  if (request.iterations && !tabu) throw Usage{"--iterations is the tabu search's budget: use --moves"};
  if (request.method == solve::Method::hybrid && !request.time && request.moves.has_value() != request.iterations.has_value())
    throw Usage{"the hybrid takes both --moves and --iterations, or a --time"};
  if (request.adaptive_penalty && request.neighbourhoods.value_or(kProgramMoves) == kProgramMoves)
    throw Usage{"--penalty adaptive needs the field's moves (--neighbourhoods other than swap alone): "
                "the weight adapts in their searches"};
  if (request.overload_target && !request.adaptive_penalty)
    throw Usage{"--overload-target is the adaptive penalty's setting: give --penalty adaptive"};
  const MoveKinds kinds = request.neighbourhoods.value_or(kProgramMoves);
  const bool ruins = (kinds & move_bit(MoveKind::ruin)) != 0;
  if ((request.ruin_size || request.ruin_string || request.blink) && !ruins)
    throw Usage{"--ruin-size, --ruin-string and --blink are ruin and recreate's settings: list ruin in --neighbourhoods"};
  if (tabu && kinds == move_bit(MoveKind::ruin))
    throw Usage{"ruin is the annealing's move: the tabu search needs other kinds in --neighbourhoods "
                "(ruin,all: the annealing makes all, the tabu search the small ones)"};
  return request;
}

}  // namespace

int main(int argc, char** argv) {
  if (companion::asks_help(argc, argv)) {
    std::printf("%s%s", kUsage, kHelp);
    return 0;
  }
  return companion::run_companion("cvrpsolve", kUsage, [&] { return solve::solve(parse(argc, argv)); });
}
