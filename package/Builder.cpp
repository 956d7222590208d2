// Placeholder until the builder lands.
#include "app/FlashForm.h"
bool TFlashForm::NewBuildFlashProgram() { return false; }
