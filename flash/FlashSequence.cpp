// Placeholder until the flash lands.
#include "app/FlashForm.h"
void TFlashForm::FlashSequence() {}
