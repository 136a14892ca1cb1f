// The platform seam: everything that differs between Windows and POSIX.
// One implementation file per platform (PlatformPosix.cpp, PlatformWin32.cpp);
// nothing outside this folder includes a platform header.
#pragma once

#include <cstddef>
#include <cstdint>

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

// The abort test. Windows: Left Ctrl and A held now. POSIX: Ctrl+A typed on
// the terminal or SIGINT/SIGTERM received since the watch began; the request
// stays latched until this test reads it.
bool PlatformAbortKeysDown();
// Brackets the pass loop: POSIX puts a terminal on standard input into
// non-canonical, no-echo mode and catches SIGINT/SIGTERM; End restores both
// (also safe to call when Begin was not).
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

} // namespace tressel

namespace tressel {

// The tuner library that start-up loads: on Windows "Halvex.dll" by the normal
// DLL search order; on POSIX chosen by TRESSEL_TUNER_LIBRARY: "dvb" gives
// libTresselDvb.so in exeDir, unset, empty or "virtual" libHalvex.so in
// exeDir, anything else is the path itself. Returns the length, or -1
// when the name does not fit out.
int PlatformTunerLibraryName(const char* exeDir, char* out, size_t cap);

} // namespace tressel
