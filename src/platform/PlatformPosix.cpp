// The POSIX side of the platform seam (Linux).
#if !defined(_WIN32)

#include "platform/Platform.h"

#include <dlfcn.h>
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
    if (n <= 0 || static_cast<size_t>(n) >= sizeof full)
        return -1;
    if (static_cast<size_t>(n) >= cap)
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

int32_t PlatformIniReadInt(const char* section, const char* key, int32_t def, const char* path)
{
    char value[64];
    if (IniLookup(path, section, key, value, sizeof value) == 0)
        return def;
    return IniParseInt(value);
}

uint32_t PlatformIniReadText(const char* section, const char* key, const char* def, char* out,
                             uint32_t cap, const char* path)
{
    if (cap == 0)
        return 0;
    if (IniLookup(path, section, key, out, cap) == 0)
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

// The abort request. On a terminal there is no key state to sample, so the
// request is Ctrl+A typed on the terminal or SIGINT/SIGTERM, latched until the
// abort test reads it.
namespace {

volatile sig_atomic_t gSignalAbort = 0;
volatile sig_atomic_t gSignalCount = 0;
volatile sig_atomic_t gTerminalSaved = 0;
struct termios gSavedTerminal;
struct termios gRawTerminal;
bool gWatching = false;

// The signals the watch handles, and what was installed for them before.
constexpr int kWatchedSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGTSTP, SIGCONT};
constexpr size_t kWatchedCount = sizeof kWatchedSignals / sizeof kWatchedSignals[0];
struct sigaction gOldActions[kWatchedCount];

bool InForeground()
{
    return tcgetpgrp(STDIN_FILENO) == getpgrp();
}

// Puts the terminal back as it was found. A job sent to the background may
// still do so: with SIGTTOU blocked the change is allowed instead of
// stopping the job.
void RestoreTerminal()
{
    if (gTerminalSaved == 0)
        return;
    sigset_t ttou, old;
    sigemptyset(&ttou);
    sigaddset(&ttou, SIGTTOU);
    sigprocmask(SIG_BLOCK, &ttou, &old);
    tcsetattr(STDIN_FILENO, TCSANOW, &gSavedTerminal);
    sigprocmask(SIG_SETMASK, &old, nullptr);
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
    case SIGTERM:
        gSignalAbort = 1;
        if (signo == SIGINT && ++gSignalCount >= 2) {
            // The second Ctrl+C ends the program at once.
            RestoreTerminal();
            _exit(128 + SIGINT);
        }
        break;
    case SIGTSTP: // give the shell its terminal back while stopped
        RestoreTerminal();
        signal(SIGTSTP, SIG_DFL);
        raise(SIGTSTP);
        break;
    case SIGCONT:
        Install(SIGTSTP);
        if (gTerminalSaved != 0 && InForeground())
            tcsetattr(STDIN_FILENO, TCSANOW, &gRawTerminal);
        break;
    default: // SIGHUP, SIGQUIT, SIGPIPE: restore the terminal, then end as usual
        RestoreTerminal();
        signal(signo, SIG_DFL);
        raise(signo);
        break;
    }
    errno = saved;
}

} // namespace

void PlatformAbortWatchBegin()
{
    if (gWatching)
        return;
    gWatching = true;
    gSignalAbort = 0;
    gSignalCount = 0;
    for (size_t i = 0; i < kWatchedCount; ++i) {
        sigaction(kWatchedSignals[i], nullptr, &gOldActions[i]);
        // A signal the shell ignores (a background job's SIGINT) stays ignored.
        if (gOldActions[i].sa_handler != SIG_IGN)
            Install(kWatchedSignals[i]);
    }

    // Only the foreground job may change the terminal: a background one
    // would be stopped by SIGTTOU.
    if (isatty(STDIN_FILENO) && InForeground() && tcgetattr(STDIN_FILENO, &gSavedTerminal) == 0) {
        gRawTerminal = gSavedTerminal;
        // Ctrl+A must reach us as a byte, Ctrl+C must still raise SIGINT, and
        // with VMIN = VTIME = 0 a read returns at once with what was typed.
        gRawTerminal.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
        gRawTerminal.c_cc[VMIN] = 0;
        gRawTerminal.c_cc[VTIME] = 0;
        gTerminalSaved = 1;
        tcsetattr(STDIN_FILENO, TCSANOW, &gRawTerminal);
    }
}

void PlatformAbortWatchEnd()
{
    if (!gWatching)
        return;
    gWatching = false;
    RestoreTerminal();
    gTerminalSaved = 0;
    for (size_t i = 0; i < kWatchedCount; ++i)
        sigaction(kWatchedSignals[i], &gOldActions[i], nullptr);
}

bool PlatformAbortKeysDown()
{
    bool requested = gSignalAbort != 0;
    // Only the foreground job may read the terminal: a background one would
    // be stopped by SIGTTIN.
    if (gTerminalSaved != 0 && InForeground()) {
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

} // namespace tressel

#endif // !_WIN32
