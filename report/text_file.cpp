#include "report/text_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

std::optional<std::string> read_text_file(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return path + ": cannot read: " + std::strerror(errno);
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) return path + ": cannot read: " + std::strerror(errno);
  return std::nullopt;
}
