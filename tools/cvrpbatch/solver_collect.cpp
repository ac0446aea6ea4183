// cvrpbatch collect on cvrpsolve's runs: each run folder checked again
// (its .sol against its instance, its summary and its log), then
// results.csv, summary.md, the performance profile and one progress picture
// per instance, written all together.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <set>
#include <tuple>

#include "report/cvrplib_solution.h"
#include "report/primal_integral.h"
#include "report/text_file.h"
#include "tools/cvrpbatch/batch.h"
#include "tools/cvrpsolve/solve.h"
#include "tools/plot/benchmark_plots.h"

namespace batch {

namespace fs = std::filesystem;

namespace {

// One run folder as results.csv shows it.
struct SolverRow {
  std::string folder;  // the run folder's name under RESULTS
  std::map<std::string, std::string> record;
  std::string instance, instance_id, search;
  long long seed = -1;
  std::vector<std::pair<std::string, std::string>> settings;  // set.NAME in run.txt, by name
  std::string status = "failed";
  std::string message;
  SolverOutcome outcome;               // for ok and infeasible runs
  double time_limit = 0.0;             // T of the primal integral
  std::optional<double> best_known;
  std::optional<double> gap, primal;   // for ok runs with a best known cost
  bool below = false;                  // its cost below the best known (below_known_cost)
  std::size_t group = 0;               // index into the groups
};

std::size_t search_rank(const std::string& search) {
  return static_cast<std::size_t>(std::find(std::begin(kSearches), std::end(kSearches), search) -
                                  std::begin(kSearches));
}

// A value of run.txt, or "" when it has none.
std::string recorded(const std::map<std::string, std::string>& record, const char* key) {
  const auto found = record.find(key);
  return found == record.end() ? "" : found->second;
}

// The number a value of run.txt or of the summary starts with, such as
// the seconds of "12.34 s".
std::optional<double> number_of(const std::string& text) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || end == text.c_str() || !std::isfinite(value)) return std::nullopt;
  return value;
}

// A run recorded ok or infeasible checked again: its instance copy is the
// one it ran on (the hash run.txt recorded), its .sol, log and summary agree
// (check_solver_run), its time is within its limit and no more than the
// wall time the batch measured, and its best-known.sol, when it has one, is
// a solution of its instance with the recorded best known cost.
std::optional<std::string> check_collected(const fs::path& folder, SolverRow& row) {
  auto& record = row.record;
  const fs::path instance_file = folder / kInstanceFile;
  try {
    if (file_identity({{kInstanceFile, instance_file}}) != row.instance_id)
      return instance_file.string() + ": not the instance the run was given (its hash is not run.txt's instance_id " +
             row.instance_id + ")";
  } catch (const Refused& unreadable) {
    return unreadable.message;
  }
  std::string console;
  if (auto failure = read_text_file((folder / "console.txt").string(), console)) return failure;
  const bool round = record["round"] == "yes";
  if (auto failure =
          check_solver_run(folder, record["status"] == "ok" ? 0 : solve::kOverloaded, round, console, row.outcome))
    return failure;

  const auto limit = number_of(record["time_limit"]);
  const auto wall = number_of(record["wall_seconds"]);
  if (!wall) return (folder / "run.txt").string() + ": wall_seconds " + record["wall_seconds"] + " is not a number";
  if (auto failure =
          check_solver_time((folder / "console.txt").string(), row.outcome.summary["time"], limit.value_or(0.0), *wall))
    return failure;
  row.time_limit = limit ? *limit : std::strtod(row.outcome.summary["time"].c_str(), nullptr);

  const fs::path best_file = folder / "best-known.sol";
  if (path_taken(best_file)) {
    Instance instance;
    if (auto failure = read_cvrplib(instance_file.string(), round, instance, nullptr, kComputedDistances)) return failure;
    BestKnown best;
    if (auto failure = read_best_known(best_file.string(), best_file.string(), best, &instance)) return failure;
    if (!row.best_known || *row.best_known != best.cost)
      return best_file.string() + ": Cost " + shortest(best.cost) + " is not run.txt's best_known " +
             record["best_known"];
  }
  return std::nullopt;
}

