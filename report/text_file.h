// The bytes of a whole file, for the readers of the program's own files.
#pragma once

#include <optional>
#include <string>

// Reads the file at `path` into `text`; a file that cannot be read gives
// "PATH: cannot read: reason", otherwise nothing.
std::optional<std::string> read_text_file(const std::string& path, std::string& text);
