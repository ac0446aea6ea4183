#include "tools/common/solver_settings.h"

#include <algorithm>
#include <cctype>
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

namespace {

// The setting's words as a message lists them: "random or savings".
std::string words_text(const SolverSetting& setting) {
  std::string text = setting.words;
  for (std::size_t bar = text.find('|'); bar != std::string::npos; bar = text.find('|', bar))
    text.replace(bar, 1, text.find('|', bar + 1) == std::string::npos ? " or " : ", ");
  return text;
}

bool is_word(const SolverSetting& setting, std::string_view text) {
  for (std::string_view words = setting.words; !words.empty();) {
    const std::size_t bar = words.find('|');
    if (text == words.substr(0, bar)) return true;
    words = bar == std::string_view::npos ? std::string_view() : words.substr(bar + 1);
  }
  return false;
}

}  // namespace

SettingValue checked_setting(const SolverSetting& setting, std::string_view option, const std::string& text,
                             char separator) {
  SettingValue value;
  const std::string bad = "bad value '" + text + "' for " + std::string(option);
  if (setting.takes == SettingTakes::move_kinds) {
    std::string listed = text;
    std::replace(listed.begin(), listed.end(), separator, ',');
    const bool other_separator = separator != ',' && text.find(',') != std::string::npos;
    const std::optional<MoveKinds> kinds = other_separator ? std::nullopt : parse_move_kinds(listed);
    if (!kinds)
      throw Usage{bad + " (all, or kinds of move relocate, swap, 2opt, 2opt*, oropt, ruin, each once, separated by '" +
                  std::string(1, separator) + "')"};
    value.kinds = *kinds;
    value.word = move_kinds_text(*kinds);
    return value;
  }
  if (is_word(setting, text)) {
    value.word = text;
    return value;
  }
  if (setting.takes == SettingTakes::words) throw Usage{bad + " (" + words_text(setting) + ")"};
  try {
    value.number = setting_value(setting, option, text);
  } catch (Usage& refused) {
    // A text that is no number at all: the words are named beside the
    // numbers' range, "(a number from 0 to 1, or auto)".
    if (*setting.words != '\0' && !text.empty() && std::isalpha(static_cast<unsigned char>(text[0])) &&
        refused.reason.ends_with(')'))
      refused.reason.insert(refused.reason.size() - 1, ", or " + words_text(setting));
    throw;
  }
  return value;
}

}  // namespace companion
