// cvrpsolve's settings as options: their names, the values each takes and
// the searches that use them. cvrpsolve reads its options through this
// table, and cvrpbatch checks the values it sweeps with --set against it
// before any run, so the two never disagree on what a setting takes.
#pragma once

#include <string>
#include <string_view>

namespace companion {

// The searches, as bits of SolverSetting::searches.
inline constexpr unsigned kAnnealingSearch = 1, kTabuSearch = 2, kHybridSearch = 4;

struct SolverSetting {
  const char* name;  // the option without its "--"
  bool whole;        // a whole number; otherwise a real number
  double low, high;  // the values it takes, ends included unless `open`
  bool open;         // both ends excluded
  unsigned searches;
};

inline constexpr SolverSetting kSolverSettings[] = {
    {"initial-temperature", false, 1e-30, 1e30, false, kAnnealingSearch | kHybridSearch},
    {"cooling", false, 0.0, 1.0, true, kAnnealingSearch | kHybridSearch},
    {"moves-per-temperature", true, 1, 2147483647, false, kAnnealingSearch | kHybridSearch},
    {"max-stall", true, 1, 2147483647, false, kTabuSearch | kHybridSearch},
    {"tenure", true, 0, 2147483647, false, kTabuSearch | kHybridSearch},
    {"flat-moves", true, 1, 2147483647, false, kTabuSearch | kHybridSearch},
    {"tenure-step", true, 0, 1'000'000, false, kTabuSearch | kHybridSearch},
    {"hybrid-share", false, 0.0, 1.0, false, kHybridSearch},
    {"penalty", true, 0, 1'000'000, false, kAnnealingSearch | kTabuSearch | kHybridSearch},
    {"vehicles", true, 1, 2147483647, false, kAnnealingSearch | kTabuSearch | kHybridSearch},
};

// The setting of that name, or nullptr.
const SolverSetting* solver_setting(std::string_view name);

// The value `text` given to `option` for the setting, checked against what
// it takes; any other text is a Usage failure naming the option. "vehicles"
// also takes "+N" (the fewest trucks the demands need, plus N): N is given
// back then. "initial-temperature" must also be above the annealing's
// stopping temperature as the annealing holds it (a float): from one at or
// below it, no move would be made.
//
// Every range keeps the searches' arithmetic within its types: counts of
// moves, iterations and schedules are 64-bit, and the tenure's growth stops
// at 2^31 - 1 (search/).
double setting_value(const SolverSetting& setting, std::string_view option, const std::string& text);

}  // namespace companion
