// The embedded package: the view over the record, the role test, the texts
// derived from it, the image classification, and the flasher's start-up up
// to the warning, over arbitrary record bytes.
//
// Input: one control byte, then the record's first 152 bytes (keyword and
// block, image size last), then the image bytes at the three layout
// positions (2 bytes at 0x1100, 48 at 0x4000), then the image from its start.
// The rest of the record is zero.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/FlashForm.h"
#include "fuzz/Check.h"
#include "fuzz/FuzzInput.h"
#include "sim/SimOs.h"
#include "tests/support/FakeForm.h"

namespace {
void Place(FuzzInput& input, uint8_t* at, size_t n) {
    std::vector<uint8_t> bytes = input.Take(n);
    std::copy(bytes.begin(), bytes.end(), at);
}

bool HasMarker(const uint8_t* image, size_t offset) {
    return image[offset] == 0x05 && image[offset + 1] == 0x80;
}

void CheckView(const PackageView& view) {
    FUZZ_CHECK(view.Model().size() <= 25 && view.Model().find('\0') == std::string::npos,
               "a text field stops at its zero byte or its slot's end");
    FUZZ_CHECK(view.VersionTag().size() <= 5, "the Version tag stays in its 5 bytes");
    FUZZ_CHECK(view.InquiryText().size() == 24, "the identification is 24 characters");
    FUZZ_CHECK(view.RangeText().size() == 9, "the range text is 9 characters");
    FUZZ_CHECK(view.LowVersion().size() <= 4 && view.HighVersion().size() <= 4 &&
                   view.NewRevision().size() <= 4,
               "revisions are at most 4 characters");
    const uint8_t* size = view.Record() + kImageSizeOffset;
    FUZZ_CHECK(view.ImageSize() == (uint32_t(size[0]) | uint32_t(size[1]) << 8 |
                                    uint32_t(size[2]) << 16 | uint32_t(size[3]) << 24),
               "the image size is the little-endian field before the image");
    FUZZ_CHECK(view.IsTemplate() == (std::memcmp(view.FirmwareArea(), "TMPL", 4) == 0),
               "the template role is the TMPL marker");
}

void CheckClassification(const uint8_t* record) {
    FakeForm form;
    SimOs os;
    TFlashForm flash(form, os, record, "C:\\FLASH\\FUZZ.EXE");
    flash.CheckNewFormatBIN();
    const uint8_t* image = record + kImageAreaOffset;
    FUZZ_CHECK(flash.ImageSize == PackageView(record).ImageSize(), "the size is copied as it is");
    FUZZ_CHECK(!(flash.ProfileFormatA && flash.ProfileFormatB), "at most one profile format");
    FUZZ_CHECK(!flash.ProfileFormatA || HasMarker(image, 0x1100), "format A needs its marker");
    FUZZ_CHECK(!flash.ProfileFormatB || HasMarker(image, 0x4000) || HasMarker(image, 0x4008),
               "format B needs a marker at one of the model positions");
    FUZZ_CHECK(os.trace.empty() && os.calls.empty(), "classifying touches no drive");
}

// Start-up: the package is judged before any drive is touched; the warning
// is shown; No ends the program, Yes scans one drive.
void CheckStartUp(const uint8_t* record, uint8_t control) {
    const PackageView view(record);
    const bool yes = control & 1;
    FakeForm form;
    form.answers = {yes ? BoxAnswer::Yes : BoxAnswer::No};
    SimOs os;
    os.platformId = (control & 2) ? kPlatformWin32Nt : kPlatformWin32Windows;
    VirtualDrive::Config drive;
    // The packaged identification, or another one.
    std::string id = (control & 4) ? "OPTIDRV CDRW-A100       " : view.InquiryText();
    drive.vendor = id.substr(0, 8);
    drive.product = id.substr(8, 16);
    drive.revision = std::string(1, char('0' + (control >> 4) % 10)) + "A50";
    if (os.platformId == kPlatformWin32Nt)
        os.AddCdrom('D', drive);
    else
        os.AddAspiDrive(0, 0, drive);
    CDDrive::Attach(&os, &form);
    {
        TFlashForm flash(form, os, record, "C:\\FLASH\\FUZZ.EXE");
        flash.FormCreate();
        const uint32_t size = view.ImageSize();
        if (size == 0 || size > kImageAreaSize) {
            FUZZ_CHECK(form.boxes.size() == 1 && form.boxes[0].kind == BoxKind::Error,
                       "a damaged package shows one error");
            FUZZ_CHECK(form.quitPosted && os.calls.empty() && os.trace.empty(),
                       "a damaged package touches no drive");
        } else {
            FUZZ_CHECK(!form.boxes.empty() && form.boxes[0].kind == BoxKind::Warning &&
                           form.boxes[0].buttons == BoxButtons::YesNo,
                       "the warning comes first");
            FUZZ_CHECK(form.boxes[0].text.find(view.Model()) != std::string::npos,
                       "the warning names the model");
            if (!yes)
                FUZZ_CHECK(form.quitPosted && os.trace.empty() && form.boxes.size() == 1,
                           "No ends the program before any command");
            if (yes && !form.quitPosted) {
                FUZZ_CHECK(form.combo.size() == 1 && flash.CurrentDrive != nullptr,
                           "the one eligible drive is current");
                FUZZ_CHECK(flash.ImageSize == size, "the classification ran");
                FUZZ_CHECK(os.CountOpcode(0x3B) == 0, "start-up writes nothing to the drive");
            }
        }
    }
    CDDrive::Attach(nullptr, nullptr);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::unique_ptr<uint8_t[]> record(new uint8_t[kPackageRecordSize]);
    std::memset(record.get(), 0, kPackageRecordSize);
    FuzzInput input(data, size);
    const uint8_t control = input.Byte();
    uint8_t* image = record.get() + kImageAreaOffset;
    Place(input, record.get(), kImageAreaOffset);
    Place(input, image + 0x1100, 2);
    Place(input, image + 0x4000, 48);
    Place(input, image, std::min<size_t>(input.Left(), 0x1100));

    const PackageView view(record.get());
    CheckView(view);
    CheckClassification(record.get());
    // The builder role reads the catalogue and the file system: another target.
    if (!view.IsTemplate()) CheckStartUp(record.get(), control);
    return 0;
}
