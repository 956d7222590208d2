// The builder over arbitrary template and firmware files: a complete build
// is the template with only the block and the image replaced, and every
// other outcome is reported as a failure.
//
// Input: template length (2 bytes, little-endian), template tail and
// firmware tail (filler appended: n bytes, or with the top bit set
// (n & 0x7F) * 4 KiB, so images beyond the image area occur), an earlier
// build's image size (n * 1 KiB), then the template's and the firmware's bytes.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/Check.h"
#include "fuzz/FuzzInput.h"
#include "package/BuildFlasher.h"
#include "package/Integrity.h"
#include "sim/SimOs.h"
#include "tests/support/TempDir.h"

namespace {
const uint8_t kKeyword[kKeywordSize] = {'F', 'W', 'B', 'L', 'O', 'C', 'K', '-',
                                        'M', 'A', 'R', 'K', 'E', 'R', 0};

// Where the keyword's last byte is, read front to back: a byte that breaks a
// partial match is not tried again as the first keyword byte. -1: absent.
long KeywordEnd(const std::vector<uint8_t>& bytes) {
    size_t m = 0;
    for (size_t j = 0; j < bytes.size(); ++j) {
        if (m == 0) {  // only the first keyword byte can start a match
            const void* next = std::memchr(bytes.data() + j, kKeyword[0], bytes.size() - j);
            if (!next) return -1;
            j = size_t(static_cast<const uint8_t*>(next) - bytes.data());
        }
        if (bytes[j] == kKeyword[m]) {
            if (++m == kKeywordSize) return long(j);
        } else {
            m = 0;
        }
    }
    return -1;
}

size_t Tail(uint8_t n) {
    return (n & 0x80) ? size_t(n & 0x7F) * 4096 : n;
}

// n bytes of a fixed pattern, cut from one made once.
std::vector<uint8_t> Filler(size_t n, size_t from) {
    static const std::vector<uint8_t> pattern = [] {
        std::vector<uint8_t> bytes(2 * 127 * 4096);
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 13 + (i >> 10));
        return bytes;
    }();
    return std::vector<uint8_t>(pattern.begin() + from, pattern.begin() + from + n);
}

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        uint8_t block[65536];
        size_t n;
        while ((n = std::fread(block, 1, sizeof block, f)) > 0)
            bytes.insert(bytes.end(), block, block + n);
        std::fclose(f);
    }
    return bytes;
}

// The block for the texts below and "fw01.bin", laid out field by field.
std::vector<uint8_t> ExpectedBlock(uint32_t imageSize) {
    std::vector<uint8_t> record(kImageAreaOffset, 0);
    auto put = [&record](size_t at, const char* text) {
        std::memcpy(&record[at], text, std::strlen(text));
    };
    put(kModelOffset, "CDRW-A100");
    put(kInquiryOffset, "OPTIDRV CDRW-A100       ");
    put(kRangeOffset, "1A00-1A99");
    put(kVendorOffset, "OPTIDRV");
    put(kVersionTagOffset, "FW01.");
    for (int i = 0; i < 4; ++i) record[kImageSizeOffset + i] = uint8_t(imageSize >> (8 * i));
    return std::vector<uint8_t>(record.begin() + kModelOffset, record.end());
}

void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& bytes) {
    to.insert(to.end(), bytes.begin(), bytes.end());
}

bool Same(const std::vector<uint8_t>& a, size_t at, const uint8_t* b, size_t n) {
    return at + n <= a.size() && (n == 0 || std::memcmp(a.data() + at, b, n) == 0);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TempDir dir;
    FuzzInput input(data, size);
    const size_t templateLength = input.Word();
    const size_t templateTail = Tail(input.Byte());
    const size_t firmwareTail = Tail(input.Byte());
    const size_t earlierImage = size_t(input.Byte()) * 1024;

    std::vector<uint8_t> templ = input.Take(templateLength);
    Append(templ, Filler(templateTail, 0));
    std::vector<uint8_t> firmware = input.Rest();
    Append(firmware, Filler(firmwareTail, 127 * 4096));
    dir.Write("TEMPLATE.EXE", templ);
    dir.Write("fw01.bin", firmware);
    std::remove(dir.File("fw01.EXE").c_str());

    BuildRequest request;
    request.templatePath = dir.File("TEMPLATE.EXE");
    request.firmwarePath = dir.File("fw01.bin");
    request.outputPath = dir.File(OutputName("fw01.bin"));
    request.keyword = kKeyword;
    const PackageTexts texts{"CDRW-A100", "OPTIDRV CDRW-A100       ", "1A00-1A99", "OPTIDRV", ""};
    MakePackageBlock(texts, "fw01.bin", 0, request.block);

    std::vector<uint8_t> image(earlierImage, 0xCC);
    uint32_t imageSize = 0xDEADBEEF;
    SimOs os;
    const BuildOutcome outcome = BuildFlasher(os, request, image, imageSize, BuildProgress{});
    const std::vector<uint8_t> out = ReadAll(dir.File("fw01.EXE"));

    const size_t S = firmware.size();
    FUZZ_CHECK(imageSize == S, "the image size is the firmware file's size");
    if (S > kImageAreaSize) {
        FUZZ_CHECK(outcome == BuildOutcome::FirmwareTooLarge && !dir.Exists("fw01.EXE"),
                   "an image larger than the image area is refused before any output");
        return 0;
    }
    if (S == 0) {
        FUZZ_CHECK(outcome == BuildOutcome::FirmwareEmpty && !dir.Exists("fw01.EXE"),
                   "an empty firmware file is refused before any output");
        return 0;
    }
    FUZZ_CHECK(image.size() >= S && std::memcmp(image.data(), firmware.data(), S) == 0,
               "the image buffer holds the firmware");

    // A template's own trailer is not part of it as a template.
    if (templ.size() >= kTrailerSize &&
        MarkOf(templ.data() + templ.size() - kTrailerSize) != TrailerMark::None)
        templ.resize(templ.size() - kTrailerSize);
    const long end = KeywordEnd(templ);
    if (end < 0) {
        FUZZ_CHECK(outcome == BuildOutcome::KeywordNotFound, "no keyword, no build");
        FUZZ_CHECK(!dir.Exists("fw01.EXE"), "without the keyword no output is left");
        return 0;
    }
    const size_t block = size_t(end) + 1;
    const size_t imageAt = block + kPackageBlockSize;
    if (imageAt + S > templ.size()) {
        FUZZ_CHECK(outcome == BuildOutcome::TemplateTooShort,
                   "block and image past the template's end are a failure");
        FUZZ_CHECK(!dir.Exists("fw01.EXE"), "a failed build leaves no output");
        return 0;
    }
    FUZZ_CHECK(outcome == BuildOutcome::Complete, "a template that holds it all builds");

    const std::vector<uint8_t> expected = ExpectedBlock(uint32_t(S));
    FUZZ_CHECK(out.size() == templ.size() + kTrailerSize,
               "a complete build has the template's length and the trailer");
    FUZZ_CHECK(CheckIntegrity(out.data(), out.size()).state == Integrity::Holds,
               "a complete build's trailer holds");
    FUZZ_CHECK(Same(out, 0, templ.data(), block), "the template up to the keyword is kept");
    FUZZ_CHECK(Same(out, block, expected.data(), kPackageBlockSize),
               "the new block follows the keyword");
    FUZZ_CHECK(Same(out, imageAt, firmware.data(), S), "the firmware starts the image area");
    FUZZ_CHECK(Same(out, imageAt + S, templ.data() + imageAt + S, templ.size() - imageAt - S),
               "the rest of the template is kept");
    return 0;
}
