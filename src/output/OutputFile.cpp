#include "output/OutputFile.h"

#include "common/Text.h"
#include "platform/Platform.h"

namespace tressel {
namespace {

// One output file is open at a time. A buffer that holds a whole pass's file
// (a full table's report is about 100 KB) lets it reach the disk in a few
// writes instead of one per 4 KB.
char gWriteBuffer[1 << 17];

} // namespace

int OutputTempName(char* out, size_t cap, const char* target)
{
    int length = FormatText(out, cap, "%s", target);
    if (length <= 0)
        return -1;
    char* last = &out[length - 1];
    *last = *last == '~' ? '#' : '~';
    return length;
}

int OpenOutputFile(OutputFile* file, const char* target)
{
    file->Stream = nullptr;
    file->Target = target;
    if (OutputTempName(file->TempPath, sizeof file->TempPath, target) < 0)
        return -2;
    // "w" is text mode: the platform's own line ends (CR LF on Windows).
    file->Stream = fopen(file->TempPath, "w");
    if (file->Stream == nullptr)
        return -2;
    setvbuf(file->Stream, gWriteBuffer, _IOFBF, sizeof gWriteBuffer);
    return 0;
}

int CommitOutputFile(OutputFile* file)
{
    // A failed write sets the stream's error flag; the last buffered block
    // is written by the close, so its result counts as much as the flag.
    bool failed = ferror(file->Stream) != 0;
    if (fclose(file->Stream) != 0)
        failed = true;
    file->Stream = nullptr;
    if (!failed && PlatformReplaceFile(file->TempPath, file->Target) != 0)
        failed = true;
    if (failed) {
        remove(file->TempPath);
        return -2;
    }
    return 0;
}

} // namespace tressel
