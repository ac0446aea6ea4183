// cvrpbatch collect: the run folders under RESULTS read back and checked
// through the library, then results.csv, summary.md and one progress plot
// per instance, written all together.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

#include "report/cvrplib_solution.h"
#include "report/text_file.h"
#include "tools/cvrpbatch/batch.h"
#include "tools/common/output_files.h"
#include "tools/plot/output.h"
#include "tools/plot/run_progress.h"

namespace batch {

namespace fs = std::filesystem;

namespace {

// One run folder as results.csv shows it.
struct Row {
  std::string folder;       // the run folder's name under RESULTS
  std::string instance_id;  // run.txt's identity of the instance files; empty from an older batch
  std::string instance;
  int choice = 0;  // 0: unknown
  bool ok = false;
  ReportValues report;
  int overload = 0;
  ProgressRecord last_best;  // the newest record of the search that found the run's best
  bool last_best_by_tabu = false;
  std::optional<double> best_known;
  std::string host, wall_seconds, message;
  RunLogs logs;
};

const char* const kColumns =
    "instance,choice,status,objective,distance,overload,trucks_used,min_trucks,last_best_seconds,last_best_count,"
    "count_of,best_known,gap_percent,host,wall_seconds,message\n";

// The newest record of the run's last search to find a new best: the tabu
// log's when the tabu search found one or ran alone (the hybrid's tabu log
// starts with the annealing's best), otherwise the annealing log's.
void set_last_best(Row& row) {
  const RunLogs& logs = row.logs;
  row.last_best_by_tabu = logs.tabu.size() > 1 || (logs.annealing.empty() && !logs.tabu.empty());
  row.last_best = row.last_best_by_tabu ? logs.tabu.back() : logs.annealing.back();
}

// The run folder's instance files against the identity run.txt recorded
// (none from an older batch): a message when they differ.
std::optional<std::string> changed_instance(const fs::path& folder, const std::string& recorded) {
  if (recorded.empty()) return std::nullopt;
  try {
    if (folder_identity(folder) == recorded) return std::nullopt;
  } catch (const Refused& unreadable) {
    return unreadable.message;
  }
  return folder.string() + ": its instance files are not those the run was given (their hash is not run.txt's "
         "instance_id " + recorded + ")";
}

Row read_row(const fs::path& results, const std::string& name) {
  Row row;
  row.folder = name;
  const fs::path folder = results / name;
  // Instance and choice from the folder's name NAME-CHOICE, unless run.txt gives them.
  const std::size_t dash = name.rfind('-');
  row.instance = dash == std::string::npos ? name : name.substr(0, dash);
  const std::string choice_text = dash == std::string::npos ? "" : name.substr(dash + 1);
  std::map<std::string, std::string> record;
  const auto unreadable = read_run_record(folder / "run.txt", record);
  if (!record["instance"].empty()) row.instance = record["instance"];
  const std::string choice = record.count("choice") ? record["choice"] : choice_text;
  if (choice == "1" || choice == "2" || choice == "3") row.choice = choice[0] - '0';
  row.instance_id = record["instance_id"];
  row.host = record["host"];
  row.wall_seconds = record["wall_seconds"];

  // The best known solution copied in, checked against the run's instance.
  const fs::path best_known = folder / "best-known.sol";
  std::error_code ignored;
  std::optional<std::string> unusable_best;
  if (fs::exists(best_known, ignored)) {
    BestKnown best;
    Instance instance;
    unusable_best = read_run_instance(folder, run_sizes(), instance);
    if (!unusable_best) unusable_best = read_best_known(best_known.string(), best_known.string(), best, &instance);
    if (!unusable_best) row.best_known = best.cost;
  }

  if (unreadable) {
    row.message = *unreadable;
  } else if (record["status"] != "ok") {
    row.message = record["message"].empty() ? "recorded as failed" : record["message"];
  } else if (row.choice == 0) {
    row.message = (folder / "run.txt").string() + ": no menu choice 1, 2 or 3";
  } else if (auto changed = changed_instance(folder, row.instance_id)) {
    row.message = *changed;
  } else {
    RunFolder run;
    if (auto failure = read_checked_run(folder, row.choice, run)) {
      row.message = *failure;
    } else {
      row.ok = true;
      row.report = std::move(run.report);
      row.overload = run.checked.excess;
      row.logs = std::move(run.logs);
      set_last_best(row);
      if (unusable_best) row.message = *unusable_best;
    }
  }
  return row;
}

std::string csv_row(const Row& row, const std::optional<double>& best) {
  std::vector<std::string> fields{row.instance, row.choice == 0 ? "" : std::to_string(row.choice),
                                  row.ok ? "ok" : "failed"};
  if (row.ok) {
    fields.insert(fields.end(), {row.report.objective_text, row.report.distance_text, std::to_string(row.overload),
                                 std::to_string(row.report.trucks_used), std::to_string(row.report.min_trucks),
                                 fixed("%.2f", row.last_best.seconds), std::to_string(row.last_best.counter),
                                 row.last_best_by_tabu ? "iterations" : "moves"});
  } else {
    fields.resize(fields.size() + 8);
  }
  fields.push_back(best ? shortest(*best) : "");
  fields.push_back(best && row.ok ? gap_figure(gap_percent(row.report.objective, *best), "%.2f") : "");
  std::string message = row.message;
  if (best && row.ok && below_known_cost(row.report.objective, *best))
    message += (message.empty() ? "" : "; ") + std::string("below the best known cost ") + shortest(*best) +
               " (a new best known or a fault)";
  fields.insert(fields.end(), {row.host, row.wall_seconds, message});
  return csv_line(fields);
}

// A mean with its count, as "1.23% (4 instances)", or "-" for none.
struct Mean {
  double sum = 0.0;
  int count = 0;
  void add(double value) {
    sum += value;
    ++count;
  }
  std::string text() const {
    if (count == 0) return "-";
    return gap_figure(sum / count, "%.2f") + "% (" + counted(static_cast<std::size_t>(count), "instance") + ")";
  }
};

struct Collected {
  std::vector<Row> rows;
  std::vector<std::string> instances;           // sorted
  std::map<std::string, double> batch_best;     // the lowest objective of an ok run, by instance
  std::map<std::string, double> best_known;     // by instance
  std::map<std::string, const Row*> ok_run[4];  // by choice, then instance
  const Row* ok_run_of(const std::string& instance) const {
    for (const auto& by_instance : ok_run)
      if (const auto found = by_instance.find(instance); found != by_instance.end()) return found->second;
    return nullptr;
  }
};

std::string summary(const Collected& b, const std::string& results) {
  std::string text = "# Batch summary: " + results + "\n\n";
  text += counted(b.rows.size(), "run") + " on " + counted(b.instances.size(), "instance") +
          " (results.csv has one row per run).\n\n";
  text += "| choice | runs | failed | feasible | best objective | mean gap to best known | mean gap to batch best | "
          "below best known |\n";
  text += "|---|---:|---:|---:|---:|---:|---:|---:|\n";
  for (int choice = 1; choice <= 3; ++choice) {
    int runs = 0, failed = 0, feasible = 0, best = 0, below = 0;
    Mean to_known, to_batch;
    for (const Row& row : b.rows) {
      if (row.choice != choice) continue;
      ++runs;
      if (!row.ok) {
        ++failed;
        continue;
      }
      feasible += row.overload == 0 ? 1 : 0;
      const double lowest = b.batch_best.at(row.instance);
      best += row.report.objective == lowest ? 1 : 0;
      if (lowest > 0.0) to_batch.add(gap_percent(row.report.objective, lowest));
      if (const auto known = b.best_known.find(row.instance); known != b.best_known.end()) {
        to_known.add(gap_percent(row.report.objective, known->second));
        below += below_known_cost(row.report.objective, known->second) ? 1 : 0;
      }
    }
    if (runs == 0) continue;
    text += "| " + std::to_string(choice) + " " + search_name(choice) + " | " + std::to_string(runs) + " | " +
            std::to_string(failed) + " | " + std::to_string(feasible) + " | " + std::to_string(best) + " of " +
            std::to_string(b.instances.size()) + " | " + to_known.text() + " | " + to_batch.text() + " | " +
            std::to_string(below) + " |\n";
  }
  text +=
      "\nfeasible: results without overload. best objective: the instances where the choice's run has the lowest "
      "objective of the batch (ties count for each). Gaps are of the objective (the distance plus 1000 per unit of "
      "overload), in % of the best known cost or of the lowest objective any run of the batch reached on the "
      "instance; failed runs count in no mean. below best known: the runs whose objective is below the best known "
      "cost (a new best known, or a fault; results.csv's message names each).\n\n";

  text += "| instance | best known |";
  for (int choice = 1; choice <= 3; ++choice) text += ' ' + std::to_string(choice) + ' ' + search_name(choice) + " |";
  text += "\n|---|---:|---:|---:|---:|\n";
  for (const std::string& instance : b.instances) {
    const auto known = b.best_known.find(instance);
    text += "| " + instance + " | " + (known == b.best_known.end() ? "-" : fixed("%.2f", known->second)) + " |";
    for (int choice = 1; choice <= 3; ++choice) {
      const auto run = b.ok_run[choice].find(instance);
      bool failed = false;
      for (const Row& row : b.rows) failed = failed || (row.instance == instance && row.choice == choice && !row.ok);
      if (run != b.ok_run[choice].end()) {
        const bool lowest = run->second->report.objective == b.batch_best.at(instance);
        const std::string bold = lowest ? "**" : "";
        text += ' ' + bold + fixed("%.2f", run->second->report.objective) + bold +
                (run->second->overload > 0 ? " (overloaded)" : "") + " |";
      } else {
        text += failed ? " failed |" : " - |";
      }
    }
    text += "\n";
  }
  text += "\nObjective of each run (two decimals); the lowest of each instance in bold.\n";
  return text;
}

plot::ProgressPlot instance_plot(const Collected& b, const std::string& instance) {
  const double time_limit = static_cast<double>(program_settings(kProgramCustomers).time_limit);
  plot::ProgressPlot plot;
  plot.title = instance + ": the best objective over time, one run per choice";
  plot.layered = true;  // the hybrid's annealing makes the annealing run's moves
  for (int choice = 1; choice <= 3; ++choice) {
    const auto run = b.ok_run[choice].find(instance);
    if (run == b.ok_run[choice].end()) {
      plot.curves.push_back({});  // keeps each choice's colour
      continue;
    }
    const Row& row = *run->second;
    plot.curves.push_back(plot::run_curve(
        row.logs, std::to_string(choice) + " " + search_name(choice) + ": " + fixed("%.2f", row.report.objective),
        time_limit));
    if (choice == 3 && !row.logs.annealing.empty() && !row.logs.tabu.empty())
      plot.markers.push_back({row.logs.tabu.front().seconds, "hybrid: tabu search starts"});
  }
  if (const auto known = b.best_known.find(instance); known != b.best_known.end()) {
    plot.best_known = known->second;
    plot.best_known_label = "best known " + fixed("%.2f", known->second);
  }
  return plot;
}

// Refuses runs of two different instances under one name, and leaves out
// (with a note) a second run of the same instance and choice, such as a
// copied run folder: the one named NAME-CHOICE is kept, else the first.
void drop_second_runs(const fs::path& results, std::vector<Row>& rows) {
  refuse_two_instances(results, rows);
  const auto canonical = [](const Row& row) { return row.folder == row.instance + "-" + std::to_string(row.choice); };
  std::map<std::pair<std::string, int>, std::size_t> kept;  // by instance and choice: the row kept
  std::vector<bool> dropped(rows.size(), false);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].choice == 0) continue;
    const auto [first, fresh] = kept.emplace(std::pair{rows[i].instance, rows[i].choice}, i);
    if (fresh) continue;
    std::size_t drop = i;
    if (canonical(rows[i]) && !canonical(rows[first->second])) std::swap(drop, first->second);
    dropped[drop] = true;
    std::fprintf(stderr, "cvrpbatch: note: %s: a second run of instance %s, choice %d (beside %s), left out\n",
                 (results / rows[drop].folder).c_str(), rows[drop].instance.c_str(), rows[drop].choice,
                 (results / rows[first->second].folder).c_str());
  }
  std::vector<Row> kept_rows;
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (!dropped[i]) kept_rows.push_back(std::move(rows[i]));
  rows = std::move(kept_rows);
}

}  // namespace

