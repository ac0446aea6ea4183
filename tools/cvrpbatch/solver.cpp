// cvrpbatch run and jobs on CVRPLIB instances: cvrpsolve's runs over
// searches, seeds and swept settings, their arguments checked before
// anything is written, and the check of a finished run that collect repeats.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <climits>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

#include "model/cvrplib.h"
#include "model/route.h"
#include "search/settings.h"
#include "report/cvrplib_solution.h"
#include "tools/common/solver_settings.h"
#include "tools/cvrpbatch/batch.h"
#include "tools/cvrpsolve/solve.h"

namespace batch {

namespace fs = std::filesystem;
using companion::Usage;

namespace {

// The most runs one batch makes: its plan is held in memory (a few hundred
// bytes a run) and its run folders are listed by collect.
constexpr double kMostRuns = 100000;

using companion::SolverSetting;
constexpr unsigned kAnnealing = companion::kAnnealingSearch, kTabu = companion::kTabuSearch,
                   kHybrid = companion::kHybridSearch;

unsigned search_bit(const std::string& search) {
  return search == "annealing" ? kAnnealing : search == "tabu" ? kTabu : kHybrid;
}

// The searches' bits.
unsigned search_bits(const std::vector<std::string>& searches) {
  unsigned bits = 0;
  for (const std::string& search : searches) bits |= search_bit(search);
  return bits;
}

// The settings --set may sweep are cvrpsolve's (tools/common/solver_settings.h).
struct SweptSetting {
  const SolverSetting* rule;
  std::vector<std::string> values;  // as given, each checked
};

struct SolverInstance {
  fs::path file;  // absolute
  std::string name;
  std::string identity;
  double best_known = 0.0;
  std::string best_known_from;            // the .sol file's path, or "--best"
  std::optional<fs::path> best_file;      // copied into each run folder
  std::optional<std::string> best_given;  // --best's value, for jobs
  int min_trucks = 0;
};

struct SolverBatch {
  std::vector<std::string> searches;
  std::vector<long long> seeds;
  std::optional<std::string> time, moves, iterations;
  double time_limit = 0.0;
  bool round = false;
  std::vector<SweptSetting> sets;
  fs::path results, solver;
  bool solver_given = false;
  int timeout = 0;
  bool timeout_given = false;
  std::vector<SolverInstance> instances;
};

// One run: its instance, search, seed and the value of each setting swept
// for its search.
struct SolverRun {
  const SolverInstance* instance;
  std::string search;
  long long seed;
  std::vector<std::pair<std::string, std::string>> settings;
};

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts(1);
  for (const char c : text) {
    if (c == separator)
      parts.emplace_back();
    else
      parts.back() += c;
  }
  return parts;
}

std::vector<std::string> checked_searches(const std::string& text) {
  std::vector<std::string> searches = split(text, ',');
  for (std::size_t i = 0; i < searches.size(); ++i) {
    if (std::find(std::begin(kSearches), std::end(kSearches), searches[i]) == std::end(kSearches))
      throw Usage{"--searches " + text + ": \"" + searches[i] + "\" is not a search (annealing, tabu, hybrid)"};
    if (std::find(searches.begin(), searches.begin() + static_cast<long>(i), searches[i]) != searches.begin() + static_cast<long>(i))
      throw Usage{"--searches " + text + ": " + searches[i] + " is given twice"};
  }
  return searches;
}

// "1-10", "1,2,5", "1-3,7": seeds cvrpsolve takes (0 to INT_MAX), each once.
std::vector<long long> checked_seeds(const std::string& text) {
  constexpr std::size_t kMostSeeds = 100000;
  std::vector<long long> seeds;
  std::set<long long> given;
  for (const std::string& part : split(text, ',')) {
    const std::size_t dash = part.find('-', 1);
    const std::string first = part.substr(0, dash);
    const long long low = companion::whole_value("--seeds", first, 0, INT_MAX);
    const long long high = dash == std::string::npos ? low : companion::whole_value("--seeds", part.substr(dash + 1), 0, INT_MAX);
    if (high < low) throw Usage{"--seeds " + text + ": " + part + " is not a range (its end is below its start)"};
    if (static_cast<std::size_t>(high - low) >= kMostSeeds - seeds.size())
      throw Usage{"--seeds " + text + ": more than " + std::to_string(kMostSeeds) + " seeds"};
    for (long long seed = low; seed <= high; ++seed) {
      if (!given.insert(seed).second)
        throw Usage{"--seeds " + text + ": seed " + std::to_string(seed) + " is given twice"};
      seeds.push_back(seed);
    }
  }
  return seeds;
}

SweptSetting checked_set(const std::string& text) {
  const std::size_t equals = text.find('=');
  if (equals == std::string::npos || equals == 0 || equals + 1 == text.size())
    throw Usage{"--set " + text + ": expected NAME=VALUE,VALUE,..."};
  const std::string name = text.substr(0, equals);
  const SolverSetting* rule = companion::solver_setting(name);
  if (rule == nullptr)
    throw Usage{"--set " + text + ": " + name + " is not a setting --set can sweep (cvrpbatch run --help lists them)"};
  SweptSetting set{rule, split(text.substr(equals + 1), ',')};
  const std::string option = "--set " + name;
  // Values compared as the search holds them (a real setting as a float,
  // vehicles' +N apart from N, a list of move kinds in any order): two
  // spellings of one value are one run.
  std::map<std::tuple<bool, double, std::string>, std::string> held;
  for (const std::string& value : set.values) {
    // A list of kinds in one value is separated by '+': the comma separates the values.
    const companion::SettingValue checked = companion::checked_setting(*rule, option, value, '+');
    std::tuple<bool, double, std::string> key{false, 0.0, checked.word};  // a word, or the kinds in their order
    if (checked.word.empty()) {
      // Digits, signs, points and exponents only: a value names run folders.
      if (value.find_first_not_of("0123456789.eE+-") != std::string::npos)
        throw Usage{"bad value '" + value + "' for " + option + " (a number)"};
      // "-0" is 0 with a sign that names another run folder: one spelling only.
      if (value.starts_with('-') && checked.number == 0.0)
        throw Usage{"bad value '" + value + "' for " + option + " (write 0)"};
      const bool relative = rule->name == std::string_view("vehicles") && value.starts_with('+');
      key = {relative, rule->whole ? checked.number : static_cast<double>(static_cast<float>(checked.number)), ""};
    }
    const auto [earlier, fresh] = held.emplace(key, value);
    if (!fresh)
      throw Usage{option + ": " + (earlier->second == value ? "the value " + value + " is given twice"
                                                            : earlier->second + " and " + value + " are the same value")};
  }
  return set;
}

// Each search needs a limit; a budget no search takes is a mistake.
void check_limits(const SolverBatch& batch) {
  const unsigned given = search_bits(batch.searches);
  if (batch.moves && !(given & (kAnnealing | kHybrid)))
    throw Usage{"--moves is the annealing's budget: none of the searches takes it (tabu takes --iterations)"};
  if (batch.iterations && !(given & (kTabu | kHybrid)))
    throw Usage{"--iterations is the tabu search's budget: none of the searches takes it (annealing takes --moves)"};
  if (batch.time) return;
  if ((given & kAnnealing) && !batch.moves) throw Usage{"annealing runs need --time or --moves"};
  if ((given & kTabu) && !batch.iterations) throw Usage{"tabu runs need --time or --iterations"};
  if ((given & kHybrid) && !(batch.moves && batch.iterations))
    throw Usage{"hybrid runs need --time, or both --moves and --iterations"};
}

SolverInstance checked_instance(const std::string& given, bool round,
                                const std::map<std::string, GivenBest>& best) {
  SolverInstance instance;
  instance.file = absolute_path(given);
  refuse_control_characters("instance", instance.file.string());
  std::error_code error;
  if (fs::is_directory(instance.file, error))
    throw Refused{given + ": a folder; cvrpsolve's runs (--searches) take .vrp files, --choices instance folders"};
  if (instance.file.extension() != ".vrp") throw Refused{given + ": not a CVRPLIB instance file (NAME.vrp)"};
  instance.name = instance.file.stem().string();
  if (instance.name.empty() || instance.name.front() == '.')
    throw Refused{given + ": the file's name must not start with '.' (RESULTS/.NAME-* are unfinished runs)"};
  Instance read;
  CvrplibFile file;
  refuse_on(read_cvrplib(instance.file.string(), round, read, &file, kComputedDistances));
  if (!file.has_capacity) throw Refused{given + ": no CAPACITY"};
  instance.min_trucks = derived_values(program_settings(read.customer_count), read).min_trucks;
  instance.identity = file_identity({{kInstanceFile, instance.file}});

  if (const auto named = best.find(instance.name); named != best.end()) {
    if (!named->second.known.file.empty()) {
      BestKnown checked;
      refuse_on(read_best_known(named->second.value, "--best " + instance.name + "=" + named->second.value, checked,
                                &read));
    }
    instance.best_known = named->second.known.cost;
    instance.best_given = named->second.value;
    instance.best_known_from = "--best";
    if (!named->second.known.file.empty()) {
      instance.best_file = absolute_path(named->second.known.file);
      instance.best_given = instance.best_file->string();  // jobs' commands hold absolute paths
      refuse_control_characters("--best", instance.best_given.value());
    }
    return instance;
  }
  fs::path beside = instance.file;
  beside.replace_extension(".sol");
  if (!path_taken(beside))
    throw Refused{given + ": no best known cost: no " + beside.filename().string() + " beside it and no --best " +
                  instance.name + "=VALUE"};
  BestKnown known;
  refuse_on(read_best_known(beside.string(), beside.string(), known, &read));
  instance.best_known = known.cost;
  instance.best_known_from = beside.string();
  instance.best_file = beside;
  return instance;
}

// The values swept for setting `name` (none when it is not swept).
std::vector<std::string> swept_values(const SolverBatch& batch, std::string_view name) {
  for (const SweptSetting& set : batch.sets)
    if (set.rule->name == name) return set.values;
  return {};
}

// The kinds of a swept neighbourhoods value (kinds joined with '+').
MoveKinds swept_kinds(std::string text) {
  std::replace(text.begin(), text.end(), '+', ',');
  return parse_move_kinds(text).value_or(kProgramMoves);
}

bool lists_ruin(const std::string& neighbourhoods) {
  return (swept_kinds(neighbourhoods) & move_bit(MoveKind::ruin)) != 0;
}

// The combinations cvrpsolve refuses are left out of the runs (see
// kept_combination); a swept value that would be in none is refused.
void check_combinations(const SolverBatch& batch) {
  const std::vector<std::string> penalties = swept_values(batch, "penalty"), moves = swept_values(batch, "neighbourhoods");
  const bool adaptive = std::count(penalties.begin(), penalties.end(), "adaptive") > 0;
  if (adaptive && std::count(moves.begin(), moves.end(), "swap") == static_cast<long>(moves.size()))
    throw Usage{"--set penalty=adaptive needs the field's moves: sweep --set neighbourhoods with kinds other than "
                "swap alone"};
  if (!swept_values(batch, "overload-target").empty() && !adaptive)
    throw Usage{"--set overload-target is the adaptive penalty's setting: sweep --set penalty with adaptive"};
  const bool ruins = std::any_of(moves.begin(), moves.end(), lists_ruin);
  for (const char* name : {"ruin-size", "ruin-string", "blink"})
    if (!swept_values(batch, name).empty() && !ruins)
      throw Usage{"--set " + std::string(name) + " is ruin and recreate's setting: sweep --set neighbourhoods with ruin"};
}

// The number of runs the batch makes, counted in double before any is
// planned: a product that may pass 2^64 (ten values of each of ten settings
// on 100000 seeds) but never overflows; exact below 2^53.
double run_count(const SolverBatch& batch) {
  double total = 0.0;
  for (const std::string& search : batch.searches) {
    double runs = static_cast<double>(batch.seeds.size());
    for (const SweptSetting& set : batch.sets)
      if (set.rule->searches & search_bit(search)) runs *= static_cast<double>(set.values.size());
    total += runs;
  }
  return total * static_cast<double>(batch.instances.size());
}

SolverBatch checked_solver_batch(const BatchArguments& arguments) {
  SolverBatch batch;
  batch.searches = checked_searches(*arguments.searches);
  batch.seeds = checked_seeds(*arguments.seeds);
  batch.round = arguments.round;
  if (arguments.time) {
    batch.time_limit = companion::real_value("--time", *arguments.time, 0.0, 1e7);
    if (!(batch.time_limit > 0.0)) throw Usage{"bad value '" + *arguments.time + "' for --time (above 0)"};
    batch.time = arguments.time;
  }
  if (arguments.moves) {
    companion::whole_value("--moves", *arguments.moves, 1, 1'000'000'000'000'000LL);
    batch.moves = arguments.moves;
  }
  if (arguments.iterations) {
    companion::whole_value("--iterations", *arguments.iterations, 1, INT_MAX);
    batch.iterations = arguments.iterations;
  }
  check_limits(batch);
  const unsigned given = search_bits(batch.searches);
  for (const std::string& text : arguments.sets) {
    SweptSetting set = checked_set(text);
    for (const SweptSetting& earlier : batch.sets)
      if (earlier.rule == set.rule) throw Usage{"--set " + std::string(set.rule->name) + " is given twice"};
    if (!(set.rule->searches & given))
      throw Usage{"--set " + text + ": none of the searches " + *arguments.searches + " uses " + set.rule->name};
    batch.sets.push_back(std::move(set));
  }
  check_combinations(batch);
  const auto best = given_best_costs(arguments.best);
  std::map<std::string, std::string> given_as;
  for (const std::string& given : arguments.folders) {
    SolverInstance instance = checked_instance(given, batch.round, best);
    const auto [earlier, fresh] = given_as.emplace(instance.name, given);
    if (!fresh)
      throw Refused{"two instance files named " + instance.name + ": " + earlier->second + " and " + given +
                    " (each run folder is named after its instance)"};
    for (const SweptSetting& set : batch.sets)
      if (set.rule->name == std::string_view("vehicles"))
        for (const std::string& value : set.values)
          if (!value.starts_with('+') && std::stoll(value) < instance.min_trucks)
            throw Refused{"--set vehicles=" + value + ": " + given + " needs at least " +
                          std::to_string(instance.min_trucks) + " trucks"};
    batch.instances.push_back(std::move(instance));
  }
  for (const auto& [name, value] : best)
    if (!given_as.count(name)) throw Usage{"--best " + name + "=" + value.value + ": no instance " + name + ".vrp given"};
  if (const double count = run_count(batch); count > kMostRuns)
    throw Usage{"the batch has " + fixed(count < 0x1p53 ? "%.0f" : "%.3g", count) + " runs (instances x searches x seeds x swept values), more than " +
                fixed("%.0f", kMostRuns) + ": split it into smaller batches with the same --out"};
  batch.results = checked_results(arguments.results);
  batch.solver_given = arguments.solver.has_value();
  batch.solver = checked_executable(arguments.solver, "cvrpsolve", "--solver");
  if (arguments.timeout) {
    batch.timeout = checked_timeout(*arguments.timeout);
    batch.timeout_given = true;
    if (batch.time && batch.timeout <= batch.time_limit)
      throw Refused{"--timeout " + *arguments.timeout + ": not above --time " + *batch.time + ": every run would time out"};
  } else {
    batch.timeout = batch.time ? static_cast<int>(std::min(1e6, 2.0 * batch.time_limit + 60.0)) : 3600;
  }
  return batch;
}

// Whether a combination of swept values (run's settings, value at[k] of
// each) is run, and with which: cvrpsolve refuses the adaptive penalty with
// the program's moves alone (the default, or neighbourhoods=swap), and ruin
// alone in a search with tabu iterations. The overload target is the
// adaptive penalty's, and ruin-size, ruin-string and blink are ruin's:
// without them the run is made once, without those settings.
bool kept_combination(SolverRun& run, const std::vector<std::size_t>& at) {
  const auto value = [&run](std::string_view name) {
    for (const auto& [setting, given] : run.settings)
      if (setting == name) return given;
    return std::string();
  };
  const bool adaptive = value("penalty") == "adaptive";
  const std::string kinds = value("neighbourhoods");
  if (adaptive && (kinds.empty() || kinds == "swap")) return false;
  const bool ruins = lists_ruin(kinds);
  if (run.search != "annealing" && swept_kinds(kinds) == move_bit(MoveKind::ruin)) return false;
  for (std::size_t k = run.settings.size(); k-- > 0;) {
    const std::string& name = run.settings[k].first;
    const bool unused = (name == "overload-target" && !adaptive) ||
                        ((name == "ruin-size" || name == "ruin-string" || name == "blink") && !ruins);
    if (!unused) continue;
    if (at[k] != 0) return false;
    run.settings.erase(run.settings.begin() + static_cast<long>(k));
  }
  return true;
}

// The runs of the batch in order: instance, search, seed, then the settings
// swept for the search (the last one given varying fastest), but for the
// combinations left out (kept_combination).
std::vector<SolverRun> solver_runs(const SolverBatch& batch) {
  std::vector<SolverRun> runs;
  for (const SolverInstance& instance : batch.instances)
    for (const std::string& search : batch.searches) {
      std::vector<const SweptSetting*> swept;
      for (const SweptSetting& set : batch.sets)
        if (set.rule->searches & search_bit(search)) swept.push_back(&set);
      for (const long long seed : batch.seeds) {
        std::vector<std::size_t> at(swept.size(), 0);
        for (;;) {
          SolverRun run{&instance, search, seed, {}};
          for (std::size_t k = 0; k < swept.size(); ++k) run.settings.emplace_back(swept[k]->rule->name, swept[k]->values[at[k]]);
          if (kept_combination(run, at)) runs.push_back(std::move(run));
          std::size_t k = swept.size();
          while (k > 0 && ++at[k - 1] == swept[k - 1]->values.size()) at[--k] = 0;
          if (k == 0) break;
        }
      }
    }
  return runs;
}

// The run folder's name. A move kind's '*' (2opt*) is written "star" in it:
// no shell pattern, and a name other file systems take too.
std::string run_name(const SolverRun& run) {
  std::string name = run.instance->name + "-" + run.search + "-seed" + std::to_string(run.seed);
  for (const auto& [setting, value] : run.settings) {
    name += "-" + setting + "=";
    for (const char c : value) name += c == '*' ? std::string("star") : std::string(1, c);
  }
  return name;
}

// A swept value as cvrpsolve takes it: a list of move kinds separated by
// commas, not '+'.
std::string solver_value(const std::string& setting, std::string value) {
  if (companion::solver_setting(setting)->takes == companion::SettingTakes::move_kinds)
    std::replace(value.begin(), value.end(), '+', ',');
  return value;
}

// The limits a run of the search gets, as cvrpsolve's options (without
// "--") and their values: the time, and the budgets the search takes.
std::vector<std::pair<std::string, std::string>> limits_of(const SolverBatch& batch, const std::string& search) {
  std::vector<std::pair<std::string, std::string>> limits;
  if (batch.time) limits.emplace_back("time", *batch.time);
  if (batch.moves && search != "tabu") limits.emplace_back("moves", *batch.moves);
  if (batch.iterations && search != "annealing") limits.emplace_back("iterations", *batch.iterations);
  return limits;
}

std::string limit_text(const SolverBatch& batch, const std::string& search) {
  std::string text;
  for (const auto& [option, value] : limits_of(batch, search))
    text += (text.empty() ? "" : ", ") + value + (option == "time" ? " s" : " " + option);
  return text;
}

// cvrpsolve's arguments for the run, in its run folder.
std::vector<std::string> solver_arguments(const SolverBatch& batch, const SolverRun& run) {
  std::vector<std::string> words{batch.solver.string(), kInstanceFile, "--search", run.search,
                                 "--seed", std::to_string(run.seed)};
  for (const auto& [option, value] : limits_of(batch, run.search)) words.insert(words.end(), {"--" + option, value});
  if (batch.round) words.push_back("--round");
  for (const auto& [setting, value] : run.settings) words.insert(words.end(), {"--" + setting, solver_value(setting, value)});
  words.insert(words.end(), {"--sol", kSolutionFile, "--log", kLogFile});
  return words;
}

std::string command_of(const std::vector<std::string>& words) {
  std::string command;
  for (const std::string& word : words) {
    if (!command.empty()) command += ' ';
    command += shell_word(word);
  }
  return command;
}

Verdict judge_solver_run(const fs::path& folder, int status, bool round, double time_limit, const std::string& console,
                         double wall) {
  if (status != 0 && status != solve::kOverloaded) return {"failed", "", ""};
  SolverOutcome outcome;
  if (auto failure = check_solver_run(folder, status, round, console, outcome)) return {"failed", *failure, ""};
  if (auto failure = check_solver_time((folder / "console.txt").string(), outcome.summary["time"], time_limit, wall))
    return {"failed", *failure, ""};
  if (status == solve::kOverloaded) return {"infeasible", "", "overload " + std::to_string(outcome.overload)};
  return {"ok", "", "cost " + outcome.cost_text};
}

// The run's shell command: a cvrpbatch run of it alone.
std::string job_of(const SolverBatch& batch, const SolverRun& run) {
  std::string line = shell_word(own_path().string()) + " run --searches " + run.search + " --seeds " +
                     std::to_string(run.seed);
  for (const auto& [option, value] : limits_of(batch, run.search)) line += " --" + option + " " + shell_word(value);
  if (batch.round) line += " --round";
  for (const auto& [setting, value] : run.settings) line += " --set " + shell_word(setting + "=" + value);
  if (run.instance->best_given) line += " --best " + shell_word(run.instance->name + "=" + *run.instance->best_given);
  if (batch.solver_given) line += " --solver " + shell_word(batch.solver.string());
  if (batch.timeout_given) line += " --timeout " + std::to_string(batch.timeout);
  return line + " --out " + shell_word(batch.results.string()) + " " + shell_word(run.instance->file.string());
}

std::vector<PlannedRun> planned_runs(const SolverBatch& batch) {
  std::vector<PlannedRun> planned;
  for (const SolverRun& run : solver_runs(batch)) {
    const SolverInstance& instance = *run.instance;
    PlannedRun p;
    p.name = run_name(run);
    p.copies.emplace_back(instance.file, kInstanceFile);
    if (instance.best_file) p.copies.emplace_back(*instance.best_file, "best-known.sol");
    p.argv = solver_arguments(batch, run);
    p.command = command_of(p.argv);
    p.job = job_of(batch, run);
    p.label = run.search + ", seed " + std::to_string(run.seed);
    for (const auto& [setting, value] : run.settings) p.label += ", " + setting + " " + value;
    p.identity = instance.identity;
    p.instance_path = instance.file.string();
    p.head = {{"kind", kSolverKind}, {"instance", instance.name}, {"search", run.search},
              {"seed", std::to_string(run.seed)}};
    for (const auto& [setting, value] : run.settings) p.head.emplace_back("set." + setting, value);
    p.head.insert(p.head.end(), {{"limit", limit_text(batch, run.search)},
                                 {"time_limit", batch.time.value_or("")},
                                 {"round", batch.round ? "yes" : "no"},
                                 {"command", p.command}});
    char best[64];
    std::snprintf(best, sizeof best, "%.17g", instance.best_known);
    p.tail = {{"instance_file", instance.file.string()},
              {"instance_id", instance.identity},
              {"best_known", best},
              {"best_known_from", instance.best_known_from}};
    const bool round = batch.round;
    const double time_limit = batch.time_limit;
    p.judge = [round, time_limit](const fs::path& folder, int status, const std::string& console, double wall) {
      return judge_solver_run(folder, status, round, time_limit, console, wall);
    };
    planned.push_back(std::move(p));
  }
  return planned;
}

// The summary's "key: value" lines.
std::map<std::string, std::string> summary_of(const std::string& console) {
  std::map<std::string, std::string> summary;
  std::istringstream lines(console);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t colon = line.find(": ");
    if (colon != std::string::npos && colon > 0 &&
        line.find_first_not_of("abcdefghijklmnopqrstuvwxyz") == colon)
      summary.emplace(line.substr(0, colon), line.substr(colon + 2));
  }
  return summary;
}

// A log as the search writes it: a record when a search starts and at each
// new best, so the seconds never go back, the objective never rises and the
// counter never goes back (but for the tabu phase's start, at 0, in a
// hybrid run), and none past the summary's time and counts.
std::optional<std::string> check_log_order(const std::vector<ProgressRecord>& log, const std::string& name,
                                           std::map<std::string, std::string>& summary) {
  if (log.empty()) return name + ": no record";
  const bool hybrid = summary["search"] == "hybrid";
  bool switched = !hybrid;
  for (std::size_t i = 1; i < log.size(); ++i) {
    const ProgressRecord &before = log[i - 1], &record = log[i];
    const std::string at = name + ":" + std::to_string(i + 1) + ": ";
    if (record.seconds < before.seconds) return at + "the seconds go back (records out of order)";
    const bool restart = !switched && record.counter == 0;
    switched = switched || restart;
    if (restart) continue;
    if (record.counter < before.counter) return at + "the counter goes back (records out of order)";
    if (record.objective > before.objective) return at + "the objective rises (records out of order)";
  }
  const double time = std::strtod(summary["time"].c_str(), nullptr);
  // Both printed with two decimals: the log's seconds as a float.
  if (log.back().seconds > time + 0.01)
    return name + ": the last record, at " + companion::fixed("%.2f", log.back().seconds) +
           " s, is past the summary's time " + summary["time"];
  // The last record counts the moves of an annealing (or of a hybrid's
  // first phase), otherwise the iterations.
  const char* counter = summary["search"] == "annealing" || (hybrid && !switched) ? "moves" : "iterations";
  if (summary.count(counter) && log.back().counter > std::strtoll(summary[counter].c_str(), nullptr, 10))
    return name + ": the last record's counter " + std::to_string(log.back().counter) + " is past the summary's " +
           counter + " " + summary[counter];
  return std::nullopt;
}

}  // namespace

