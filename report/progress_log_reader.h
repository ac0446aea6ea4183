// Reading back a progress log ("fo_SA.out", "fo_BT.out") as log_progress
// writes it: one record per line, "%4.2f\t  %4.2f\t  %5lld" (seconds since the
// program's start, objective, counter).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct ProgressRecord {
  double seconds = 0.0;
  double objective = 0.0;
  long long counter = 0;
};

// Parses the text of a log. A line that printf with the log's format would not
// print back byte for byte gives "NAME:LINE: ..."; otherwise nothing. An
// empty text is an empty log.
std::optional<std::string> parse_progress_log(std::string_view text, const std::string& name,
                                              std::vector<ProgressRecord>& records);

// parse_progress_log on a file; one that cannot be read gives "PATH: cannot read: reason".
std::optional<std::string> read_progress_log(const std::string& path, std::vector<ProgressRecord>& records);
