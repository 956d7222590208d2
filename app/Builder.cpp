// Builder role: "Build" writes a new flasher from the running executable.
#include "app/FlashForm.h"
#include "app/StatusTexts.h"
#include "package/BuildFlasher.h"
#include "package/FileMask.h"

#include <climits>
#include <cstdio>

bool TFlashForm::NewBuildFlashProgram() {
    int k = form_.ComboIndex();
    if (k < 0 || size_t(k) >= ModelList.size() || size_t(k) >= InquiryList.size() ||
        size_t(k) >= RangeList.size() || size_t(k) >= VendorList.size() ||
        size_t(k) >= NoteList.size()) {
        form_.MessageBox("Select a model from the list first!", BoxKind::Plain, BoxButtons::Ok);
        return false;
    }
    // A flasher enforces its range by the four characters on each side of the
    // '-': any other shape would let it offer firmware to drives it was never
    // meant for.
    if (!RangeCanBePackaged(RangeList[k])) {
        char section[16];
        std::snprintf(section, sizeof section, "MODEL%02d", k);
        form_.MessageBox("Building fail: FW-Range \"" + RangeList[k] + "\" of " + section + " in " +
                             CatalogPath() +
                             " is neither LLLL-HHHH nor any firmware ('-' as first and sixth "
                             "character)!",
                         BoxKind::Plain, BoxButtons::Ok);
        return false;
    }
    // A name with fewer than four characters before its extension would build
    // a flasher whose revision holds the dot and part of the extension: it
    // would call every drive already up to date.
    if (!FirmwareFileName.empty() && !NameCarriesRevision(FirmwareFileName)) {
        form_.MessageBox("Building fail: " + FirmwareFileName +
                             " has fewer than four characters before its extension, so its "
                             "flasher's revision would be \"" +
                             FirmwareFileName.substr(0, 4) + "\"!",
                         BoxKind::Plain, BoxButtons::Ok);
        return false;
    }
    SetStatus(status_text::Building(FirmwareFileName));

    const std::string outputName = OutputName(FirmwareFileName);
    int index = form_.FileListIndex();
    BuildRequest request;
    request.templatePath = ExePath();
    request.firmwarePath =
        index < 0 ? std::string() : JoinPath(directory_, form_.FileListItem(index));
    request.outputPath = JoinPath(directory_, outputName);
    request.keyword = package_.Keyword();
    MakePackageBlock({ModelList[k], InquiryList[k], RangeList[k], VendorList[k], NoteList[k]},
                     FirmwareFileName, 0, request.block);

    BuildProgress progress;
    progress.start = [this](uint32_t templateSize) {
        form_.ProgressSetRange(0, templateSize > INT_MAX ? INT_MAX : int(templateSize));
        form_.ProgressSetPosition(0);
        form_.ProgressSetStep(1024);
    };
    progress.step = [this] { form_.ProgressStepIt(); };

    const std::string templateName = NamePart(ExePath());
    std::string failure;
    switch (BuildFlasher(os_, request, ProfileCopy, ImageSize, progress)) {
        case BuildOutcome::Complete:
            SetStatus(status_text::Built(outputName));
            form_.ProgressSetPosition(0);
            return true;
        case BuildOutcome::FirmwareOpenFailed:
            failure = "Open " + FirmwareFileName + " fail!";
            break;
        case BuildOutcome::FirmwareEmpty:
            failure = "Building fail: " + FirmwareFileName + " is empty (0 bytes)!";
            break;
        case BuildOutcome::FirmwareTooLarge:
            failure = "Firmware file " + FirmwareFileName + " is larger than the image area (" +
                      std::to_string(kImageAreaSize) + " bytes)!";
            break;
        case BuildOutcome::FirmwareReadFailed:
            failure = "Building fail: read error in " + FirmwareFileName;
            break;
        case BuildOutcome::TemplateOpenFailed:
            failure = "Open " + ExePath() + " fail!";
            break;
        case BuildOutcome::TemplateReadFailed:
            failure = "Building fail: read error in " + templateName;
            break;
        case BuildOutcome::OutputCreateFailed:
            failure = "Create " + outputName + " Fail";
            break;
        case BuildOutcome::OutputWriteFailed:
            failure = "Building fail: write error in " + outputName;
            break;
        case BuildOutcome::KeywordNotFound:
            // Kept word for word: the program's own text (docs/ARCHITECTURE.md, Style).
            failure = "Building fail: not found key-word in " + templateName;
            break;
        case BuildOutcome::TemplateTooShort:
            failure = "Building fail: some problem in " + templateName;
            break;
    }
    form_.MessageBox(failure, BoxKind::Plain, BoxButtons::Ok);
    return false;
}
