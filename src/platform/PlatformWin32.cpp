// The Windows side of the platform seam. The program ships as a 32-bit
// console program next to the maker's Halvex.dll; the same file builds the
// 64-bit program that the Wine tests run.
#if defined(_WIN32)

#include "platform/Platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>

#include "common/Text.h"

namespace tressel {

namespace {

// The abort keys as the console reports them: the A key pressed while the
// left Ctrl key is down.
constexpr WORD kKeyA = 0x41;

// The console's Ctrl+C and Ctrl+Break, counted by the control handler, which
// the system runs on a thread of its own.
volatile LONG gBreakRequested = 0;
volatile LONG gBreakCount = 0;
// The console's input buffer while the watch runs (CONIN$, so that a
// redirected standard input still leaves the keys to the console), and the
// input mode it had before.
HANDLE gConsoleInput = INVALID_HANDLE_VALUE;
DWORD gSavedInputMode = 0;
bool gWatching = false;

// What the program returns when a second Ctrl+C ends it at once: the status
// Windows gives a console program ended by Ctrl+C.
constexpr UINT kExitOnSecondBreak = 0xC000013Au;

BOOL WINAPI OnConsoleControl(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE; // closing the window, log-off, shut-down: the system's way
    if (InterlockedIncrement(&gBreakCount) >= 2)
        ExitProcess(kExitOnSecondBreak);
    InterlockedExchange(&gBreakRequested, 1);
    return TRUE;
}

// Reads every input event waiting in the console's buffer (never blocking)
// and tells whether one of them was the A key going down with Left Ctrl held.
// Keys typed into other programs never reach this buffer; a key held down
// repeats its key-down event, so holding the keys is seen at every test.
bool ConsoleAbortKeysTyped()
{
    if (gConsoleInput == INVALID_HANDLE_VALUE)
        return false;
    bool typed = false;
    for (;;) {
        DWORD waiting = 0;
        if (!GetNumberOfConsoleInputEvents(gConsoleInput, &waiting) || waiting == 0)
            break;
        INPUT_RECORD events[32];
        DWORD count = 0;
        if (!ReadConsoleInputW(gConsoleInput, events, 32, &count) || count == 0)
            break;
        for (DWORD i = 0; i < count; ++i) {
            if (events[i].EventType != KEY_EVENT)
                continue;
            const KEY_EVENT_RECORD& key = events[i].Event.KeyEvent;
            if (key.bKeyDown && key.wVirtualKeyCode == kKeyA && (key.dwControlKeyState & LEFT_CTRL_PRESSED) != 0)
                typed = true;
        }
    }
    return typed;
}

bool IsSeparator(char c)
{
    // Windows accepts the forward slash wherever it accepts the backslash.
    return c == '\\' || c == '/';
}

bool IsDriveLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Bits of a pointer in this build: the tuner library must match them.
constexpr unsigned kProgramBits = sizeof(void*) * 8;

// Writes why the library at path could not be loaded into err (capacity
// errCap), followed by the error code. The common cases are worded for the
// user; any other code gets the system's text, whose "%1" stands for the
// library, without the line end that FormatMessageA appends.
void DescribeLoadError(DWORD code, const char* path, char* err, size_t errCap)
{
    if (errCap == 0)
        return;
    const unsigned long number = static_cast<unsigned long>(code);
    if (code == ERROR_BAD_EXE_FORMAT) {
        FormatText(err, errCap, "it is not a %u-bit library; this program needs the %u-bit %s (error %lu)",
                   kProgramBits, kProgramBits, path, number);
        return;
    }
    if (code == ERROR_MOD_NOT_FOUND) {
        FormatText(err, errCap,
                   "it is not in the program's folder nor on the system's search path, or a library it "
                   "needs is missing (error %lu)",
                   number);
        return;
    }
    char reason[256];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                             reason, sizeof reason, nullptr);
    if (n >= sizeof reason)
        n = sizeof reason - 1;
    while (n > 0 && (reason[n - 1] == '\r' || reason[n - 1] == '\n' || reason[n - 1] == ' ' ||
                     reason[n - 1] == '.'))
        --n;
    reason[n] = '\0';
    // The text with each "%1" replaced by the library's name.
    char filled[512];
    size_t used = 0;
    for (DWORD i = 0; i < n && used + 1 < sizeof filled; ++i) {
        if (reason[i] == '%' && reason[i + 1] == '1') {
            used += CopyText(filled + used, sizeof filled - used, path);
            ++i;
        } else {
            filled[used++] = reason[i];
        }
    }
    filled[used] = '\0';
    if (used == 0)
        FormatText(err, errCap, "error %lu", number);
    else
        FormatText(err, errCap, "%s (error %lu)", filled, number);
}

} // namespace

