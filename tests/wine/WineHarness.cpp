#include "wine/WineHarness.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace winetest {
namespace {

std::string EnvText(const char* name)
{
    const char* value = getenv(name);
    return value != nullptr ? value : "";
}

std::string WindowsBin()
{
    return EnvText("TRESSEL_WINDOWS_BIN");
}

// TRESSEL_WINE names the loader; Debian's wine32:i386 puts the one that runs
// 32-bit programs (and hands 64-bit ones to wine64) here.
std::string WineLoader()
{
    std::string chosen = EnvText("TRESSEL_WINE");
    return chosen.empty() ? "/usr/lib/wine/wine" : chosen;
}

// TRESSEL_WINEPREFIX names the prefix; by default it lies beside the
// Windows build's bin directory, so that it is made once per build.
std::string WinePrefix()
{
    std::string chosen = EnvText("TRESSEL_WINEPREFIX");
    if (!chosen.empty())
        return chosen;
    return std::filesystem::absolute(std::filesystem::path(WindowsBin()) / ".." / "wineprefix")
        .lexically_normal()
        .string();
}

// The environment every Wine start gets: the shared prefix, no debug
// chatter, no display (the program is a console program; the key test
// works without one).
std::vector<std::pair<std::string, std::string>> WineEnvironment()
{
    return {{"WINEPREFIX", WinePrefix()},
            {"WINEDEBUG", "-all"},
            {"WINEDLLOVERRIDES", "mscoree,mshtml="},
            {"DISPLAY", ""},
            {"WAYLAND_DISPLAY", ""}};
}

void CopyInto(const std::string& from, const std::string& toDir)
{
    std::filesystem::path source(from);
    std::filesystem::copy_file(source, std::filesystem::path(toDir) / source.filename(),
                               std::filesystem::copy_options::overwrite_existing);
}

// The command line of a Wine tool run in the shared prefix, its console
// discarded.
std::string QuietCommand(const std::string& program, const std::string& arguments)
{
    std::string unsets, sets;
    for (auto& kv : WineEnvironment()) {
        if (kv.second.empty())
            unsets += " -u " + kv.first;
        else
            sets += " " + kv.first + "='" + kv.second + "'";
    }
    return "env" + unsets + sets + " '" + program + "' " + arguments + " </dev/null >/dev/null 2>&1";
}

// The Wine server beside the loader, or TRESSEL_WINESERVER.
std::string WineServer()
{
    std::string chosen = EnvText("TRESSEL_WINESERVER");
    if (!chosen.empty())
        return chosen;
    return std::filesystem::path(WineLoader()).parent_path().string() + "/wineserver";
}

// Starts the Wine server and the session's helper processes once, with their
// console on /dev/null. A program started later joins them in milliseconds;
// otherwise every run would wait seconds for helpers that inherited its
// output pipes. The server stays for 30 s after its last client.
void WarmSession()
{
    int ignored = system(QuietCommand(WineServer(), "-p30").c_str());
    ignored = system(QuietCommand(WineLoader(), "wineboot").c_str());
    (void)ignored;
}

// Runs the program with a new terminal as its standard input and pipes for
// its output, as testsupport::Run does otherwise; ended after two minutes.
testsupport::RunResult RunOnTerminal(const testsupport::RunOptions& options)
{
    testsupport::RunResult result;
    int master = -1, slave = -1;
    int out[2], err[2];
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0 || pipe(out) != 0 || pipe(err) != 0)
        return result;
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        std::string entry = *e;
        std::string name = entry.substr(0, entry.find('='));
        bool replaced = name == "TRESSEL_VIRTUAL_BAND" || name == "TRESSEL_TUNER_LIBRARY";
        for (auto& kv : options.Env)
            replaced = replaced || kv.first == name;
        if (!replaced)
            env.push_back(entry);
    }
    for (auto& kv : options.Env)
        if (!kv.second.empty())
            env.push_back(kv.first + "=" + kv.second);
    std::vector<char*> argv{const_cast<char*>(options.Program.c_str())};
    for (auto& a : options.Args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    pid_t pid = fork();
    if (pid == 0) {
        setsid();
        dup2(slave, 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (int fd : {master, slave, out[0], out[1], err[0], err[1]})
            close(fd);
        if (!options.WorkDir.empty() && chdir(options.WorkDir.c_str()) != 0)
            _exit(127);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(slave);
    close(out[1]);
    close(err[1]);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    bool outOpen = true, errOpen = true;
    while ((outOpen || errOpen) && std::chrono::steady_clock::now() < deadline) {
        pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {master, POLLIN, 0}};
        if (poll(fds, 3, 200) <= 0)
            continue;
        char buffer[4096];
        for (int i = 0; i < 3; ++i) {
            if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0)
                continue;
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (i == 0 && n > 0)
                result.Out.append(buffer, static_cast<size_t>(n));
            else if (i == 1 && n > 0)
                result.Err.append(buffer, static_cast<size_t>(n));
            else if (i == 0 && n <= 0)
                outOpen = false;
            else if (i == 1 && n <= 0)
                errOpen = false;
            // The terminal's own output (Wine's console painting it) is dropped.
        }
    }
    if (outOpen || errOpen)
        kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    for (int fd : {master, out[0], err[0]})
        close(fd);
    if (WIFEXITED(status))
        result.ExitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.Signal = WTERMSIG(status);
    return result;
}

} // namespace

