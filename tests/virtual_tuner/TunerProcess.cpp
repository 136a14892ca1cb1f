#include "TunerProcess.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace vttest {
namespace {

std::string gBandPath;
std::string gStderrPath;
std::string* gDevices = nullptr;

enum class BandChoice { File, BuiltIn };

template <typename Fn>
bool Resolve(void* library, const char* name, Fn* fn)
{
    void* symbol = dlsym(library, name);
    if (symbol == nullptr) {
        printf("libHalvex.so lacks %s\n", name);
        return false;
    }
    *fn = reinterpret_cast<Fn>(symbol);
    return true;
}

// The child's side: runs body and leaves with 0 when it passed.
[[noreturn]] void RunChild(BandChoice choice, const std::string& path, const std::string& errPath,
                           const Body& body)
{
    int fd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || dup2(fd, 2) < 0)
        _exit(90);
    close(fd);
    if (choice == BandChoice::BuiltIn)
        unsetenv("TRESSEL_VIRTUAL_BAND");
    else
        setenv("TRESSEL_VIRTUAL_BAND", path.c_str(), 1);
    gBandPath = path;
    gStderrPath = errPath;

    std::string libraryPath = testsupport::BinDir() + "/libHalvex.so";
    void* library = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        printf("cannot load %s: %s\n", libraryPath.c_str(), dlerror());
        fflush(stdout);
        _exit(91);
    }
    Exports tuner{};
    bool complete = Resolve(library, "CheckForDVBEx", &tuner.CheckForDVBEx) &&
                    Resolve(library, "StartDVBEx", &tuner.StartDVBEx) &&
                    Resolve(library, "GetCaps", &tuner.GetCaps) &&
                    Resolve(library, "SetChannel2Ex", &tuner.SetChannel2Ex) &&
                    Resolve(library, "SignalInfo2", &tuner.SignalInfo2) &&
                    Resolve(library, "Tressel", &tuner.Tressel) &&
                    Resolve(library, "StopDVB", &tuner.StopDVB);
    if (!complete) {
        fflush(stdout);
        _exit(92);
    }
    body(tuner);
    fflush(stdout);
    _exit(testing::Test::HasFailure() ? 1 : 0);
}

void Run(BandChoice choice, const std::string& path, const Body& body)
{
    testsupport::TempDir dir;
    std::string errPath = dir.File("tuner-stderr.txt");
    fflush(stdout);
    fflush(stderr);
    pid_t pid = fork();
    ASSERT_GE(pid, 0) << "fork failed";
    if (pid == 0)
        RunChild(choice, path, errPath, body);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "the child ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the child process failed (its messages are above)";
}

void OnDevice(int32_t number, const char* name)
{
    if (gDevices != nullptr)
        *gDevices += std::to_string(number) + ":" + name + "\n";
}

} // namespace

void WithBand(const std::string& bandText, const Body& body)
{
    testsupport::TempDir dir;
    std::string path = dir.File("band.ini");
    testsupport::WriteFile(path, bandText);
    Run(BandChoice::File, path, body);
}

void WithBandPath(const std::string& path, const Body& body)
{
    Run(BandChoice::File, path, body);
}

void WithBuiltInBand(const Body& body)
{
    Run(BandChoice::BuiltIn, "", body);
}

std::string BandPath()
{
    return gBandPath;
}

std::string TunerStderr()
{
    fflush(stderr);
    return testsupport::ReadFile(gStderrPath);
}

int32_t CheckDevices(const Exports& tuner, std::string* devices)
{
    devices->clear();
    gDevices = devices;
    int32_t result = tuner.CheckForDVBEx(OnDevice);
    gDevices = nullptr;
    return result;
}

} // namespace vttest
