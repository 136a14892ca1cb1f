#include "support/TestSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "common/Console.h"
#include "output/OutputFile.h"

extern char** environ;

namespace testsupport {

TempDir::TempDir()
{
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/tressel-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = buffer.data();
}

TempDir::~TempDir()
{
    std::error_code ignored;
    // Make read-only test directories removable again.
    for (auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored))
        std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool FileExists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

ConsoleCapture::ConsoleCapture()
{
    file_ = tmpfile();
    if (file_ == nullptr)
        throw std::runtime_error("tmpfile failed");
    previous_ = tressel::gConsole;
    tressel::gConsole = static_cast<FILE*>(file_);
}

ConsoleCapture::~ConsoleCapture()
{
    tressel::gConsole = static_cast<FILE*>(previous_);
    fclose(static_cast<FILE*>(file_));
}

std::string ConsoleCapture::Text()
{
    FILE* f = static_cast<FILE*>(file_);
    fflush(f);
    long end = ftell(f);
    std::string text(static_cast<size_t>(end), '\0');
    rewind(f);
    size_t got = fread(&text[0], 1, text.size(), f);
    text.resize(got);
    fseek(f, 0, SEEK_END);
    return text;
}

std::vector<std::string> TempFilesBeside(const std::string& target)
{
    size_t cut = target.rfind('/');
    std::string dir = cut == std::string::npos ? "." : target.substr(0, cut);
    std::vector<std::string> found;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* entry = readdir(d)) {
            std::string name = entry->d_name;
            if (name.size() == tressel::kTempNameLength && name[0] == '~')
                found.push_back(name);
        }
        closedir(d);
    }
    return found;
}

std::string BinDir()
{
    return TRESSEL_BIN_DIR;
}

std::string TresselPath()
{
    return BinDir() + "/tressel";
}

static long NowMs()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000L + ts.tv_nsec / 1000000L;
}

RunResult Run(const RunOptions& options)
{
    int inPipe[2], outPipe[2], errPipe[2];
    if (pipe(inPipe) != 0 || pipe(outPipe) != 0 || pipe(errPipe) != 0)
        throw std::runtime_error("pipe failed");
    std::string program = options.Program.empty() ? TresselPath() : options.Program;

    std::vector<std::string> envText;
    for (char** e = environ; *e != nullptr; ++e) {
        std::string entry = *e;
        std::string name = entry.substr(0, entry.find('='));
        if (name == "TRESSEL_VIRTUAL_BAND" || name == "TRESSEL_TUNER_LIBRARY")
            continue;
        bool overridden = false;
        for (auto& kv : options.Env)
            overridden = overridden || kv.first == name;
        if (!overridden)
            envText.push_back(entry);
    }
    for (auto& kv : options.Env)
        if (!kv.second.empty())
            envText.push_back(kv.first + "=" + kv.second);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (auto& a : options.Args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : envText)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        dup2(inPipe[0], 0);
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        for (int fd : {inPipe[0], inPipe[1], outPipe[0], outPipe[1], errPipe[0], errPipe[1]})
            close(fd);
        if (!options.WorkDir.empty() && chdir(options.WorkDir.c_str()) != 0)
            _exit(126);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(inPipe[0]);
    close(outPipe[1]);
    close(errPipe[1]);
    signal(SIGPIPE, SIG_IGN);
    if (!options.Stdin.empty()) {
        ssize_t ignored = write(inPipe[1], options.Stdin.data(), options.Stdin.size());
        (void)ignored;
    }
    close(inPipe[1]);

    RunResult result;
    long start = NowMs();
    bool signalled = options.SignalToSend == 0;
    bool outOpen = true, errOpen = true;
    while (outOpen || errOpen) {
        struct pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
        poll(fds, 2, 20);
        char buf[4096];
        if (outOpen && (fds[0].revents & (POLLIN | POLLHUP)) != 0) {
            ssize_t n = read(outPipe[0], buf, sizeof buf);
            if (n > 0)
                result.Out.append(buf, static_cast<size_t>(n));
            else
                outOpen = false;
        }
        if (errOpen && (fds[1].revents & (POLLIN | POLLHUP)) != 0) {
            ssize_t n = read(errPipe[0], buf, sizeof buf);
            if (n > 0)
                result.Err.append(buf, static_cast<size_t>(n));
            else
                errOpen = false;
        }
        if (!signalled) {
            bool due = options.SignalWhenOutputHas.empty()
                           ? NowMs() - start >= options.SignalAfterMs
                           : result.Out.find(options.SignalWhenOutputHas) != std::string::npos;
            if (due) {
                kill(pid, options.SignalToSend);
                signalled = true;
            }
        }
        if (NowMs() - start > 60000) { // a hung program fails the test instead of the run
            kill(pid, SIGKILL);
        }
    }
    close(outPipe[0]);
    close(errPipe[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status))
        result.ExitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.Signal = WTERMSIG(status);
    return result;
}

} // namespace testsupport
