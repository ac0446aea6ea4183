#include "driver/console.h"

#include <cstdio>

#if __has_include(<unistd.h>)
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace {

// Opens the null device on descriptor `fd` if it is closed; false when it was.
bool fill_if_closed(int fd, int mode) {
  if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) return true;
  // open takes the lowest free descriptor: `fd` itself, as the caller fills
  // 0, 1 and 2 in that order.
  const int opened = open("/dev/null", mode);
  if (opened != -1 && opened != fd) {
    dup2(opened, fd);
    close(opened);
  }
  return false;
}

}  // namespace

bool open_missing_standard_streams() {
  fill_if_closed(STDIN_FILENO, O_RDONLY);
  const bool output_open = fill_if_closed(STDOUT_FILENO, O_WRONLY);
  fill_if_closed(STDERR_FILENO, O_WRONLY);
  return output_open;
}

#else

// Without POSIX descriptors there is no place a file could take.
bool open_missing_standard_streams() { return true; }

#endif

bool console_written() { return std::fflush(stdout) == 0 && std::ferror(stdout) == 0; }
