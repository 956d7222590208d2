// Whether a drive may take the packaged firmware: its identification and
// revision against the package's identification and revision range.
#pragma once
#include <string>

struct EligibilityRule {
    bool anyDrive = false;                // the package is for every drive
    bool anyFirmware = false;             // for every revision of its model
    std::string inquiry;                  // "%-24.24s" vendor and product identification
    std::string lowVersion, highVersion;  // the range, ends included
};

bool IsEligible(const EligibilityRule& rule, const std::string& productId,
                const std::string& revision);
