#include "report/progress_log.h"

#include <cstdio>
#include <memory>

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

std::string log_record(float seconds, float objective, long long counter) {
  char line[128];
  std::snprintf(line, sizeof line, "%4.2f\t  %4.2f\t  %5lld\n", static_cast<double>(seconds),
                static_cast<double>(objective), counter);
  return line;
}

bool log_reset(const char* path) { return File(std::fopen(path, "w")) != nullptr; }

bool log_progress(const char* path, float seconds, float objective, long long counter) {
  const File file(std::fopen(path, "a+"));
  if (!file) return false;
  // Write and close results are ignored: a short log line does not stop the search.
  std::fputs(log_record(seconds, objective, counter).c_str(), file.get());
  return true;
}
