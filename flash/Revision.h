// Firmware revisions are ordered byte by byte as unsigned values; a text that
// is a prefix of another is the lesser. Digits < upper case < lower case.
#pragma once
#include <string>

int CompareRevision(const std::string& a, const std::string& b);
inline bool RevisionLess(const std::string& a, const std::string& b) {
    return CompareRevision(a, b) < 0;
}
inline bool RevisionGreater(const std::string& a, const std::string& b) {
    return CompareRevision(a, b) > 0;
}
