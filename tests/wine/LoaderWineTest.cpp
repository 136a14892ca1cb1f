// The tuner library as a new Windows user meets it: missing, built for the
// other architecture (a 64-bit Halvex.dll beside the 32-bit program), or a
// library without the tuner's exports. Each ends start-up after the
// configuration line with exit code -1 and a line that says what is wrong,
// with the system's placeholders filled in.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/TestSupport.h"
#include "wine/WineHarness.h"

using testsupport::ExitStatus;
using testsupport::RunResult;
using winetest::WineTest;

namespace {

class WineLoader : public WineTest {};

TEST_F(WineLoader, FailureLinesSayWhatIsWrongWithTheLibrary)
{
    const std::string bits = winetest::ProgramIs32Bit() ? "32" : "64";
    struct Case {
        const char* Name;
        std::string Library; // copied in as Halvex.dll; empty: none
        std::string Line;    // the line on standard error
    } cases[] = {
        {"missing", "",
         "tressel: cannot load the tuner library Halvex.dll: it is not in the program's folder nor on the "
         "system's search path, or a library it needs is missing (error 126)\n"},
        {"other architecture",
         winetest::OtherWindowsBin().empty() ? "" : winetest::OtherWindowsBin() + "/Halvex.dll",
         "tressel: cannot load the tuner library Halvex.dll: it is not a " + bits +
             "-bit library; this program needs the " + bits + "-bit Halvex.dll (error 193)\n"},
        {"without the exports", winetest::PrefixSystemLibrary("version.dll"),
         "tressel: the tuner library Halvex.dll lacks the export CheckForDVBEx\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        if (std::string(c.Name) == "other architecture" && c.Library.empty()) {
            std::printf("other architecture not tried: TRESSEL_WINDOWS_OTHER_BIN names no build\n");
            continue;
        }
        if (c.Library.empty())
            RemoveTunerLibrary();
        else
            PutTunerLibrary(c.Library);
        RunResult r = Run({});
        EXPECT_EQ(ExitStatus(-1), r.ExitCode);
        EXPECT_NE(std::string::npos, r.Out.find("Config name: ")) << r.Out;
        EXPECT_EQ(std::string::npos, r.Out.find("Device")) << r.Out;
        EXPECT_EQ(winetest::Crlf(c.Line), r.Err);
    }
}

} // namespace