SolverRow read_solver_row(const fs::path& results, const std::string& name) {
  SolverRow row;
  row.folder = name;
  const fs::path folder = results / name;
  const auto unreadable = read_run_record(folder / "run.txt", row.record);
  auto& record = row.record;
  row.instance = record["instance"];
  row.instance_id = record["instance_id"];
  row.search = record["search"];
  if (const auto seed = number_of(record["seed"])) row.seed = static_cast<long long>(*seed);
  for (const auto& [key, value] : record)
    if (key.starts_with("set.")) row.settings.emplace_back(key.substr(4), value);
  if (const auto best = number_of(record["best_known"]); best && *best > 0.0) row.best_known = best;

  if (unreadable) {
    row.message = *unreadable;
  } else if (row.instance.empty() || search_rank(row.search) == std::size(kSearches) || row.seed < 0) {
    row.message = (folder / "run.txt").string() + ": no instance, search or seed";
  } else if (record["status"] != "ok" && record["status"] != "infeasible") {
    row.message = record["message"].empty() ? "recorded as failed" : record["message"];
  } else if (auto failure = check_collected(folder, row)) {
    row.message = *failure;
    row.outcome = SolverOutcome{};
  } else {
    row.status = record["status"];
  }
  return row;
}

// A search and the values of its swept settings: one curve, one line of the summary.
struct Group {
  std::string search;
  std::vector<std::pair<std::string, std::string>> settings;
  std::string label() const {
    std::string text = search;
    for (const auto& [name, value] : settings) text += (text == search ? ", " : " ") + name + "=" + value;
    return text;
  }
  // By search, then by each setting's value: numbers in their order before
  // words and lists of move kinds in alphabetical order.
  auto order() const {
    std::vector<std::tuple<std::string, bool, double, std::string>> values;
    for (const auto& [name, value] : settings) {
      const std::optional<double> number = value.find_first_not_of("0123456789.eE+-") == std::string::npos
                                                ? number_of(value) : std::nullopt;
      values.emplace_back(name, !number, number.value_or(0.0), value);
    }
    return std::tuple{search_rank(search), values};
  }
};

struct Stats {
  std::vector<double> values;
  void add(double value) { values.push_back(value); }
  bool empty() const { return values.empty(); }
  double mean() const {
    double sum = 0.0;
    for (const double v : values) sum += v;
    return sum / static_cast<double>(values.size());
  }
  double lowest() const { return *std::min_element(values.begin(), values.end()); }
  // The sample standard deviation (n - 1); needs two values.
  double deviation() const {
    const double m = mean();
    double sum = 0.0;
    for (const double v : values) sum += (v - m) * (v - m);
    return std::sqrt(sum / static_cast<double>(values.size() - 1));
  }
};

// Per group and instance: its runs and what they reached.
struct Cell {
  int runs = 0, failed = 0, infeasible = 0;
  int feasible = 0, below = 0;
  Stats gaps, primals;
  std::set<std::string> limits;
};

struct Collected {
  std::vector<SolverRow> rows;
  std::vector<Group> groups;
  std::vector<std::string> instances;  // sorted
  std::map<std::string, double> best_known;
  std::map<std::pair<std::size_t, std::string>, Cell> cells;  // by group and instance
  std::vector<std::string> setting_names;
};

std::string percent(double value) { return gap_figure(value, "%.2f") + "%"; }

// The performance measure of a group on an instance: mean cost / best known
// = 1 + mean gap / 100; infinite without a feasible run.
double measure(const Collected& c, std::size_t group, const std::string& instance) {
  const auto cell = c.cells.find({group, instance});
  if (cell == c.cells.end() || cell->second.gaps.empty()) return std::numeric_limits<double>::infinity();
  return 1.0 + cell->second.gaps.mean() / 100.0;
}

const char* const kProfileRatio =
    "tau = (1 + mean gap / 100) over the lowest of any search on the instance, (1 + mean gap / 100) being the mean "
    "cost / best known";

