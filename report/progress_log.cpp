#include "report/progress_log.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

void output_file_error(const char* path) {
  std::printf("O arquivo %s nao pode ser aberto", path);
  std::fflush(stdout);
  std::exit(1);
}

void log_reset(const char* path) {
  const File file(std::fopen(path, "w"));
  if (!file) output_file_error(path);
}

void log_progress(const char* path, float seconds, float objective, const int& counter) {
  const File file(std::fopen(path, "a+"));
  if (!file) output_file_error(path);
  // Write and close results are ignored: a short log line does not stop the search.
  std::fprintf(file.get(), "%4.2f\t  %4.2f\t  %5d\n", static_cast<double>(seconds),
               static_cast<double>(objective), counter);
}
