// Simulated annealing over random swaps of two interior Route positions.
#pragma once

#include <span>

#include "model/clock.h"
#include "model/instance.h"
#include "model/swap_evaluation.h"

// Improves the current Route by Metropolis-accepted swaps under geometric
// cooling schedules, the k-th starting at initial_temperature / k, until a
// schedule ends with the time since start_clock at or past time_limit (so at
// least one whole schedule always runs). `fo` is carried by adding each
// accepted change; every new best updates fomin and best, prints "Fomin = %f"
// and is logged to "fo_SA.out" with the count of moves made so far (which
// starts at moves_made: 0 in a run). Prints the closing time line. Both
// evaluations make the same moves and print the same numbers.
void simulated_annealing(float time_limit, float initial_temperature, float cooling_factor,
                         int moves_per_temperature, int route_length, std::span<int> current,
                         float& fo, const DistanceMatrix& matrix, int customer_count,
                         int penalty_weight, int vehicle_capacity, std::span<const int> demand,
                         float& fomin, std::span<int> best, ClockTicks start_clock,
                         Evaluation evaluation = Evaluation::incremental, long long moves_made = 0);
