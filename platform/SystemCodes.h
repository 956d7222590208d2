// The Windows error and wait codes that cross the seam, each named once for
// the logic, both backends, the simulation and the tests.
#pragma once
#include <cstdint>

// What GetLastError reports (winerror.h).
constexpr uint32_t kErrorSuccess = 0;  // what a successful call leaves
constexpr uint32_t kErrorInvalidFunction = 1;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorAccessDenied = 5;  // also: a drive lock held through another handle
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorNotReady = 21;
constexpr uint32_t kErrorBadLength = 24;
constexpr uint32_t kErrorGenFailure = 31;
constexpr uint32_t kErrorNotSupported = 50;
constexpr uint32_t kErrorFileExists = 80;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorDiskFull = 112;
constexpr uint32_t kErrorCallNotImplemented = 120;  // a function the 9x family only stubs
constexpr uint32_t kErrorSemTimeout = 121;
constexpr uint32_t kErrorInsufficientBuffer = 122;
constexpr uint32_t kErrorModNotFound = 126;
constexpr uint32_t kErrorProcNotFound = 127;
constexpr uint32_t kErrorBusy = 170;
constexpr uint32_t kErrorAlreadyExists = 183;
constexpr uint32_t kErrorBadExeFormat = 193;  // its text carries an insert (%1)
constexpr uint32_t kErrorNotOwner = 288;
constexpr uint32_t kErrorMessageNotFound = 317;  // ERROR_MR_MID_NOT_FOUND: no text for a code
constexpr uint32_t kErrorIoDevice = 1117;
constexpr uint32_t kErrorDeviceNotConnected = 1167;
constexpr uint32_t kErrorInvalidWindowHandle = 1400;  // what a box or a repaint may leave

// What WaitForSingleObject returns.
constexpr uint32_t kWaitObject0 = 0;           // WAIT_OBJECT_0
constexpr uint32_t kWaitAbandoned = 0x80;      // WAIT_ABANDONED (a mutex whose owner ended)
constexpr uint32_t kWaitTimeout = 0x102;       // WAIT_TIMEOUT
constexpr uint32_t kWaitFailed = 0xFFFFFFFFu;  // WAIT_FAILED
