// The console: every message of the program goes through these, and every
// write is flushed at once so that progress shows live, even through a pipe.
#pragma once

#include <cstdio>

#include "common/Text.h"

namespace tressel {

// Where console messages go; null means standard output. Tests and
// benchmarks point it at a file of their own.
extern FILE* gConsole;

// printf to the console. Returns the number of characters written.
int ConsolePrintf(const char* format, ...) TRESSEL_PRINTF(1, 2);

// The text followed by one line feed, as puts does.
int ConsolePuts(const char* text);

// One line on standard error, "tressel: " first, for anything that is not
// one of the program's console messages (warnings, load failures).
void WarnLine(const char* format, ...) TRESSEL_PRINTF(1, 2);

} // namespace tressel
