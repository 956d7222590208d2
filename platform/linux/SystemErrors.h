// The Windows error codes the Linux backend reports, how a C library errno
// becomes one of them, and the system text FormatMessageA gives for each.
#pragma once
#include <cstdint>

constexpr uint32_t kErrorSuccess = 0;  // what a successful call leaves
constexpr uint32_t kErrorInvalidFunction = 1;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorGenFailure = 31;
constexpr uint32_t kErrorNotSupported = 50;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorSemTimeout = 121;
constexpr uint32_t kErrorBusy = 170;
constexpr uint32_t kErrorIoDevice = 1117;
constexpr uint32_t kErrorDeviceNotConnected = 1167;

// EACCES/EPERM -> 5, ENODEV -> 31, ENXIO -> 1167, EBUSY -> 170, ENOENT -> 2,
// ENOTDIR -> 3, anything else -> 1117.
uint32_t WindowsErrorOf(int errnoValue);

// The English system text of a code this backend produces, with the "\r\n"
// Windows ends it with; nullptr for any other code.
const char* WindowsErrorText(uint32_t code);
