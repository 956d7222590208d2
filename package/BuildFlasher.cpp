// Writing a flasher: the template copied with the new package and image in place.
#include "package/BuildFlasher.h"

#include "package/OutputFile.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "package/Integrity.h"

namespace {
constexpr size_t kBlockBuffer = 65536;
constexpr size_t kStepBytes = 1024;

// One pass over the template through a block buffer of its own.
// It stops at `end`, the end of the template's contents.
class TemplateReader {
  public:
    TemplateReader(std::FILE* f, uint64_t end)
        : file_(f), buffer_(new uint8_t[kBlockBuffer]), left_(end) {}
    // Bytes ready at Data(); refills when empty. 0 at the end or on error.
    size_t Available() {
        if (pos_ == len_) {
            pos_ = 0;
            size_t want = left_ < kBlockBuffer ? static_cast<size_t>(left_) : kBlockBuffer;
            len_ = want ? std::fread(buffer_.get(), 1, want, file_) : 0;
            if (len_ == 0 && std::ferror(file_)) failed_ = true;
            left_ -= len_;
        }
        return len_ - pos_;
    }
    const uint8_t* Data() const { return buffer_.get() + pos_; }
    void Consume(size_t n) { pos_ += n; }
    bool Failed() const { return failed_; }

  private:
    std::FILE* file_;
    std::unique_ptr<uint8_t[]> buffer_;
    size_t pos_ = 0, len_ = 0;
    uint64_t left_;
    bool failed_ = false;
};

// A template that carries a trailer of its own (a flasher built from a
// flasher's file) ends, as a template, before it: the new file gets one
// trailer, for its own contents. The stream is left at its start.
bool EndsInTrailer(std::FILE* f, long size) {
    if (size < static_cast<long>(kTrailerSize)) return false;
    uint8_t tail[kTrailerSize];
    bool marked = std::fseek(f, size - static_cast<long>(kTrailerSize), SEEK_SET) == 0 &&
                  std::fread(tail, 1, kTrailerSize, f) == kTrailerSize &&
                  MarkOf(tail) != TrailerMark::None;
    std::fseek(f, 0, SEEK_SET);
    return marked;
}

// Size by seeking to the end; the stream is left at its start. -1 on error.
long FileSize(std::FILE* f) {
    if (std::fseek(f, 0, SEEK_END) != 0) return -1;
    long size = std::ftell(f);
    if (std::fseek(f, 0, SEEK_SET) != 0) return -1;
    return size;
}

void PutText(uint8_t* field, size_t fieldSize, const std::string& text) {
    // Leave at least one zero byte at the field's end.
    size_t n = text.size() < fieldSize - 1 ? text.size() : fieldSize - 1;
    std::memcpy(field, text.data(), n);
}

struct Files {
    std::FILE* firmware = nullptr;
    std::FILE* templ = nullptr;
    ~Files() {
        if (firmware) std::fclose(firmware);
        if (templ) std::fclose(templ);
    }
};
}  // namespace