std::optional<std::string> check_solver_run(const fs::path& folder, int exit_status, bool round,
                                            const std::string& console, SolverOutcome& outcome) {
  outcome = SolverOutcome{};
  const std::string name = (folder / "console.txt").string();
  outcome.summary = summary_of(console);
  for (const char* key : {"cost", "overload", "time", "solution"})
    if (!outcome.summary.count(key)) return name + ": cvrpsolve's summary has no \"" + key + ":\" line";
  outcome.cost_text = outcome.summary["cost"];
  char* end = nullptr;
  outcome.cost = std::strtod(outcome.cost_text.c_str(), &end);
  if (outcome.cost_text.empty() || *end != '\0') return name + ": cost " + outcome.cost_text + " is not a number";
  outcome.overload = std::atoi(outcome.summary["overload"].c_str());
  if ((exit_status == solve::kOverloaded) != (outcome.overload > 0))
    return name + ": overload " + outcome.summary["overload"] + " with exit status " + std::to_string(exit_status);

  const std::string log = (folder / kLogFile).string();
  if (auto failure = read_progress_log(log, outcome.log)) return failure;
  if (auto failure = check_log_order(outcome.log, log, outcome.summary)) return failure;
  // The search's own objective, as cvrpsolve's summary gives it (an older
  // cvrpsolve's: its cost); a feasible run's is worked out below when the
  // summary has none.
  const bool given = outcome.summary.count("objective") > 0;
  std::string objective = given ? outcome.summary["objective"] : outcome.cost_text;
  if (exit_status != solve::kOverloaded) {
    const std::string sol = (folder / kSolutionFile).string();
    CvrplibSolution solution;
    // A feasible run: its .sol checked against the instance it ran on, and
    // its distance summed as the search sums it, in float.
    if (outcome.summary["solution"] != kSolutionFile)
      return name + ": the summary's solution is \"" + outcome.summary["solution"] + "\", not " + kSolutionFile;
    Instance instance;
    if (auto failure = read_cvrplib((folder / kInstanceFile).string(), round, instance, nullptr, kComputedDistances)) return failure;
    if (auto failure = read_cvrplib_solution(sol, solution)) return failure;
    if (auto failure = check_cvrplib_solution(solution, sol, instance)) return failure;
    if (companion::fixed("%.2f", solution.cost) != outcome.cost_text)
      return sol + ": Cost " + companion::fixed("%.2f", solution.cost) + " is not the summary's cost " +
             outcome.cost_text;
    outcome.cost = routes_cost(instance, solution.routes);  // the true cost, for the gap
    if (!given) {
      Route route{0};
      for (const std::vector<int>& trip : solution.routes) {
        route.insert(route.end(), trip.begin(), trip.end());
        route.push_back(0);
      }
      const float distance = route_distance(static_cast<int>(route.size()), instance.matrix, route);
      objective = companion::fixed("%.2f", static_cast<double>(distance));
    }
  }
  // The log's last record is the search's final best: a log cut short ends
  // above it.
  const std::string last = companion::fixed("%.2f", outcome.log.back().objective);
  if (last != objective)
    return log + ": the last record's objective " + last + " is not the run's final objective " + objective;
  return std::nullopt;
}

std::optional<std::string> check_solver_time(const std::string& name, const std::string& time, double time_limit,
                                             double wall) {
  char* end = nullptr;
  const double own = std::strtod(time.c_str(), &end);
  if (end == time.c_str() || std::string_view(end) != " s" || !std::isfinite(own))
    return name + ": time " + time + " is not a number of seconds";
  if (time_limit > 0.0 && own > 1.02 * time_limit + 0.5)
    return name + ": time " + time + " is past the time limit " + fixed("%g", time_limit) +
           " s (and its margin of 2% + 0.5 s)";
  // The run's own time, with two decimals, is within the wall time the batch measured around it.
  if (own > wall + 0.005) return name + ": time " + time + " is more than the run's wall time " + fixed("%.3f", wall) + " s";
  return std::nullopt;
}

int solver_batch(const BatchArguments& arguments, bool jobs) {
  const SolverBatch batch = checked_solver_batch(arguments);
  return make_or_print(batch.results, planned_runs(batch), batch.timeout, jobs);
}

}  // namespace batch
