// The POSIX side of the platform seam (Linux).
#if !defined(_WIN32)

#include "platform/Platform.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/IniParse.h"
#include "common/Text.h"

namespace tressel {

int PlatformExecutablePath(char* out, size_t cap)
{
    if (cap == 0)
        return -1;
    char full[4096];
    ssize_t n = readlink("/proc/self/exe", full, sizeof full);
    out[0] = '\0';
    if (n <= 0)
        return -1;
    if (static_cast<size_t>(n) >= sizeof full || static_cast<size_t>(n) >= cap)
        return -2;
    memcpy(out, full, static_cast<size_t>(n));
    out[n] = '\0';
    return static_cast<int>(n);
}

bool PlatformIsAbsolutePath(const char* path)
{
    return path != nullptr && path[0] == '/';
}

bool PlatformFileExists(const char* path)
{
    struct stat st;
    return stat(path, &st) == 0;
}

namespace {

// The configuration is read anew at every lookup: one replaced by a FIFO
// (whose open blocks) or a device (that never ends) during the run reads as
// missing.
constexpr uint64_t kMaxIniBytes = 16u << 20;

bool IniLookupSafe(const char* path, const char* section, const char* key, char* out, size_t cap)
{
    struct stat st;
    if (path == nullptr || stat(path, &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<uint64_t>(st.st_size) > kMaxIniBytes)
        return false;
    return IniLookup(path, section, key, out, cap) != 0;
}

} // namespace

int32_t PlatformIniReadInt(const char* section, const char* key, int32_t def, const char* path)
{
    char value[64];
    if (!IniLookupSafe(path, section, key, value, sizeof value))
        return def;
    return IniParseInt(value);
}

uint32_t PlatformIniReadText(const char* section, const char* key, const char* def, char* out,
                             uint32_t cap, const char* path)
{
    if (cap == 0)
        return 0;
    if (!IniLookupSafe(path, section, key, out, cap))
        CopyText(out, cap, def);
    return static_cast<uint32_t>(strlen(out));
}

void PlatformSleepMs(uint32_t ms)
{
    struct timespec left = {static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

uint32_t PlatformClockMs()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

int PlatformLocalTime(LocalTime* out)
{
    memset(out, 0, sizeof *out);
    tzset();
    time_t now = time(nullptr);
    struct tm parts;
    if (now == static_cast<time_t>(-1) || localtime_r(&now, &parts) == nullptr)
        return -1;
    out->Year = static_cast<uint32_t>(parts.tm_year + 1900);
    out->Month = static_cast<uint32_t>(parts.tm_mon + 1);
    out->Day = static_cast<uint32_t>(parts.tm_mday);
    out->Hour = static_cast<uint32_t>(parts.tm_hour);
    out->Minute = static_cast<uint32_t>(parts.tm_min);
    return 0;
}

int PlatformLocalTimeIso(char* out, size_t cap)
{
    tzset();
    struct timespec now;
    struct tm parts;
    if (clock_gettime(CLOCK_REALTIME, &now) != 0 || localtime_r(&now.tv_sec, &parts) == nullptr)
        return -1;
    // tm_gmtoff: seconds east of UTC, summer time included.
    long offsetMinutes = parts.tm_gmtoff / 60;
    char sign = offsetMinutes < 0 ? '-' : '+';
    if (offsetMinutes < 0)
        offsetMinutes = -offsetMinutes;
    return FormatText(out, cap, "%04d-%02d-%02dT%02d:%02d:%02d.%03ld%c%02ld:%02ld", parts.tm_year + 1900,
                      parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                      static_cast<long>(now.tv_nsec / 1000000), sign, offsetMinutes / 60, offsetMinutes % 60);
}

// The abort request. On a terminal there is no key state to sample, so the
// request is Ctrl+A typed on the terminal or SIGINT/SIGTERM, latched until the
// abort test reads it.
namespace {

volatile sig_atomic_t gSignalAbort = 0;
volatile sig_atomic_t gSignalCount = 0;
volatile sig_atomic_t gTermCount = 0;
// gTerminalRaw: the terminal is in the mode we set and not yet given back.
volatile sig_atomic_t gTerminalRaw = 0;
struct termios gSavedTerminal;
struct termios gRawTerminal;
bool gWatching = false;

// A SIGTERM asks for the graceful stop first; when the run has not ended this
// many seconds later (it is blocked in a slow file system or a device), it
// ends there, with its files as they stand.
constexpr unsigned kTermGraceSeconds = 10;

// The temporary output file being written, removed when a signal ends the run.
char gPendingFile[4096];
volatile sig_atomic_t gPendingSet = 0;

// The signals the watch handles, and what was installed for them before.
constexpr int kWatchedSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGTSTP, SIGCONT, SIGALRM};
constexpr size_t kWatchedCount = sizeof kWatchedSignals / sizeof kWatchedSignals[0];
struct sigaction gOldActions[kWatchedCount];

bool InForeground()
{
    return tcgetpgrp(STDIN_FILENO) == getpgrp();
}

bool SameTerminalMode(const struct termios& a, const struct termios& b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

// Takes the terminal of a foreground job: remembers its mode and sets ours.
// Only the foreground job may change it: a background one would be stopped
// by SIGTTOU. Safe in a signal handler.
void TakeTerminal()
{
    if (gTerminalRaw != 0 || !isatty(STDIN_FILENO) || !InForeground() ||
        tcgetattr(STDIN_FILENO, &gSavedTerminal) != 0)
        return;
    gRawTerminal = gSavedTerminal;
    // Ctrl+A must reach us as a byte, Ctrl+C must still raise SIGINT, and
    // with VMIN = VTIME = 0 a read returns at once with what was typed.
    gRawTerminal.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    gRawTerminal.c_cc[VMIN] = 0;
    gRawTerminal.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &gRawTerminal) == 0)
        gTerminalRaw = 1;
}

// Gives the terminal back as it was found, but only while it is still in the
// mode we set: once the shell has it again (after Ctrl+Z and bg) its own
// settings stay. With SIGTTOU blocked a background job may still do so
// instead of being stopped. Safe in a signal handler.
void RestoreTerminal()
{
    if (gTerminalRaw == 0)
        return;
    gTerminalRaw = 0;
    sigset_t ttou, old;
    sigemptyset(&ttou);
    sigaddset(&ttou, SIGTTOU);
    sigprocmask(SIG_BLOCK, &ttou, &old);
    struct termios now;
    if (tcgetattr(STDIN_FILENO, &now) == 0 && SameTerminalMode(now, gRawTerminal))
        tcsetattr(STDIN_FILENO, TCSANOW, &gSavedTerminal);
    sigprocmask(SIG_SETMASK, &old, nullptr);
}

// Ends the program from a signal handler: the terminal given back, the
// half-written temporary file removed, the target files as they stand.
[[noreturn]] void EndNow(int signo)
{
    RestoreTerminal();
    if (gPendingSet != 0)
        unlink(gPendingFile);
    _exit(128 + signo);
}

extern "C" void OnWatchSignal(int signo);

void Install(int signo)
{
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = OnWatchSignal;
    // Restart interrupted console writes; sleeps resume on their own.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(signo, &action, nullptr);
}

extern "C" void OnWatchSignal(int signo)
{
    int saved = errno;
    switch (signo) {
    case SIGINT:
        gSignalAbort = 1;
        if (++gSignalCount >= 2)
            EndNow(SIGINT); // the second Ctrl+C ends the program at once
        break;
    case SIGTERM:
        gSignalAbort = 1;
        if (++gTermCount >= 2)
            EndNow(SIGTERM);
        alarm(kTermGraceSeconds);
        break;
    case SIGALRM: // the grace after SIGTERM is over
        EndNow(SIGTERM);
    case SIGTSTP: // give the shell its terminal back while stopped
        RestoreTerminal();
        signal(SIGTSTP, SIG_DFL);
        raise(SIGTSTP);
        break;
    case SIGCONT: // continued in the foreground (fg): take the terminal anew
        Install(SIGTSTP);
        TakeTerminal();
        break;
    default: // SIGHUP, SIGQUIT, SIGPIPE: restore the terminal, then end as usual
        RestoreTerminal();
        if (gPendingSet != 0)
            unlink(gPendingFile);
        signal(signo, SIG_DFL);
        raise(signo);
        break;
    }
    errno = saved;
}

// Runs TakeTerminal outside a handler, with the handlers that touch the
// terminal held off.
void TakeTerminalFromMain()
{
    sigset_t hold, old;
    sigemptyset(&hold);
    sigaddset(&hold, SIGTSTP);
    sigaddset(&hold, SIGCONT);
    sigprocmask(SIG_BLOCK, &hold, &old);
    TakeTerminal();
    sigprocmask(SIG_SETMASK, &old, nullptr);
}

} // namespace

void PlatformNotePendingFile(const char* path)
{
    gPendingSet = 0;
    if (path != nullptr && CopyText(gPendingFile, sizeof gPendingFile, path) == strlen(path))
        gPendingSet = 1;
}

void PlatformAbortWatchBegin()
{
    if (gWatching)
        return;
    gWatching = true;
    gSignalAbort = 0;
    gSignalCount = 0;
    gTermCount = 0;
    for (size_t i = 0; i < kWatchedCount; ++i) {
        sigaction(kWatchedSignals[i], nullptr, &gOldActions[i]);
        // A signal the shell ignores (a background job's SIGINT) stays
        // ignored; the grace timer is ours whatever was set before.
        if (gOldActions[i].sa_handler != SIG_IGN || kWatchedSignals[i] == SIGALRM)
            Install(kWatchedSignals[i]);
    }
    TakeTerminalFromMain();
}

void PlatformAbortWatchEnd()
{
    if (!gWatching)
        return;
    gWatching = false;
    alarm(0);
    RestoreTerminal();
    for (size_t i = 0; i < kWatchedCount; ++i)
        sigaction(kWatchedSignals[i], &gOldActions[i], nullptr);
}

bool PlatformAbortKeysDown()
{
    bool requested = gSignalAbort != 0;
    // A run started in the background takes the terminal once it is brought
    // to the foreground. Only the foreground job may read the terminal: a
    // background one would be stopped by SIGTTIN.
    if (gWatching && gTerminalRaw == 0)
        TakeTerminalFromMain();
    if (gTerminalRaw != 0 && InForeground()) {
        unsigned char typed[64];
        ssize_t n;
        while ((n = read(STDIN_FILENO, typed, sizeof typed)) > 0) {
            if (memchr(typed, 0x01, static_cast<size_t>(n)) != nullptr)
                requested = true;
        }
    }
    if (requested) {
        gSignalAbort = 0;
        gSignalCount = 0;
    }
    return requested;
}

void* PlatformLibraryOpen(const char* path, char* err, size_t errCap)
{
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* reason = dlerror();
        CopyText(err, errCap, reason != nullptr ? reason : "cannot be loaded");
    }
    return library;
}

void* PlatformLibrarySymbol(void* library, const char* name)
{
    return dlsym(library, name);
}

void PlatformLibraryClose(void* library)
{
    if (library != nullptr)
        dlclose(library);
}

int PlatformTunerLibraryName(const char* exeDir, char* out, size_t cap)
{
    // Two short names choose the libraries built beside the program: "dvb"
    // the Linux DVB frontends, "virtual" the virtual tuner; anything else is
    // a path.
    const char* chosen = getenv("TRESSEL_TUNER_LIBRARY");
    if (chosen != nullptr && strcmp(chosen, "dvb") == 0)
        return FormatText(out, cap, "%slibTresselDvb.so", exeDir);
    if (chosen != nullptr && chosen[0] != '\0' && strcmp(chosen, "virtual") != 0)
        return FormatText(out, cap, "%s", chosen);
    return FormatText(out, cap, "%slibHalvex.so", exeDir);
}

int PlatformReplaceFile(const char* source, const char* target)
{
    return rename(source, target) == 0 ? 0 : -1;
}

uint64_t PlatformUniqueBits()
{
    static uint64_t counter = 0;
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    uint64_t x = (static_cast<uint64_t>(getpid()) << 40) ^ static_cast<uint64_t>(now.tv_nsec) ^
                 (static_cast<uint64_t>(now.tv_sec) << 20) ^ (++counter * 0x9E3779B97F4A7C15ull);
    // splitmix64's finaliser: every input bit reaches every output bit.
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

FILE* PlatformCreateNewFile(const char* path, const char* modeFrom, bool* exists)
{
    *exists = false;
    // O_EXCL fails on anything at the name, a dangling link or a FIFO
    // included, and never opens through a link.
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        *exists = errno == EEXIST;
        return nullptr;
    }
    struct stat old;
    if (modeFrom != nullptr && stat(modeFrom, &old) == 0 && S_ISREG(old.st_mode))
        fchmod(fd, old.st_mode & 07777);
    FILE* stream = fdopen(fd, "w");
    if (stream == nullptr) {
        close(fd);
        unlink(path);
    }
    return stream;
}

int PlatformResolveTarget(const char* path, char* out, size_t cap)
{
    char current[4096];
    if (FormatText(current, sizeof current, "%s", path) < 0)
        return -1;
    // As many links as the kernel follows in one path.
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (lstat(current, &st) != 0 || !S_ISLNK(st.st_mode))
            return FormatText(out, cap, "%s", current);
        char link[4096];
        ssize_t n = readlink(current, link, sizeof link - 1);
        if (n <= 0)
            return -1;
        link[n] = '\0';
        if (link[0] == '/') {
            if (FormatText(current, sizeof current, "%s", link) < 0)
                return -1;
            continue;
        }
        // A relative link is relative to the link's own directory.
        char* cut = strrchr(current, '/');
        char joined[sizeof current];
        int made = cut == nullptr ? FormatText(joined, sizeof joined, "%s", link)
                                  : FormatText(joined, sizeof joined, "%.*s/%s",
                                               static_cast<int>(cut - current), current, link);
        if (made < 0)
            return -1;
        memcpy(current, joined, sizeof current);
    }
    return -1;
}

bool PlatformFileProtected(const char* path)
{
    struct stat st;
    if (stat(path, &st) != 0)
        return false;
    // A file without any write bit is read-only even for the superuser.
    if (S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0)
        return true;
    return faccessat(AT_FDCWD, path, W_OK, AT_EACCESS) != 0 && (errno == EACCES || errno == EROFS);
}

bool PlatformSameFile(const char* a, const char* b)
{
    struct stat sa, sb;
    if (a == nullptr || b == nullptr || stat(a, &sa) != 0 || stat(b, &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool PlatformIsSmallRegularFile(const char* path, uint64_t maxBytes)
{
    struct stat st;
    return stat(path, &st) == 0 && S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) <= maxBytes;
}

// A terminal stays open after the program ends: nothing to wait for.
void PlatformPauseBeforeExit()
{
}

} // namespace tressel

#endif // !_WIN32
