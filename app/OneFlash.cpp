// What the window says when a flash must not start: another flash on this
// computer holds the flash mutex, or another program holds the drive's lock.
#include <string>

#include "app/FlashForm.h"
#include "app/FlashMutex.h"

namespace {
const char* const kAnotherFlash =
    "\nAnother drive firmware flash is in progress on this computer.\n";
}  // namespace

bool TFlashForm::AnotherFlashAtStart() {
    if (!FlashMutex(os_).HeldElsewhere()) return false;
    form_.MessageBox(
        std::string(kAnotherFlash) + "\nStart this flasher again when that flash has ended.\n",
        BoxKind::Warning, BoxButtons::Ok);
    return true;
}

void TFlashForm::ShowAnotherFlash() {
    form_.MessageBox(std::string(kAnotherFlash) +
                         "\nPress FLASH again when that flash has ended.\n"
                         "Nothing was sent to the drive.\n",
                     BoxKind::Warning, BoxButtons::Ok);
}

void TFlashForm::ShowDriveLockedBy(const std::string& owner) {
    std::string text = "\nAnother program has locked the drive for its own use";
    text += owner.empty() ? "." : ": " + owner;
    text +=
        "\n\nClose that program, then press FLASH again.\n"
        "Nothing was written to the drive.\n";
    form_.MessageBox(text, BoxKind::Warning, BoxButtons::Ok);
}
