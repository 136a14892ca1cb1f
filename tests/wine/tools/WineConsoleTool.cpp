// A Windows helper for the Wine tests: it plays the user at the program's
// console, which a Linux test cannot reach.
//
//   wine_console_tool keys ACTION TRIGGER PROGRAM [ARGS...]
//       Runs PROGRAM in the tool's own console with its standard output piped
//       through the tool, and once that output holds TRIGGER does ACTION:
//       ctrl-a, right-ctrl-a, a      key events written into the console's
//                                    input buffer
//       ctrl-c                       a console control event to the console
//       ctrl-c-twice                 two Ctrl+C events, 100 ms apart
//       outside-keys                 Left Ctrl and A pressed and held through
//                                    the system's keyboard input, not the
//                                    console's
//       none                         nothing
//       Ends with PROGRAM's exit code.
//   wine_console_tool console ALONE|SHARED PROGRAM [ARGS...]
//       Runs PROGRAM with the tool's console as its standard input and
//       output, and with ALONE leaves that console to it (as after a
//       double-click, the program is then its only process; Wine makes no
//       working console for a new one without a display). Prints "ended" or
//       "waiting" after up to 8 s, then what the console shows; a waiting
//       program gets Enter typed and must end. Ends with PROGRAM's exit code.
//   wine_console_tool version FILE
//       Prints the version resource and the manifest of FILE.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string CommandLine(int argc, char** argv, int first)
{
    std::string line;
    for (int i = first; i < argc; ++i) {
        if (!line.empty())
            line += ' ';
        line += '"';
        line += argv[i];
        line += '"';
    }
    return line;
}

// The tool survives the control events it sends to its console.
BOOL WINAPI IgnoreControl(DWORD)
{
    return TRUE;
}

void Key(HANDLE input, WORD vk, wchar_t ch, bool down, DWORD state)
{
    INPUT_RECORD record;
    memset(&record, 0, sizeof record);
    record.EventType = KEY_EVENT;
    record.Event.KeyEvent.bKeyDown = down ? TRUE : FALSE;
    record.Event.KeyEvent.wRepeatCount = 1;
    record.Event.KeyEvent.wVirtualKeyCode = vk;
    record.Event.KeyEvent.wVirtualScanCode = static_cast<WORD>(MapVirtualKeyW(vk, 0));
    record.Event.KeyEvent.uChar.UnicodeChar = ch;
    record.Event.KeyEvent.dwControlKeyState = state;
    DWORD written = 0;
    if (!WriteConsoleInputW(input, &record, 1, &written) || written != 1)
        fprintf(stderr, "tool: WriteConsoleInputW failed (%lu)\n", GetLastError());
}

// Ctrl and A pressed and released as the console reports them.
void TypeControlA(HANDLE input, DWORD controlState)
{
    Key(input, VK_CONTROL, 0, true, controlState);
    Key(input, 'A', 1, true, controlState);
    Key(input, 'A', 1, false, controlState);
    Key(input, VK_CONTROL, 0, false, 0);
}

HANDLE OpenConsoleFile(const char* name)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       OPEN_EXISTING, 0, nullptr);
}

// Wine gives the tool a console when its standard input is a terminal; the
// tests start it so. Started from a pipe it gets a stand-in without an input
// buffer, and a console of its own is the best left to try. The standard
// handles stay the pipes the test reads.
void EnsureConsole()
{
    HANDLE probe = OpenConsoleFile("CONIN$");
    if (probe != INVALID_HANDLE_VALUE) {
        CloseHandle(probe);
        return;
    }
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE), out = GetStdHandle(STD_OUTPUT_HANDLE),
           err = GetStdHandle(STD_ERROR_HANDLE);
    FreeConsole();
    if (!AllocConsole())
        fprintf(stderr, "tool: AllocConsole failed (%lu)\n", GetLastError());
    SetStdHandle(STD_INPUT_HANDLE, in);
    SetStdHandle(STD_OUTPUT_HANDLE, out);
    SetStdHandle(STD_ERROR_HANDLE, err);
}

