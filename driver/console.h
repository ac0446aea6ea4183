// The console: the standard streams the program reads its choices from and
// prints everything on.
#pragma once

// Puts the null device on each of the standard descriptors (input, output,
// error) the program was started without, so that no file the program opens
// later takes one of their places: console text would land in that file.
// Returns false when standard output was among them: the console cannot be
// written.
bool open_missing_standard_streams();

// Flushes standard output; false when some of what was printed could not be
// written (a closed or full device, a write error).
bool console_written();
