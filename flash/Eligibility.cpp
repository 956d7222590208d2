#include <cctype>

#include "app/FlashForm.h"
#include "flash/Revision.h"

int CompareRevision(const std::string& a, const std::string& b) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

namespace {
// Drives whose revision begins "7Q0" may take the package whatever its range.
bool BeginsWith7Q0(const std::string& revision) {
    if (revision.size() < 3) return false;
    const char prefix[] = "7Q0";
    for (int i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(revision[i])) != prefix[i]) return false;
    return true;
}
}  // namespace

bool TFlashForm::CheckCondition() {
    CDDrive* drive = Drives ? Drives->Current : nullptr;
    if (drive == nullptr) return false;
    std::string productId = drive->ProductId();
    std::string driveRevision = drive->FirmwareRevision();

    if (package_.AnyDrive()) return true;
    if (productId != InquiryText) return false;
    if (package_.AnyFirmware()) return true;
    if (RevisionLess(driveRevision, LowVersion) || RevisionGreater(driveRevision, HighVersion))
        return BeginsWith7Q0(driveRevision);
    return true;
}
