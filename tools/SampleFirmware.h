// Sample firmware images for demonstrations: deterministic filler that
// carries a drive's 24-character identification followed by a revision, so a
// virtual drive running the image reports that revision, plus an optional
// layout marker. Header-only so the tests and benchmarks use the same bytes.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

enum class SampleLayout { Plain, A, B };

struct SampleRequest {
    uint32_t size = 262144;
    std::string ident;     // 24 characters: vendor (8) and product (16)
    std::string revision;  // 4 characters
    SampleLayout layout = SampleLayout::Plain;
    std::string model = "DVD-ROM KVA-204";  // 15 characters, written with layout B only
    uint32_t seed = 0x4E565846u;            // of the filler; never 0
};

// Clear of the marker positions 0x1100.., 0x4000..0x401F.
constexpr uint32_t kSampleIdentOffset = 0x200;
// What a package can carry.
constexpr uint32_t kSampleMaxSize = 327680;

inline uint32_t SampleMinSize(SampleLayout layout) {
    switch (layout) {
        case SampleLayout::A:
            return 0x1102;
        case SampleLayout::B:
            return 0x4020;
        case SampleLayout::Plain:
            break;
    }
    return kSampleIdentOffset + 28;
}

// Empty when the sample can be made; otherwise why not.
inline std::string CheckSample(const SampleRequest& sample) {
    if (sample.ident.size() != 24) return "the identification must be 24 characters";
    if (sample.revision.size() != 4) return "the revision must be 4 characters";
    if (sample.layout == SampleLayout::B && sample.model.size() != 15)
        return "the model must be 15 characters";
    if (sample.size < SampleMinSize(sample.layout))
        return "size below " + std::to_string(SampleMinSize(sample.layout)) + " for this layout";
    if (sample.size > kSampleMaxSize) return "size above " + std::to_string(kSampleMaxSize);
    if (sample.seed == 0) return "the seed must not be 0";
    return {};
}

// False (image untouched) when CheckSample refuses the sample.
inline bool MakeSample(const SampleRequest& sample, std::vector<uint8_t>& image) {
    if (!CheckSample(sample).empty()) return false;
    image.assign(sample.size, 0);
    uint32_t x = sample.seed;  // xorshift32: same bytes on every machine
    for (uint32_t i = 0; i < sample.size; ++i) {
        if (i % 4 == 0) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
        }
        image[i] = static_cast<uint8_t>(x >> (8 * (i % 4)));
    }

    // Filler must never decide the layout or turn the image into a template.
    const uint32_t markers[] = {0x4000, 0x4008, 0x1100};
    for (uint32_t at : markers)
        if (at + 1 < sample.size && image[at] == 0x05 && image[at + 1] == 0x80)
            image[at + 1] = 0x81;
    if (std::memcmp(image.data(), "TMPL", 4) == 0) image[0] ^= 0x20;

    if (sample.layout == SampleLayout::A) {
        image[0x1100] = 0x05;
        image[0x1101] = 0x80;
    } else if (sample.layout == SampleLayout::B) {
        image[0x4000] = 0x05;
        image[0x4001] = 0x80;
        std::memcpy(&image[0x4010], sample.model.data(), 15);
    }
    std::memcpy(&image[kSampleIdentOffset], sample.ident.data(), 24);
    std::memcpy(&image[kSampleIdentOffset + 24], sample.revision.data(), 4);
    return true;
}

// The command line of mkfirmware: OUT --size N --ident I --revision R
// [--layout plain|a|b] [--model M]. False with `problem` set when it is wrong.
struct SampleArgs {
    std::string out;
    SampleRequest sample;
    std::string problem;
};

inline bool ParseSampleArgs(int argc, const char* const* argv, SampleArgs& args) {
    bool haveSize = false, haveIdent = false, haveRevision = false, haveModel = false;
    auto fail = [&](const std::string& why) {
        args.problem = why;
        return false;
    };
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.rfind("--", 0) != 0) {
            if (!args.out.empty()) return fail("one output file only");
            args.out = arg;
            continue;
        }
        if (i + 1 >= argc) return fail(arg + " needs a value");
        std::string value = argv[++i];
        if (arg == "--size") {
            // Decimal digits only: no sign, no base prefix, nothing after.
            if (value.empty() || value.size() > 10 ||
                value.find_first_not_of("0123456789") != std::string::npos)
                return fail("--size takes a decimal number");
            unsigned long long n = std::strtoull(value.c_str(), nullptr, 10);
            if (n > 0xFFFFFFFFull) return fail("--size takes a decimal number");
            args.sample.size = static_cast<uint32_t>(n);
            haveSize = true;
        } else if (arg == "--ident") {
            // Blank-padded to 24 as INQUIRY reports it, so the catalogue's
            // Inquiry value can be given as it stands.
            if (value.empty() || value.size() > 24)
                return fail("--ident takes vendor and product, at most 24 characters");
            args.sample.ident = value + std::string(24 - value.size(), ' ');
            haveIdent = true;
        } else if (arg == "--revision") {
            args.sample.revision = value;
            haveRevision = true;
        } else if (arg == "--layout") {
            if (value == "plain")
                args.sample.layout = SampleLayout::Plain;
            else if (value == "a")
                args.sample.layout = SampleLayout::A;
            else if (value == "b")
                args.sample.layout = SampleLayout::B;
            else
                return fail("--layout is plain, a or b");
        } else if (arg == "--model") {
            args.sample.model = value;
            haveModel = true;
        } else {
            return fail("unknown option " + arg);
        }
    }
    if (args.out.empty()) return fail("no output file");
    if (!haveSize || !haveIdent || !haveRevision)
        return fail("--size, --ident and --revision are required");
    if (haveModel && args.sample.layout != SampleLayout::B) return fail("--model needs --layout b");
    std::string problem = CheckSample(args.sample);
    if (!problem.empty()) return fail(problem);
    return true;
}
