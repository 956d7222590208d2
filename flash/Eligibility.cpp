// Whether a drive may take the packaged firmware: identification and revision range.
#include "flash/Eligibility.h"

#include <cctype>

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

bool IsEligible(const EligibilityRule& rule, const std::string& productId,
                const std::string& revision) {
    if (rule.anyDrive) return true;
    if (productId != rule.inquiry) return false;
    if (rule.anyFirmware) return true;
    if (RevisionLess(revision, rule.lowVersion) || RevisionGreater(revision, rule.highVersion))
        return BeginsWith7Q0(revision);
    return true;
}
