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

void output_write_error(const char* path) {
  std::printf("O arquivo %s nao pode ser escrito", path);
  std::fflush(stdout);
  std::exit(1);
}

bool try_log_reset(const char* path) { return File(std::fopen(path, "w")) != nullptr; }

void log_reset(const char* path) {
  if (!try_log_reset(path)) output_file_error(path);
}

void log_progress(const char* path, float seconds, float objective, long long counter) {
  const File file(std::fopen(path, "a+"));
  if (!file) output_file_error(path);
  // Write and close results are ignored: a short log line does not stop the search.
  std::fprintf(file.get(), "%4.2f\t  %4.2f\t  %5lld\n", static_cast<double>(seconds),
               static_cast<double>(objective), counter);
}
