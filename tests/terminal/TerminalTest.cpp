// The program under an interactive shell with job control on a
// pseudo-terminal: stopped with Ctrl+Z and continued with bg it leaves the
// shell's terminal settings alone at its end; started with & and brought
// back with fg it honours Ctrl+A.
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "support/TestSupport.h"

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

long NowMs()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000L + ts.tv_nsec / 1000000L;
}

// An interactive bash on the slave side of a pseudo-terminal.
class ShellOnPty {
public:
    explicit ShellOnPty(const std::string& workDir)
    {
        pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
        if (pid_ == 0) {
            if (chdir(workDir.c_str()) != 0)
                _exit(126);
            setenv("PS1", "$ ", 1);
            setenv("TERM", "dumb", 1);
            unsetenv("TRESSEL_TUNER_LIBRARY");
            execl("/bin/bash", "bash", "--norc", "--noprofile", "-i", static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~ShellOnPty()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (master_ >= 0)
            close(master_);
    }
    bool Started() const { return pid_ > 0; }

    void Type(const std::string& text)
    {
        ssize_t ignored = write(master_, text.data(), text.size());
        (void)ignored;
    }

    // Reads what the shell writes for ms milliseconds (a shell whose output
    // is not read would block).
    void Drain(long ms)
    {
        long end = NowMs() + ms;
        while (NowMs() < end) {
            struct pollfd fd = {master_, POLLIN, 0};
            if (poll(&fd, 1, 20) > 0 && (fd.revents & POLLIN) != 0) {
                char buf[4096];
                ssize_t n = read(master_, buf, sizeof buf);
                if (n > 0)
                    screen_.append(buf, static_cast<size_t>(n));
            }
        }
    }

    // Drains until file holds text or ms milliseconds have passed.
    bool WaitForFile(const std::string& file, const std::string& text, long ms)
    {
        long end = NowMs() + ms;
        while (NowMs() < end) {
            if (testsupport::FileExists(file) && ReadFile(file).find(text) != std::string::npos)
                return true;
            Drain(50);
        }
        return false;
    }

    // The slave's settings, as the master reads them.
    struct termios Mode() const
    {
        struct termios mode = {};
        tcgetattr(master_, &mode);
        return mode;
    }
    const std::string& Screen() const { return screen_; }

private:
    int master_ = -1;
    pid_t pid_ = -1;
    std::string screen_;
};

class TerminalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (access("/bin/bash", X_OK) != 0)
            GTEST_SKIP() << "bash is not installed";
    }

    // A stepped scan of channels that take 700 ms each.
    void WriteScan(int channels)
    {
        WriteFile(dir_.File("band.ini"), "[Devices]\nCaps0=16384\n[Timing]\nTuneMs=200\n"
                                         "[Transponder0]\nFrequency=474000\nBandwidth=8000\nStandard=6\n");
        WriteFile(dir_.File("scan.ini"), "[Options]\nDevice=0\nFastScan=0\n[Scan0]\nStart=474000\nStop=" +
                                             std::to_string(474000 + (channels - 1) * 8000) + "\nStep=8\n");
    }
    std::string Command(const std::string& tail) const
    {
        return "TRESSEL_VIRTUAL_BAND=" + dir_.File("band.ini") + " " + testsupport::TresselPath() +
               " scan.ini >out.txt 2>&1" + tail + "\n";
    }

    TempDir dir_;
};

TEST_F(TerminalTest, StoppedAndContinuedInTheBackgroundItLeavesTheShellsSettings)
{
    WriteScan(6);
    ShellOnPty shell(dir_.Path());
    ASSERT_TRUE(shell.Started());
    shell.Drain(500);
    shell.Type(Command(""));
    ASSERT_TRUE(shell.WaitForFile(dir_.File("out.txt"), "474.000 Mhz", 10000)) << shell.Screen();
    shell.Type("\x1a"); // Ctrl+Z
    shell.Drain(500);
    shell.Type("bg\n");
    ASSERT_TRUE(shell.WaitForFile(dir_.File("out.txt"), "Store transponder info", 20000)) << shell.Screen();
    shell.Drain(1000);
    // The shell reads its next command line in its own mode (line editing:
    // no canonical input, no echo by the terminal); the program's end must
    // not have put the terminal back to what it found at its start.
    struct termios mode = shell.Mode();
    EXPECT_EQ(0u, mode.c_lflag & ICANON) << shell.Screen();
    EXPECT_EQ(0u, mode.c_lflag & ECHO) << shell.Screen();
}

TEST_F(TerminalTest, StartedInTheBackgroundAndBroughtToTheForegroundItHonoursCtrlA)
{
    WriteScan(40); // half a minute unless stopped
    ShellOnPty shell(dir_.Path());
    ASSERT_TRUE(shell.Started());
    shell.Drain(500);
    shell.Type(Command(" &"));
    ASSERT_TRUE(shell.WaitForFile(dir_.File("out.txt"), "474.000 Mhz", 10000)) << shell.Screen();
    shell.Type("fg\n");
    shell.Drain(1500);
    shell.Type("\x01"); // Ctrl+A
    long start = NowMs();
    EXPECT_TRUE(shell.WaitForFile(dir_.File("out.txt"), "Terminated on user request", 10000))
        << ReadFile(dir_.File("out.txt"));
    EXPECT_TRUE(shell.WaitForFile(dir_.File("out.txt"), "Store transponder info", 10000));
    EXPECT_LT(NowMs() - start, 10000);
    // Back at the prompt, the shell's settings are its own again.
    shell.Type("stty -a >stty.txt\n");
    ASSERT_TRUE(shell.WaitForFile(dir_.File("stty.txt"), "icanon", 5000)) << shell.Screen();
    EXPECT_EQ(std::string::npos, ReadFile(dir_.File("stty.txt")).find("-icanon"));
}

} // namespace