std::string summary(const Collected& c, const std::string& results, bool profiled) {
  std::set<long long> seeds;
  for (const SolverRow& row : c.rows) seeds.insert(row.seed);
  std::string text = "# Benchmark summary: " + results + "\n\n";
  text += counted(c.rows.size(), "run") + " on " + counted(c.instances.size(), "instance") + ", " +
          counted(seeds.size(), "seed") + ": " + std::to_string(c.groups.size()) +
          (c.groups.size() == 1 ? " search" : " searches") +
          " with the values of their swept settings, one line each (results.csv has one row per run).\n\n";
  text += "| search | runs | failed | infeasible | feasible | mean gap | best gap | mean primal integral | instances | "
          "below best known |\n";
  text += "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
  for (std::size_t g = 0; g < c.groups.size(); ++g) {
    int runs = 0, failed = 0, infeasible = 0, feasible = 0, below = 0;
    Stats mean_gap, best_gap, mean_primal;
    for (const std::string& instance : c.instances) {
      const auto found = c.cells.find({g, instance});
      if (found == c.cells.end()) continue;
      const Cell& cell = found->second;
      runs += cell.runs, failed += cell.failed, infeasible += cell.infeasible;
      feasible += cell.feasible, below += cell.below;
      if (cell.gaps.empty()) continue;
      mean_gap.add(cell.gaps.mean());
      best_gap.add(cell.gaps.lowest());
      if (!cell.primals.empty()) mean_primal.add(cell.primals.mean());
    }
    const auto shown = [](const Stats& s, bool as_percent) {
      return s.empty() ? std::string("-") : as_percent ? percent(s.mean()) : fixed("%.2f", s.mean());
    };
    text += "| " + c.groups[g].label() + " | " + std::to_string(runs) + " | " + std::to_string(failed) + " | " +
            std::to_string(infeasible) + " | " + std::to_string(feasible) + " | " + shown(mean_gap, true) + " | " +
            shown(best_gap, true) + " | " + shown(mean_primal, false) + " | " +
            std::to_string(mean_gap.values.size()) + " of " + std::to_string(c.instances.size()) + " | " +
            std::to_string(below) + " |\n";
  }
  text +=
      "\ngap: (cost - best known) / best known, in %, of a feasible run's cost (its .sol's total distance). "
      "mean gap and best gap: on each instance the mean and the lowest gap over the seeds' feasible runs, then "
      "their mean over the instances (the instances column: those with a feasible run). "
      "mean primal integral: the same mean of the runs' primal integrals (DIMACS 2021): "
      "PI = 100 x (integral from 0 to T of v(t) dt / (T x best known) - 1), T the run's time limit (a budget run's "
      "own time), v(t) the best objective logged up to t, capped at 1.1 x best known (and that before the first "
      "record). It is 0 for a run at the best known from its start and at most 10, and no lower than the final gap "
      "when that is below 10%. Logged objectives include the overload penalty of solutions that overload a truck. "
      "infeasible: the run's best solution overloads a truck (no .sol); failed runs and infeasible runs count in "
      "no mean. below best known: the feasible runs whose cost is below the best known cost by more than its "
      "rounding, each named below the tables (and in results.csv's message).\n\n";
  if (profiled)
    text += "![Performance profile](profile.png)\n\nThe performance profile (Dolan and More 2002): for each search, "
            "the share of the instances on which its ratio tau is at most tau, with " + std::string(kProfileRatio) +
            ". At tau = 1: the share of instances where it is the best; at the right end: the share "
            "where it has a feasible run. plots/NAME.png shows each instance's gap over time: the median over the "
            "seeds' feasible runs, shaded from the lowest to the highest.\n\n";

  text += "## Per instance\n\n";
  text += "| instance | best known | limit | search | runs | feasible | mean gap | best gap | sd of gap | mean primal "
          "integral | below best known |\n";
  text += "|---|---:|---|---|---:|---:|---:|---:|---:|---:|---:|\n";
  for (const std::string& instance : c.instances) {
    const auto known = c.best_known.find(instance);
    for (std::size_t g = 0; g < c.groups.size(); ++g) {
      const auto found = c.cells.find({g, instance});
      if (found == c.cells.end()) continue;
      const Cell& cell = found->second;
      std::string limits;
      for (const std::string& limit : cell.limits) limits += (limits.empty() ? "" : "; ") + limit;
      const Stats& gaps = cell.gaps;
      text += "| " + instance + " | " + (known == c.best_known.end() ? "-" : shortest(known->second)) + " | " + limits +
              " | " + c.groups[g].label() + " | " + std::to_string(cell.runs) + " | " +
              std::to_string(cell.feasible) + " | " + (gaps.empty() ? "-" : percent(gaps.mean())) + " | " +
              (gaps.empty() ? "-" : percent(gaps.lowest())) + " | " +
              (gaps.values.size() < 2 ? "-" : fixed("%.2f", gaps.deviation())) + " | " +
              (cell.primals.empty() ? "-" : fixed("%.2f", cell.primals.mean())) + " | " + std::to_string(cell.below) +
              " |\n";
    }
  }
  text += "\nsd of gap: the sample standard deviation of the gaps over the seeds (n - 1; \"-\" for fewer than two "
          "feasible runs).\n";
  std::string below;
  for (const SolverRow& row : c.rows)
    if (row.below) below += "- " + row.folder + ": cost " + row.outcome.cost_text + "\n";
  if (!below.empty())
    text += "\n## Below the best known cost\n\nThese runs' costs are below their instance's best known cost (a new "
            "best known solution, or a fault: check the run's solution.sol before publishing its gap). Their gaps "
            "count in the means above.\n\n" + below;
  return text;
}

