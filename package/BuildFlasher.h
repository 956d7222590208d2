// The file work of building a flasher: copy the template, replacing the
// package block behind the keyword and the start of the image area. No
// window here; the caller turns the outcome into its own texts.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "package/Package.h"
#include "platform/OsCalls.h"

enum class BuildOutcome {
    Complete,
    FirmwareOpenFailed,
    FirmwareEmpty,  // nothing to flash: the output would keep the template's marker
    FirmwareTooLarge,
    FirmwareReadFailed,
    TemplateOpenFailed,
    TemplateReadFailed,
    OutputCreateFailed,  // also: the new file could not take the earlier one's place
    OutputWriteFailed,
    KeywordNotFound,
    TemplateTooShort,  // block and image run past the template's end
};

struct BuildProgress {
    std::function<void(uint32_t templateSize)> start;  // before the copy
    std::function<void()> step;                        // once per 1024 bytes
};

struct PackageTexts {
    std::string model, inquiry, range, vendor, note;  // at most 24 characters each
};

// The 137-byte block: text fields zero-filled, Version tag = first five
// characters of the firmware file's name upper-cased, then the image size.
void MakePackageBlock(const PackageTexts& texts, const std::string& firmwareFileName,
                      uint32_t imageSize, uint8_t (&block)[kPackageBlockSize]);

// A FW-Range a flasher can enforce: the any-firmware form ('-' as first and
// sixth character) or exactly four characters, '-', four characters.
bool RangeCanBePackaged(const std::string& range);

// The flasher's name and revision are the firmware file's first four
// characters ("%4.4s"): they must all come before the name's extension, or
// the revision takes in the dot ("2B.BIN" would give "2B.B", which no drive
// reports). Any characters are allowed ("1.02.BIN" gives "1.02").
bool NameCarriesRevision(const std::string& firmwareFileName);

// "%4.4s.EXE" of the firmware file's name.
std::string OutputName(const std::string& firmwareFileName);

struct BuildRequest {
    std::string templatePath, firmwarePath, outputPath;
    const uint8_t* keyword = nullptr;       // kKeywordSize bytes
    uint8_t block[kPackageBlockSize] = {};  // its image size is set by the build
};

// imageSize is set as soon as the firmware file is measured; image holds the
// firmware afterwards and only ever grows. A complete output is the template's
// contents (without a trailer the template may carry) with the new block and
// image, followed by the integrity trailer over all of it (package/Integrity.h).
// The output is written through os and put in place only when complete: any
// other outcome leaves the earlier file of its name as it was, and no file of
// the build's.
BuildOutcome BuildFlasher(OsCalls& os, BuildRequest& request, std::vector<uint8_t>& image,
                          uint32_t& imageSize, const BuildProgress& progress);
