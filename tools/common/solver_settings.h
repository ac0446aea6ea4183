// cvrpsolve's settings as options: their names, the values each takes and
// the searches that use them. cvrpsolve reads its options through this
// table, and cvrpbatch checks the values it sweeps with --set against it
// before any run, so the two never disagree on what a setting takes.
#pragma once

#include <string>
#include <string_view>

#include "model/moves.h"

namespace companion {

// The searches, as bits of SolverSetting::searches.
inline constexpr unsigned kAnnealingSearch = 1, kTabuSearch = 2, kHybridSearch = 4;
inline constexpr unsigned kEverySearch = kAnnealingSearch | kTabuSearch | kHybridSearch;

// What a setting takes: numbers (and its words, if it has any), one of its
// words only, or a list of move kinds (parse_move_kinds).
enum class SettingTakes : unsigned char { numbers, words, move_kinds };

struct SolverSetting {
  const char* name;  // the option without its "--"
  // Its numbers (unused when it takes words only or move kinds):
  bool whole;        // a whole number; otherwise a real number
  double low, high;  // the values it takes, ends included unless `open`
  bool open;         // both ends excluded
  unsigned searches;
  const char* words = "";  // the words it takes, '|' between them: besides its numbers, or alone
  SettingTakes takes = SettingTakes::numbers;
};

inline constexpr SolverSetting kSolverSettings[] = {
    {"initial-temperature", false, 1e-30, 1e30, false, kAnnealingSearch | kHybridSearch, "auto"},
    {"cooling", false, 0.0, 1.0, true, kAnnealingSearch | kHybridSearch},
    {"moves-per-temperature", true, 1, 2147483647, false, kAnnealingSearch | kHybridSearch},
    {"max-stall", true, 1, 2147483647, false, kTabuSearch | kHybridSearch},
    {"tenure", true, 0, 2147483647, false, kTabuSearch | kHybridSearch},
    {"flat-moves", true, 1, 2147483647, false, kTabuSearch | kHybridSearch},
    {"tenure-step", true, 0, 1'000'000, false, kTabuSearch | kHybridSearch},
    {"hybrid-share", false, 0.0, 1.0, false, kHybridSearch},
    {"penalty", true, 0, 1'000'000, false, kEverySearch, "adaptive"},
    {"vehicles", true, 1, 2147483647, false, kEverySearch},
    {"neighbourhoods", false, 0, 0, false, kEverySearch, "", SettingTakes::move_kinds},
    // The nearest customers a move may join a customer to: n x K of them are
    // held, and beyond a thousand a neighbourhood is no longer granular.
    {"granularity", true, 1, 1000, false, kEverySearch},
    {"start", false, 0, 0, false, kEverySearch, "random|savings", SettingTakes::words},
    {"overload-target", false, 0.0, 1.0, true, kEverySearch},
    // Ruin and recreate's: a step takes out at most every customer, and
    // strings no longer than a trip.
    {"ruin-size", true, 1, 100000, false, kAnnealingSearch | kHybridSearch},
    {"ruin-string", true, 1, 100000, false, kAnnealingSearch | kHybridSearch},
    {"blink", false, 0.0, 1.0, false, kAnnealingSearch | kHybridSearch},
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

// A value of any setting, checked: one of its words, a list of move kinds
// (their names separated by `separator`: cvrpbatch's --set takes '+', as the
// comma separates the values it sweeps), or a number (setting_value). Any
// other text is a Usage failure naming the option.
struct SettingValue {
  std::string word;      // the word, or the kinds as move_kinds_text writes them; empty for a number
  MoveKinds kinds = 0;   // the kinds of a list
  double number = 0.0;   // a number
};
SettingValue checked_setting(const SolverSetting& setting, std::string_view option, const std::string& text,
                             char separator = ',');

}  // namespace companion