bool ProgramIs32Bit()
{
    // The machine field of the PE header: 0x014c for i386.
    std::ifstream file(WindowsBin() + "/tressel.exe", std::ios::binary);
    unsigned char dos[64] = {};
    file.read(reinterpret_cast<char*>(dos), sizeof dos);
    uint32_t peAt = dos[60] | dos[61] << 8 | dos[62] << 16 | static_cast<uint32_t>(dos[63]) << 24;
    unsigned char header[6] = {};
    file.seekg(peAt);
    file.read(reinterpret_cast<char*>(header), sizeof header);
    return header[4] == 0x4c && header[5] == 0x01;
}

std::string PrefixSystemLibrary(const std::string& name)
{
    std::string windows = WinePrefix() + "/drive_c/windows/";
    // A 64-bit prefix keeps its 32-bit libraries in syswow64.
    if (ProgramIs32Bit() && testsupport::FileExists(windows + "syswow64/" + name))
        return windows + "syswow64/" + name;
    return windows + "system32/" + name;
}

std::string WindowsPackage()
{
    return EnvText("TRESSEL_WINDOWS_PACKAGE");
}

std::string VersionReport(const std::string& program)
{
    testsupport::RunOptions options;
    options.Program = WineLoader();
    options.Args = {WindowsPath(WindowsBin() + "/wine_console_tool.exe"), "version", WindowsPath(program)};
    options.Env = WineEnvironment();
    std::string out = testsupport::Run(options).Out;
    std::string lf;
    for (char c : out)
        if (c != '\r')
            lf += c;
    return lf;
}

std::string OtherWindowsBin()
{
    return EnvText("TRESSEL_WINDOWS_OTHER_BIN");
}

std::string MissingPieces()
{
    std::string bin = WindowsBin();
    if (bin.empty())
        return "TRESSEL_WINDOWS_BIN does not name the Windows build's bin directory";
    for (const char* name : {"tressel.exe", "Halvex.dll"})
        if (!testsupport::FileExists(bin + "/" + name))
            return bin + "/" + name + " does not exist";
    if (access(WineLoader().c_str(), X_OK) != 0)
        return "no Wine loader at " + WineLoader() + " (set TRESSEL_WINE)";
    return "";
}

