#include "wine/WineHarness.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

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

// TRESSEL_WINE names the loader; the Debian wine64 package puts it here.
std::string WineLoader()
{
    std::string chosen = EnvText("TRESSEL_WINE");
    return chosen.empty() ? "/usr/lib/wine/wine64" : chosen;
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

} // namespace

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
    return testsupport::Run(options);
}

} // namespace winetest
