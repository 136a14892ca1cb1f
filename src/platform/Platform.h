// The platform seam: everything that differs between Windows and POSIX.
// One implementation file per platform (PlatformPosix.cpp, PlatformWin32.cpp);
// nothing outside this folder includes a platform header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace tressel {

// The directory separator of the platform, used for the executable's
// directory cut, the "./" or ".\" argument prefix and the completion of the
// output directories.
#if defined(_WIN32)
constexpr char kDirSeparator = '\\';
#else
constexpr char kDirSeparator = '/';
#endif

// Characters that make a name reach into another directory (or drive).
#if defined(_WIN32)
constexpr const char* kPathBreakers = "\\/:";
#else
constexpr const char* kPathBreakers = "/";
#endif

// Writes the running executable's full file name into out (capacity cap,
// terminating zero included). Returns its length, -1 when it cannot be
// obtained, or -2 when it does not fit.
int PlatformExecutablePath(char* out, size_t cap);

// True when path names a file by an absolute path (Linux: begins with '/';
// Windows: a drive and a backslash, or a UNC name).
bool PlatformIsAbsolutePath(const char* path);

// True when a regular file (or anything that can be opened) exists at path.
bool PlatformFileExists(const char* path);

// Reads an integer key from the INI file at path; the file is read anew at
// every call. A missing file, section or key yields def.
int32_t PlatformIniReadInt(const char* section, const char* key, int32_t def, const char* path);

// Reads a text key into out (capacity cap, terminating zero included), cut to
// the capacity. A missing file, section or key yields def. Returns the number
// of characters delivered (without the terminating zero).
uint32_t PlatformIniReadText(const char* section, const char* key, const char* def, char* out,
                             uint32_t cap, const char* path);

// Suspends the thread for ms milliseconds.
void PlatformSleepMs(uint32_t ms);

// A millisecond clock of elapsed real time (monotonic where the platform has
// one); only differences are meaningful. Wraps after 2^32 ms.
uint32_t PlatformClockMs();

// Local broken-down time, after applying the time-zone setting.
struct LocalTime {
    uint32_t Year;   // full year
    uint32_t Month;  // 1-12
    uint32_t Day;    // 1-31
    uint32_t Hour;   // 0-23
    uint32_t Minute; // 0-59
};
// Returns 0, or -1 when the time cannot be read (then *out is all zero).
int PlatformLocalTime(LocalTime* out);

// The local time now as ISO 8601 with milliseconds and the offset from UTC,
// "2026-12-11T15:04:05.250+01:00", into out (capacity cap, terminating zero
// included). Returns its length, or -1 when the time cannot be read or the
// text does not fit.
int PlatformLocalTimeIso(char* out, size_t cap);

// The abort test. Windows: Left Ctrl + A typed in the program's console, or
// Ctrl+C or Ctrl+Break. POSIX: Ctrl+A typed on the terminal or SIGINT/SIGTERM.
// Either way only since the watch began, and the request stays latched until
// this test reads it; a second Ctrl+C ends the program at once.
bool PlatformAbortKeysDown();
// Brackets the pass loop: POSIX puts a terminal on standard input into
// non-canonical, no-echo mode and catches SIGINT/SIGTERM; Windows opens the
// console's input buffer and catches Ctrl+C and Ctrl+Break. End restores
// what Begin changed (also safe to call when Begin was not).
void PlatformAbortWatchBegin();
void PlatformAbortWatchEnd();

// Run-time library loading. Open returns a handle or null; on failure it
// writes the system's reason into err (capacity errCap).
void* PlatformLibraryOpen(const char* path, char* err, size_t errCap);
void* PlatformLibrarySymbol(void* library, const char* name);
void PlatformLibraryClose(void* library);

// Replaces target by the complete file at source (same directory), atomically
// where the platform allows. Returns 0, or -1 (source then still exists).
int PlatformReplaceFile(const char* source, const char* target);

// Output files. A writer creates its file under a fresh name beside the
// target and renames it into place, so that nothing planted in a shared
// directory (a link, a FIFO, another user's file) is ever opened.

// Bits that differ at every call, within a process and between processes
// (process id, a fine clock, a counter), for unique file names.
uint64_t PlatformUniqueBits();

// Creates a new file at path and opens it for writing in text mode:
// exclusively, so that anything existing at path (a file, a link, a FIFO)
// makes it fail with *exists set, and without following a link. The file gets
// the permission bits of the file at modeFrom when that exists, otherwise
// those of any new file under the process's umask. Returns null on failure.
FILE* PlatformCreateNewFile(const char* path, const char* modeFrom, bool* exists);

// The file that writing to path replaces: a symbolic link at path is
// followed, link after link, to the name it points at (POSIX; Windows
// copies path). Returns the length, or -1 when the result does not fit out
// or the links do not end.
int PlatformResolveTarget(const char* path, char* out, size_t cap);

// True when a file exists at path and the process may not replace it: it is
// marked read-only (no write permission for anyone) or the process lacks
// write permission for it.
bool PlatformFileProtected(const char* path);

// True when a and b name one existing file, whatever the paths (device and
// inode; on Windows the volume and file index).
bool PlatformSameFile(const char* a, const char* b);

// True when path names a regular file of at most maxBytes bytes: a FIFO, a
// device or a huge file is no configuration or band file.
bool PlatformIsSmallRegularFile(const char* path, uint64_t maxBytes);

// The temporary file being written, removed when a signal ends the program
// before it is renamed into place (null: none).
void PlatformNotePendingFile(const char* path);

} // namespace tressel

namespace tressel {

// The tuner library that start-up loads: on Windows "Halvex.dll" by the normal
// DLL search order; on POSIX chosen by TRESSEL_TUNER_LIBRARY: "dvb" gives
// libTresselDvb.so in exeDir, unset, empty or "virtual" libHalvex.so in
// exeDir, anything else is the path itself. Returns the length, or -1
// when the name does not fit out.
int PlatformTunerLibraryName(const char* exeDir, char* out, size_t cap);

} // namespace tressel

namespace tressel {

// Before the program ends. Windows: when the program is the only process of
// its console and both standard input and output are that console (as after
// a double-click), asks for Enter so that the window stays open with the
// results. POSIX: nothing.
void PlatformPauseBeforeExit();

} // namespace tressel
