// No heap allocation in the scan and output paths: whole passes with output
// (RunPasses over a stub library, fake clock and sleep, files written to a
// temporary directory) while every allocation of the process is counted.
//
// What counts as the program's own. This test binary replaces the global
// operator new and defines malloc, calloc and realloc itself (forwarding to
// glibc's __libc_* functions), so it sees every allocation. An allocation
// is the program's own when
//   - it comes through operator new (the program's code uses none), or
//   - malloc/calloc/realloc was called directly from code linked into this
//     executable (the program's libraries are linked in statically), or
//   - it happened inside qsort: the C library's qsort allocates a merge
//     buffer as large as the array it sorts, so a sort of the pass's table
//     with it allocates on every pass, and that is the program's choice of
//     sort, not a cost of the C library's own.
// Allocations that the C library makes for itself inside stdio (the FILE of
// fopen and its buffer, made on the first write) are counted apart and only
// reported: they are the price of writing files with stdio at all.
//
// Under AddressSanitizer the allocator belongs to the sanitizer and cannot be
// replaced; there the test is skipped.
#include <gtest/gtest.h>

#include <ostream>

#include <dlfcn.h>
#include <link.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "common/Console.h"
#include "common/Services.h"
#include "common/Text.h"
#include "driver/RunPasses.h"
#include "driver/ScanSettings.h"
#include "support/TestSupport.h"
#include "tuner/TunerApi.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TRESSEL_NOALLOC_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define TRESSEL_NOALLOC_SANITIZED 1
#endif

#if defined(TRESSEL_NOALLOC_SANITIZED)

TEST(NoAllocation, NeedsTheAllocatorThatTheSanitizerOwns)
{
    GTEST_SKIP() << "the sanitizer owns the allocator; run the test in a build without it";
}

#else

namespace {

struct AllocationCount {
    uint32_t Own;        // operator new, or malloc called from this executable
    uint32_t Sort;       // inside qsort
    uint32_t Library;    // the C library for itself (stdio)
    uintptr_t FirstOwnCaller;
};

bool gCounting = false;
bool gInSort = false;
AllocationCount gCount;
uintptr_t gExeLow = 0;
uintptr_t gExeHigh = 0;

void Note(void* caller, bool viaNew)
{
    if (!gCounting)
        return;
    uintptr_t at = reinterpret_cast<uintptr_t>(caller);
    if (gInSort) {
        ++gCount.Sort;
    } else if (viaNew || (at >= gExeLow && at < gExeHigh)) {
        if (gCount.Own++ == 0)
            gCount.FirstOwnCaller = at;
    } else {
        ++gCount.Library;
    }
}

// The address range of this executable's loaded segments.
int FindExecutable(struct dl_phdr_info* info, size_t, void*)
{
    if (info->dlpi_name != nullptr && info->dlpi_name[0] != '\0')
        return 0; // the main program comes first, with an empty name
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type != PT_LOAD)
            continue;
        uintptr_t low = info->dlpi_addr + segment.p_vaddr;
        uintptr_t high = low + segment.p_memsz;
        if (gExeLow == 0 || low < gExeLow)
            gExeLow = low;
        if (high > gExeHigh)
            gExeHigh = high;
    }
    return 1;
}

} // namespace

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void* __libc_memalign(size_t alignment, size_t size);

void* malloc(size_t size)
{
    Note(__builtin_return_address(0), false);
    return __libc_malloc(size);
}

void* calloc(size_t count, size_t size)
{
    Note(__builtin_return_address(0), false);
    return __libc_calloc(count, size);
}

void* realloc(void* block, size_t size)
{
    Note(__builtin_return_address(0), false);
    return __libc_realloc(block, size);
}

typedef void (*QsortFn)(void*, size_t, size_t, int (*)(const void*, const void*));

void qsort(void* base, size_t count, size_t size, int (*compare)(const void*, const void*))
{
    static QsortFn real = reinterpret_cast<QsortFn>(dlsym(RTLD_NEXT, "qsort"));
    bool outer = !gInSort;
    gInSort = true;
    real(base, count, size, compare);
    if (outer)
        gInSort = false;
}
} // extern "C"

namespace {
void* CountedNew(size_t size)
{
    Note(nullptr, true);
    void* block = __libc_malloc(size != 0 ? size : 1);
    if (block == nullptr)
        throw std::bad_alloc();
    return block;
}
void* CountedAlignedNew(size_t size, std::align_val_t alignment)
{
    Note(nullptr, true);
    void* block = __libc_memalign(static_cast<size_t>(alignment), size != 0 ? size : 1);
    if (block == nullptr)
        throw std::bad_alloc();
    return block;
}
} // namespace

