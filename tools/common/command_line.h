// The companions' command lines and failures, read and reported the same way
// by every one of them:
// - "--name VALUE" and "--name=VALUE" both give an option its value; a flag
//   takes none; anything else not starting with "-" is an operand;
// - a command line that cannot be used (an unknown option, a missing or bad
//   value) is a Usage failure: its reason and the usage on standard error,
//   exit status 2; "--help" anywhere prints the help on standard output and
//   exits with 0;
// - an input or output that cannot be used is Refused: "PROGRAM: message" on
//   standard error, exit status 1.
#pragma once

#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

namespace companion {

struct Usage {
  std::string reason;
};

struct Refused {
  std::string message;
};

// Throws Refused with the failure's message (its line breaks at the end
// dropped), when there is one.
void refuse_on(std::optional<std::string> failure);

// printf of one number.
std::string fixed(const char* format, double value);

class CommandLine {
 public:
  // The arguments from argv[first] on.
  CommandLine(int argc, char** argv, int first = 1) : argc_(argc), argv_(argv), at_(first) {}

  bool done() const { return at_ >= argc_; }
  std::string_view peek() const { return argv_[at_]; }

  // When the next argument is flag `name`, takes it.
  bool flag(std::string_view name);
  // When the next argument is option `name`, takes it and its value.
  bool option(std::string_view name, std::string& value);
  // The next argument as an operand; an unknown option is a Usage failure.
  std::string operand();

 private:
  int argc_;
  char** argv_;
  int at_;
};

// An option's value as a whole number in [low, high], or a real number
// (finite) in [low, high]; any other text is a Usage failure naming the option.
long long whole_value(std::string_view option, const std::string& text, long long low, long long high);
double real_value(std::string_view option, const std::string& text, double low, double high);

// True when some argument asks for the help ("--help" or "-h").
bool asks_help(int argc, char** argv);

// Runs a companion's `body` (which returns the exit status) and turns its
// failures into their message and status: Usage 2 (with `usage`), Refused
// and any other exception (out of memory, file system errors) 1.
template <class Body>
int run_companion(const char* program, const char* usage, Body body) {
  try {
    return body();
  } catch (const Usage& bad) {
    std::fprintf(stderr, "%s: %s\n%s", program, bad.reason.c_str(), usage);
    return 2;
  } catch (const Refused& refused) {
    std::fprintf(stderr, "%s: %s\n", program, refused.message.c_str());
    return 1;
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "%s: %s\n", program, failure.what());
    return 1;
  }
}

}  // namespace companion
