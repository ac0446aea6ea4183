// Progress logs ("fo_SA.out", "fo_BT.out"): one line at a search's start and
// one at every new best, "%4.2f\t  %4.2f\t  %5d\n" (seconds, objective,
// counter). Each call opens the file by name, writes and closes it again.
#pragma once

// Creates the file empty (or cuts it to length 0). A file that cannot be
// opened ends the run: "O arquivo %s nao pode ser aberto", status 1.
void log_reset(const char* path);

// log_reset without the failure: false when the file cannot be opened.
bool try_log_reset(const char* path);

// Appends one record to the file (created if missing); same failure as log_reset.
// The counter is printed in full at any size, as "%5d" prints an int.
void log_progress(const char* path, float seconds, float objective, long long counter);

// Prints "O arquivo %s nao pode ser aberto" (no line break) and ends the run
// with status 1: the failure of every output file.
[[noreturn]] void output_file_error(const char* path);

// Prints "O arquivo %s nao pode ser escrito" (no line break) and ends the run
// with status 1: an output file opened but not written in full.
[[noreturn]] void output_write_error(const char* path);
