// Helpers shared by the test programs.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// A fresh directory under $TMPDIR (or /tmp), removed with its contents when
// the object goes out of scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    // Path of a file inside the directory.
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);

// Redirects the program's console (gConsole) into a temporary file for the
// object's lifetime; Text() returns what was written so far.
class ConsoleCapture {
public:
    ConsoleCapture();
    ~ConsoleCapture();
    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;
    std::string Text();

private:
    void* file_;
    void* previous_;
};

struct RunResult {
    int ExitCode = -1000; // the process exit status (0-255), or -1000 when it did not exit
    int Signal = 0;       // the signal that ended it, if any
    std::string Out;
    std::string Err;
};

struct RunOptions {
    std::string Program;                                     // default: the built tressel
    std::vector<std::string> Args;                           // arguments after the program name
    std::vector<std::pair<std::string, std::string>> Env;    // set (empty value: unset)
    std::string Stdin;                                       // fed to standard input, then closed
    std::string WorkDir;                                     // default: the current directory
    int SignalAfterMs = 0;                                   // send SignalToSend this long after start
    int SignalToSend = 0;
    std::string SignalWhenOutputHas;                         // ... or once stdout holds this text
};

// Runs a program to completion, capturing its output. The environment is the
// test's own, less TRESSEL_VIRTUAL_BAND and TRESSEL_TUNER_LIBRARY, plus Env.
RunResult Run(const RunOptions& options);

// The temporary files ("~" and seven characters) that the program's output
// files are written under, found in target's directory: none should be left.
std::vector<std::string> TempFilesBeside(const std::string& target);

// The built program and the build's bin directory.
std::string BinDir();
std::string TresselPath();

// The exit status that a shell shows for a negative exit code of main.
inline int ExitStatus(int code) { return code & 0xff; }

} // namespace testsupport
