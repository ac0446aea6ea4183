#include "report/run_folder.h"

#include <chrono>
#include <cmath>
#include <cstdio>

#include "report/text_file.h"

namespace fs = std::filesystem;

namespace {

using Failure = std::optional<std::string>;

// The readers' messages end in a line break; these messages are one line.
Failure one_line(Failure failure) {
  if (failure)
    while (!failure->empty() && failure->back() == '\n') failure->pop_back();
  return failure;
}

// A name in the folder, whatever it is: a dangling link or a folder there is
// reported by the reader, not taken for an absent file.
bool file_present(const fs::path& path) {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(path, ignored));
}

// A log that is absent leaves `present` false; one that is there must hold a record.
Failure read_log(const fs::path& path, bool& present, std::vector<ProgressRecord>& records) {
  present = file_present(path);
  if (!present) return std::nullopt;
  if (Failure failure = read_progress_log(path.string(), records)) return failure;
  if (records.empty()) return path.string() + ": holds no record (a search writes one when it starts)";
  return std::nullopt;
}

// Which of two logs that both end at the report's objective is the run's
// (`tabu_run` true for fo_BT.out). Both searches log the instance's starting
// objective first when run alone; a tabu log that starts elsewhere is the
// second phase of a hybrid whose annealing log was since replaced, so the
// annealing log is the run's. Otherwise the file written clearly later (by
// more than a second: a run lasts 30) is the run's; when neither is, the
// run cannot be told and the folder is refused.
Failure newer_log(const std::vector<ProgressRecord>& sa, const fs::path& sa_path, const std::vector<ProgressRecord>& bt,
                  const fs::path& bt_path, bool& tabu_run) {
  if (bt.front().objective != sa.front().objective) {
    tabu_run = false;
    return std::nullopt;
  }
  std::error_code sa_error, bt_error;
  const auto sa_time = fs::last_write_time(sa_path, sa_error);
  const auto bt_time = fs::last_write_time(bt_path, bt_error);
  if (!sa_error && !bt_error && (sa_time - bt_time > std::chrono::seconds(1) || bt_time - sa_time > std::chrono::seconds(1))) {
    tabu_run = bt_time > sa_time;
    return std::nullopt;
  }
  return sa_path.string() + " and " + bt_path.string() +
         " both end at the report's objective and neither tells which run it is from: remove the log of the "
         "earlier run";
}

}  // namespace

Failure read_run_instance(const fs::path& folder, const RunSizes& sizes, Instance& instance) {
  const int nodes = sizes.customer_count + 1;
  // The model's readers take any file they can open: a folder, a FIFO, a
  // device or a huge file is refused first, naming the file.
  for (const char* name : {"distancia.dat", "demanda.dat"})
    if (Failure failure = check_text_file((folder / name).string())) return failure;
  if (Failure failure =
          load_dat_instance(folder, sizes.customer_count, sizes.vehicle_capacity, sizes.penalty_weight, instance))
    return one_line(failure);
  instance.points.reset();
  const fs::path coordinates = folder / "coordenadas.dat";
  if (file_present(coordinates)) {
    if (Failure failure = check_text_file(coordinates.string())) return failure;
    instance.points.emplace(static_cast<std::size_t>(nodes));
    return one_line(load_coordinates(coordinates.c_str(), *instance.points));
  }
  return std::nullopt;
}

Failure match_logs(const fs::path& folder, const ReportValues& report, RunLogs& logs) {
  const fs::path sa_path = folder / "fo_SA.out";
  const fs::path bt_path = folder / "fo_BT.out";
  std::vector<ProgressRecord> sa, bt;
  bool have_sa = false, have_bt = false;
  if (Failure failure = read_log(sa_path, have_sa, sa)) return failure;
  if (Failure failure = read_log(bt_path, have_bt, bt)) return failure;
  if (!have_sa && !have_bt)
    return (folder.empty() ? std::string("the working directory") : folder.string()) +
           ": no progress log (fo_SA.out or fo_BT.out)";
  const auto ends_at_report = [&](const std::vector<ProgressRecord>& log) {
    return std::fabs(log.back().objective - report.objective) <= 0.005 + 1e-6;
  };
  logs = RunLogs{};
  const bool bt_ends = have_bt && ends_at_report(bt), sa_ends = have_sa && ends_at_report(sa);
  const bool hybrid = bt_ends && have_sa && sa.back().objective == bt.front().objective &&
                      sa.back().seconds <= bt.front().seconds;
  bool tabu_run = bt_ends;
  if (bt_ends && sa_ends && !hybrid) {
    // Two searches that end at the report's objective, not a hybrid's pair:
    // one log is left from an earlier run.
    if (Failure failure = newer_log(sa, sa_path, bt, bt_path, tabu_run)) return failure;
  }
  if (tabu_run) {
    if (hybrid) logs.annealing = std::move(sa);
    logs.tabu = std::move(bt);
  } else if (sa_ends) {
    logs.annealing = std::move(sa);
  } else {
    const std::vector<ProgressRecord>& last = have_bt ? bt : sa;
    char objective[64];
    std::snprintf(objective, sizeof objective, "%.2f", last.back().objective);
    return (have_bt ? bt_path : sa_path).string() + ": ends at objective " + objective + ", not at the report's " +
           report.objective_text + ": the logs are not from this report's run";
  }
  return std::nullopt;
}

Failure read_run_folder(const fs::path& folder, const RunSizes& sizes, RunFolder& run) {
  if (Failure failure = read_run_instance(folder, sizes, run.instance)) return failure;
  const std::string report_path = (folder / "solucao.dat").string();
  if (Failure failure = read_report(report_path, run.report)) return failure;
  if (Failure failure = check_report(run.report, report_path, run.instance.matrix, run.instance.demand,
                                     run.instance.vehicle_capacity, sizes.penalty_weight, run.checked))
    return failure;
  return match_logs(folder, run.report, run.logs);
}
