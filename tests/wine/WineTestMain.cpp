// The Wine test program's entry: GoogleTest, then one summary line that any
// runner can read ("N passed, N failed"), and a nonzero status on failure.
#include <gtest/gtest.h>

#include <cstdio>

namespace {

class SummaryLine : public ::testing::EmptyTestEventListener {
    void OnTestProgramEnd(const ::testing::UnitTest& unit) override
    {
        if (unit.skipped_test_count() > 0)
            printf("%d skipped\n", unit.skipped_test_count());
        printf("%d passed, %d failed\n", unit.successful_test_count(), unit.failed_test_count());
        fflush(stdout);
    }
};

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new SummaryLine);
    return RUN_ALL_TESTS();
}
