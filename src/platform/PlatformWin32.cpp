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

#include <cstring>

#include "common/Text.h"

namespace tressel {

namespace {

// Virtual-key codes of the abort keys: Left Ctrl and the A key.
constexpr int kKeyLeftControl = 0xA2;
constexpr int kKeyA = 0x41;
// GetKeyState sets the high bit of its result while the key is down.
constexpr unsigned kKeyDownBit = 0x8000;

bool IsSeparator(char c)
{
    // Windows accepts the forward slash wherever it accepts the backslash.
    return c == '\\' || c == '/';
}

bool IsDriveLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Writes the system's text for the error code into err (capacity errCap),
// without the line end that FormatMessageA appends, followed by the code.
void DescribeError(DWORD code, char* err, size_t errCap)
{
    if (errCap == 0)
        return;
    char reason[256];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, reason, sizeof reason, nullptr);
    if (n >= sizeof reason)
        n = sizeof reason - 1;
    while (n > 0 && (reason[n - 1] == '\r' || reason[n - 1] == '\n' || reason[n - 1] == ' ' ||
                     reason[n - 1] == '.'))
        --n;
    reason[n] = '\0';
    if (n == 0)
        FormatText(err, errCap, "error %lu", static_cast<unsigned long>(code));
    else
        FormatText(err, errCap, "%s (error %lu)", reason, static_cast<unsigned long>(code));
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

// GetTickCount wraps after 2^32 ms, as the seam's clock does; only
// differences are used.
uint32_t PlatformClockMs()
{
    return static_cast<uint32_t>(GetTickCount());
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

// The user stops a scan by holding Left Ctrl and A together; the keys are
// sampled at the moment of the test, nothing is latched.
bool PlatformAbortKeysDown()
{
    unsigned control = static_cast<unsigned short>(GetKeyState(kKeyLeftControl));
    unsigned letter = static_cast<unsigned short>(GetKeyState(kKeyA));
    return (control & kKeyDownBit) != 0 && (letter & kKeyDownBit) != 0;
}

// The keys are sampled directly: no terminal mode or signal to set up.
void PlatformAbortWatchBegin()
{
}

void PlatformAbortWatchEnd()
{
}

void* PlatformLibraryOpen(const char* path, char* err, size_t errCap)
{
    HMODULE library = LoadLibraryA(path);
    if (library == nullptr) {
        // Taken before anything else can overwrite the thread's last error.
        DWORD code = GetLastError();
        DescribeError(code, err, errCap);
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

} // namespace tressel

#endif // _WIN32
