// Building a flasher from a template against a plain buffered copy of the
// same template: the build reads the template once and writes every byte once,
// so it should cost little more than the copy.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchDir.h"
#include "package/BuildFlasher.h"
#include "package/Package.h"
#include "sim/SimOs.h"
#include "tools/SampleFirmware.h"

namespace {
constexpr size_t kSyntheticBefore = 600000;
constexpr size_t kSyntheticAfter = 120000;

// A template of about a megabyte: code-like bytes, the package record with
// an image area starting "TMPL", more bytes behind.
std::vector<uint8_t> SyntheticTemplate() {
    std::vector<uint8_t> bytes;
    bytes.reserve(kSyntheticBefore + kPackageRecordSize + kSyntheticAfter);
    uint32_t x = 12345;
    auto filler = [&](size_t n) {
        for (size_t i = 0; i < n; ++i) {
            x = x * 1103515245u + 12345u;
            bytes.push_back(static_cast<uint8_t>(x >> 16));
        }
    };
    filler(kSyntheticBefore);
    const uint8_t* keyword = PackageView(PackageRecord()).Keyword();
    bytes.insert(bytes.end(), keyword, keyword + kKeywordSize);
    bytes.insert(bytes.end(), kPackageBlockSize, 0);
    size_t image = bytes.size();
    bytes.insert(bytes.end(), kImageAreaSize, 0);
    std::memcpy(&bytes[image], "TMPL", 4);
    filler(kSyntheticAfter);
    return bytes;
}

struct Setup {
    std::string templatePath, firmwarePath, label, error;
    BuildRequest request;
};

const Setup& Prepare() {
    static Setup s = [] {
        Setup s;
        BenchDir& dir = BenchDir::Get();
        if (!dir.Ok()) {
            s.error = "no scratch directory";
            return s;
        }
        const char* given = std::getenv("NORVEX_BENCH_TEMPLATE");
        if (given && *given) {
            s.templatePath = given;
            s.label = std::string(given);
        } else {
            s.templatePath = dir.Path("template.exe");
            if (!BenchDir::Write(s.templatePath, SyntheticTemplate()))
                s.error = "cannot write template";
            s.label = "synthetic";
        }
        SampleRequest sample;
        sample.ident = "OPTIDRV CDRW-A100       ";
        sample.revision = "1A50";
        std::vector<uint8_t> image;
        s.firmwarePath = dir.Path("1A50.BIN");
        if (!MakeSample(sample, image) || !BenchDir::Write(s.firmwarePath, image))
            s.error = "cannot write firmware";

        PackageTexts texts{"CDRW-A100", "OPTIDRV CDRW-A100       ", "1A00-1A99", "OPTIDRV", ""};
        s.request.templatePath = s.templatePath;
        s.request.firmwarePath = s.firmwarePath;
        s.request.outputPath = dir.Path("1A50.EXE");
        s.request.keyword = PackageView(PackageRecord()).Keyword();
        MakePackageBlock(texts, "1A50.BIN", 0, s.request.block);

        std::FILE* f = std::fopen(s.templatePath.c_str(), "rb");
        if (!f) {
            s.error = "cannot open template " + s.templatePath;
            return s;
        }
        std::fseek(f, 0, SEEK_END);
        s.label += " (" + std::to_string(std::ftell(f)) + " bytes)";
        std::fclose(f);
        return s;
    }();
    return s;
}

// The plain copy the build is held against: 64 KiB blocks, like the build's own.
bool CopyFile(const std::string& from, const std::string& to, std::vector<uint8_t>& buffer) {
    std::FILE* in = std::fopen(from.c_str(), "rb");
    if (!in) return false;
    std::FILE* out = std::fopen(to.c_str(), "wb");
    if (!out) {
        std::fclose(in);
        return false;
    }
    bool ok = true;
    for (;;) {
        size_t n = std::fread(buffer.data(), 1, buffer.size(), in);
        if (n == 0) break;
        if (std::fwrite(buffer.data(), 1, n, out) != n) ok = false;
    }
    ok = !std::ferror(in) && ok;
    std::fclose(in);
    return std::fclose(out) == 0 && ok;
}

void BM_BuildFlasher(benchmark::State& state) {
    const Setup& s = Prepare();
    if (!s.error.empty()) {
        state.SkipWithError(s.error.c_str());
        return;
    }
    BuildRequest request = s.request;
    std::vector<uint8_t> image;
    uint32_t imageSize = 0, steps = 0;
    BuildProgress progress;
    progress.start = [&](uint32_t) { steps = 0; };
    progress.step = [&] { ++steps; };  // the window steps its progress bar here
    SimOs os;
    for (auto _ : state) {
        BuildOutcome outcome = BuildFlasher(os, request, image, imageSize, progress);
        if (outcome != BuildOutcome::Complete) {
            state.SkipWithError("the build did not complete");
            break;
        }
    }
    state.SetLabel(s.label);
    state.counters["progress_steps"] = steps;
}
BENCHMARK(BM_BuildFlasher)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_CopyTemplate(benchmark::State& state) {
    const Setup& s = Prepare();
    if (!s.error.empty()) {
        state.SkipWithError(s.error.c_str());
        return;
    }
    std::vector<uint8_t> buffer(65536);
    std::string out = BenchDir::Get().Path("copy.exe");
    for (auto _ : state) {
        if (!CopyFile(s.templatePath, out, buffer)) {
            state.SkipWithError("the copy failed");
            break;
        }
    }
    state.SetLabel(s.label);
}
BENCHMARK(BM_CopyTemplate)->Unit(benchmark::kMicrosecond)->UseRealTime();
}  // namespace
