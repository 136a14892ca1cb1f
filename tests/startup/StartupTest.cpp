// Start-up end to end: the built program against the recording tuner
// library (which logs every export it is called through) and the virtual
// tuner with small band files.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "support/TestSupport.h"

using testsupport::ExitStatus;

using testsupport::RunOptions;
using testsupport::RunResult;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

const std::string kBanner = "Tressel ver." TRESSEL_VERSION_TEXT "\n";

std::string RecordingLibrary()
{
    return testsupport::BinDir() + "/libRecordingTuner.so";
}

// Runs tressel with the recording tuner and a configuration file in dir.
RunResult RunRecording(const TempDir& dir, const std::string& config,
                       std::vector<std::pair<std::string, std::string>> env = {},
                       const std::string& stdinText = "")
{
    WriteFile(dir.File("Tressel.ini"), config);
    RunOptions options;
    options.Args = {"Tressel.ini"};
    options.WorkDir = dir.Path();
    options.Env = env;
    options.Env.push_back({"TRESSEL_TUNER_LIBRARY", RecordingLibrary()});
    options.Stdin = stdinText;
    return testsupport::Run(options);
}

TEST(Startup, CheckFailuresEndWithTheirTextCallsAndExitCode)
{
    struct Case {
        const char* Name;
        std::string Config;
        std::vector<std::pair<std::string, std::string>> Env;
        std::string Stdin;
        int Exit;
        std::string OutTail; // what stdout ends with
        std::string Calls;   // the exports called, in order
    } cases[] = {
        {"no devices", "[Options]\nDevice=0\n", {{"REC_DEVICES", "0"}}, "", -2, "No devices !\n",
         "call CheckForDVBEx\n"},
        {"device refused", "[Options]\nDevice=0\n", {{"REC_START", "0"}}, "", -3,
         "Can't start device 0 !\n", "call CheckForDVBEx\ncall StartDVBEx 0\n"},
        {"typed device refused", "", {{"REC_START", "0"}}, "7\n", -3,
         "Device 0: Recording tuner\nDevice number: Can't start device 7 !\n",
         "call CheckForDVBEx\ncall StartDVBEx 7\n"},
        // A number beyond 32 bits is no device (it once wrapped to device 1).
        {"typed device beyond 32 bits", "", {}, "4294967297\n", -3,
         "Device 0: Recording tuner\nDevice number: Can't start device 4294967297 !\n", "call CheckForDVBEx\n"},
        {"typed device far beyond 32 bits", "", {}, "123456789012345678901234567890\n", -3,
         "Device 0: Recording tuner\nDevice number: Can't start device 123456789012345678901234567890 !\n",
         "call CheckForDVBEx\n"},
        {"typed device at the 32-bit limit", "", {{"REC_START", "0"}}, "4294967295\n", -3,
         "Device number: Can't start device 4294967295 !\n", "call CheckForDVBEx\ncall StartDVBEx -1\n"},
        {"nothing typed", "", {{"REC_START", "0"}}, "", -3,
         "Device number: Can't start device 4294967295 !\n",
         "call CheckForDVBEx\ncall StartDVBEx -1\n"},
        {"no tressel capability", "[Options]\nDevice=0\n", {{"REC_CAPS", "8388608"}}, "", -4,
         "Tressel not supported !\n", "call CheckForDVBEx\ncall StartDVBEx 0\ncall GetCaps\ncall StopDVB\n"},
        {"no fast scan capability", "[Options]\nDevice=0\n", {{"REC_CAPS", "16384"}}, "", -4,
         "FastScan not supported !\n",
         "call CheckForDVBEx\ncall StartDVBEx 0\ncall GetCaps\ncall GetCaps\ncall StopDVB\n"},
        {"stepped scan needs no fast scan capability", "[Options]\nDevice=0\nFastScan=0\n",
         {{"REC_CAPS", "16384"}}, "", 0, "",
         "call CheckForDVBEx\ncall StartDVBEx 0\ncall GetCaps\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        RunResult r = RunRecording(dir, c.Config, c.Env, c.Stdin);
        EXPECT_EQ(ExitStatus(c.Exit), r.ExitCode);
        EXPECT_EQ(0, r.Out.rfind(kBanner + "Config name: ./Tressel.ini\n", 0)) << r.Out;
        ASSERT_GE(r.Out.size(), c.OutTail.size());
        EXPECT_EQ(c.OutTail, r.Out.substr(r.Out.size() - c.OutTail.size())) << r.Out;
        EXPECT_EQ(0, r.Err.rfind(c.Calls, 0)) << r.Err;
        if (c.Exit == -2 || c.Exit == -3) {
            EXPECT_EQ(std::string::npos, r.Err.find("StopDVB")) << r.Err;
        }
    }
}

TEST(Startup, DeviceListAndPromptOnlyWhileDeviceIsNegative)
{
    {
        TempDir dir;
        RunResult r = RunRecording(dir, "[Options]\nFastScan=0\n", {{"REC_DEVICES", "3"}}, "2\n");
        EXPECT_EQ(0, r.ExitCode);
        EXPECT_EQ(0, r.Out.rfind(kBanner + "Config name: ./Tressel.ini\n"
                                           "Device 0: Recording tuner\n"
                                           "Device 1: Recording tuner\n"
                                           "Device 2: Recording tuner\n"
                                           "Device number: ",
                                 0))
            << r.Out;
        EXPECT_NE(std::string::npos, r.Err.find("call StartDVBEx 2\n")) << r.Err;
    }
    {
        TempDir dir;
        RunResult r = RunRecording(dir, "[Options]\nDevice=0\nFastScan=0\n", {{"REC_DEVICES", "3"}});
        EXPECT_EQ(0, r.ExitCode);
        EXPECT_EQ(std::string::npos, r.Out.find("Device 0:")) << r.Out;
        EXPECT_EQ(std::string::npos, r.Out.find("Device number:")) << r.Out;
        EXPECT_NE(std::string::npos, r.Err.find("call StartDVBEx 0\n")) << r.Err;
    }
}

TEST(Startup, LibraryLoadFailuresEndBeforeAnyCall)
{
    struct Case {
        const char* Name;
        std::string Library;
        std::string Message;
    } cases[] = {
        {"missing library", "/nonexistent/libNoSuchTuner.so", "/nonexistent/libNoSuchTuner.so"},
        {"missing export", testsupport::BinDir() + "/libMissingExport.so", "lacks the export Tressel"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        WriteFile(dir.File("Tressel.ini"), "[Options]\nDevice=0\n");
        RunOptions options;
        options.Args = {"Tressel.ini"};
        options.WorkDir = dir.Path();
        options.Env = {{"TRESSEL_TUNER_LIBRARY", c.Library}};
        RunResult r = testsupport::Run(options);
        EXPECT_EQ(ExitStatus(-1), r.ExitCode);
        EXPECT_EQ(kBanner + "Config name: ./Tressel.ini\n", r.Out);
        EXPECT_NE(std::string::npos, r.Err.find(c.Message)) << r.Err;
        EXPECT_EQ(std::string::npos, r.Err.find("call ")) << r.Err;
    }
}

TEST(Startup, ConfigurationArgumentForms)
{
    TempDir dir;
    WriteFile(dir.File("my.ini"), "[Options]\nDevice=0\nFastScan=0\n");
    RunOptions options;
    options.WorkDir = dir.Path();
    options.Env = {{"TRESSEL_TUNER_LIBRARY", RecordingLibrary()}};

    // A relative name is looked up in the current directory; later arguments are ignored.
    options.Args = {"my.ini", "ignored.ini"};
    RunResult relative = testsupport::Run(options);
    EXPECT_EQ(0, relative.ExitCode);
    EXPECT_EQ(0, relative.Out.rfind(kBanner + "Config name: ./my.ini\n", 0)) << relative.Out;
    EXPECT_EQ(std::string::npos, relative.Out.find("Device number:")) << "my.ini's Device=0 was not read";

    // An absolute path is used as it stands.
    options.Args = {dir.File("my.ini")};
    RunResult absolute = testsupport::Run(options);
    EXPECT_EQ(0, absolute.ExitCode);
    EXPECT_EQ(0, absolute.Out.rfind(kBanner + "Config name: " + dir.File("my.ini") + "\n", 0)) << absolute.Out;
    EXPECT_EQ(std::string::npos, absolute.Out.find("Device number:")) << "the absolute path was not read";

    // A named file that does not exist: defaults, and one warning on standard error.
    options.Args = {"absent.ini"};
    options.Stdin = "0\n";
    options.Env.push_back({"REC_CAPS", "16384"});
    RunResult absent = testsupport::Run(options);
    EXPECT_EQ(ExitStatus(-4), absent.ExitCode); // FastScan defaults to 1, and the device lacks it
    EXPECT_EQ(0, absent.Out.rfind(kBanner + "Config name: ./absent.ini\nDevice 0: Recording tuner\n", 0))
        << absent.Out;
    EXPECT_NE(std::string::npos, absent.Err.find("./absent.ini does not exist")) << absent.Err;
}

TEST(Startup, DefaultConfigurationIsNextToTheProgram)
{
    // A copy of the program and the virtual tuner in a directory of their own,
    // with no Tressel.ini beside them.
    TempDir dir;
    for (const char* name : {"tressel", "libHalvex.so"}) {
        std::string copy = dir.File(name);
        WriteFile(copy, testsupport::ReadFile(testsupport::BinDir() + "/" + name));
        ASSERT_EQ(0, chmod(copy.c_str(), 0755));
    }
    WriteFile(dir.File("band.ini"), "[Devices]\nCount=2\nName0=First\nName1=Second\nCaps0=16384\n");
    RunOptions options;
    options.Program = dir.File("tressel");
    options.WorkDir = dir.Path();
    options.Env = {{"TRESSEL_VIRTUAL_BAND", dir.File("band.ini")}};
    options.Stdin = "0\n";
    RunResult r = testsupport::Run(options);
    EXPECT_EQ(ExitStatus(-4), r.ExitCode);
    EXPECT_EQ(kBanner + "Config name: " + dir.Path() + "/Tressel.ini\n"
                  "Device 0: First\nDevice 1: Second\nDevice number: FastScan not supported !\n",
              r.Out);
    EXPECT_EQ("", r.Err);
}

TEST(Startup, PathsLongerThanTheirFieldAreRefused)
{
    TempDir dir;
    RunOptions options;
    options.WorkDir = dir.Path();
    options.Env = {{"TRESSEL_TUNER_LIBRARY", RecordingLibrary()}};

    options.Args = {std::string(300, 'c') + ".ini"};
    RunResult longArgument = testsupport::Run(options);
    EXPECT_EQ(ExitStatus(-1), longArgument.ExitCode);
    EXPECT_EQ(kBanner, longArgument.Out);
    EXPECT_NE(std::string::npos, longArgument.Err.find("longer than 259 characters")) << longArgument.Err;

    // 259 characters are the field's capacity: one that needs a separator added is refused,
    // one that already ends with it is accepted.
    std::string full(258, 'd');
    struct Case {
        std::string Value;
        int Exit;
    } cases[] = {{full + "d", -1}, {full + "/", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Value.size());
        WriteFile(dir.File("Tressel.ini"), "[Options]\nDevice=0\nFastScan=0\nTPDir=" + c.Value + "\n");
        options.Args = {"Tressel.ini"};
        RunResult r = testsupport::Run(options);
        EXPECT_EQ(ExitStatus(c.Exit), r.ExitCode) << r.Err;
        if (c.Exit != 0) {
            EXPECT_NE(std::string::npos, r.Err.find("TPDir")) << r.Err;
            EXPECT_NE(std::string::npos, r.Err.find("call StopDVB")) << r.Err;
        }
    }
}

TEST(Startup, HelpAndVersion)
{
    RunOptions options;
    options.Args = {"--version"};
    RunResult version = testsupport::Run(options);
    EXPECT_EQ(0, version.ExitCode);
    EXPECT_EQ(kBanner, version.Out);

    for (const char* flag : {"-h", "--help"}) {
        options.Args = {flag};
        RunResult help = testsupport::Run(options);
        EXPECT_EQ(0, help.ExitCode);
        EXPECT_EQ(0, help.Out.rfind("Usage: tressel [CONFIG]\n", 0)) << help.Out;
    }
}

TEST(Startup, VersionIsFourNumbersAndABuildMark)
{
    std::string version = TRESSEL_VERSION_TEXT;
    int dots = 0;
    size_t i = 0;
    for (; i < version.size() && version[i] != '-'; ++i) {
        if (version[i] == '.')
            ++dots;
        else
            EXPECT_TRUE(isdigit(static_cast<unsigned char>(version[i]))) << version;
    }
    EXPECT_EQ(3, dots) << version;
    EXPECT_LT(i + 1, version.size()) << "no build mark after the hyphen: " << version;
}

} // namespace

namespace {

TEST(Startup, OutputDirectoriesAreCompletedWithOneSeparator)
{
    struct Case {
        std::string ReportDir;
        std::string TPDir;
        std::string Report; // as announced
        std::string List;
    } cases[] = {
        {"out", "lists", "out/4000.txt", "lists/4000.ini"},
        {"out/", "lists/", "out/4000.txt", "lists/4000.ini"},
        {"", "", "4000.txt", "4000.ini"},
        {"  out  ", "lists", "out/4000.txt", "lists/4000.ini"}, // blanks around the value are not part of it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ReportDir + "|" + c.TPDir);
        TempDir dir;
        ASSERT_EQ(0, mkdir(dir.File("out").c_str(), 0755));
        ASSERT_EQ(0, mkdir(dir.File("lists").c_str(), 0755));
        WriteFile(dir.File("band.ini"), "[Transponder0]\nFrequency=474000\nBandwidth=8000\nStandard=6\n");
        WriteFile(dir.File("Tressel.ini"), "[Options]\nDevice=0\nReportDir=" + c.ReportDir + "\nTPDir=" + c.TPDir +
                                               "\n[Scan0]\nStart=474000\nStop=480000\n");
        RunOptions options;
        options.Args = {"Tressel.ini"};
        options.WorkDir = dir.Path();
        options.Env = {{"TRESSEL_VIRTUAL_BAND", dir.File("band.ini")}};
        RunResult r = testsupport::Run(options);
        EXPECT_EQ(0, r.ExitCode) << r.Err;
        EXPECT_NE(std::string::npos, r.Out.find("Report detailed transponder info to " + c.Report + " ...\n")) << r.Out;
        EXPECT_NE(std::string::npos, r.Out.find("Store transponder info in " + c.List + " ...\n")) << r.Out;
        EXPECT_TRUE(testsupport::FileExists(dir.File(c.Report)));
        EXPECT_TRUE(testsupport::FileExists(dir.File(c.List)));
    }
}

} // namespace
