// Output files that replace their predecessor only when complete, safely in
// a directory that others may write.
//
// A writer creates a new file under a unique name beside the target
// ("~" and seven letters or digits, "out/~k3v0q9a"), exclusively and without
// following a link, writes it and renames it over the target at the end.
// Nothing planted in the directory (a link, a FIFO, another user's file) is
// ever opened; two runs writing one directory each publish whole files and
// the last rename wins. A full disk or a failing close never leaves a
// truncated file where the previous pass's complete one stood, and a failed
// file removes only its own temporary file.
//
// The target's own protection holds: a read-only target, or one the process
// may not write, is refused and left as it was. A target that is a symbolic
// link is written through: the file it names is replaced, with its mode.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace tressel {

// Room for a target name after its links are followed, and the zero.
constexpr size_t kTempPathCapacity = 1024;

// The temporary file's name: "~" and this many letters or digits.
constexpr size_t kTempNameLength = 8;

// A candidate temporary name for target from unique bits: the target's
// directory, '~' and seven characters of [0-9a-z]. Returns its length, or -1
// when it does not fit out (or target is empty).
int OutputTempName(char* out, size_t cap, const char* target, unsigned long long bits);

// Where the unique bits of each temporary name come from: the platform's
// source unless a test scripts the names.
extern uint64_t (*gOutputNameBits)();

struct OutputFile {
    FILE* Stream;
    char Target[kTempPathCapacity];   // the file replaced at the end
    char TempPath[kTempPathCapacity];
};

// Never writes over the file at path (the configuration in use), whatever
// the name an output file reaches it by. Null clears it.
void ProtectFromOutput(const char* path);

// Creates the temporary file for target in text mode (line ends as the
// platform writes them). Returns 0, or -2 when the target is protected or
// read-only, a name does not fit or the file cannot be created; then nothing
// exists to close.
int OpenOutputFile(OutputFile* file, const char* target);

// Closes the temporary file and, when every write and the close succeeded,
// renames it over the target. Returns 0, or -2 after a failed write, close
// or rename, in which case the temporary file is removed and the target is
// as it was.
int CommitOutputFile(OutputFile* file);

} // namespace tressel