std::string csv_line(const std::vector<std::string>& fields) {
  std::string line;
  for (const std::string& field : fields) {
    if (!line.empty()) line += ',';
    if (field.find_first_of(",\"\r\n") == std::string::npos) {
      line += field;
      continue;
    }
    line += '"';
    for (const char c : field) line += c == '"' ? std::string("\"\"") : std::string(1, c);
    line += '"';
  }
  return line + "\n";
}

double gap_percent(double cost, double best_known) { return 100.0 * (cost - best_known) / best_known; }

std::string gap_figure(double gap, const char* format) {
  return fixed(std::fabs(gap) < 1e9 ? format : "%.3g", gap);
}

bool below_known_cost(double cost, double best_known) {
  BestKnown best;  // its decimals: those of its shortest text
  read_best_known(shortest(best_known), "", best);
  return below_best_known(cost, best_known, best.decimals);
}

void apply_given_best(const std::map<std::string, GivenBest>& given_best, const std::set<std::string>& instances,
                      const std::string& results, std::map<std::string, double>& best_known) {
  for (const auto& [name, given] : given_best) {
    if (!instances.count(name))
      std::fprintf(stderr, "cvrpbatch: note: --best %s: no run of that instance under %s\n", name.c_str(),
                   results.c_str());
    best_known[name] = given.known.cost;
  }
}