std::string csv(const Collected& c) {
  std::vector<std::string> header{"instance", "search", "seed"};
  for (const std::string& name : c.setting_names) header.push_back(name);
  for (const char* column : {"limit", "status", "cost", "distance", "overload", "trucks", "best_known", "gap_percent",
                             "primal_integral", "time_limit_seconds", "moves", "iterations", "switch_seconds",
                             "seconds", "host", "wall_seconds", "message"})
    header.emplace_back(column);
  std::string text = csv_line(header);
  for (const SolverRow& row : c.rows) {
    std::vector<std::string> fields{row.instance, row.search, std::to_string(row.seed)};
    for (const std::string& name : c.setting_names) {
      const auto value = std::find_if(row.settings.begin(), row.settings.end(),
                                      [&](const auto& setting) { return setting.first == name; });
      fields.push_back(value == row.settings.end() ? "" : value->second);
    }
    const bool checked = row.status != "failed";
    const auto summary = [&](const char* key) {
      const auto found = row.outcome.summary.find(key);
      std::string value = checked && found != row.outcome.summary.end() ? found->second : "";
      if (value.ends_with(" s")) value.resize(value.size() - 2);
      return value;
    };
    const auto known = c.best_known.find(row.instance);
    fields.insert(fields.end(),
                  {recorded(row.record, "limit"), row.status, checked ? row.outcome.cost_text : "", summary("distance"),
                   summary("overload"), summary("trucks"), known == c.best_known.end() ? "" : shortest(known->second),
                   row.gap ? gap_figure(*row.gap, "%.4f") : "", row.primal ? fixed("%.4f", *row.primal) : "",
                   checked ? shortest(row.time_limit) : "", summary("moves"), summary("iterations"), summary("switch"),
                   summary("time"), recorded(row.record, "host"), recorded(row.record, "wall_seconds"), row.message});
    text += csv_line(fields);
  }
  return text;
}

plot::BandPlot instance_plot(const Collected& c, const std::string& instance) {
  plot::BandPlot plot;
  const double known = c.best_known.at(instance);
  plot.title = instance + ": gap to the best known " + shortest(known) + " over time, median over seeds";
  plot.value = "gap to the best known in %";
  plot.note = "logged objectives: with the overload penalty while a truck is overloaded";
  for (std::size_t g = 0; g < c.groups.size(); ++g) {
    std::vector<plot::StepRun> runs;
    std::size_t made = 0;
    for (const SolverRow& row : c.rows) {
      if (row.group != g || row.instance != instance) continue;
      ++made;
      if (!row.gap) continue;
      plot::StepRun run;
      for (const ProgressRecord& record : row.outcome.log)
        run.push_back({record.seconds, gap_percent(record.objective, known)});
      runs.push_back(std::move(run));
      plot.end = std::max(plot.end, row.time_limit);
    }
    if (runs.empty()) {
      if (made > 0) plot.absent.push_back({c.groups[g].label() + " (0 of " + counted(made, "run") + " feasible)", g});
      continue;
    }
    plot.bands.push_back(plot::median_band(c.groups[g].label() + " (" + std::to_string(runs.size()) + " of " +
                                               counted(made, "run") + " feasible): median final gap ",
                                           runs));
    plot.bands.back().label += percent(plot.bands.back().median.back());
    plot.bands.back().colour = g;
  }
  return plot;
}

