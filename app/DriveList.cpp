// Placeholder until the drive list lands.
#include "app/FlashForm.h"
void TFlashForm::CreateDriveList() {}
void TFlashForm::FlasherComboBoxChange() {}
