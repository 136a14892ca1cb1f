#include "output/OutputFile.h"

#include <cstring>

#include "common/Text.h"
#include "platform/Platform.h"

namespace tressel {
namespace {

// One output file is open at a time. A buffer that holds a whole pass's file
// (a full table's report is about 100 KB) lets it reach the disk in a few
// writes instead of one per 4 KB.
char gWriteBuffer[1 << 17];

// The configuration in use, which no output file may replace.
char gProtected[kTempPathCapacity];

// Names tried before giving up: only a directory crowded with planted names
// or one that refuses new files uses more than one.
constexpr int kNameAttempts = 100;

// Length of the directory part of path, its last separator included.
size_t DirectoryLength(const char* path)
{
    size_t cut = 0;
    for (size_t i = 0; path[i] != '\0'; ++i) {
        if (strchr(kPathBreakers, path[i]) != nullptr)
            cut = i + 1;
    }
    return cut;
}

} // namespace

uint64_t (*gOutputNameBits)() = PlatformUniqueBits;

int OutputTempName(char* out, size_t cap, const char* target, unsigned long long bits)
{
    if (target[0] == '\0')
        return -1;
    char unique[kTempNameLength + 1];
    unique[0] = '~';
    for (size_t i = 1; i < kTempNameLength; ++i) {
        unique[i] = "0123456789abcdefghijklmnopqrstuvwxyz"[bits % 36];
        bits /= 36;
    }
    unique[kTempNameLength] = '\0';
    return FormatText(out, cap, "%.*s%s", static_cast<int>(DirectoryLength(target)), target, unique);
}

void ProtectFromOutput(const char* path)
{
    gProtected[0] = '\0';
    if (path != nullptr)
        CopyText(gProtected, sizeof gProtected, path);
}

int OpenOutputFile(OutputFile* file, const char* target)
{
    file->Stream = nullptr;
    file->TempPath[0] = '\0';
    if (PlatformResolveTarget(target, file->Target, sizeof file->Target) < 0)
        return -2;
    if (PlatformFileProtected(file->Target))
        return -2;
    if (gProtected[0] != '\0' && PlatformSameFile(file->Target, gProtected))
        return -2;
    for (int attempt = 0; attempt < kNameAttempts && file->Stream == nullptr; ++attempt) {
        if (OutputTempName(file->TempPath, sizeof file->TempPath, file->Target, gOutputNameBits()) < 0)
            return -2;
        bool exists = false;
        file->Stream = PlatformCreateNewFile(file->TempPath, file->Target, &exists);
        if (file->Stream == nullptr && !exists)
            return -2;
    }
    if (file->Stream == nullptr)
        return -2;
    PlatformNotePendingFile(file->TempPath);
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
    if (failed)
        remove(file->TempPath);
    PlatformNotePendingFile(nullptr);
    return failed ? -2 : 0;
}

} // namespace tressel
