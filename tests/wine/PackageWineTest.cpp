// The Windows package and the program's resources: unpacked as the README
// says into the folder that holds Halvex.dll, the ZIP's program starts and
// scans with its sample configuration; the program carries its version and
// manifest.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/TestSupport.h"
#include "wine/WineHarness.h"

using testsupport::FileExists;
using testsupport::ReadFile;
using testsupport::RunResult;
using winetest::WineRun;
using winetest::WineTest;

namespace {

class WinePackage : public WineTest {};

TEST_F(WinePackage, UnpackedBesideHalvexDllTheProgramStartsAndScans)
{
    const std::string zip = winetest::WindowsPackage();
    if (zip.empty())
        GTEST_SKIP() << "TRESSEL_WINDOWS_PACKAGE names no ZIP package";
    // The folder holds the maker's library alone before the ZIP is unpacked.
    std::filesystem::remove(ProgramDir() + "/tressel.exe");
    std::filesystem::remove(ConsoleTool());
    testsupport::RunOptions unpack;
    unpack.Program = "/usr/bin/cmake";
    unpack.Args = {"-E", "tar", "xf", zip};
    unpack.WorkDir = ProgramDir();
    ASSERT_EQ(0, testsupport::Run(unpack).ExitCode);
    for (const char* name : {"tressel.exe", "Tressel.ini", "README.txt"})
        EXPECT_TRUE(FileExists(ProgramDir() + "/" + name)) << name;
    std::string readme = ReadFile(ProgramDir() + "/README.txt");
    EXPECT_TRUE(winetest::AllLinesEndCrlf(readme));
    EXPECT_NE(std::string::npos, readme.find("needs the 32-bit Halvex.dll")) << readme;

    // The sample configuration scans the virtual tuner's built-in band.
    WineRun run;
    run.WithBand = false;
    RunResult r = Run(run);
    EXPECT_EQ(0, r.ExitCode) << r.Out << r.Err;
    EXPECT_NE(std::string::npos, r.Out.find("Total tranponders found = 12\r\n")) << r.Out;
    EXPECT_TRUE(FileExists(WorkFile("4000.txt")));
    EXPECT_TRUE(FileExists(WorkFile("4000.ini")));
}

TEST_F(WinePackage, ProgramCarriesItsVersionAndManifest)
{
    if (!HasConsoleTool())
        GTEST_SKIP() << "wine_console_tool.exe was not built beside the program";
    std::string report = winetest::VersionReport(ProgramDir() + "/tressel.exe");
    for (const char* line : {"FixedFileVersion=1.0.0.1\n", "FixedProductVersion=1.0.0.1\n", "FileVersion=1.0.0.1\n",
                             "ProductVersion=1.0.0.1\n", "ProductName=Tressel\n",
                             "FileDescription=Tressel DVB transponder scanner\n",
                             "OriginalFilename=tressel.exe\n"})
        EXPECT_NE(std::string::npos, report.find(line)) << line << report;
    // The manifest names the program's architecture and asks for no
    // elevation.
    const std::string arch = winetest::ProgramIs32Bit() ? "processorArchitecture=\"x86\""
                                                         : "processorArchitecture=\"amd64\"";
    EXPECT_NE(std::string::npos, report.find("Manifest=<?xml")) << report;
    EXPECT_NE(std::string::npos, report.find(arch)) << report;
    EXPECT_NE(std::string::npos, report.find("version=\"1.0.0.1\"")) << report;
    EXPECT_NE(std::string::npos, report.find("<requestedExecutionLevel level=\"asInvoker\"")) << report;
}

} // namespace