// GetModuleFileNameA cuts a name that does not fit and returns the capacity
// (and on old systems leaves the text unterminated), so a result that fills
// the buffer counts as too long.
int PlatformExecutablePath(char* out, size_t cap)
{
    if (cap == 0)
        return -1;
    out[0] = '\0';
    DWORD size = cap > 0x7fffffffu ? 0x7fffffffu : static_cast<DWORD>(cap);
    DWORD n = GetModuleFileNameA(nullptr, out, size);
    if (n == 0)
        return -1;
    if (n >= size) {
        out[0] = '\0';
        return -2;
    }
    out[n] = '\0';
    return static_cast<int>(n);
}

// A drive and a separator (C:\x\my.ini) or a UNC name (\\server\share\my.ini).
// "C:my.ini" and "\my.ini" depend on the current drive or its directory and
// count as relative.
bool PlatformIsAbsolutePath(const char* path)
{
    if (path == nullptr)
        return false;
    if (IsDriveLetter(path[0]) && path[1] == ':' && IsSeparator(path[2]))
        return true;
    return IsSeparator(path[0]) && IsSeparator(path[1]);
}

bool PlatformFileExists(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// The system's own INI reading: its corner cases (quotes, blanks, numbers
// with trailing text) are those every Windows program shows.
int32_t PlatformIniReadInt(const char* section, const char* key, int32_t def, const char* path)
{
    return static_cast<int32_t>(GetPrivateProfileIntA(section, key, def, path));
}

uint32_t PlatformIniReadText(const char* section, const char* key, const char* def, char* out,
                             uint32_t cap, const char* path)
{
    if (cap == 0)
        return 0;
    // The system cuts a long value to cap - 1 characters and terminates it.
    DWORD n = GetPrivateProfileStringA(section, key, def, out, cap, path);
    out[cap - 1] = '\0';
    return n < cap ? static_cast<uint32_t>(n) : static_cast<uint32_t>(strlen(out));
}

void PlatformSleepMs(uint32_t ms)
{
    Sleep(ms);
}

// The performance counter, in whole milliseconds cut to 32 bits: it wraps
// after 2^32 ms as the seam's clock does, and only differences are used.
// GetTickCount would move in steps of 10-16 ms and show a 500 ms settle as
// less. Whole milliseconds are cut, never rounded, so that a difference is
// never more than the real time passed, and never less than its whole
// milliseconds.
uint32_t PlatformClockMs()
{
    static uint64_t frequency = 0; // fixed at system start
    if (frequency == 0) {
        LARGE_INTEGER f;
        if (!QueryPerformanceFrequency(&f) || f.QuadPart <= 0)
            return static_cast<uint32_t>(GetTickCount());
        frequency = static_cast<uint64_t>(f.QuadPart);
    }
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    uint64_t ticks = static_cast<uint64_t>(now.QuadPart);
    uint64_t ms = ticks / frequency * 1000u + ticks % frequency * 1000u / frequency;
    return static_cast<uint32_t>(ms);
}

int PlatformLocalTime(LocalTime* out)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    out->Year = now.wYear;
    out->Month = now.wMonth;
    out->Day = now.wDay;
    out->Hour = now.wHour;
    out->Minute = now.wMinute;
    return 0;
}

