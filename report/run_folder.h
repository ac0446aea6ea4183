// A finished run's folder read back and checked: the instance the run was
// given (distancia.dat, demanda.dat and, when present, coordenadas.dat), its
// report (solucao.dat) checked against that instance, and the progress logs
// (fo_SA.out, fo_BT.out) that belong to the report's run. The companion tools
// use it; the program never reads a run folder back.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "model/instance.h"
#include "report/progress_log_reader.h"
#include "report/report_reader.h"

// What the instance files of a run folder do not say: the number of
// customers they are read for, the trucks' capacity, the overload penalty
// (the program's own, for a folder of the program's run).
struct RunSizes {
  int customer_count = 0;
  int vehicle_capacity = 0;
  int penalty_weight = 0;
};

// The run's searches as its logs tell them; a search that was not part of the
// run has an empty log.
struct RunLogs {
  std::vector<ProgressRecord> annealing;
  std::vector<ProgressRecord> tabu;
};

struct RunFolder {
  Instance instance;  // its points from coordenadas.dat, when the folder has one
  ReportValues report;
  CheckedReport checked;
  RunLogs logs;
};

// Every function below returns the message of the first failure (one line,
// naming the file), or nothing. An empty folder path is the working directory.
// A folder, FIFO, device or oversized file in place of an input is refused
// before it is read (report/text_file.h).

// Reads the instance files with the program's own readers.
std::optional<std::string> read_run_instance(const std::filesystem::path& folder, const RunSizes& sizes,
                                             Instance& instance);

// Which logs belong to the report's run. Each search logs its objective when
// it starts and at every new best, so the run's last log ends at the report's
// objective (to the log's two decimals). A log of an earlier run may be left
// beside them (choice 1 leaves fo_BT.out alone, choice 2 fo_SA.out); the
// hybrid's tabu log starts where its annealing log ends. When both logs end
// at the report's objective and are not a hybrid's pair, their first records
// or, failing those, their modification times tell the run's log; when
// nothing does, the folder is refused naming both logs.
std::optional<std::string> match_logs(const std::filesystem::path& folder, const ReportValues& report, RunLogs& logs);

// The whole folder: the instance, the report read and checked against it,
// then the logs matched to the report, in that order.
std::optional<std::string> read_run_folder(const std::filesystem::path& folder, const RunSizes& sizes, RunFolder& run);