// Refuses runs of two different instances under one name, and leaves out
// (with a note) a second run of the same instance, search, seed and
// settings, such as a copied run folder: the first in name order is kept.
void drop_second_runs(const fs::path& results, std::vector<SolverRow>& rows) {
  refuse_two_instances(results, rows);
  std::map<std::tuple<std::string, std::string, long long, std::vector<std::pair<std::string, std::string>>>,
           std::string>
      kept;
  std::vector<SolverRow> kept_rows;
  for (SolverRow& row : rows) {
    const auto [first, fresh] = kept.emplace(std::tuple{row.instance, row.search, row.seed, row.settings}, row.folder);
    if (!fresh && row.seed >= 0) {
      std::fprintf(stderr, "cvrpbatch: note: %s: a second run of %s, %s, seed %lld (beside %s), left out\n",
                   (results / row.folder).c_str(), row.instance.c_str(), row.search.c_str(), row.seed,
                   (results / first->second).c_str());
      continue;
    }
    kept_rows.push_back(std::move(row));
  }
  rows = std::move(kept_rows);
}

}  // namespace

int collect_solver_runs(const CollectArguments& arguments, const std::map<std::string, GivenBest>& given_best,
                        const std::vector<std::string>& names) {
  const fs::path results = arguments.results;
  Collected c;
  for (const std::string& name : names) c.rows.push_back(read_solver_row(results, name));
  drop_second_runs(results, c.rows);

  // The best known costs: --best, else what the runs recorded (the lowest,
  // with a note, when runs of one instance recorded different ones).
  std::set<std::string> instances, setting_names;
  for (const SolverRow& row : c.rows) {
    instances.insert(row.instance);
    for (const auto& [name, value] : row.settings) setting_names.insert(name);
    if (!row.best_known || given_best.count(row.instance)) continue;
    const auto [known, fresh] = c.best_known.emplace(row.instance, *row.best_known);
    if (!fresh && known->second != *row.best_known) {
      std::fprintf(stderr, "cvrpbatch: note: runs of %s recorded best known costs %s and %s: the lower counts\n",
                   row.instance.c_str(), shortest(known->second).c_str(), shortest(*row.best_known).c_str());
      known->second = std::min(known->second, *row.best_known);
    }
  }
  // A --best FILE.sol must be a solution of the instance the runs ran on
  // (the copy of a checked run).
  for (const auto& [instance, given] : given_best) {
    if (given.known.file.empty()) continue;
    const auto checked = std::find_if(c.rows.begin(), c.rows.end(), [&instance](const SolverRow& row) {
      return row.instance == instance && row.status != "failed";
    });
    if (checked == c.rows.end()) continue;
    Instance read;
    refuse_on(read_cvrplib((results / checked->folder / kInstanceFile).string(), checked->record["round"] == "yes", read, nullptr, kComputedDistances));
    BestKnown best;
    refuse_on(read_best_known(given.value, "--best " + instance + "=" + given.value, best, &read));
  }
  apply_given_best(given_best, instances, arguments.results, c.best_known);
  c.instances.assign(instances.begin(), instances.end());
  c.setting_names.assign(setting_names.begin(), setting_names.end());

  // The groups in order: search, then the settings' values as numbers.
  for (SolverRow& row : c.rows) {
    const Group group{row.search, row.settings};
    auto found = std::find_if(c.groups.begin(), c.groups.end(),
                              [&](const Group& g) { return g.search == group.search && g.settings == group.settings; });
    if (found == c.groups.end()) c.groups.push_back(group);
  }
  std::sort(c.groups.begin(), c.groups.end(), [](const Group& a, const Group& b) { return a.order() < b.order(); });
  for (SolverRow& row : c.rows) {
    row.group = static_cast<std::size_t>(
        std::find_if(c.groups.begin(), c.groups.end(),
                     [&](const Group& g) { return g.search == row.search && g.settings == row.settings; }) -
        c.groups.begin());
    Cell& cell = c.cells[{row.group, row.instance}];
    ++cell.runs;
    if (row.record.count("limit")) cell.limits.insert(row.record["limit"]);
    if (row.status == "failed") ++cell.failed;
    if (row.status == "infeasible") ++cell.infeasible;
    if (row.status != "ok") continue;
    ++cell.feasible;
    const auto known = c.best_known.find(row.instance);
    if (known == c.best_known.end()) continue;
    row.gap = gap_percent(row.outcome.cost, known->second);
    cell.gaps.add(*row.gap);
    if (below_known_cost(row.outcome.cost, known->second)) {
      row.below = true;
      ++cell.below;
      row.message = "below the best known cost " + shortest(known->second) + " (a new best known or a fault)";
    }
    if (row.time_limit > 0.0) {
      row.primal = primal_integral(row.outcome.log, known->second, row.time_limit);
      cell.primals.add(*row.primal);
    }
  }
  std::stable_sort(c.rows.begin(), c.rows.end(), [](const SolverRow& x, const SolverRow& y) {
    return std::tuple{x.instance, x.group, x.seed} < std::tuple{y.instance, y.group, y.seed};
  });
  for (const std::string& instance : c.instances)
    if (!c.best_known.count(instance))
      std::fprintf(stderr, "cvrpbatch: note: %s: no best known cost (give --best %s=VALUE): no gaps\n",
                   instance.c_str(), instance.c_str());

  // The profile over the instances where some group has a feasible run.
  plot::ProfilePlot profile;
  std::size_t profiled = 0;
  for (const std::string& instance : c.instances) {
    double best = std::numeric_limits<double>::infinity();
    for (std::size_t g = 0; g < c.groups.size(); ++g) best = std::min(best, measure(c, g, instance));
    if (!std::isfinite(best)) continue;
    ++profiled;
    profile.curves.resize(c.groups.size());
    for (std::size_t g = 0; g < c.groups.size(); ++g) profile.curves[g].ratios.push_back(measure(c, g, instance) / best);
  }
  for (std::size_t g = 0; g < profile.curves.size(); ++g) profile.curves[g].label = c.groups[g].label();
  profile.title = "Performance profile over " + counted(profiled, "instance") + " by mean gap";
  profile.ratio = "tau: (1 + mean gap / 100) = mean cost / best known, over the lowest of any search on the instance";

  std::vector<Picture> pictures;
  if (profiled > 0)
    pictures.push_back({results / "profile", [&profile](const plot::Pictures& target) {
                          return plot::draw_profile(profile, target);
                        }});
  std::size_t plots = 0;
  for (const std::string& instance : c.instances) {
    if (std::none_of(c.rows.begin(), c.rows.end(),
                     [&](const SolverRow& row) { return row.instance == instance && row.gap; }))
      continue;  // no gap to draw
    ++plots;
    pictures.push_back({plot_stem(results, instance), [&c, instance](const plot::Pictures& target) {
                          return plot::draw_bands(instance_plot(c, instance), target);
                        }});
  }
  write_collected(results, csv(c), summary(c, arguments.results, profiled > 0), pictures);

  const auto count = [&](const char* status) {
    return std::count_if(c.rows.begin(), c.rows.end(), [&](const SolverRow& row) { return row.status == status; });
  };
  std::printf("cvrpbatch: %s (%ld failed, %ld infeasible) of %s: results.csv, summary.md, %s and %s in %s\n",
              counted(c.rows.size(), "run").c_str(), static_cast<long>(count("failed")),
              static_cast<long>(count("infeasible")), counted(c.instances.size(), "instance").c_str(),
              profiled > 0 ? "profile.svg/png" : "no profile (no gap)", counted(plots, "plot").c_str(),
              arguments.results.c_str());
  return 0;
}

}  // namespace batch