int PlatformLocalTimeIso(char* out, size_t cap)
{
    // The offset is the difference between the local and the UTC reading of
    // the same instant, so that summer time is included.
    SYSTEMTIME utc;
    SYSTEMTIME local;
    GetSystemTime(&utc);
    FILETIME utcFile;
    FILETIME localFile;
    if (SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local) == 0 ||
        SystemTimeToFileTime(&utc, &utcFile) == 0 || SystemTimeToFileTime(&local, &localFile) == 0)
        return -1;
    auto ticks = [](const FILETIME& t) {
        return static_cast<long long>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
                                      t.dwLowDateTime);
    };
    // FILETIME counts 100 ns ticks: 600000000 to the minute.
    long long offsetMinutes = (ticks(localFile) - ticks(utcFile)) / 600000000LL;
    char sign = offsetMinutes < 0 ? '-' : '+';
    if (offsetMinutes < 0)
        offsetMinutes = -offsetMinutes;
    return FormatText(out, cap, "%04u-%02u-%02uT%02u:%02u:%02u.%03u%c%02u:%02u", local.wYear,
                      local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond,
                      local.wMilliseconds, sign,
                      static_cast<unsigned>(offsetMinutes / 60), static_cast<unsigned>(offsetMinutes % 60));
}

// The user stops a scan with Left Ctrl + A in the program's console, or with
// Ctrl+C or Ctrl+Break; the request is kept until this test reads it.
bool PlatformAbortKeysDown()
{
    bool requested = ConsoleAbortKeysTyped();
    if (InterlockedExchange(&gBreakRequested, 0) != 0) {
        // Read: a Ctrl+C from now on is a new first one, as on POSIX, so
        // that one pressed while the pass's files are written cannot lose them.
        InterlockedExchange(&gBreakCount, 0);
        requested = true;
    }
    return requested;
}

// Catches Ctrl+C and Ctrl+Break, and opens the console's input buffer for the
// abort keys. Processed input stays on, so that Ctrl+C reaches the handler
// rather than the buffer.
void PlatformAbortWatchBegin()
{
    if (gWatching)
        return;
    gWatching = true;
    gBreakRequested = 0;
    gBreakCount = 0;
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    gConsoleInput = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (gConsoleInput != INVALID_HANDLE_VALUE && !GetConsoleMode(gConsoleInput, &gSavedInputMode)) {
        CloseHandle(gConsoleInput);
        gConsoleInput = INVALID_HANDLE_VALUE;
    }
    if (gConsoleInput != INVALID_HANDLE_VALUE)
        SetConsoleMode(gConsoleInput, gSavedInputMode | ENABLE_PROCESSED_INPUT);
}

void PlatformAbortWatchEnd()
{
    if (!gWatching)
        return;
    gWatching = false;
    if (gConsoleInput != INVALID_HANDLE_VALUE) {
        SetConsoleMode(gConsoleInput, gSavedInputMode);
        CloseHandle(gConsoleInput);
        gConsoleInput = INVALID_HANDLE_VALUE;
    }
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
}

void* PlatformLibraryOpen(const char* path, char* err, size_t errCap)
{
    HMODULE library = LoadLibraryA(path);
    if (library == nullptr) {
        // Taken before anything else can overwrite the thread's last error.
        DWORD code = GetLastError();
        DescribeLoadError(code, path, err, errCap);
        return nullptr;
    }
    return reinterpret_cast<void*>(library);
}

// GetProcAddress hands back a function address; the seam carries it as a
// plain pointer, which is the same size on every Windows target.
void* PlatformLibrarySymbol(void* library, const char* name)
{
    FARPROC symbol = GetProcAddress(static_cast<HMODULE>(library), name);
    static_assert(sizeof symbol == sizeof(void*), "a function address fits a plain pointer");
    void* address = nullptr;
    memcpy(&address, &symbol, sizeof address);
    return address;
}

