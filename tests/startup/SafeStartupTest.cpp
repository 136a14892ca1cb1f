// Start-up and the run against what a shared machine may hold: a program
// whose own path is unknown, configuration and band files that are no
// files, a configuration named as an output file, and a SIGTERM while the
// run is blocked in a system call.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/TestSupport.h"

using testsupport::ExitStatus;
using testsupport::ReadFile;
using testsupport::RunOptions;
using testsupport::RunResult;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

const char* const kBand = "[Transponder0]\nFrequency=474000\nBandwidth=8000\nStandard=6\nModulation=20\n";

std::string RecordingLibrary()
{
    return testsupport::BinDir() + "/libRecordingTuner.so";
}

// Standard error without the lines a sanitised build adds ("==123==WARNING: ...").
std::string WithoutSanitizerLines(const std::string& err)
{
    std::string kept;
    size_t at = 0;
    while (at < err.size()) {
        size_t end = err.find('\n', at);
        end = end == std::string::npos ? err.size() : end + 1;
        if (err.compare(at, 2, "==") != 0)
            kept += err.substr(at, end - at);
        at = end;
    }
    return kept;
}

bool Copy(const std::string& from, const std::string& to)
{
    std::error_code error;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, error);
    chmod(to.c_str(), 0755);
    return !error;
}

// A directory whose path is longer than the system's limit, made by
// descending one step at a time; the process's working directory ends
// there. Returns false when the file system refuses.
bool DescendPastThePathLimit(const std::string& base)
{
    if (chdir(base.c_str()) != 0)
        return false;
    const std::string step(200, 'd');
    for (size_t length = base.size(); length <= 4200; length += step.size() + 1) {
        if (mkdir(step.c_str(), 0755) != 0 || chdir(step.c_str()) != 0)
            return false;
    }
    return true;
}

// Without its own path the program has no safe place to load the tuner
// library from: it refuses to start and loads nothing from the current
// directory, where anyone's libHalvex.so may lie.
TEST(SafeStartup, WithoutItsOwnPathTheProgramRefusesToStart)
{
    TempDir dir;
    char cwd[8192];
    ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
    // The program copied to a directory past the path limit, beside a
    // planted library that logs its calls.
    bool deep = DescendPastThePathLimit(dir.Path()) && Copy(testsupport::TresselPath(), "tressel") &&
                Copy(RecordingLibrary(), "libHalvex.so");
    if (deep) {
        WriteFile("Tressel.ini", "[Options]\nDevice=0\n");
        RunOptions options;
        options.Program = "./tressel";
        options.Args = {};
        RunResult r = testsupport::Run(options);
        EXPECT_EQ(ExitStatus(-1), r.ExitCode) << r.Out << r.Err;
        EXPECT_EQ("tressel: the program's own path cannot be found; it loads nothing from elsewhere\n",
                  WithoutSanitizerLines(r.Err));
        EXPECT_EQ(std::string::npos, r.Err.find("call ")) << r.Err;
    }
    ASSERT_EQ(0, chdir(cwd));
    if (!deep)
        GTEST_SKIP() << "the file system refuses a path past the limit";
}

// No /proc at all, in a mount namespace of its own (needs the superuser).
TEST(SafeStartup, WithoutProcTheProgramRefusesToStart)
{
    if (geteuid() != 0 || system("unshare -m true 2>/dev/null") != 0)
        GTEST_SKIP() << "unshare -m is not available to this user";
    TempDir dir;
    ASSERT_TRUE(Copy(RecordingLibrary(), dir.File("libHalvex.so")));
    RunOptions options;
    options.Program = "/bin/sh";
    options.Args = {"-c", "unshare -m --propagation private sh -c 'mount -t tmpfs none /proc && exec \"$0\"' " +
                              testsupport::TresselPath()};
    options.WorkDir = dir.Path();
    RunResult r = testsupport::Run(options);
    if (r.Err.find("Sanitizer") != std::string::npos)
        GTEST_SKIP() << "a sanitised build needs /proc itself";
    EXPECT_EQ(ExitStatus(-1), r.ExitCode) << r.Out << r.Err;
    EXPECT_EQ("tressel: the program's own path cannot be found; it loads nothing from elsewhere\n", r.Err);
}

