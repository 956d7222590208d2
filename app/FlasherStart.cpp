#include <string>

#include "app/FlashForm.h"

void TFlashForm::CreateDriveList() {
    form_.FileListShow(false);
    form_.SetCaption(VendorText + kVersionCaption + ModelText);

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
            form_.ComboAdd(Drives->Current->DisplayLine());
            DriveIndexMap.push_back(i);
        } else {
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
