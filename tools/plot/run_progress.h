// The progress of one finished run, from its logs, as curves of a progress
// plot: cvrpview draws each search of a run apart, the batch runner draws
// several runs together, one curve each.
#pragma once

#include <string>

#include "report/run_folder.h"
#include "tools/plot/progress_plot.h"

namespace plot {

// Adds one curve per search of the run, held until `time_limit` (the hybrid:
// its annealing up to the switch, then its tabu search, with the switch
// marked), and returns what kind of run it was, for a title: "Simulated
// annealing run", "Tabu search run" or "Hybrid run: annealing, then tabu
// search from S s".
std::string add_search_curves(const RunLogs& logs, double time_limit, ProgressPlot& plot);

// The whole run as one curve: the hybrid's tabu phase continues its
// annealing's curve (without the tabu log's first record, which repeats the
// annealing's best at the switch).
ProgressCurve run_curve(const RunLogs& logs, std::string label, double time_limit);

}  // namespace plot
