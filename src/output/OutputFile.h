// Output files that replace their predecessor only when complete.
//
// A writer writes under a temporary name beside the target (the target's
// name with its last character replaced by '~', "4000.tx~" for "4000.txt")
// and renames it over the target at the end. The temporary name is as long
// as the target's, so it fits wherever the target fits, on Windows too. A full
// disk or a failing close therefore never leaves a truncated file where the
// previous pass's complete one stood, and a file that cannot be opened
// leaves the existing one untouched.
#pragma once

#include <cstddef>
#include <cstdio>

namespace tressel {

// Room for a target name of 259 characters and the zero.
constexpr size_t kTempPathCapacity = 260;

// The temporary name for target. Returns its length, or -1 when it does not
// fit out (or target is empty).
int OutputTempName(char* out, size_t cap, const char* target);

struct OutputFile {
    FILE* Stream;
    const char* Target;
    char TempPath[kTempPathCapacity];
};

// Opens the temporary file for target in text mode (line ends as the
// platform writes them). Returns 0, or -2 when the temporary name does not
// fit or the file cannot be created; then nothing exists to close.
int OpenOutputFile(OutputFile* file, const char* target);

// Closes the temporary file and, when every write and the close succeeded,
// renames it over the target. Returns 0, or -2 after a failed write, close
// or rename, in which case the temporary file is removed and the target is
// as it was.
int CommitOutputFile(OutputFile* file);

} // namespace tressel
