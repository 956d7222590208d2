// The main window's logic: construction, start-up, close, handler dispatch, the status line.
#include "app/FlashForm.h"

#include <string>
#include <utility>

#include "drive/CommandLog.h"

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

void TFlashForm::EndProgram() {
    form_.PostQuit(0);
    form_.Close();
}

void TFlashForm::ClearCatalogue() {
    for (auto* list : {&ModelList, &InquiryList, &RangeList, &MaskList, &VendorList, &NoteList})
        list->clear();
}

void TFlashForm::FormDestroy() {
    if (!BuilderMode && !runLogged_ && gCommandLog.Active()) {
        runLogged_ = true;
        gCommandLog.Line("end", "status \"" + form_.Status() + "\"");
    }
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