std::optional<std::string> read_run_record(const fs::path& path, std::map<std::string, std::string>& values) {
  std::string text;
  if (auto failure = read_text_file(path.string(), text)) return failure;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t equals = line.find('=');
    if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return std::nullopt;
}

std::map<std::string, GivenBest> given_best_costs(const std::vector<std::string>& arguments) {
  std::map<std::string, GivenBest> given_best;
  for (const std::string& argument : arguments) {
    // The name is all before the last '=': an instance's name may hold one.
    const std::size_t equals = argument.rfind('=');
    if (equals == std::string::npos || equals == 0)
      throw Refused{"--best " + argument + ": expected NAME=VALUE or NAME=FILE.sol"};
    BestKnown best;
    if (auto failure = read_best_known(argument.substr(equals + 1), "--best " + argument, best)) {
      if (best.number_refused) throw companion::Usage{*failure};
      refuse_on(failure);
    }
    if (!given_best.emplace(argument.substr(0, equals), GivenBest{argument.substr(equals + 1), best}).second)
      throw Refused{"--best " + argument.substr(0, equals) + " is given twice"};
  }
  return given_best;
}

fs::path plot_stem(const fs::path& results, std::string instance) {
  std::replace(instance.begin(), instance.end(), '/', '_');  // a name from run.txt: never a path
  return results / "plots" / instance;
}

