// The host side of a whole flash of a 262,144-byte image against a virtual
// drive that answers at once (the readiness pauses go to a virtual clock),
// against the least any flash must do: copy each chunk once and compare it
// once. The drive's own share is measured apart so it can be taken out.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "tests/support/FlasherRig.h"
#include "tools/SampleFirmware.h"

namespace {
constexpr uint32_t kImageSize = 262144;
constexpr uint32_t kChunk = 16384;

std::vector<uint8_t> Image() {
    SampleRequest sample;
    sample.size = kImageSize;
    sample.ident = "OPTIDRV CDRW-A100       ";
    sample.revision = "1A50";
    std::vector<uint8_t> image;
    MakeSample(sample, image);
    return image;
}

// A started flasher with one drive at 1A10 and the sample image packaged.
struct Bench {
    FlasherRig rig;
    VirtualDrive* drive;
    Bench() {
        drive = &rig.AddDrive(FlasherRig::Model("1A10"));
        std::vector<uint8_t> image = Image();
        std::memcpy(rig.pkg.Image(), image.data(), image.size());
        rig.pkg.SetImageSize(kImageSize);
        rig.pkg.SetVersion("1A50.");
        rig.Start();
    }
    // Back to the old firmware, as the list shows it, with the records emptied.
    void Reset() {
        drive->config.revision = "1A10";
        rig.window->Drives->Current->Inquire();
        rig.os.trace.clear();
        rig.os.calls.clear();
        rig.os.srbAddresses.clear();
        rig.form.events.clear();
        rig.form.statusRepaints.clear();
        rig.form.boxes.clear();
        rig.form.answers = {BoxAnswer::Yes};
    }
    bool Completed() const {
        return rig.form.status == "Flash Completed." && drive->Revision() == "1A50" &&
               rig.form.boxes.size() == 1;
    }
};

void BM_FlashWhole(benchmark::State& state) {
    Bench b;
    size_t commands = 0;
    for (auto _ : state) {
        state.PauseTiming();
        b.Reset();
        state.ResumeTiming();
        b.rig.window->FlashButtonClick();
        state.PauseTiming();
        commands = b.rig.os.trace.size();
        bool ok = b.Completed();
        state.ResumeTiming();
        if (!ok) {
            state.SkipWithError("the flash did not complete");
            break;
        }
    }
    state.counters["commands"] = static_cast<double>(commands);
    state.counters["virtual_sleep_ms"] = static_cast<double>(b.rig.os.sleptMs) / state.iterations();
}
BENCHMARK(BM_FlashWhole)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The same command blocks, straight into a drive: what the drive model costs.
void BM_FlashDriveSide(benchmark::State& state) {
    Bench b;
    b.Reset();
    b.rig.window->FlashButtonClick();
    if (!b.Completed()) {
        state.SkipWithError("the flash did not complete");
        return;
    }
    std::vector<TraceEntry> trace = b.rig.os.trace;
    std::vector<uint8_t> image = Image();
    VirtualDrive drive(FlasherRig::Model("1A10"));
    std::vector<uint8_t> data(kChunk);
    for (auto _ : state) {
        drive.config.revision = "1A10";
        for (const TraceEntry& e : trace) {
            uint8_t* p = data.data();
            if (e.cdb[0] == 0x3B && e.length == kChunk && !e.dataIn) {
                uint32_t offset = uint32_t(e.cdb[3]) << 16 | uint32_t(e.cdb[4]) << 8 | e.cdb[5];
                p = image.data() + offset;  // data out: the drive only reads it
            }
            DriveOutcome o = drive.Execute(e.cdb, e.dataIn, p, e.length);
            benchmark::DoNotOptimize(o);
        }
    }
    if (drive.Revision() != "1A50") state.SkipWithError("the drive did not take the image");
}
BENCHMARK(BM_FlashDriveSide)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_FlashBaseline(benchmark::State& state) {
    std::vector<uint8_t> image = Image();
    std::vector<uint8_t> chunk(kChunk);
    for (auto _ : state) {
        for (uint32_t at = 0; at < kImageSize; at += kChunk) {
            std::memcpy(chunk.data(), image.data() + at, kChunk);
            benchmark::ClobberMemory();
            int d = std::memcmp(image.data() + at, chunk.data(), kChunk);
            benchmark::DoNotOptimize(d);
        }
    }
}
BENCHMARK(BM_FlashBaseline)->Unit(benchmark::kMicrosecond)->UseRealTime();
}  // namespace
