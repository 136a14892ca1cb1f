// Running the cross-built Windows program under Wine from a Linux test.
//
// Each case gets a fresh directory with a program folder (tressel.exe and,
// unless the case leaves it out, the virtual Halvex.dll) and a working
// folder; the band file and configurations are written there and handed to
// the program as Windows paths on drive Z:, which Wine maps to the Linux
// root. One Wine prefix serves the whole run.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/TestSupport.h"

namespace winetest {

// What keeps the Wine tests from running (no Windows build named, no Wine
// loader), or empty when they can run.
std::string MissingPieces();

// Creates the shared Wine prefix unless it exists; safe when several test
// processes start at once. Returns an empty text, or what went wrong.
std::string PreparePrefix();

// The Linux path as the Windows program sees it: Z: and backslashes.
std::string WindowsPath(const std::string& linuxPath);

// The text with every "\n" written as "\r\n": what a Windows text-mode
// stream makes of it.
std::string Crlf(const std::string& text);

// True when every line feed in text is preceded by a carriage return.
bool AllLinesEndCrlf(const std::string& text);

// The banner line as the program prints it.
std::string Banner();

// True when the Windows program under test is a 32-bit (i686) program.
bool ProgramIs32Bit();

// Linux path of a system library of the Wine prefix with the program's
// architecture (a real library of the right kind, without the tuner exports).
std::string PrefixSystemLibrary(const std::string& name);

// The ZIP package of the Windows build under test (TRESSEL_WINDOWS_PACKAGE),
// or empty.
std::string WindowsPackage();

// Runs the console helper's "version" command on a Windows program and
// returns what it prints, line ends as LF.
std::string VersionReport(const std::string& program);

// The bin directory of the other architecture's Windows build
// (TRESSEL_WINDOWS_OTHER_BIN), or empty.
std::string OtherWindowsBin();

struct WineRun {
    std::vector<std::string> Args;                        // after the program name
    std::vector<std::pair<std::string, std::string>> Env; // added to the program's environment
    std::string Stdin;
    bool WithBand = true; // pass the case's band file in TRESSEL_VIRTUAL_BAND
    std::string Program;  // Linux path of the tressel.exe to run; default: the program folder's
    // Standard input is a terminal, so that Wine gives the program a console
    // with an input buffer (Stdin is then not used); output stays piped.
    bool OnConsole = false;
};

// The fixture: a fresh program folder, working folder and band file per case.
class WineTest : public ::testing::Test {
protected:
    void SetUp() override;

    // Writes the band file that the virtual tuner reads.
    void WriteBand(const std::string& text);
    // Writes a file into the working folder (name may hold '/').
    void WriteWorkFile(const std::string& name, const std::string& text);
    // Writes Tressel.ini into the program folder.
    void WriteProgramConfig(const std::string& text);
    // Replaces the program folder's Halvex.dll by the file at path.
    void PutTunerLibrary(const std::string& path);
    // Leaves the program folder without Halvex.dll.
    void RemoveTunerLibrary();
    // True when the console helper (wine_console_tool.exe) was built beside
    // the program; it is copied into the program folder.
    bool HasConsoleTool() const;
    std::string ConsoleTool() const { return ProgramDir() + "/wine_console_tool.exe"; }

    // Runs tressel.exe from the program folder with the working folder as
    // its current directory.
    testsupport::RunResult Run(const WineRun& run);

    // Linux paths of the case's folders and files.
    std::string ProgramDir() const { return root_.Path() + "/prog"; }
    std::string WorkDir() const { return root_.Path() + "/work"; }
    std::string WorkFile(const std::string& name) const { return WorkDir() + "/" + name; }
    std::string BandFile() const { return root_.Path() + "/band.ini"; }

private:
    testsupport::TempDir root_;
};

} // namespace winetest

