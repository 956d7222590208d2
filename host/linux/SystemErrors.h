// The Windows error codes the Linux backend reports, how a C library errno
// becomes one of them, and the system text FormatMessageA gives for each.
#pragma once
#include <cstdint>

#include "platform/SystemCodes.h"

// EACCES/EPERM -> 5, ENODEV -> 31, ENXIO -> 1167, EBUSY -> 170, ENOENT -> 2,
// ENOTDIR -> 3, anything else -> 1117.
uint32_t WindowsErrorOf(int errnoValue);

// The English system text of a code this backend produces, with the "\r\n"
// Windows ends it with; nullptr for any other code.
const char* WindowsErrorText(uint32_t code);

// What a code this backend produces means on Linux, in the kernel's words,
// for a terminal to print after a box that shows only the code; nullptr for
// any other code.
const char* LinuxWordsFor(uint32_t code);