// A configuration or band file that is a FIFO (whose open blocks), a device
// that never ends or an absurdly large file is refused with one line.
TEST(SafeStartup, FilesThatAreNoFilesAreRefused)
{
    TempDir dir;
    ASSERT_EQ(0, mkfifo(dir.File("fifo.ini").c_str(), 0644));
    WriteFile(dir.File("huge.ini"), "[Options]\n");
    ASSERT_EQ(0, truncate(dir.File("huge.ini").c_str(), 20 << 20));
    WriteFile(dir.File("band.ini"), kBand);
    WriteFile(dir.File("Tressel.ini"), "[Options]\nDevice=0\n[Scan0]\nStart=474000\nStop=482000\n");
    struct Case {
        const char* Name;
        std::string Config;
        std::string Band;
        int Exit;
        std::string Err;
    } cases[] = {
        {"configuration /dev/zero", "/dev/zero", dir.File("band.ini"), -1,
         "tressel: the configuration file /dev/zero is not a regular file of at most 16777216 bytes\n"},
        {"configuration FIFO", dir.File("fifo.ini"), dir.File("band.ini"), -1,
         "tressel: the configuration file " + dir.File("fifo.ini") + " is not a regular file of at most 16777216 bytes\n"},
        {"configuration of 20 MB", dir.File("huge.ini"), dir.File("band.ini"), -1,
         "tressel: the configuration file " + dir.File("huge.ini") + " is not a regular file of at most 16777216 bytes\n"},
        {"band /dev/zero", dir.File("Tressel.ini"), "/dev/zero", -2,
         "virtual tuner: /dev/zero: cannot open: not a regular file\n"},
        {"band FIFO", dir.File("Tressel.ini"), dir.File("fifo.ini"), -2,
         "virtual tuner: " + dir.File("fifo.ini") + ": cannot open: not a regular file\n"},
        {"band of 20 MB", dir.File("Tressel.ini"), dir.File("huge.ini"), -2,
         "virtual tuner: " + dir.File("huge.ini") + ": cannot open: larger than 16777216 bytes\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        RunOptions options;
        options.Args = {c.Config};
        options.WorkDir = dir.Path();
        options.Env = {{"TRESSEL_VIRTUAL_BAND", c.Band}};
        RunResult r = testsupport::Run(options);
        EXPECT_EQ(ExitStatus(c.Exit), r.ExitCode) << r.Out << r.Err;
        EXPECT_EQ(c.Err, r.Err);
    }
}

// However the configuration is named, no output file replaces it: the
// scan table by LocName and the INI list by LocPos.
TEST(SafeStartup, TheConfigurationIsNeverItsOwnOutput)
{
    struct Case {
        const char* ConfigName;
        int IniFormat;
    } cases[] = {{"Europe.ini", 5}, {"4000.ini", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ConfigName);
        TempDir dir;
        WriteFile(dir.File("band.ini"), kBand);
        const std::string config = "[Options]\nDevice=0\nIniFormat=" + std::to_string(c.IniFormat) +
                                   "\n[LocInfo]\nLocPos=4000\nLocName=Europe\n"
                                   "[Scan0]\nStart=474000\nStop=482000\nStep=8\n";
        WriteFile(dir.File(c.ConfigName), config);
        RunOptions options;
        options.Args = {c.ConfigName};
        options.WorkDir = dir.Path();
        options.Env = {{"TRESSEL_VIRTUAL_BAND", dir.File("band.ini")}};
        RunResult r = testsupport::Run(options);
        EXPECT_EQ(0, r.ExitCode) << r.Err;
        EXPECT_NE(std::string::npos,
                  r.Out.find(std::string("Store transponder info in ") + c.ConfigName + " ...\nerror !\n"))
            << r.Out;
        EXPECT_EQ(config, ReadFile(dir.File(c.ConfigName)));
        EXPECT_TRUE(testsupport::TempFilesBeside(dir.File(c.ConfigName)).empty());
    }
}

long NowMs()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000L + ts.tv_nsec / 1000000L;
}

// A SIGTERM while the run is blocked in an open (the tuner library waits on
// a FIFO without a writer) ends it within the grace of ten seconds, with
// the previous pass's files as they stood.
TEST(SafeStartup, SigtermEndsARunBlockedInASystemCall)
{
    TempDir dir;
    ASSERT_EQ(0, mkfifo(dir.File("never").c_str(), 0600));
    WriteFile(dir.File("Tressel.ini"), "[Options]\nDevice=0\n[Scan0]\nStart=474000\nStop=482000\nStep=8\n");
    WriteFile(dir.File("4000.ini"), "previous pass\n");
    RunOptions options;
    options.Args = {"Tressel.ini"};
    options.WorkDir = dir.Path();
    options.Env = {{"TRESSEL_TUNER_LIBRARY", RecordingLibrary()}, {"REC_BLOCK", dir.File("never")}};
    options.SignalToSend = SIGTERM;
    options.SignalWhenOutputHas = "Scan interval 0\n";
    long start = NowMs();
    RunResult r = testsupport::Run(options);
    long took = NowMs() - start;
    EXPECT_EQ(128 + SIGTERM, r.ExitCode) << r.Out << r.Err;
    EXPECT_LT(took, 20000);
    EXPECT_NE(std::string::npos, r.Err.find("call Tressel\n")) << r.Err;
    EXPECT_EQ("previous pass\n", ReadFile(dir.File("4000.ini")));
    EXPECT_TRUE(testsupport::TempFilesBeside(dir.File("4000.ini")).empty());
}

} // namespace
