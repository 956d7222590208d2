// The ASPI scan of its 40 candidates with the layer present and no drive on
// the bus, against the same 40 INQUIRY requests sent to the layer bare.
#include <benchmark/benchmark.h>

#include "drive/CDDrives.h"
#include "sim/SimOs.h"
#include "tests/support/FakeForm.h"

namespace {
constexpr int kCandidates = 40;

// The simulated system keeps a record of every call; empty it now and then
// so a long run does not grow it without end.
void Forget(SimOs& os) {
    os.trace.clear();
    os.calls.clear();
    os.srbAddresses.clear();
    os.opens.clear();
}

void BM_AspiScanEmpty(benchmark::State& state) {
    SimOs os;
    os.platformId = kPlatformWin32Windows;
    os.aspiLayer = SimOs::AspiLayer::Present;
    FakeForm form;
    CDDrive::Attach(&os, &form);
    size_t requests = 0, loads = 0;
    int references = 0;
    uint64_t iterations = 0;
    for (auto _ : state) {
        {
            CDDrives drives;
            benchmark::DoNotOptimize(drives.DriveCount);
        }
        if (++iterations == 1) {
            requests = os.trace.size();
            loads = os.CountCalls("LoadLibraryA");
            references = os.moduleReferences;  // loads not matched by a release
            if (requests != kCandidates || !form.boxes.empty() || os.OpenEvents() != 0)
                state.SkipWithError("the scan did not send 40 requests quietly");
        }
        if (iterations % 256 == 0) Forget(os);
    }
    state.counters["requests"] = static_cast<double>(requests);
    state.counters["loads"] = static_cast<double>(loads);
    state.counters["held"] = static_cast<double>(references);
    state.counters["virtual_ms"] =
        iterations ? static_cast<double>(os.sleptMs + os.waitedMs) / iterations : 0;
    CDDrive::Attach(nullptr, nullptr);
}
BENCHMARK(BM_AspiScanEmpty)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_AspiScanBaseline(benchmark::State& state) {
    SimOs os;
    os.platformId = kPlatformWin32Windows;
    os.aspiLayer = SimOs::AspiLayer::Present;
    OsModule module = os.LoadLibraryA("WNASPI32.DLL");
    OsProc send = os.GetProcAddress(module, "SendASPI32Command");
    SrbExecScsiCmd srb{};
    uint8_t buffer[128];
    uint64_t iterations = 0;
    for (auto _ : state) {
        for (int c = 0; c < kCandidates; ++c) {
            srb = SrbExecScsiCmd{};
            srb.SRB_Cmd = kScExecScsiCmd;
            srb.SRB_HaId = static_cast<uint8_t>(c / 2);
            srb.SRB_Target = static_cast<uint8_t>(c % 2);
            srb.SRB_Flags = kSrbDirIn;
            srb.SRB_BufLen = 128;
            srb.SRB_BufPointer = buffer;
            srb.SRB_CDBLen = 12;
            srb.CDBByte[0] = 0x12;
            srb.CDBByte[4] = 0x80;
            benchmark::DoNotOptimize(os.CallSendASPI32Command(send, &srb));
        }
        if (++iterations % 256 == 0) Forget(os);
    }
    os.FreeLibrary(module);
}
BENCHMARK(BM_AspiScanBaseline)->Unit(benchmark::kMicrosecond)->UseRealTime();
}  // namespace