void write_collected(const fs::path& results, const std::string& csv, const std::string& summary,
                     const std::vector<Picture>& pictures) {
  // Every target, the tables' and the pictures', is checked before
  // anything is drawn.
  const fs::path plots = results / "plots";
  std::vector<fs::path> targets{results / "results.csv", results / "summary.md"};
  for (const Picture& picture : pictures)
    targets.insert(targets.end(), {picture.stem.string() + ".svg", picture.stem.string() + ".png"});
  std::error_code error;
  const fs::file_status plots_status = fs::symlink_status(plots, error);
  if (fs::exists(plots_status) && !fs::is_directory(plots_status))
    throw Refused{"cannot write into " + plots.string() + ": not a folder"};
  refuse_on(companion::check_targets(targets));

  companion::OutputSet outputs;
  plot::WorkFolder work;
  refuse_on(plot::open_work_folder(work, results, "cvrpbatch"));
  refuse_on(outputs.add(results / "results.csv", csv));
  refuse_on(outputs.add(results / "summary.md", summary));
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    if (pictures[i].stem.parent_path() == plots) {
      fs::create_directory(plots, error);
      if (error) throw Refused{"cannot make " + plots.string() + ": " + error.message()};
    }
    const std::string svg = pictures[i].stem.string() + ".svg", png = pictures[i].stem.string() + ".png";
    refuse_on(pictures[i].draw({work, "picture-" + std::to_string(i + 1), outputs, svg, png}));
  }
  refuse_on(outputs.commit());
}

