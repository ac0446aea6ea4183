#include "tools/common/solver_settings.h"

#include <iterator>

#include "search/annealing.h"
#include "tools/common/command_line.h"

namespace companion {

const SolverSetting* solver_setting(std::string_view name) {
  for (const SolverSetting& setting : kSolverSettings)
    if (name == setting.name) return &setting;
  return nullptr;
}

double setting_value(const SolverSetting& setting, std::string_view option, const std::string& text) {
  if (setting.name == std::string_view("vehicles") && text.starts_with('+'))
    return static_cast<double>(whole_value(option, text.substr(1), 0, 100000));
  if (setting.whole)
    return static_cast<double>(
        whole_value(option, text, static_cast<long long>(setting.low), static_cast<long long>(setting.high)));
  const double value = real_value(option, text, setting.low, setting.high);
  // The searches hold such a setting as a float: its ends are excluded as
  // the search will see it.
  const auto held = static_cast<double>(static_cast<float>(value));
  if (setting.name == std::string_view("initial-temperature") && !(held > kStopTemperature))
    throw Usage{"bad value '" + text + "' for " + std::string(option) + " (at or below the annealing's stopping temperature " +
                fixed("%g", kStopTemperature) + ": no move would be made)"};
  if (setting.open && !(held > setting.low && held < setting.high))
    throw Usage{"bad value '" + text + "' for " + std::string(option) + " (a number above " + fixed("%g", setting.low) +
                " and below " + fixed("%g", setting.high) + ")"};
  return value;
}

}  // namespace companion
