#include "report/progress_log_reader.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>

#include "report/text_file.h"

namespace {

// The record as log_progress prints it (int counters print the same).
constexpr const char* kRecord = "%4.2f\t  %4.2f\t  %5lld";

// A whole field as a real number (the text is checked by printing it back).
std::optional<double> real_field(std::string_view field) {
  if (field.empty() || field.size() > 400) return std::nullopt;
  const std::string text(field);
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size()) return std::nullopt;
  return value;
}

std::optional<ProgressRecord> record_of(std::string_view line) {
  const std::size_t first = line.find("\t  ");
  const std::size_t second = first == std::string_view::npos ? first : line.find("\t  ", first + 3);
  if (second == std::string_view::npos) return std::nullopt;
  const auto seconds = real_field(line.substr(0, first));
  const auto objective = real_field(line.substr(first + 3, second - first - 3));
  std::string_view counter_text = line.substr(second + 3);
  while (!counter_text.empty() && counter_text.front() == ' ') counter_text.remove_prefix(1);
  long long counter = 0;
  const auto [end, error] = std::from_chars(counter_text.data(), counter_text.data() + counter_text.size(), counter);
  if (!seconds || !objective || error != std::errc() || end != counter_text.data() + counter_text.size())
    return std::nullopt;
  char printed[1024];
  std::snprintf(printed, sizeof printed, kRecord, *seconds, *objective, counter);
  if (line != printed) return std::nullopt;
  return ProgressRecord{*seconds, *objective, counter};
}

}  // namespace

std::optional<std::string> parse_progress_log(std::string_view text, const std::string& name,
                                              std::vector<ProgressRecord>& records) {
  records.clear();
  int line_number = 0;
  while (!text.empty()) {
    ++line_number;
    const std::size_t stop = text.find('\n');
    if (stop == std::string_view::npos)
      return name + ":" + std::to_string(line_number) + ": the last line has no line end (the log is cut short)";
    std::string_view line = text.substr(0, stop);
    text.remove_prefix(stop + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const auto record = record_of(line);
    if (!record)
      return name + ":" + std::to_string(line_number) +
             ": not a progress record \"seconds<TAB>  objective<TAB>  counter\" as the program writes it";
    records.push_back(*record);
  }
  return std::nullopt;
}

std::optional<std::string> read_progress_log(const std::string& path, std::vector<ProgressRecord>& records) {
  std::string text;
  if (auto failure = read_text_file(path, text)) return failure;
  return parse_progress_log(text, path, records);
}
