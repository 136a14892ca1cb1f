// What the program itself costs, apart from the tuner: the stepped scan per
// channel against a library that answers at once and a settling sleep that
// returns at once, the fast scan per transponder, the two writers on a full
// table of 200 records in every list format, and the whole program from
// process start to its exit at a refused device.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/Console.h"
#include "common/Services.h"
#include "common/Text.h"
#include "output/Report.h"
#include "output/TpList.h"
#include "scan/ScanEngines.h"
#include "tuner/TunerApi.h"

extern char** environ;

namespace {

using tressel::TransponderInfo;

uint32_t gTuned;
uint32_t gNow;

// Every other 8 MHz channel from 474 MHz carries a DVB-T2 transponder.
void Fill(TransponderInfo* record, uint32_t f)
{
    memset(record, 0, sizeof *record);
    record->Frequency = f;
    if ((f / 8000) % 2 != 0)
        return;
    record->Locked = 1;
    record->Bandwidth = 8000;
    record->Standard = tressel::kStdDvbT2;
    record->Modulation = 22;
    record->PlpCount = 2;
    record->PlpIds[1] = 1;
    record->RfLevel = -48;
    record->BitRate = 40200000;
    record->Snr = 27.4;
}

extern "C" {
int32_t StubCheck(DeviceFoundCallback) { return 1; }
int32_t StubStart(int32_t) { return 1; }
uint32_t StubCaps() { return tressel::kCapTressel | tressel::kCapFastScan; }
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
int32_t StubSweep(uint32_t start, uint32_t, uint32_t, uint32_t, uint32_t, TransponderInfo* first, uint32_t* countWord,
                  FastScanResultCallback onResult)
{
    uint32_t room = tressel::kTableCapacity - *countWord;
    for (uint32_t k = 0; k < room; ++k) {
        Fill(first + k, start + 16000 * k);
        onResult(first + k);
    }
    *countWord = room;
    return 1;
}
int32_t StubStop() { return 1; }
}

uint32_t FakeClock() { return ++gNow; }
void NoSleep(uint32_t) {}
bool NoAbort() { return false; }
int FixedTime(tressel::LocalTime* out)
{
    *out = tressel::LocalTime{2024, 5, 1, 9, 5};
    return 0;
}

void InstallStubs()
{
    tressel::gTuner = {StubCheck, StubStart, StubCaps, StubTune, StubSignal, StubSweep, StubStop};
    tressel::gServices = {FakeClock, NoSleep, NoAbort, FixedTime};
    if (tressel::gConsole == nullptr)
        tressel::gConsole = fopen("/dev/null", "w");
}

tressel::TransponderTable gTable;

// The stepped scan over 100 channels (50 locked, appended, each tested
// against the records before it), per channel.
void BM_StepScanPerChannel(benchmark::State& state)
{
    InstallStubs();
    const uint32_t channels = 100;
    int32_t abortFlag = 0;
    for (auto _ : state) {
        int32_t appended = tressel::RunStepScan(gTable.Records, 0, 474000, 474000 + (channels - 1) * 8000, 8,
                                                0, -100.0, -100.0, &abortFlag);
        benchmark::DoNotOptimize(appended);
    }
    state.SetItemsProcessed(state.iterations() * channels);
    state.counters["channel"] =
        benchmark::Counter(static_cast<double>(state.iterations() * channels),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_StepScanPerChannel);

// The fast scan with a library that fills the whole table at once, per
// transponder (each printed by the result callback).
void BM_FastScanPerTransponder(benchmark::State& state)
{
    InstallStubs();
    int32_t abortFlag = 0;
    for (auto _ : state) {
        int32_t stored = tressel::RunFastScan(gTable.Records, 0, 474000, 786000, 8, 0, &abortFlag);
        benchmark::DoNotOptimize(stored);
    }
    state.SetItemsProcessed(state.iterations() * tressel::kTableCapacity);
    state.counters["transponder"] =
        benchmark::Counter(static_cast<double>(state.iterations() * tressel::kTableCapacity),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FastScanPerTransponder);

// A full table of mixed records: DVB-T2 with pipes, DVB-T, DVB-C.
void FillFullTable(TransponderInfo* table)
{
    for (uint32_t i = 0; i < tressel::kTableCapacity; ++i) {
        TransponderInfo* r = &table[i];
        memset(r, 0, sizeof *r);
        r->Locked = 1;
        r->Frequency = 113000 + 4166 * i;
        r->Bandwidth = 8000;
        r->RfLevel = -50;
        r->BitRate = 24000000;
        r->Snr = 25.5;
        switch (i % 3) {
        case 0:
            r->Standard = tressel::kStdDvbT2;
            r->Modulation = 22;
            r->PlpCount = 3;
            r->PlpIds[1] = 1;
            r->PlpIds[2] = 2;
            break;
        case 1:
            r->Standard = tressel::kStdDvbT;
            r->Modulation = 3;
            r->Hierarchy = 1;
            break;
        default:
            r->Standard = tressel::kStdDvbC;
            r->SymbolRate = 6900000;
            r->Modulation = 5;
            break;
        }
    }
}

std::string BenchDir()
{
    static std::string dir;
    if (dir.empty()) {
        char pattern[] = "/tmp/tressel-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            abort();
        dir = pattern;
    }
    return dir;
}

void BM_WriteReport(benchmark::State& state)
{
    InstallStubs();
    FillFullTable(gTable.Records);
    const uint32_t count = static_cast<uint32_t>(state.range(0));
    const std::string path = BenchDir() + "/4000.txt";
    for (auto _ : state) {
        int result = tressel::WriteReport(path.c_str(), gTable.Records, count, 95.312);
        if (result != 0)
            state.SkipWithError("WriteReport failed");
    }
    remove(path.c_str());
}
// A typical pass (30 transponders) and a full table.
BENCHMARK(BM_WriteReport)->Arg(30)->Arg(200)->Unit(benchmark::kMicrosecond);

// The list writer rounds the frequencies in place; refilling the table is
// left out of the measurement.
void BM_WriteTpList(benchmark::State& state)
{
    InstallStubs();
    const uint32_t format = static_cast<uint32_t>(state.range(0));
    const uint32_t count = static_cast<uint32_t>(state.range(1));
    const std::string path = BenchDir() + (format == tressel::kListXml ? "/Europe.xml" : "/4000.ini");
    for (auto _ : state) {
        state.PauseTiming();
        FillFullTable(gTable.Records);
        state.ResumeTiming();
        int result = tressel::WriteTpList("Europe", gTable.Records, format, path.c_str(), 4000, count, 1);
        if (result != 0)
            state.SkipWithError("WriteTpList failed");
    }
    remove(path.c_str());
}
BENCHMARK(BM_WriteTpList)->ArgsProduct({{0, 1, 2, 3, 4, 5, 6}, {30, 200}})->Unit(benchmark::kMicrosecond);

// The whole program from process start to exit: banner, configuration,
// loading the virtual tuner, enumeration, the device prompt with standard
// input closed, and the refused device (exit code -3).
void BM_StartupToRefusedDevice(benchmark::State& state)
{
    const std::string config = BenchDir() + "/Tressel.ini";
    FILE* file = fopen(config.c_str(), "w");
    if (file == nullptr)
        abort();
    fputs("[Options]\nDevice=-1\n", file);
    fclose(file);
    const std::string program = std::string(TRESSEL_BIN_DIR) + "/tressel";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(config.c_str()), nullptr};
    for (auto _ : state) {
        pid_t pid;
        if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ) != 0) {
            state.SkipWithError("cannot start tressel");
            break;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != (-3 & 0xff)) {
            state.SkipWithError("tressel did not end with -3");
            break;
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    remove(config.c_str());
}
BENCHMARK(BM_StartupToRefusedDevice)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