void PlatformLibraryClose(void* library)
{
    if (library != nullptr)
        FreeLibrary(static_cast<HMODULE>(library));
}

// The maker's library by its plain name: LoadLibraryA searches the
// executable's directory first, then the system's directories.
int PlatformTunerLibraryName(const char* exeDir, char* out, size_t cap)
{
    (void)exeDir;
    return FormatText(out, cap, "%s", "Halvex.dll");
}

int PlatformReplaceFile(const char* source, const char* target)
{
    return MoveFileExA(source, target, MOVEFILE_REPLACE_EXISTING) != 0 ? 0 : -1;
}

uint64_t PlatformUniqueBits()
{
    static uint64_t counter = 0;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    uint64_t x = (static_cast<uint64_t>(GetCurrentProcessId()) << 40) ^ static_cast<uint64_t>(now.QuadPart) ^
                 (++counter * 0x9E3779B97F4A7C15ull);
    // splitmix64's finaliser: every input bit reaches every output bit.
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// CREATE_NEW fails on any existing name; FILE_FLAG_OPEN_REPARSE_POINT keeps
// a planted link from being followed.
FILE* PlatformCreateNewFile(const char* path, const char* modeFrom, bool* exists)
{
    (void)modeFrom; // a new file gets the directory's inherited permissions
    *exists = false;
    HANDLE handle = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        *exists = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
        return nullptr;
    }
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_TEXT);
    if (fd < 0) {
        CloseHandle(handle);
        DeleteFileA(path);
        return nullptr;
    }
    FILE* stream = _fdopen(fd, "w");
    if (stream == nullptr) {
        _close(fd);
        DeleteFileA(path);
    }
    return stream;
}

int PlatformResolveTarget(const char* path, char* out, size_t cap)
{
    return FormatText(out, cap, "%s", path);
}

bool PlatformFileProtected(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

namespace {

bool FileIdentity(const char* path, BY_HANDLE_FILE_INFORMATION* info)
{
    HANDLE handle = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    bool got = GetFileInformationByHandle(handle, info) != 0;
    CloseHandle(handle);
    return got;
}

} // namespace

namespace {

bool IsConsole(HANDLE handle)
{
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

// Started by a double-click, the program is the only process of a console
// that the system made for it, and the window closes as soon as it ends.
// Started from a console, the shell shares it; redirected, nobody reads it.
bool StartedOnOwnConsole()
{
    if (!IsConsole(GetStdHandle(STD_INPUT_HANDLE)) || !IsConsole(GetStdHandle(STD_OUTPUT_HANDLE)))
        return false;
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
}

} // namespace

bool PlatformSameFile(const char* a, const char* b)
{
    BY_HANDLE_FILE_INFORMATION ia, ib;
    if (a == nullptr || b == nullptr || !FileIdentity(a, &ia) || !FileIdentity(b, &ib))
        return false;
    return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
           ia.nFileIndexLow == ib.nFileIndexLow;
}

bool PlatformIsSmallRegularFile(const char* path, uint64_t maxBytes)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExA(path, GetFileExInfoStandard, &data) == 0)
        return false;
    if ((data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0)
        return false;
    uint64_t size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return size <= maxBytes;
}

// Windows ends the program on Ctrl+C by its own handler: no temporary file
// to clean from a signal.
void PlatformNotePendingFile(const char* path)
{
    (void)path;
}

void PlatformPauseBeforeExit()
{
    if (!StartedOnOwnConsole())
        return;
    fputs("Press Enter to close this window ...\n", stdout);
    fflush(stdout);
    // Keys typed during the scan must not close the window unread.
    FlushConsoleInputBuffer(GetStdHandle(STD_INPUT_HANDLE));
    int c;
    while ((c = getchar()) != EOF && c != '\n') {
    }
}

} // namespace tressel

#endif // _WIN32