std::string PreparePrefix()
{
    std::string prefix = WinePrefix();
    std::filesystem::create_directories(std::filesystem::path(prefix).parent_path());
    // Concurrent test processes wait here until the first has made the prefix.
    std::string lockPath = prefix + ".lock";
    int lock = open(lockPath.c_str(), O_CREAT | O_RDWR, 0644);
    if (lock < 0)
        return "cannot open " + lockPath;
    flock(lock, LOCK_EX);
    std::string failure;
    if (!testsupport::FileExists(prefix + "/system.reg")) {
        testsupport::RunOptions options;
        options.Program = WineLoader();
        options.Args = {"wineboot", "-i"};
        options.Env = WineEnvironment();
        testsupport::RunResult r = testsupport::Run(options);
        // The registry files are written when the Wine server ends.
        int ignored = system(QuietCommand(WineServer(), "-w").c_str());
        (void)ignored;
        if (r.ExitCode != 0 || !testsupport::FileExists(prefix + "/system.reg"))
            failure = "wineboot could not create the prefix " + prefix + ": " + r.Err;
    }
    static bool warm = false;
    if (failure.empty() && !warm) {
        WarmSession();
        warm = true;
    }
    flock(lock, LOCK_UN);
    close(lock);
    return failure;
}

std::string WindowsPath(const std::string& linuxPath)
{
    std::string path = "Z:" + linuxPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

std::string Crlf(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

bool AllLinesEndCrlf(const std::string& text)
{
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            return false;
    return true;
}

std::string Banner()
{
    return Crlf("Tressel ver." TRESSEL_VERSION_TEXT "\n");
}

void WineTest::SetUp()
{
    std::string missing = MissingPieces();
    if (!missing.empty())
        GTEST_SKIP() << "Wine tests skipped: " << missing;
    std::string failure = PreparePrefix();
    ASSERT_EQ("", failure);
    std::filesystem::create_directories(ProgramDir());
    std::filesystem::create_directories(WorkDir());
    CopyInto(WindowsBin() + "/tressel.exe", ProgramDir());
    CopyInto(WindowsBin() + "/Halvex.dll", ProgramDir());
    if (testsupport::FileExists(WindowsBin() + "/wine_console_tool.exe"))
        CopyInto(WindowsBin() + "/wine_console_tool.exe", ProgramDir());
    WriteBand("");
}

void WineTest::WriteBand(const std::string& text)
{
    testsupport::WriteFile(BandFile(), text);
}

void WineTest::WriteWorkFile(const std::string& name, const std::string& text)
{
    std::filesystem::path path = std::filesystem::path(WorkDir()) / name;
    std::filesystem::create_directories(path.parent_path());
    testsupport::WriteFile(path.string(), text);
}

void WineTest::WriteProgramConfig(const std::string& text)
{
    testsupport::WriteFile(ProgramDir() + "/Tressel.ini", text);
}

void WineTest::PutTunerLibrary(const std::string& path)
{
    std::filesystem::copy_file(path, ProgramDir() + "/Halvex.dll", std::filesystem::copy_options::overwrite_existing);
}

bool WineTest::HasConsoleTool() const
{
    return testsupport::FileExists(ConsoleTool());
}

void WineTest::RemoveTunerLibrary()
{
    std::filesystem::remove(ProgramDir() + "/Halvex.dll");
}

testsupport::RunResult WineTest::Run(const WineRun& run)
{
    testsupport::RunOptions options;
    options.Program = WineLoader();
    options.Args.push_back(WindowsPath(run.Program.empty() ? ProgramDir() + "/tressel.exe" : run.Program));
    options.Args.insert(options.Args.end(), run.Args.begin(), run.Args.end());
    options.Env = WineEnvironment();
    if (run.WithBand)
        options.Env.push_back({"TRESSEL_VIRTUAL_BAND", WindowsPath(BandFile())});
    options.Env.insert(options.Env.end(), run.Env.begin(), run.Env.end());
    options.Stdin = run.Stdin;
    options.WorkDir = WorkDir();
    return run.OnConsole ? RunOnTerminal(options) : testsupport::Run(options);
}

} // namespace winetest
