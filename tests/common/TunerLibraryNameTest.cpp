// Which tuner library start-up loads on POSIX: TRESSEL_TUNER_LIBRARY names
// the DVB library or the virtual tuner by a short word, or a path.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/Platform.h"

#if !defined(_WIN32)

namespace {

TEST(TunerLibraryName, ShortWordsChooseTheLibrariesBesideTheProgram)
{
    struct NameCase {
        const char* Value; // nullptr: unset
        const char* Expected;
    };
    const NameCase cases[] = {
        {nullptr, "/opt/tressel/libHalvex.so"},
        {"", "/opt/tressel/libHalvex.so"},
        {"virtual", "/opt/tressel/libHalvex.so"},
        {"dvb", "/opt/tressel/libTresselDvb.so"},
        {"DVB", "DVB"}, // a path like any other
        {"./dvb", "./dvb"},
        {"/usr/lib/libOther.so", "/usr/lib/libOther.so"},
    };
    const char* saved = getenv("TRESSEL_TUNER_LIBRARY");
    std::string keep = saved != nullptr ? saved : "";
    for (const NameCase& c : cases) {
        if (c.Value == nullptr)
            unsetenv("TRESSEL_TUNER_LIBRARY");
        else
            setenv("TRESSEL_TUNER_LIBRARY", c.Value, 1);
        char name[256];
        int length = tressel::PlatformTunerLibraryName("/opt/tressel/", name, sizeof name);
        EXPECT_EQ(std::string(name), c.Expected) << (c.Value ? c.Value : "(unset)");
        EXPECT_EQ(length, static_cast<int>(strlen(c.Expected)));
    }
    char tiny[8];
    setenv("TRESSEL_TUNER_LIBRARY", "dvb", 1);
    EXPECT_LT(tressel::PlatformTunerLibraryName("/opt/tressel/", tiny, sizeof tiny), 0) << "does not fit";
    if (saved != nullptr)
        setenv("TRESSEL_TUNER_LIBRARY", keep.c_str(), 1);
    else
        unsetenv("TRESSEL_TUNER_LIBRARY");
}

} // namespace

#endif