void* operator new(size_t size) { return CountedNew(size); }
void* operator new[](size_t size) { return CountedNew(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    Note(nullptr, true);
    return __libc_malloc(size != 0 ? size : 1);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept
{
    Note(nullptr, true);
    return __libc_malloc(size != 0 ? size : 1);
}
void* operator new(size_t size, std::align_val_t alignment) { return CountedAlignedNew(size, alignment); }
void* operator new[](size_t size, std::align_val_t alignment) { return CountedAlignedNew(size, alignment); }
void operator delete(void* block) noexcept { free(block); }
void operator delete[](void* block) noexcept { free(block); }
void operator delete(void* block, size_t) noexcept { free(block); }
void operator delete[](void* block, size_t) noexcept { free(block); }
void operator delete(void* block, std::align_val_t) noexcept { free(block); }
void operator delete[](void* block, std::align_val_t) noexcept { free(block); }
void operator delete(void* block, size_t, std::align_val_t) noexcept { free(block); }
void operator delete[](void* block, size_t, std::align_val_t) noexcept { free(block); }


namespace {

using tressel::TransponderInfo;

// A stub library that answers at once and allocates nothing: every 8 MHz
// channel from 474 MHz carries a transponder, alternately DVB-T2 with three
// pipes and DVB-T; the cable band from 306 MHz carries DVB-C.
uint32_t gTuned;

void Fill(TransponderInfo* record, uint32_t f)
{
    memset(record, 0, sizeof *record);
    record->Locked = 1;
    record->Frequency = f + 166;
    record->Bandwidth = 8000;
    record->Snr = 25.5;
    record->RfLevel = -50;
    record->BitRate = 24000000;
    if (f < 470000) {
        record->Standard = tressel::kStdDvbC;
        record->SymbolRate = 6900000;
        record->Modulation = 5;
    } else if ((f / 8000) % 2 == 0) {
        record->Standard = tressel::kStdDvbT2;
        record->PlpCount = 3;
        record->PlpIds[1] = 1;
        record->PlpIds[2] = 2;
    } else {
        record->Standard = tressel::kStdDvbT;
    }
}

extern "C" {
int32_t StubCheck(DeviceFoundCallback) { return 1; }
int32_t StubStart(int32_t) { return 1; }
uint32_t StubCapsStepped() { return tressel::kCapTressel; }
uint32_t StubCapsFast() { return tressel::kCapTressel | tressel::kCapFastScan; }
int32_t StubTune(uint32_t f, uint32_t, uint32_t, uint32_t)
{
    gTuned = f;
    return 1;
}
int32_t StubSignal(TransponderInfo* record)
{
    Fill(record, gTuned);
    return 1;
}
int32_t StubSweep(uint32_t start, uint32_t stop, uint32_t step, uint32_t, uint32_t, TransponderInfo* first,
                  uint32_t* countWord, FastScanResultCallback onResult)
{
    uint32_t stored = 0;
    for (uint64_t f = start; f <= stop && *countWord + stored < tressel::kTableCapacity; f += step) {
        Fill(first + stored, static_cast<uint32_t>(f));
        onResult(first + stored);
        ++stored;
    }
    *countWord = stored;
    return 1;
}
int32_t StubStop() { return 1; }
}

uint32_t gNow;
uint32_t FakeClock() { return gNow += 7; }
void NoSleep(uint32_t) {}
bool NoAbort() { return false; }
int FixedTime(tressel::LocalTime* out)
{
    *out = tressel::LocalTime{2024, 5, 1, 9, 5};
    return 0;
}

struct PassCase {
    bool Fast;
    int32_t IniFormat;
    int32_t InfoFormat;
    bool Watch; // History and BandPicture set: two runs, the second compared with the first
};

// Names the case in test listings (instead of the case's raw bytes).
void PrintTo(const PassCase& c, std::ostream* os)
{
    *os << (c.Fast ? "fast" : "stepped") << " scan, IniFormat " << c.IniFormat << ", InfoFormat " << c.InfoFormat
        << (c.Watch ? ", history and picture" : "");
}

class NoAllocation : public ::testing::TestWithParam<PassCase> {};

TEST_P(NoAllocation, WholePassWithOutput)
{
    const PassCase& c = GetParam();
    dl_iterate_phdr(FindExecutable, nullptr);
    ASSERT_LT(gExeLow, gExeHigh);

    testsupport::TempDir dir;
    const std::string config = dir.File("Tressel.ini");
    // Two intervals: 40 terrestrial channels and 20 cable channels.
    testsupport::WriteFile(config, "[Options]\nMinSNR1=0\nMinSNR2=0\n"
                                   "[Scan0]\nStart=474000\nStop=786000\nStep=8\nStd=0\n"
                                   "[Scan1]\nStart=306000\nStop=458000\nStep=8\nStd=3\n");
    tressel::ScanSettings settings = {};
    settings.LocPos = 130;
    tressel::CopyText(settings.LocName, sizeof settings.LocName, "Nord & <Süd>");
    settings.FastScan = c.Fast ? 1 : 0;
    settings.IniFormat = c.IniFormat;
    settings.InfoFormat = c.InfoFormat;
    tressel::CopyText(settings.ReportDir, sizeof settings.ReportDir, (dir.Path() + "/").c_str());
    tressel::CopyText(settings.TPDir, sizeof settings.TPDir, (dir.Path() + "/").c_str());
    if (c.Watch) {
        tressel::CopyText(settings.History, sizeof settings.History, dir.File("h.csv").c_str());
        settings.BandPicture = 1;
        settings.ChangeThreshold = 3;
    }

    tressel::TunerApi savedTuner = tressel::gTuner;
    tressel::Services savedServices = tressel::gServices;
    FILE* savedConsole = tressel::gConsole;
    FILE* console = fopen("/dev/null", "w");
    ASSERT_NE(nullptr, console);
    tressel::gConsole = console;
    tressel::gTuner = {StubCheck,  StubStart, c.Fast ? StubCapsFast : StubCapsStepped,
                       StubTune,   StubSignal, StubSweep, StubStop};
    tressel::gServices = {FakeClock, NoSleep, NoAbort, FixedTime};

    gCount = AllocationCount{};
    gCounting = true;
    tressel::RunPasses(&settings, config.c_str());
    if (c.Watch)
        tressel::RunPasses(&settings, config.c_str());
    gCounting = false;

    tressel::gTuner = savedTuner;
    tressel::gServices = savedServices;
    tressel::gConsole = savedConsole;
    fclose(console);

    // The pass ran and wrote its files.
    EXPECT_TRUE(testsupport::FileExists(dir.File(c.IniFormat == 5 ? "Nord & <Süd>.txt" : "0130.txt")));
    EXPECT_EQ(c.Watch, testsupport::FileExists(dir.File("h.csv")));
    EXPECT_EQ(c.Watch, testsupport::FileExists(dir.File(c.IniFormat == 5 ? "Nord & <Süd>.svg" : "0130.svg")));
    std::string caller = "none";
    if (gCount.FirstOwnCaller != 0) {
        Dl_info info;
        if (dladdr(reinterpret_cast<void*>(gCount.FirstOwnCaller), &info) != 0 && info.dli_sname != nullptr)
            caller = info.dli_sname;
    }
    EXPECT_EQ(0u, gCount.Own) << "allocations by the program's own code; the first from " << caller;
    EXPECT_EQ(0u, gCount.Sort) << "allocations inside qsort, which sorts the pass's table";
    RecordProperty("LibraryAllocations", static_cast<int>(gCount.Library));
}

// The counter itself: an allocation made by code of this executable counts
// as the program's own, one made by stdio as the library's.
TEST(NoAllocationCounter, TellsTheProgramsAllocationsFromTheLibrarys)
{
    dl_iterate_phdr(FindExecutable, nullptr);
    testsupport::TempDir dir;
    const std::string path = dir.File("probe");
    gCount = AllocationCount{};
    gCounting = true;
    void* volatile block = malloc(100);
    FILE* file = fopen(path.c_str(), "w");
    if (file != nullptr) {
        fputs("probe", file);
        fclose(file);
    }
    gCounting = false;
    free(block);
    EXPECT_EQ(1u, gCount.Own);
    EXPECT_GE(gCount.Library, 1u);
}

INSTANTIATE_TEST_SUITE_P(Passes, NoAllocation,
                         ::testing::Values(PassCase{false, 0, 1, false}, PassCase{true, 1, 1, false},
                                           PassCase{true, 2, 0, false}, PassCase{false, 3, 2, false},
                                           PassCase{true, 4, 3, false}, PassCase{true, 5, 1, false},
                                           PassCase{false, 6, 1, false}, PassCase{true, 6, 0, false},
                                           PassCase{false, 0, 1, true}, PassCase{true, 5, 1, true}),
                         [](const ::testing::TestParamInfo<PassCase>& row) {
                             return std::string(row.param.Fast ? "Fast" : "Stepped") + "Format" +
                                    std::to_string(row.param.IniFormat) + "Comment" +
                                    std::to_string(row.param.InfoFormat) + (row.param.Watch ? "Watched" : "");
                         });

} // namespace

#endif // TRESSEL_NOALLOC_SANITIZED
