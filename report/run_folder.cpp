#include "report/run_folder.h"

#include <cmath>
#include <cstdio>
#include <utility>

namespace fs = std::filesystem;

namespace {

using Failure = std::optional<std::string>;

// The readers' messages end in a line break; these messages are one line.
Failure one_line(Failure failure) {
  if (failure)
    while (!failure->empty() && failure->back() == '\n') failure->pop_back();
  return failure;
}

bool file_present(const fs::path& path) {
  std::error_code ignored;
  return fs::exists(path, ignored);
}

// A log that is absent leaves `present` false; one that is there must hold a record.
Failure read_log(const fs::path& path, bool& present, std::vector<ProgressRecord>& records) {
  present = file_present(path);
  if (!present) return std::nullopt;
  if (Failure failure = read_progress_log(path.string(), records)) return failure;
  if (records.empty()) return path.string() + ": holds no record (a search writes one when it starts)";
  return std::nullopt;
}

}  // namespace

Failure read_run_instance(const fs::path& folder, const RunSizes& sizes, RunInstance& instance) {
  const int nodes = sizes.customer_count + 1;
  Instance read;
  if (Failure failure =
          load_dat_instance(folder, sizes.customer_count, sizes.vehicle_capacity, sizes.penalty_weight, read))
    return one_line(failure);
  instance.matrix = std::move(read.matrix);
  instance.demand = std::move(read.demand);
  instance.points.reset();
  const fs::path coordinates = folder / "coordenadas.dat";
  if (file_present(coordinates)) {
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
  if (have_bt && ends_at_report(bt)) {
    if (have_sa && sa.back().objective == bt.front().objective && sa.back().seconds <= bt.front().seconds)
      logs.annealing = std::move(sa);
    logs.tabu = std::move(bt);
  } else if (have_sa && ends_at_report(sa)) {
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
                                     sizes.vehicle_capacity, sizes.penalty_weight, run.checked))
    return failure;
  return match_logs(folder, run.report, run.logs);
}
