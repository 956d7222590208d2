// Flasher role: the package's texts, the warning, the drive list and the
// choice of a drive.
#include <string>

#include "app/FlashForm.h"
#include "app/RunLog.h"
#include "app/StatusTexts.h"
#include "flash/Eligibility.h"
#include "flash/ImageClass.h"
#include "package/Integrity.h"

void TFlashForm::FlasherStart() {
    LogRunHeader(os_, package_);
    VendorText = package_.Vendor();
    ModelText = package_.Model();
    InquiryText = package_.InquiryText();
    RangeText = package_.RangeText();
    LowVersion = package_.LowVersion();
    HighVersion = package_.HighVersion();

    // A flasher that is not what its builder wrote (a failing stick, a cut or
    // altered copy) would write whatever it now holds into the drive: its
    // trailer is checked before anything else. A file without one runs as ever.
    if (std::string why = DamageText(CheckFileIntegrity(exePath_)); !why.empty()) {
        form_.MessageBox(
            "\nERROR:\n\nThis flash utility is damaged: " + why + "\nNo drive was touched.\n",
            BoxKind::Error, BoxButtons::Ok);
        EndProgram();
        return;
    }

    // A size beyond the image area would make every later read of the image
    // run past its end, and an empty image would commit whatever the drive's
    // buffer holds: refuse such a package before any drive is touched.
    if (package_.ImageSize() > kImageAreaSize || package_.ImageSize() == 0) {
        std::string why = package_.ImageSize() == 0
                              ? std::string("it carries an empty firmware image.")
                              : "its firmware image claims " +
                                    std::to_string(package_.ImageSize()) +
                                    " bytes, but the image area holds only " +
                                    std::to_string(kImageAreaSize) + " bytes.";
        form_.MessageBox(
            "\nERROR:\n\nThis flash utility is damaged: " + why + "\nNo drive was touched.\n",
            BoxKind::Error, BoxButtons::Ok);
        EndProgram();
        return;
    }

    form_.SetLabel("Select the " + VendorText + " drive you want to update:");
    // Room for every text a flash may end with, before the window is seen.
    form_.FitStatus(status_text::FlashTexts());

    std::string warning = "\nWARNING:\n";
    if (package_.AnyFirmware()) {
        warning += "\nThis flash utility only supports " + VendorText + " " + ModelText +
                   " drive. " +
                   "\nWe recommend you close all applications in order to run this update!" +
                   "\nDon't turn off the system while the flash is in progress! " +
                   "\n\nDo you wish to continue?\n";
    } else {
        warning += "\nThis flash utility only supports " + VendorText + " " + ModelText +
                   " drive with firmware:" + RangeText +
                   "\nWe recommend you close all applications in order to run this update! " +
                   "\nDon't turn off the system while the flash is in progress!" +
                   "\n\nDo you wish to continue?\n";
    }
    if (form_.MessageBox(warning, BoxKind::Warning, BoxButtons::YesNo) != BoxAnswer::Yes) {
        EndProgram();
        return;
    }
    // A scan now would send commands to a drive that another flasher is
    // flashing, and list it with the revision it is about to lose.
    if (AnotherFlashAtStart()) {
        EndProgram();
        return;
    }
    CreateDriveList();
}

void TFlashForm::CreateDriveList() {
    form_.FileListShow(false);
    form_.SetCaption(VendorText + kVersionCaption + ModelText);

    // Kept word for word: the program's own text (docs/ARCHITECTURE.md, Style).
    std::string error = "\nERROR:\n";
    if (package_.AnyFirmware()) {
        error += "\nCan't found " + ModelText + " drive !\n";
        error += "\nThis flash utility only supports " + ModelText + "\n";
    } else {
        error += "\nCan't found " + ModelText + " firmware: " + RangeText + " drive !\n";
        error +=
            "\nThis flash utility only supports " + ModelText + " firmware: " + RangeText + "\n";
    }

    Drives = std::make_unique<CDDrives>();
    if (Drives->Count() == 0) {
        error += "\nCan't find ATAPI Drive !\n";
        form_.ComboSetIndex(-1);
        form_.MessageBox(error, BoxKind::Error, BoxButtons::Ok);
        EndProgram();
        return;
    }

    error += "\nDetected drives:\n" + std::string(59, '-') + "\n";
    DriveIndexMap.clear();
    for (int i = 0; i < Drives->Count(); ++i) {
        Drives->Select(static_cast<int16_t>(i));
        if (CheckCondition()) {
            LogDrive(*Drives->Current, true, "");
            form_.ComboAdd(Drives->Current->DisplayLine());
            DriveIndexMap.push_back(i);
        } else {
            LogDrive(*Drives->Current, false, WhyNotEligible());
            error += Drives->Current->DisplayLine() + "\n";
        }
    }

    if (form_.ComboCount() == 0) {
        form_.MessageBox(error, BoxKind::Error, BoxButtons::Ok);
        EndProgram();
        return;
    }
    form_.ComboSetIndex(0);
    Drives->Select(static_cast<int16_t>(DriveIndexMap[0]));
    DriveData = std::make_unique<DriveDataBuffer>();
    CDDrive::SetDataBuffer(DriveData->bytes, sizeof(DriveData->bytes));
    CheckNewFormatBIN();
    ComboBoxChange();
}

void TFlashForm::FlasherComboBoxChange() {
    int item = form_.ComboIndex();
    // Typed text in the edit field leaves no item selected: keep the current drive.
    if (item < 0 || item >= static_cast<int>(DriveIndexMap.size())) return;
    Drives->Select(static_cast<int16_t>(DriveIndexMap[item]));
    CurrentDrive = Drives->Current;
}

bool TFlashForm::CheckCondition() {
    CDDrive* drive = Drives ? Drives->Current : nullptr;
    if (drive == nullptr) return false;
    EligibilityRule rule;
    rule.anyDrive = package_.AnyDrive();
    rule.anyFirmware = package_.AnyFirmware();
    rule.inquiry = InquiryText;
    rule.lowVersion = LowVersion;
    rule.highVersion = HighVersion;
    return IsEligible(rule, drive->ProductId(), drive->FirmwareRevision());
}

std::string TFlashForm::WhyNotEligible() {
    CDDrive* drive = Drives ? Drives->Current : nullptr;
    if (drive == nullptr) return "no drive";
    if (!package_.AnyDrive() && drive->ProductId() != InquiryText)
        return "identification \"" + drive->ProductId() + "\" is not the package's \"" +
               InquiryText + "\"";
    return "revision \"" + drive->FirmwareRevision() + "\" outside " + RangeText;
}

void TFlashForm::CheckNewFormatBIN() {
    ImageSize = package_.ImageSize();
    switch (ClassifyImage(package_.FirmwareArea())) {
        case ImageClass::SixByteProfile:
            ProfileFormatB = true;
            break;
        case ImageClass::FourByteProfile:
            ProfileFormatA = true;
            break;
        case ImageClass::OtherMarkedModel:
            break;
        case ImageClass::Unmarked:
            ProfileFormatA = ProfileFormatB = false;
            break;
    }
}
