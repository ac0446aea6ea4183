#include "report/text_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>

namespace {

std::string cannot_read(const std::string& path, const std::string& reason) {
  return path + ": cannot read: " + reason;
}

std::string too_large(const std::string& path) {
  return cannot_read(path, "larger than " + std::to_string(kTextFileLimit >> 20) + " MiB, not a file of the program");
}

}  // namespace

std::optional<std::string> check_text_file(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (error) return cannot_read(path, error.message());
  if (fs::is_directory(status)) return cannot_read(path, "a folder, not a file");
  if (!fs::is_regular_file(status)) return cannot_read(path, "not a regular file (a FIFO, a device or a socket)");
  const std::uintmax_t size = fs::file_size(path, error);
  if (error) return cannot_read(path, error.message());
  if (size > kTextFileLimit) return too_large(path);
  return std::nullopt;
}

std::optional<std::string> read_text_file(const std::string& path, std::string& text) {
  if (auto failure = check_text_file(path)) return failure;
  std::ifstream in(path, std::ios::binary);
  if (!in) return cannot_read(path, std::strerror(errno));
  text.clear();
  try {
    // A file that grows while it is read stops at the limit.
    char buffer[1 << 16];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
      text.append(buffer, static_cast<std::size_t>(in.gcount()));
      if (text.size() > kTextFileLimit) return too_large(path);
    }
  } catch (const std::bad_alloc&) {
    return cannot_read(path, "out of memory");
  }
  if (in.bad()) return cannot_read(path, std::strerror(errno));
  return std::nullopt;
}