void MakePackageBlock(const PackageTexts& texts, const std::string& firmwareFileName,
                      uint32_t imageSize, uint8_t (&block)[kPackageBlockSize]) {
    std::memset(block, 0, sizeof block);
    // Offsets are the record's; the block starts at the record's Model field.
    auto field = [&block](size_t recordOffset) { return block + (recordOffset - kModelOffset); };
    PutText(field(kModelOffset), kTextFieldSize, texts.model);
    PutText(field(kInquiryOffset), kTextFieldSize, texts.inquiry);
    PutText(field(kRangeOffset), kTextFieldSize, texts.range);
    PutText(field(kVendorOffset), kTextFieldSize, texts.vendor);
    PutText(field(kNoteOffset), kTextFieldSize, texts.note);
    uint8_t* tag = field(kVersionTagOffset);
    for (size_t i = 0; i < kVersionTagSize && i < firmwareFileName.size(); ++i) {
        char c = firmwareFileName[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        tag[i] = static_cast<uint8_t>(c);
    }
    uint8_t* size = field(kImageSizeOffset);
    for (int i = 0; i < 4; ++i) size[i] = static_cast<uint8_t>(imageSize >> (8 * i));
}

bool RangeCanBePackaged(const std::string& range) {
    if (range.size() >= 6 && range[0] == '-' && range[5] == '-') return true;
    return range.size() == 9 && range[4] == '-';
}

bool NameCarriesRevision(const std::string& firmwareFileName) {
    const size_t dot = firmwareFileName.find_last_of('.');
    return (dot == std::string::npos ? firmwareFileName.size() : dot) >= 4;
}

std::string OutputName(const std::string& firmwareFileName) {
    return firmwareFileName.substr(0, 4) + ".EXE";
}

BuildOutcome BuildFlasher(OsCalls& os, BuildRequest& request, std::vector<uint8_t>& image,
                          uint32_t& imageSize, const BuildProgress& progress) {
    Files files;
    files.firmware = std::fopen(request.firmwarePath.c_str(), "rb");
    if (!files.firmware) return BuildOutcome::FirmwareOpenFailed;
    long firmwareSize = FileSize(files.firmware);
    if (firmwareSize < 0) return BuildOutcome::FirmwareReadFailed;
    const uint32_t S = static_cast<uint32_t>(firmwareSize);
    imageSize = S;
    // An empty image leaves the template's image area, marker first, in
    // place: the output would start as a builder, not as a flasher.
    if (S == 0) return BuildOutcome::FirmwareEmpty;
    // A larger image would overwrite whatever follows the image area.
    if (static_cast<unsigned long>(firmwareSize) > kImageAreaSize)
        return BuildOutcome::FirmwareTooLarge;
    // Read before the output exists, so an output that replaces the firmware
    // file itself cannot empty it first.
    if (image.size() < S) image.resize(S);
    if (std::fread(image.data(), 1, S, files.firmware) != S)
        return BuildOutcome::FirmwareReadFailed;
    // Closed now: Windows moves no file over one that is open.
    std::fclose(files.firmware);
    files.firmware = nullptr;

    files.templ = std::fopen(request.templatePath.c_str(), "rb");
    if (!files.templ) return BuildOutcome::TemplateOpenFailed;
    long templateSize = FileSize(files.templ);
    if (templateSize < 0) return BuildOutcome::TemplateReadFailed;
    if (EndsInTrailer(files.templ, templateSize)) templateSize -= long(kTrailerSize);
    const uint64_t E = static_cast<uint64_t>(templateSize);
    if (progress.start) progress.start(static_cast<uint32_t>(E));

    // Written beside the earlier file of its name, which stays as it was
    // until this one is whole (package/OutputFile).
    OutputFile output(os, request.outputPath);
    if (!output.Create()) return BuildOutcome::OutputCreateFailed;

    TemplateReader reader(files.templ, E);
    // Every byte written goes into the trailer's SHA-256 as it is written.
    Sha256 written;
    uint64_t writtenSize = 0;
    auto write = [&](const uint8_t* data, size_t n) {
        output.Write(data, n);
        written.Update(data, n);
        writtenSize += n;
    };
    auto step = [&] {
        if (progress.step) progress.step();
    };
    // One step for every multiple of the step size in [from, from + count).
    auto steps = [&](uint64_t from, uint64_t count) {
        uint64_t k =
            (from + count + kStepBytes - 1) / kStepBytes - (from + kStepBytes - 1) / kStepBytes;
        while (k--) step();
    };

    // One front-to-back pass: the keyword is matched while copying, and a
    // byte that breaks a partial match does not start a new one.
    uint64_t j = 0;
    size_t m = 0;
    bool found = false;
    while (!found) {
        size_t n = reader.Available();
        if (n == 0) break;
        const uint8_t* data = reader.Data();
        size_t i = 0;
        while (i < n && !found) {
            if (m == 0) {
                // No match open: jump to the next candidate first byte.
                const void* hit = std::memchr(data + i, request.keyword[0], n - i);
                size_t skip =
                    hit ? static_cast<size_t>(static_cast<const uint8_t*>(hit) - (data + i))
                        : n - i;
                steps(j, skip);
                j += skip;
                i += skip;
                if (i == n) break;
            }
            if (j % kStepBytes == 0) step();
            ++j;
            if (data[i++] == request.keyword[m]) {
                if (++m == kKeywordSize) found = true;
            } else {
                m = 0;
            }
        }
        write(data, i);
        reader.Consume(i);
    }
    if (reader.Failed()) return BuildOutcome::TemplateReadFailed;
    if (!found)
        return output.WriteFailed() ? BuildOutcome::OutputWriteFailed
                                    : BuildOutcome::KeywordNotFound;

    for (int i = 0; i < 4; ++i)
        request.block[kImageSizeOffset - kModelOffset + i] = static_cast<uint8_t>(S >> (8 * i));
    write(request.block, kPackageBlockSize);

    // Pass over the template's own block and the part of its image replaced.
    uint64_t toSkip = kPackageBlockSize + uint64_t(S);
    uint64_t passed = 0;
    while (passed < toSkip) {
        size_t n = reader.Available();
        if (n == 0) break;
        size_t take = n < toSkip - passed ? n : static_cast<size_t>(toSkip - passed);
        reader.Consume(take);
        passed += take;
    }
    j += passed;

    write(image.data(), S);
    for (uint32_t k = 0; k < S / kStepBytes; ++k) step();

    for (;;) {
        size_t n = reader.Available();
        if (n == 0) break;
        steps(j, n);
        j += n;
        write(reader.Data(), n);
        reader.Consume(n);
    }
    if (reader.Failed()) return BuildOutcome::TemplateReadFailed;
    if (output.WriteFailed()) return BuildOutcome::OutputWriteFailed;
    if (passed != toSkip) return BuildOutcome::TemplateTooShort;
    // A complete flasher ends in the trailer over everything written before it.
    if (writtenSize <= UINT32_MAX) {
        uint8_t digest[kSha256Size];
        written.Final(digest);
        uint8_t trailer[kTrailerSize];
        MakeTrailer(static_cast<uint32_t>(writtenSize), digest, trailer);
        output.Write(trailer, kTrailerSize);
    }
    if (output.WriteFailed()) return BuildOutcome::OutputWriteFailed;
    std::fclose(files.templ);
    files.templ = nullptr;
    if (!output.Finish())
        return output.WriteFailed() ? BuildOutcome::OutputWriteFailed
                                    : BuildOutcome::OutputCreateFailed;
    return BuildOutcome::Complete;
}
