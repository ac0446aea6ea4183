// The bytes of a whole file, for the readers of the program's own files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Far more than any file the program writes or reads: a file beyond it is
// refused before it is read.
inline constexpr std::uintmax_t kTextFileLimit = std::uintmax_t{256} << 20;

// Nothing when `path` names (through symbolic links) a regular file of at
// most kTextFileLimit bytes; otherwise "PATH: cannot read: reason": a folder,
// a FIFO, a device (an endless file) or a larger file is refused before it is
// opened.
std::optional<std::string> check_text_file(const std::string& path);

// Reads the file at `path` into `text` after check_text_file; a file that
// cannot be read gives "PATH: cannot read: reason", otherwise nothing.
std::optional<std::string> read_text_file(const std::string& path, std::string& text);
