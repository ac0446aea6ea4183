// The primal integral of a run (Berthold 2013, as the 2021 DIMACS
// implementation challenge on vehicle routing scores it): how fast the gap
// to the best known cost closes over the run, from its progress log.
#pragma once

#include <span>

#include "report/progress_log_reader.h"

// With v(t) the lowest objective logged up to time t, capped at
// 1.1 x best_known (and 1.1 x best_known before the first record):
//   PI = 100 x ( integral from 0 to T of v(t) dt / (T x best_known) - 1 ),
// over the run's time limit T = `time_limit` seconds. Records after T do not
// count. The cap keeps it at most 10; a run whose last logged objective at
// or before T is within the cap has a PI no lower than its gap there.
// Needs best_known > 0 and time_limit > 0.
double primal_integral(std::span<const ProgressRecord> records, double best_known, double time_limit);
