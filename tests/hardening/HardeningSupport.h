// Helpers of the hardening tests: running the built program in a temporary
// working directory against the virtual tuner with a band file of the
// test's own, and listing every file the run left behind.
#pragma once

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace hardening {

// Runs tressel in dir with dir/Tressel.ini holding config and, when band is
// not empty, dir/band.ini as the virtual tuner's band.
inline testsupport::RunResult RunInDir(const testsupport::TempDir& dir, const std::string& config,
                                       const std::string& band, const std::string& stdinText = "",
                                       const std::string& signalWhenOutputHas = "")
{
    testsupport::WriteFile(dir.File("Tressel.ini"), config);
    testsupport::RunOptions options;
    options.Args = {"Tressel.ini"};
    options.WorkDir = dir.Path();
    options.Stdin = stdinText;
    if (!band.empty()) {
        testsupport::WriteFile(dir.File("band.ini"), band);
        options.Env.push_back({"TRESSEL_VIRTUAL_BAND", dir.File("band.ini")});
    }
    if (!signalWhenOutputHas.empty()) {
        options.SignalWhenOutputHas = signalWhenOutputHas;
        options.SignalToSend = SIGINT;
    }
    return testsupport::Run(options);
}

// Every regular file below dir, as paths relative to it, sorted.
inline std::set<std::string> FilesIn(const testsupport::TempDir& dir)
{
    std::set<std::string> files;
    std::error_code ignored;
    for (auto& entry : std::filesystem::recursive_directory_iterator(dir.Path(), ignored))
        if (!entry.is_directory(ignored))
            files.insert(std::filesystem::relative(entry.path(), dir.Path()).string());
    return files;
}

// The files a run leaves besides its inputs.
inline std::set<std::string> OutputsIn(const testsupport::TempDir& dir)
{
    std::set<std::string> files = FilesIn(dir);
    files.erase("Tressel.ini");
    files.erase("band.ini");
    return files;
}

inline size_t CountOf(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++n;
    return n;
}

inline bool EndsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A band section for one DVB-T transponder (standard code 6).
inline std::string Transponder(unsigned index, unsigned frequency, double snr = 25.0)
{
    return "[Transponder" + std::to_string(index) + "]\nFrequency=" + std::to_string(frequency) +
           "\nBandwidth=8000\nStandard=6\nModulation=3\nSnr=" + std::to_string(snr) + "\n";
}

// n transponders 8 MHz apart from first (kHz).
inline std::string Transponders(unsigned n, unsigned first = 100000)
{
    std::string text;
    for (unsigned i = 0; i < n; ++i)
        text += Transponder(i, first + 8000 * i);
    return text;
}

// A scan section.
inline std::string Scan(unsigned index, unsigned start, unsigned stop, unsigned step = 8)
{
    return "[Scan" + std::to_string(index) + "]\nStart=" + std::to_string(start) + "\nStop=" +
           std::to_string(stop) + "\nStep=" + std::to_string(step) + "\n";
}

} // namespace hardening
