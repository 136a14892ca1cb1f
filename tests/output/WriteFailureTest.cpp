// Writers on a full disk, a failing close and a failing rename: each reports
// -2, removes its temporary file and leaves the previous file in place.
//
// A full disk is played by the file-size limit of the process: with SIGXFSZ
// ignored, a write past the limit fails with EFBIG, as it would with ENOSPC.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <functional>
#include <string>
#include <vector>

#include "OutputTestHelpers.h"
#include "output/Report.h"
#include "output/TpList.h"

using namespace tressel;
using namespace outputtest;

namespace {

// Limits the size of files that the process writes for its lifetime.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        previousHandler_ = signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit limited = previous_;
        limited.rlim_cur = bytes;
        active_ = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &previous_);
        signal(SIGXFSZ, previousHandler_);
    }
    bool Active() const { return active_; }

private:
    rlimit previous_ = {};
    void (*previousHandler_)(int) = nullptr;
    bool active_ = false;
};

using Writer = std::function<int(const std::string& path, std::vector<TransponderInfo>* records)>;

struct WriterCase {
    const char* Name;
    Writer Write;
};

const WriterCase kWriters[] = {
    {"report",
     [](const std::string& path, std::vector<TransponderInfo>* records) {
         return WriteReport(path.c_str(), records->data(), static_cast<uint32_t>(records->size()), 1.0);
     }},
    {"INI list",
     [](const std::string& path, std::vector<TransponderInfo>* records) {
         return WriteTpList("Europe", records->data(), 1, path.c_str(), 4000, static_cast<uint32_t>(records->size()),
                            3);
     }},
    {"scan table",
     [](const std::string& path, std::vector<TransponderInfo>* records) {
         return WriteTpList("Europe", records->data(), kListScanTable, path.c_str(), 4000,
                            static_cast<uint32_t>(records->size()), 3);
     }},
    {"XML list",
     [](const std::string& path, std::vector<TransponderInfo>* records) {
         return WriteTpList("Europe", records->data(), kListXml, path.c_str(), 4000,
                            static_cast<uint32_t>(records->size()), 3);
     }},
};

std::vector<TransponderInfo> Records(size_t count)
{
    std::vector<TransponderInfo> records;
    for (size_t i = 0; i < count; ++i) {
        TransponderInfo r = Record(kStdDvbT2, static_cast<uint32_t>(474000 + 8000 * i));
        SetPlps(&r, {0, 1, 2});
        records.push_back(r);
    }
    return records;
}

class WriteFailureTest : public OutputTest {};

// A small file stays in the stream's buffer until the close, so the close is
// what fails; a large one fails while it is being written. Both cases must
// be told apart from success.
TEST_F(WriteFailureTest, FullDiskKeepsThePreviousFile)
{
    for (size_t count : {size_t{1}, size_t{200}}) {
        for (const WriterCase& writer : kWriters) {
            SCOPED_TRACE(std::string(writer.Name) + ", " + std::to_string(count) + " records");
            std::string path = File("list.out");
            testsupport::WriteFile(path, "complete file of the previous pass\n");
            std::vector<TransponderInfo> records = Records(count);
            int result;
            {
                FileSizeLimit limit(20);
                ASSERT_TRUE(limit.Active());
                result = writer.Write(path, &records);
            }
            EXPECT_EQ(result, -2);
            EXPECT_EQ(testsupport::ReadFile(path), "complete file of the previous pass\n");
            EXPECT_TRUE(testsupport::TempFilesBeside(path).empty());

            // Without the limit the same call succeeds and replaces the file.
            records = Records(count);
            EXPECT_EQ(writer.Write(path, &records), 0);
            EXPECT_NE(testsupport::ReadFile(path), "complete file of the previous pass\n");
            EXPECT_TRUE(testsupport::TempFilesBeside(path).empty());
        }
    }
}

// A target that cannot be replaced (here a directory of that name): the
// complete temporary file is not left behind.
TEST_F(WriteFailureTest, FailedRenameRemovesTheTemporaryFile)
{
    for (const WriterCase& writer : kWriters) {
        SCOPED_TRACE(writer.Name);
        std::string path = File("taken");
        ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
        testsupport::WriteFile(path + "/inside", "x");
        std::vector<TransponderInfo> records = Records(2);
        EXPECT_EQ(writer.Write(path, &records), -2);
        EXPECT_TRUE(testsupport::TempFilesBeside(path).empty());
        EXPECT_EQ(testsupport::ReadFile(path + "/inside"), "x");
        std::remove((path + "/inside").c_str());
        rmdir(path.c_str());
    }
}

// A name whose temporary companion cannot be built is refused before any
// file is created.
TEST_F(WriteFailureTest, OverlongNameIsRefused)
{
    std::string path = dir_.Path() + "/" + std::string(300, 'n');
    for (const WriterCase& writer : kWriters) {
        SCOPED_TRACE(writer.Name);
        std::vector<TransponderInfo> records = Records(1);
        EXPECT_EQ(writer.Write(path, &records), -2);
    }
    EXPECT_FALSE(testsupport::FileExists(path));
}

} // namespace