bool Act(const std::string& action)
{
    HANDLE input = OpenConsoleFile("CONIN$");
    if (input == INVALID_HANDLE_VALUE)
        fprintf(stderr, "tool: cannot open the console's input (%lu)\n", GetLastError());
    if (action == "ctrl-a") {
        TypeControlA(input, LEFT_CTRL_PRESSED);
    } else if (action == "right-ctrl-a") {
        TypeControlA(input, RIGHT_CTRL_PRESSED | ENHANCED_KEY);
    } else if (action == "a") {
        Key(input, 'A', L'a', true, 0);
        Key(input, 'A', L'a', false, 0);
    } else if (action == "ctrl-c" || action == "ctrl-c-twice") {
        if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0))
            fprintf(stderr, "tool: GenerateConsoleCtrlEvent failed (%lu)\n", GetLastError());
        if (action == "ctrl-c-twice") {
            Sleep(100);
            GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
        }
    } else if (action == "outside-keys") {
        keybd_event(VK_LCONTROL, 0x1d, 0, 0);
        keybd_event('A', 0x1e, 0, 0);
        // Tells the test whether the system now sees the keys held, so that
        // a run that ignores them shows something.
        bool held = (GetAsyncKeyState(VK_LCONTROL) & 0x8000) != 0 && (GetAsyncKeyState('A') & 0x8000) != 0;
        fprintf(stderr, "tool: keys held outside the console: %s\n", held ? "yes" : "no");
    } else if (action != "none") {
        fprintf(stderr, "tool: unknown action %s\n", action.c_str());
        return false;
    }
    fprintf(stderr, "tool: %s done\n", action.c_str());
    fflush(stderr);
    CloseHandle(input);
    return true;
}

int Keys(int argc, char** argv)
{
    if (argc < 5)
        return 2;
    std::string action = argv[2];
    std::string trigger = argv[3];
    EnsureConsole();
    SetConsoleCtrlHandler(IgnoreControl, TRUE);

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd, writeEnd;
    CreatePipe(&readEnd, &writeEnd, &inherit, 0);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA start;
    memset(&start, 0, sizeof start);
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    start.hStdOutput = writeEnd;
    start.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child;
    std::string line = CommandLine(argc, argv, 4);
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &child)) {
        fprintf(stderr, "tool: cannot start %s (%lu)\n", line.c_str(), GetLastError());
        return 2;
    }
    CloseHandle(writeEnd);
    std::string seen;
    bool done = false;
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0) {
        fwrite(buffer, 1, n, stdout);
        fflush(stdout);
        if (!done) {
            seen.append(buffer, n);
            if (seen.find(trigger) != std::string::npos) {
                done = true;
                if (!Act(action))
                    TerminateProcess(child.hProcess, 2);
            }
        }
    }
    WaitForSingleObject(child.hProcess, INFINITE);
    if (action == "outside-keys") { // leave no key held for the next run
        keybd_event('A', 0x1e, KEYEVENTF_KEYUP, 0);
        keybd_event(VK_LCONTROL, 0x1d, KEYEVENTF_KEYUP, 0);
    }
    DWORD code = 0;
    GetExitCodeProcess(child.hProcess, &code);
    if (!done)
        fprintf(stderr, "tool: the trigger never came\n");
    return static_cast<int>(code);
}

// The text of the console's screen buffer, trailing blanks of each row cut.
std::string ScreenText()
{
    HANDLE output = OpenConsoleFile("CONOUT$");
    CONSOLE_SCREEN_BUFFER_INFO info;
    std::string text;
    if (!GetConsoleScreenBufferInfo(output, &info))
        return "(no screen buffer)\n";
    for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
        std::string row(static_cast<size_t>(info.dwSize.X), ' ');
        DWORD got = 0;
        COORD at = {0, y};
        ReadConsoleOutputCharacterA(output, &row[0], static_cast<DWORD>(row.size()), at, &got);
        row.resize(got);
        while (!row.empty() && (row.back() == ' ' || row.back() == '\0'))
            row.pop_back();
        text += row + "\n";
    }
    CloseHandle(output);
    return text;
}