int collect(const CollectArguments& arguments) {
  const std::map<std::string, GivenBest> given_best = given_best_costs(arguments.best);
  const fs::path results = arguments.results;
  std::error_code error;
  if (!fs::is_directory(results, error)) throw Refused{arguments.results + ": not a folder"};

  // The run folders, each of the program's runs or of cvrpsolve's: the two
  // kinds are compared differently, and never in one table.
  std::vector<std::string> names, program_runs, solver_runs;
  for (const fs::directory_entry& entry : fs::directory_iterator(results)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_directory() && name.front() != '.' && name != "plots") names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    if (!fs::exists(fs::symlink_status(results / name / "run.txt", error))) {
      std::fprintf(stderr, "cvrpbatch: note: %s: not a run folder (no run.txt), left out\n",
                   (results / name).c_str());
      continue;
    }
    std::map<std::string, std::string> record;
    read_run_record(results / name / "run.txt", record);
    (record["kind"] == kSolverKind ? solver_runs : program_runs).push_back(name);
  }
  if (!program_runs.empty() && !solver_runs.empty())
    throw Refused{arguments.results + " holds runs of the program (" + program_runs.front() + ", ...) and of cvrpsolve (" +
                  solver_runs.front() + ", ...): collect each kind from a folder of its own"};
  if (!solver_runs.empty()) return collect_solver_runs(arguments, given_best, solver_runs);
  names = std::move(program_runs);

  Collected b;
  for (const std::string& name : names) b.rows.push_back(read_row(results, name));
  if (b.rows.empty()) throw Refused{arguments.results + ": holds no run folder"};
  drop_second_runs(results, b.rows);
  std::stable_sort(b.rows.begin(), b.rows.end(), [](const Row& x, const Row& y) {
    return std::tie(x.instance, x.choice) < std::tie(y.instance, y.choice);
  });

  std::set<std::string> instances;
  for (const Row& row : b.rows) {
    instances.insert(row.instance);
    if (row.best_known) b.best_known.emplace(row.instance, *row.best_known);
    if (!row.ok) continue;
    b.ok_run[row.choice].emplace(row.instance, &row);
    const auto [lowest, fresh] = b.batch_best.emplace(row.instance, row.report.objective);
    if (!fresh) lowest->second = std::min(lowest->second, row.report.objective);
  }
  b.instances.assign(instances.begin(), instances.end());
  // A --best FILE.sol must be a solution of the runs' instance.
  for (const auto& [instance, given] : given_best) {
    if (given.known.file.empty() || !b.ok_run_of(instance)) continue;
    Instance read;
    refuse_on(read_run_instance(results / b.ok_run_of(instance)->folder, run_sizes(), read));
    BestKnown best;
    refuse_on(read_best_known(given.value, "--best " + instance + "=" + given.value, best, &read));
  }
  apply_given_best(given_best, instances, arguments.results, b.best_known);

  std::string csv = kColumns;
  for (const Row& row : b.rows) {
    const auto known = b.best_known.find(row.instance);
    csv += csv_row(row, known == b.best_known.end() ? std::nullopt : std::optional<double>(known->second));
  }

  std::vector<Picture> pictures;
  for (const std::string& instance : b.instances) {
    if (!b.batch_best.count(instance)) continue;  // no run of it is ok: nothing to draw
    pictures.push_back({plot_stem(results, instance), [&b, instance](const plot::Pictures& target) {
                          return plot::draw_progress(instance_plot(b, instance), target);
                        }});
  }
  write_collected(results, csv, summary(b, arguments.results), pictures);

  const auto failed = std::count_if(b.rows.begin(), b.rows.end(), [](const Row& row) { return !row.ok; });
  std::printf("cvrpbatch: %s (%ld failed) of %s: results.csv, summary.md and %s in %s\n",
              counted(b.rows.size(), "run").c_str(), static_cast<long>(failed),
              counted(b.instances.size(), "instance").c_str(), counted(pictures.size(), "plot").c_str(),
              arguments.results.c_str());
  return 0;
}

}  // namespace batch
