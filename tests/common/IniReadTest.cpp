// The configuration file's INI reads through the platform layer.
#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <cstring>
#include <string>

#include "common/IniParse.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

struct IntCase {
    const char* Name;
    std::string File;
    const char* Section;
    const char* Key;
    int32_t Expected;
};

// Names the case in test listings (instead of the case's raw bytes).
void PrintTo(const IntCase& c, std::ostream* os)
{
    *os << c.Name;
}

class IniIntRead : public ::testing::TestWithParam<IntCase> {};

TEST_P(IniIntRead, YieldsExpectedValue)
{
    const IntCase& c = GetParam();
    TempDir dir;
    std::string path = dir.File("Tressel.ini");
    WriteFile(path, c.File);
    EXPECT_EQ(c.Expected, tressel::PlatformIniReadInt(c.Section, c.Key, -77, path.c_str()));
}

const IntCase kIntCases[] = {
    {"plain", "[Options]\nDevice=3\n", "Options", "Device", 3},
    {"negative", "[Options]\nDevice=-1\n", "Options", "Device", -1},
    {"missing_key_default", "[Options]\nLoop=1\n", "Options", "Device", -77},
    {"missing_section_default", "[Other]\nDevice=3\n", "Options", "Device", -77},
    {"key_before_any_section", "Device=3\n[Options]\n", "Options", "Device", -77},
    {"section_case", "[oPTIONS]\nDevice=5\n", "Options", "Device", 5},
    {"key_case", "[Options]\ndEVICE=6\n", "Options", "Device", 6},
    {"blanks_trimmed", "  [ Options ]  \n\t Device \t=\t 7 \t\n", "Options", "Device", 7},
    {"crlf", "[Options]\r\nDevice=8\r\nLoop=2\r\n", "Options", "Loop", 2},
    {"utf8_bom", "\xEF\xBB\xBF[Options]\nDevice=9\n", "Options", "Device", 9},
    {"comment_line", "[Options]\n;Device=4\nDevice=10\n", "Options", "Device", 10},
    {"commented_only", "[Options]\n  ; Device=4\n", "Options", "Device", -77},
    {"first_key_wins", "[Options]\nDevice=1\nDevice=2\n", "Options", "Device", 1},
    {"later_section_same_name", "[Options]\nLoop=1\n[Scan0]\n[Options]\nDevice=4\n", "Options", "Device", 4},
    {"leading_digits_only", "[Options]\nDevice=12abc\n", "Options", "Device", 12},
    {"no_digits_reads_zero", "[Options]\nDevice=abc\n", "Options", "Device", 0},
    {"empty_value_reads_zero", "[Options]\nDevice=\n", "Options", "Device", 0},
    {"plus_sign", "[Options]\nDevice=+15\n", "Options", "Device", 15},
    {"unsigned_max_wraps", "[Scan0]\nStop=4294967295\n", "Scan0", "Stop", -1},
    {"two_to_31", "[Scan0]\nStart=2147483648\n", "Scan0", "Start", INT32_MIN},
    {"int32_max", "[Scan0]\nStart=2147483647\n", "Scan0", "Start", INT32_MAX},
    {"hex_is_decimal_zero", "[Options]\nDevice=0x10\n", "Options", "Device", 0},
    {"last_line_without_newline", "[Options]\nDevice=11", "Options", "Device", 11},
    {"line_without_equals_ignored", "[Options]\nDevice\nDevice=12\n", "Options", "Device", 12},
    {"unclosed_section_header", "[Options\nDevice=13\n", "Options", "Device", -77},
};

INSTANTIATE_TEST_SUITE_P(Cases, IniIntRead, ::testing::ValuesIn(kIntCases),
                         [](const ::testing::TestParamInfo<IntCase>& p) { return p.param.Name; });

TEST(IniRead, MissingFileYieldsDefaults)
{
    TempDir dir;
    std::string path = dir.File("absent.ini");
    EXPECT_EQ(4000, tressel::PlatformIniReadInt("LocInfo", "LocPos", 4000, path.c_str()));
    char text[100];
    EXPECT_EQ(6u, tressel::PlatformIniReadText("LocInfo", "LocName", "Europe", text, sizeof text, path.c_str()));
    EXPECT_STREQ("Europe", text);
}

TEST(IniRead, FileIsReadAgainAtEveryRead)
{
    TempDir dir;
    std::string path = dir.File("Tressel.ini");
    WriteFile(path, "[Scan0]\nStart=1\n");
    EXPECT_EQ(1, tressel::PlatformIniReadInt("Scan0", "Start", 0, path.c_str()));
    WriteFile(path, "[Scan0]\nStart=2\n");
    EXPECT_EQ(2, tressel::PlatformIniReadInt("Scan0", "Start", 0, path.c_str()));
}

TEST(IniRead, TextIsTrimmedCutToItsFieldAndCounted)
{
    TempDir dir;
    std::string path = dir.File("Tressel.ini");
    std::string longValue(10000, 'x');
    WriteFile(path, "[LocInfo]\r\nLocName =  Berlin Mitte \r\nLong=" + longValue + "\r\nEmpty=\r\n");

    char name[100];
    memset(name, '#', sizeof name);
    EXPECT_EQ(12u, tressel::PlatformIniReadText("LocInfo", "LocName", "Europe", name, sizeof name, path.c_str()));
    EXPECT_STREQ("Berlin Mitte", name);

    // A guard byte past the field shows that the cut never overruns it.
    char field[101];
    field[100] = '#';
    EXPECT_EQ(99u, tressel::PlatformIniReadText("LocInfo", "Long", "", field, 100, path.c_str()));
    EXPECT_EQ(std::string(99, 'x'), field);
    EXPECT_EQ('#', field[100]);

    char empty[10] = "junk";
    EXPECT_EQ(0u, tressel::PlatformIniReadText("LocInfo", "Empty", "Europe", empty, sizeof empty, path.c_str()));
    EXPECT_STREQ("", empty);
}

TEST(IniRead, SemicolonInsideValueIsKept)
{
    TempDir dir;
    std::string path = dir.File("Tressel.ini");
    WriteFile(path, "[LocInfo]\nLocName=North;South\n");
    char name[100];
    tressel::PlatformIniReadText("LocInfo", "LocName", "", name, sizeof name, path.c_str());
    EXPECT_STREQ("North;South", name);
}

TEST(IniRead, StrictIntegerParse)
{
    struct Case {
        const char* Text;
        int Ok;
        int32_t Value;
    } cases[] = {
        {"0", 1, 0},       {"-1", 1, -1},   {"4294967295", 1, -1}, {"490000", 1, 490000},
        {"", 0, 0},        {"-", 0, 0},     {"12x", 0, 0},         {"x12", 0, 0},
        {"1.5", 0, 0},     {"+7", 1, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text);
        int32_t value = 12345;
        EXPECT_EQ(c.Ok, tressel::IniParseIntStrict(c.Text, &value));
        if (c.Ok != 0) {
            EXPECT_EQ(c.Value, value);
        }
    }
}

} // namespace
