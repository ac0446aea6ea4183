// Tabu search over the swap neighbourhood, with an adaptive tenure and
// restarts from the best Route.
#pragma once

#include <span>
#include <vector>

#include "model/clock.h"
#include "model/instance.h"
#include "model/swap_evaluation.h"

// The swap an iteration makes and its change of objective.
struct SwapChoice {
  int no1;
  int no2;
  float delta;
  bool operator==(const SwapChoice&) const = default;
};

// Each iteration makes the best admissible swap (even a worsening one),
// records it in the tabu list and keeps the best Route; after max_stall
// iterations without a new best it restarts from the best Route, and stops at
// the first restart whose clock reading is at or past time_limit (measured
// from start_clock). Prints a block per iteration, logs new bests to
// "fo_BT.out". On entry fo == fomin and current == best; on return too.
// Both evaluations make the same moves. When `trace` is given, the scan
// result of every iteration is appended to it.
void tabu_search(float time_limit, int max_stall, int base_tenure, int route_length,
                 std::span<int> current, float& fo, const DistanceMatrix& matrix,
                 int customer_count, int penalty_weight, int vehicle_capacity,
                 std::span<const int> demand, float& fomin, std::span<int> best,
                 ClockTicks start_clock, int flat_move_limit, int tenure_step,
                 Evaluation evaluation = Evaluation::incremental,
                 std::vector<SwapChoice>* trace = nullptr);
