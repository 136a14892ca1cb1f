// The temporary name an output file is written under before it is renamed
// into place: beside the target and no longer than it.
#include <gtest/gtest.h>

#include <string>

#include "output/OutputFile.h"

namespace {

TEST(OutputTempName, SameLengthBesideTheTarget)
{
    struct Case {
        std::string Target;
        int Length;
        std::string Temp;
    } cases[] = {
        {"4000.txt", 8, "4000.tx~"},
        {"out/Europe.xml", 14, "out/Europe.xm~"},
        {"odd~", 4, "odd#"}, // never the target itself
        {"", -1, ""},
        {std::string(258, 'd') + "x", 259, std::string(258, 'd') + "~"}, // a full field still fits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Target.size());
        char temp[tressel::kTempPathCapacity];
        EXPECT_EQ(c.Length, tressel::OutputTempName(temp, sizeof temp, c.Target.c_str()));
        if (c.Length > 0) {
            EXPECT_EQ(c.Temp, temp);
        }
    }
    char small[4];
    EXPECT_EQ(-1, tressel::OutputTempName(small, sizeof small, "4000.txt"));
}

} // namespace
