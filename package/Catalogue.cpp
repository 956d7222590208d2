// Placeholder until the builder lands.
#include "app/FlashForm.h"
void TFlashForm::BuilderStart() {}
void TFlashForm::BuilderComboBoxChange() {}
void TFlashForm::FileListBox1Click() {}
bool TFlashForm::RetriveINI() { return false; }
