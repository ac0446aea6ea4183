// Progress logs ("fo_SA.out", "fo_BT.out"): one line at a search's start and
// one at every new best, "%4.2f\t  %4.2f\t  %5d\n" (seconds, objective,
// counter). Each call opens the file by name, writes and closes it again.
#pragma once

#include <string>

// One record, as the logs hold it.
std::string log_record(float seconds, float objective, long long counter);

// Creates the file empty (or cuts it to length 0); false when it cannot be opened.
[[nodiscard]] bool log_reset(const char* path);

// Appends one record to the file (created if missing); false when it cannot
// be opened. The counter is printed in full at any size, as "%5d" prints an int.
[[nodiscard]] bool log_progress(const char* path, float seconds, float objective, long long counter);