int Console(int argc, char** argv)
{
    if (argc < 4)
        return 2;
    bool alone = strcmp(argv[2], "ALONE") == 0;
    // AttachConsole points the standard handles at the console.
    HANDLE reportTo = GetStdHandle(STD_OUTPUT_HANDLE);
    EnsureConsole();
    STARTUPINFOA start;
    memset(&start, 0, sizeof start);
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = OpenConsoleFile("CONIN$");
    start.hStdOutput = OpenConsoleFile("CONOUT$");
    start.hStdError = start.hStdOutput;
    PROCESS_INFORMATION child;
    std::string line = CommandLine(argc, argv, 3);
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &child)) {
        fprintf(stderr, "tool: cannot start %s (%lu)\n", line.c_str(), GetLastError());
        return 2;
    }
    CloseHandle(start.hStdInput);
    CloseHandle(start.hStdOutput);
    if (alone)
        FreeConsole();
    // The program ends within a second or two unless it waits for Enter.
    bool waiting = WaitForSingleObject(child.hProcess, 8000) == WAIT_TIMEOUT;
    std::string report = waiting ? "waiting\n" : "ended\n";
    if (alone && !AttachConsole(child.dwProcessId) && waiting)
        report += "tool: cannot attach to the program's console\n";
    if (!alone || waiting)
        report += ScreenText();
    if (waiting) {
        HANDLE keys = OpenConsoleFile("CONIN$");
        Key(keys, VK_RETURN, L'\r', true, 0);
        Key(keys, VK_RETURN, L'\r', false, 0);
        CloseHandle(keys);
        if (WaitForSingleObject(child.hProcess, 20000) == WAIT_TIMEOUT) {
            report += "tool: Enter did not end the program\n";
            TerminateProcess(child.hProcess, 3);
        }
    }
    DWORD code = 0;
    GetExitCodeProcess(child.hProcess, &code);
    // The report goes to the tool's standard output, which the test reads.
    DWORD written = 0;
    WriteFile(reportTo, report.data(), static_cast<DWORD>(report.size()), &written,
              nullptr);
    return static_cast<int>(code);
}

std::string VersionText(const void* block, const char* name)
{
    char query[128];
    snprintf(query, sizeof query, "\\StringFileInfo\\040904b0\\%s", name);
    char* value = nullptr;
    UINT size = 0;
    if (!VerQueryValueA(block, query, reinterpret_cast<void**>(&value), &size) || value == nullptr)
        return "(none)";
    return value;
}

int Version(const char* file)
{
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(file, &ignored);
    if (size == 0) {
        printf("no version resource\n");
    } else {
        std::string block(size, '\0');
        GetFileVersionInfoA(file, 0, size, &block[0]);
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT fixedSize = 0;
        if (VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize) && fixed != nullptr) {
            printf("FixedFileVersion=%lu.%lu.%lu.%lu\n", HIWORD(fixed->dwFileVersionMS),
                   LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
            printf("FixedProductVersion=%lu.%lu.%lu.%lu\n", HIWORD(fixed->dwProductVersionMS),
                   LOWORD(fixed->dwProductVersionMS), HIWORD(fixed->dwProductVersionLS),
                   LOWORD(fixed->dwProductVersionLS));
        }
        for (const char* name : {"ProductName", "FileDescription", "FileVersion", "ProductVersion",
                                 "OriginalFilename", "CompanyName"})
            printf("%s=%s\n", name, VersionText(block.data(), name).c_str());
    }
    HMODULE module = LoadLibraryExA(file, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC manifest = module != nullptr ? FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)) : nullptr;
    if (manifest == nullptr) {
        printf("no manifest\n");
    } else {
        HGLOBAL data = LoadResource(module, manifest);
        printf("Manifest=%.*s\n", static_cast<int>(SizeofResource(module, manifest)),
               static_cast<const char*>(LockResource(data)));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // The program's output is passed on byte for byte.
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc >= 2 && strcmp(argv[1], "keys") == 0)
        return Keys(argc, argv);
    if (argc >= 2 && strcmp(argv[1], "console") == 0)
        return Console(argc, argv);
    if (argc == 3 && strcmp(argv[1], "version") == 0)
        return Version(argv[2]);
    fprintf(stderr, "usage: wine_console_tool keys|console|version ...\n");
    return 2;
}
