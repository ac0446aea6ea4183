#include "tools/common/command_line.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace companion {

void refuse_on(std::optional<std::string> failure) {
  if (!failure) return;
  while (!failure->empty() && failure->back() == '\n') failure->pop_back();
  throw Refused{*failure};
}

std::string fixed(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

bool CommandLine::flag(std::string_view name) {
  if (done() || peek() != name) return false;
  ++at_;
  return true;
}

bool CommandLine::option(std::string_view name, std::string& value) {
  if (done()) return false;
  const std::string_view arg = peek();
  if (arg.size() > name.size() && arg.starts_with(name) && arg[name.size()] == '=') {
    value = std::string(arg.substr(name.size() + 1));
    ++at_;
    return true;
  }
  if (arg != name) return false;
  if (at_ + 1 >= argc_) throw Usage{"missing value for " + std::string(name)};
  value = argv_[at_ + 1];
  at_ += 2;
  return true;
}

std::string CommandLine::operand() {
  const std::string_view arg = peek();
  if (arg.size() > 1 && arg.front() == '-') throw Usage{"unknown option " + std::string(arg)};
  ++at_;
  return std::string(arg);
}

long long whole_value(std::string_view option, const std::string& text, long long low, long long high) {
  long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < low || value > high)
    throw Usage{"bad value '" + text + "' for " + std::string(option) + " (a whole number from " +
                std::to_string(low) + " to " + std::to_string(high) + ")"};
  return value;
}

double real_value(std::string_view option, const std::string& text, double low, double high) {
  char* end = nullptr;
  const double value = text.empty() ? 0.0 : std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value) || value < low || value > high)
    throw Usage{"bad value '" + text + "' for " + std::string(option) + " (a number from " + fixed("%g", low) +
                " to " + fixed("%g", high) + ")"};
  return value;
}

bool asks_help(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::string_view(argv[i]) == "--help" || std::string_view(argv[i]) == "-h") return true;
  return false;
}

}  // namespace companion
