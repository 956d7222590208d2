// Small helpers the simulated system's files share: letter case, handle keys.
#pragma once
#include <cctype>
#include <cstdint>

#include "platform/OsCalls.h"

namespace sim_os {
inline bool SameText(const char* a, const char* b) {
    if (!a || !b) return false;
    for (; *a && *b; ++a, ++b)
        if (std::toupper(static_cast<unsigned char>(*a)) !=
            std::toupper(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}
inline uintptr_t Key(OsHandle h) {
    return reinterpret_cast<uintptr_t>(h);
}
inline char Upper(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}
}  // namespace sim_os
