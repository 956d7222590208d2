// printf-style field formatting on 8-bit text ("%.Ns", "%-N.Ns", "%N.Ns").
#pragma once
#include <string>

inline std::string Cut(const std::string& s, size_t n) {
    return s.size() > n ? s.substr(0, n) : s;
}
inline std::string PadRight(const std::string& s, size_t n) {
    return s.size() < n ? s + std::string(n - s.size(), ' ') : s;
}
inline std::string PadLeft(const std::string& s, size_t n) {
    return s.size() < n ? std::string(n - s.size(), ' ') + s : s;
}
