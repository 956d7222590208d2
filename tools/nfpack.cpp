// Writes a flasher from a template executable and a firmware file, the same
// way the builder's "Build" button does.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "package/BuildFlasher.h"
#include "package/FileMask.h"
#include "package/Package.h"
#include "package/Text.h"
#include "sim/SimOs.h"

namespace {
const char* const kUsage =
    "usage: nfpack TEMPLATE.exe FIRMWARE OUT.exe --model M --inquiry I --range R "
    "--vendor V --note N\n";

int Usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

const char* Describe(BuildOutcome outcome) {
    switch (outcome) {
        case BuildOutcome::Complete:
            return "complete";
        case BuildOutcome::FirmwareOpenFailed:
            return "cannot open the firmware file";
        case BuildOutcome::FirmwareEmpty:
            return "empty firmware file";
        case BuildOutcome::FirmwareTooLarge:
            return "firmware file larger than the image area";
        case BuildOutcome::FirmwareReadFailed:
            return "cannot read the firmware file";
        case BuildOutcome::TemplateOpenFailed:
            return "cannot open the template";
        case BuildOutcome::TemplateReadFailed:
            return "cannot read the template";
        case BuildOutcome::OutputCreateFailed:
            return "cannot create the output";
        case BuildOutcome::OutputWriteFailed:
            return "cannot write the output";
        case BuildOutcome::KeywordNotFound:
            return "no package keyword in the template";
        case BuildOutcome::TemplateTooShort:
            return "block and image run past the template's end";
    }
    return "unknown failure";
}
}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> positional;
    PackageTexts texts;
    bool seen[5] = {};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            std::puts(
                "Writes OUT.exe as the builder's Build does: the template with the package\n"
                "block and the firmware image in place, ending in the SHA-256 trailer the\n"
                "flasher checks at start. FIRMWARE's name needs four characters before its\n"
                "extension (they are the flasher's revision).");
            return 0;
        }
        const char* options[] = {"--model", "--inquiry", "--range", "--vendor", "--note"};
        std::string* targets[] = {&texts.model, &texts.inquiry, &texts.range, &texts.vendor,
                                  &texts.note};
        int option = -1;
        for (int o = 0; o < 5; ++o)
            if (std::strcmp(argv[i], options[o]) == 0) option = o;
        if (option < 0) {
            if (std::strncmp(argv[i], "--", 2) == 0) return Usage();
            positional.push_back(argv[i]);
            continue;
        }
        if (i + 1 >= argc) return Usage();
        *targets[option] = argv[++i];
        seen[option] = true;
    }
    if (positional.size() != 3) return Usage();
    for (bool s : seen)
        if (!s) return Usage();

    BuildRequest request;
    request.templatePath = positional[0];
    request.firmwarePath = positional[1];
    request.outputPath = positional[2];
    std::error_code ec;
    if (std::filesystem::equivalent(request.templatePath, request.outputPath, ec)) {
        std::fprintf(stderr, "nfpack: the output would overwrite the template\n");
        return 1;
    }
    if (!RangeCanBePackaged(Cut(texts.range, 24))) {
        std::fprintf(stderr, "nfpack: FW-Range \"%s\" is neither LLLL-HHHH nor any firmware\n",
                     texts.range.c_str());
        return 1;
    }
    if (!NameCarriesRevision(NamePart(request.firmwarePath))) {
        std::fprintf(stderr,
                     "nfpack: %s has fewer than four characters before its extension, so the "
                     "flasher's revision would be \"%s\"\n",
                     NamePart(request.firmwarePath).c_str(),
                     NamePart(request.firmwarePath).substr(0, 4).c_str());
        return 1;
    }
    texts.model = Cut(texts.model, 24);
    texts.inquiry = PadRight(Cut(texts.inquiry, 24), 24);
    texts.range = Cut(texts.range, 24);
    texts.vendor = Cut(texts.vendor, 24);
    texts.note = Cut(texts.note, 24);
    MakePackageBlock(texts, NamePart(request.firmwarePath), 0, request.block);
    request.keyword = PackageView(PackageRecord()).Keyword();

    std::vector<uint8_t> image;
    uint32_t imageSize = 0;
    SimOs os;  // its file calls are the disk's
    BuildOutcome outcome = BuildFlasher(os, request, image, imageSize, BuildProgress{});
    if (outcome != BuildOutcome::Complete) {
        std::fprintf(stderr, "nfpack: %s\n", Describe(outcome));
        return 1;
    }
    std::printf("nfpack: wrote %s (%u-byte image)\n", request.outputPath.c_str(), imageSize);
    return 0;
}
