// The Windows program at its console under Wine: the abort by Left Ctrl + A
// typed into the console and by Ctrl+C in both engines, keys that must not
// stop it, the second Ctrl+C, and the wait for Enter when the console is the
// program's alone. A helper (wine_console_tool.exe) runs in the program's
// console and writes key events into its input buffer or sends the console
// a control event once the program's output reaches a given line.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/TestSupport.h"
#include "wine/WineHarness.h"

using testsupport::ExitStatus;
using testsupport::FileExists;
using testsupport::RunResult;
using winetest::WindowsPath;
using winetest::WineRun;
using winetest::WineTest;

namespace {

// One multiplex at 474 MHz; a device with both engines. The fast sweep
// spends 300 ms per channel, so that keys typed during it are typed during
// the sweep.
const std::string kBand = "[Devices]\nCaps0=8404992\n[Timing]\nSweepMs=300\n"
                          "[Transponder0]\nFrequency=474000\nBandwidth=8000\nStandard=6\nModulation=20\nFec=2\n"
                          "TransmissionMode=4\nGuardInterval=4\nRfLevel=-55\nSnr=28.1\nBitRate=24100000\n";

// Two intervals of eight channels: the second is never scanned after an
// abort in the first.
std::string Config(int fastScan)
{
    return "[Options]\nDevice=0\nFastScan=" + std::to_string(fastScan) +
           "\nLoop=0\n[LocInfo]\nLocPos=4000\nLocName=Europe\n"
           "[Scan0]\nStart=474000\nStop=530000\nStep=8\nStd=0\n"
           "[Scan1]\nStart=538000\nStop=594000\nStep=8\nStd=0\n";
}

const std::string kSecondInterval = "From 538.000 to 594.000 Mhz";

struct Engine {
    const char* Name;
    int FastScan;
    const char* Trigger; // a line printed while the first interval is scanned
};
const Engine kEngines[] = {
    {"stepped scan", 0, "482.000 Mhz ..."},
    {"fast scan", 1, "From 474.000 to 530.000 Mhz"},
};

class WineConsole : public WineTest {
protected:
    void SetUp() override
    {
        WineTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        if (!HasConsoleTool())
            GTEST_SKIP() << "wine_console_tool.exe was not built beside the program";
        WriteBand(kBand);
    }

