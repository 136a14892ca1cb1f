// Start-up of the Windows program under Wine: where the configuration comes
// from, the device list and prompt, every early end with its console text and
// exit status, every console line ending in CR LF.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "support/TestSupport.h"
#include "wine/WineHarness.h"

using testsupport::ExitStatus;
using testsupport::RunResult;
using winetest::Banner;
using winetest::Crlf;
using winetest::WindowsPath;
using winetest::WineRun;
using winetest::WineTest;

namespace {

// A band of two devices. By default device 0 can do everything and device 1
// lacks the fast scan; extra lines go into the same section.
std::string TwoDevices(const std::string& caps0 = "8404992", const std::string& extra = "")
{
    return "[Devices]\nCount=2\nName0=First stick\nName1=Second stick\nCaps0=" + caps0 +
           "\nCaps1=16384\n" + extra;
}

class WineStartup : public WineTest {
protected:
    // The console up to the device lines when the program reads
    // Tressel.ini next to itself.
    std::string Head() const
    {
        return Banner() + Crlf("Config name: " + WindowsPath(ProgramDir()) + "\\Tressel.ini\n");
    }
};

TEST_F(WineStartup, MissingTunerLibraryEndsAfterTheConfigurationLine)
{
    RemoveTunerLibrary();
    RunResult r = Run({});
    EXPECT_EQ(ExitStatus(-1), r.ExitCode);
    EXPECT_EQ(Head(), r.Out);
    // The line names the library and carries the system's reason.
    EXPECT_NE(std::string::npos, r.Err.find("Halvex.dll")) << r.Err;
    EXPECT_NE(std::string::npos, r.Err.find("(error 126)")) << r.Err;
}

TEST_F(WineStartup, EarlyEndsShowTheirTextAndExitStatus)
{
    struct Case {
        const char* Name;
        std::string Band;
        std::string Config; // Tressel.ini next to the program; empty: none
        std::string Stdin;
        int Exit;
        std::string Tail; // the console after the configuration line
    } cases[] = {
        {"no configuration file: devices listed, first one typed, no fast scan", TwoDevices("16384"), "",
         "0\n", -4, "Device 0: First stick\nDevice 1: Second stick\nDevice number: FastScan not supported !\n"},
        {"no devices", "[Devices]\nCount=0\n", "[Options]\nDevice=0\n", "", -2, "No devices !\n"},
        {"enumeration fails", "[Faults]\nCheckForDVBEx=1\n", "", "", -2, "No devices !\n"},
        {"device refused", TwoDevices("8404992", "Fails0=1\n"), "[Options]\nDevice=0\n", "", -3,
         "Can't start device 0 !\n"},
        {"typed device out of range", TwoDevices(), "", "7\n", -3,
         "Device 0: First stick\nDevice 1: Second stick\nDevice number: Can't start device 7 !\n"},
        {"nothing typed", TwoDevices(), "[Options]\nDevice=-5\n", "", -3,
         "Device 0: First stick\nDevice 1: Second stick\nDevice number: Can't start device 4294967291 !\n"},
        {"typed device lacks the fast scan", TwoDevices(), "", "1\n", -4,
         "Device 0: First stick\nDevice 1: Second stick\nDevice number: FastScan not supported !\n"},
        {"device lacks the scan capability", "[Devices]\nCaps0=8388608\n", "[Options]\nDevice=0\n", "", -4,
         "Tressel not supported !\n"},
        {"configured device 1 lacks the fast scan", TwoDevices(), "[Options]\nDevice=1\n", "", -4,
         "FastScan not supported !\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteBand(c.Band);
        if (!c.Config.empty())
            WriteProgramConfig(c.Config);
        WineRun run;
        run.Stdin = c.Stdin;
        RunResult r = Run(run);
        EXPECT_EQ(ExitStatus(c.Exit), r.ExitCode);
        EXPECT_EQ(Head() + Crlf(c.Tail), r.Out);
        std::remove((ProgramDir() + "/Tressel.ini").c_str());
    }
}

// The program's own path is read with room for 259 characters; a program
// deeper than that refuses to start rather than look for a cut name.
TEST_F(WineStartup, ProgramInATooLongDirectoryRefusesToStart)
{
    std::string deep = ProgramDir() + "/" + std::string(120, 'a') + "/" + std::string(120, 'b');
    std::filesystem::create_directories(deep);
    std::filesystem::copy_file(ProgramDir() + "/tressel.exe", deep + "/tressel.exe");
    std::filesystem::copy_file(ProgramDir() + "/Halvex.dll", deep + "/Halvex.dll");
    ASSERT_GT(WindowsPath(deep + "/tressel.exe").size(), 259u);
    WineRun run;
    run.Program = deep + "/tressel.exe";
    RunResult r = Run(run);
    EXPECT_EQ(ExitStatus(-1), r.ExitCode);
    EXPECT_EQ(Banner(), r.Out);
    EXPECT_NE(std::string::npos, r.Err.find("directory is longer than 259 characters")) << r.Err;
}

// The configuration chosen by the first argument. Each file says Device=0 and
// FastScan=0, and the device lacks the fast scan: only a run that read the
// file passes start-up. Tressel.ini next to the program would fail it.
TEST_F(WineStartup, ArgumentNamesTheConfiguration)
{
    const std::string readable = "[Options]\nDevice=0\nFastScan=0\n";
    WriteBand("[Devices]\nCaps0=16384\n");
    WriteProgramConfig("[Options]\nDevice=0\nFastScan=1\n");
    WriteWorkFile("my.ini", readable);
    WriteWorkFile("sub/deeper.ini", readable);
    testsupport::WriteFile(ProgramDir() + "/elsewhere.ini", readable);
    const std::string absolute = WindowsPath(ProgramDir() + "/elsewhere.ini");
    std::string forward = absolute;
    for (char& ch : forward)
        if (ch == '\\')
            ch = '/';

    // A file that is not read leaves Device at -1: the device list, the
    // prompt, and with nothing typed the refusal of device -1.
    const std::string notRead =
        "Device 0: Virtual DVB-T/T2/C tuner\nDevice number: Can't start device 4294967295 !\n";
    struct Case {
        std::string Argument;
        std::string ConfigName;
        bool Read;
    } cases[] = {
        {"my.ini", ".\\my.ini", true},
        {"sub\\deeper.ini", ".\\sub\\deeper.ini", true},
        {absolute, absolute, true},
        {forward, forward, true},
        // A relative name is looked up in the current directory only.
        {"elsewhere.ini", ".\\elsewhere.ini", false},
        {"missing.ini", ".\\missing.ini", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Argument);
        WineRun run;
        run.Args = {c.Argument};
        RunResult r = Run(run);
        std::string head = Banner() + Crlf("Config name: " + c.ConfigName + "\n");
        EXPECT_EQ(0u, r.Out.rfind(head, 0)) << r.Out;
        if (c.Read) {
            EXPECT_EQ(0, r.ExitCode) << r.Out << r.Err;
        } else {
            EXPECT_EQ(ExitStatus(-3), r.ExitCode);
            EXPECT_EQ(head + Crlf(notRead), r.Out);
            EXPECT_NE(std::string::npos, r.Err.find("does not exist")) << r.Err;
        }
    }
}

} // namespace
