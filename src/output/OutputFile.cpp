#include "output/OutputFile.h"

#include "common/Text.h"
#include "platform/Platform.h"

namespace tressel {

int OpenOutputFile(OutputFile* file, const char* target)
{
    file->Stream = nullptr;
    file->Target = target;
    if (FormatText(file->TempPath, sizeof file->TempPath, "%s.tmp", target) < 0)
        return -2;
    // "w" is text mode: the platform's own line ends (CR LF on Windows).
    file->Stream = fopen(file->TempPath, "w");
    return file->Stream != nullptr ? 0 : -2;
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
