#include "app/FlashForm.h"

#include <string>
#include <utility>

TFlashForm::TFlashForm(Form& form, OsCalls& os, const uint8_t* record, std::string exePath)
    : form_(form), os_(os), package_(record), exePath_(std::move(exePath)) {}

TFlashForm::~TFlashForm() {
    FormDestroy();
}

void TFlashForm::FormCreate() {
    ProfileFormatA = ProfileFormatB = ProfileFound = FlashAllMode = false;
    DriveData.reset();
    TransferBuffer.clear();
    ProfileCopy.clear();
    form_.SetCaption(kVersionCaption);

    BuilderMode = package_.IsTemplate();
    if (BuilderMode) {
        BuilderStart();
        return;
    }
    FlasherStart();
}

void TFlashForm::FlasherStart() {
    VendorText = package_.VendorText();
    ModelText = package_.ModelText();
    InquiryText = package_.InquiryText();
    RangeText = package_.RangeText();
    LowVersion = package_.LowVersion();
    HighVersion = package_.HighVersion();

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
    CreateDriveList();
}

void TFlashForm::EndProgram() {
    Quit = true;
    form_.PostQuit(0);
    form_.Close();
}

void TFlashForm::ClearCatalogue() {
    for (auto* list : {&ModelList, &InquiryList, &RangeList, &MaskList, &VendorList, &NoteList})
        list->clear();
}

void TFlashForm::FormDestroy() {
    ClearCatalogue();
    CurrentDrive = nullptr;
    Drives.reset();
    // The drive layer must not keep pointing at a buffer that is gone.
    if (DriveData) CDDrive::SetDataBuffer(nullptr, 0);
    DriveData.reset();
    std::vector<uint8_t>().swap(TransferBuffer);
    std::vector<uint8_t>().swap(ProfileCopy);
}

void TFlashForm::ComboBoxChange() {
    if (BuilderMode)
        BuilderComboBoxChange();
    else
        FlasherComboBoxChange();
}

void TFlashForm::FlashButtonClick() {
    if (BuilderMode) {
        form_.SetCursor(CursorKind::Hourglass);
        NewBuildFlashProgram();
        form_.SetCursor(CursorKind::Default);
        return;
    }
    FlashSequence();
}

std::string TFlashForm::CatalogPath() const {
    // The executable's path with its extension replaced by ".INI".
    size_t slash = exePath_.find_last_of("\\/");
    size_t dot = exePath_.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return exePath_ + ".INI";
    return exePath_.substr(0, dot) + ".INI";
}

void TFlashForm::SetStatus(const std::string& text) {
    form_.SetStatus(text);
    form_.RepaintStatus();
}

void TFlashForm::AppendStatus(const std::string& text) {
    SetStatus(form_.Status() + text);
}