    // Runs the program under the helper, which does action once the
    // program's output holds trigger.
    RunResult RunWithAction(const std::string& action, const std::string& trigger)
    {
        WineRun run;
        run.Program = ConsoleTool();
        run.Args = {"keys", action, trigger, WindowsPath(ProgramDir() + "/tressel.exe"), "Tressel.ini"};
        run.OnConsole = true;
        return Run(run);
    }
};

TEST_F(WineConsole, LeftCtrlAAndCtrlCEndThePassWithItsFilesInEachEngine)
{
    for (const Engine& engine : kEngines) {
        for (const char* action : {"ctrl-a", "ctrl-c"}) {
            SCOPED_TRACE(std::string(engine.Name) + ", " + action);
            WriteWorkFile("Tressel.ini", Config(engine.FastScan));
            RunResult r = RunWithAction(action, engine.Trigger);
            EXPECT_EQ(0, r.ExitCode) << r.Out << r.Err;
            EXPECT_NE(std::string::npos, r.Err.find(std::string("tool: ") + action + " done")) << r.Err;
            EXPECT_NE(std::string::npos, r.Out.find("Terminated on user request ...\r\n")) << r.Out;
            EXPECT_EQ(std::string::npos, r.Out.find(kSecondInterval)) << r.Out;
            // The pass still ends with its summary and both files.
            EXPECT_NE(std::string::npos,
                      r.Out.find("Total tranponders found = 1\r\nReport detailed transponder info to 4000.txt ...\r\n"
                                 "Store transponder info in 4000.ini ...\r\n"))
                << r.Out;
            EXPECT_TRUE(FileExists(WorkFile("4000.txt")));
            EXPECT_TRUE(FileExists(WorkFile("4000.ini")));
            std::remove(WorkFile("4000.txt").c_str());
            std::remove(WorkFile("4000.ini").c_str());
        }
    }
}

// Right Ctrl + A and A alone typed into the console, and Left Ctrl + A held
// through the system's keyboard input rather than the console's (as when
// typed into another program's window), stop nothing.
TEST_F(WineConsole, OtherKeysAndKeysOutsideTheConsoleDoNotStopTheScan)
{
    for (const Engine& engine : kEngines) {
        for (const char* action : {"right-ctrl-a", "a", "outside-keys"}) {
            SCOPED_TRACE(std::string(engine.Name) + ", " + action);
            WriteWorkFile("Tressel.ini", Config(engine.FastScan));
            RunResult r = RunWithAction(action, engine.Trigger);
            EXPECT_EQ(0, r.ExitCode) << r.Out << r.Err;
            EXPECT_NE(std::string::npos, r.Err.find(std::string("tool: ") + action + " done")) << r.Err;
            if (std::string(action) == "outside-keys") {
                // Only meaningful where the system then reports the keys held.
                EXPECT_NE(std::string::npos, r.Err.find("keys held outside the console: yes")) << r.Err;
            }
            EXPECT_EQ(std::string::npos, r.Out.find("Terminated on user request")) << r.Out;
            EXPECT_NE(std::string::npos, r.Out.find(kSecondInterval)) << r.Out;
            EXPECT_NE(std::string::npos, r.Out.find("Store transponder info in 4000.ini ...\r\n")) << r.Out;
        }
    }
}

// A second Ctrl+C ends the program at once, as Ctrl+C ends a console program:
// no summary, no files.
TEST_F(WineConsole, SecondCtrlCEndsTheProgramAtOnce)
{
    WriteWorkFile("Tressel.ini", Config(0));
    RunResult r = RunWithAction("ctrl-c-twice", "482.000 Mhz ...");
    EXPECT_EQ(ExitStatus(static_cast<int>(0xC000013Au)), r.ExitCode) << r.Out << r.Err;
    EXPECT_EQ(std::string::npos, r.Out.find("Total tranponders found")) << r.Out;
    EXPECT_FALSE(FileExists(WorkFile("4000.txt")));
    EXPECT_FALSE(FileExists(WorkFile("4000.ini")));
}

// The program waits for Enter before it ends only when its console is its
// alone (as after a double-click) and both standard input and output are
// that console. Redirected, it never waits: every other Wine test runs so.
TEST_F(WineConsole, WaitsForEnterOnlyOnAConsoleOfItsOwn)
{
    struct Case {
        const char* Mode;
        bool Waits;
    } cases[] = {{"ALONE", true}, {"SHARED", false}};
    // One empty interval: the run ends at once with "Transponders not found !".
    WriteWorkFile("Tressel.ini", "[Options]\nDevice=0\nFastScan=0\n[Scan0]\nStart=474000\nStop=474000\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Mode);
        WineRun run;
        run.Program = ConsoleTool();
        run.Args = {"console", c.Mode, WindowsPath(ProgramDir() + "/tressel.exe"), "Tressel.ini"};
        run.OnConsole = true;
        RunResult r = Run(run);
        EXPECT_EQ(0, r.ExitCode) << r.Out << r.Err;
        EXPECT_EQ(0u, r.Out.find(c.Waits ? "waiting\n" : "ended\n")) << r.Out << r.Err;
        EXPECT_EQ(std::string::npos, r.Out.find("tool: ")) << r.Out;
        // The console shows the run; the prompt follows its last line.
        EXPECT_NE(std::string::npos, r.Out.find("Transponders not found !\n")) << r.Out;
        EXPECT_EQ(c.Waits, r.Out.find("\nPress Enter to close this window ...\n") != std::string::npos) << r.Out;
    }
}

} // namespace
