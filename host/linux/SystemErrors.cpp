// Windows error codes from a C library errno, and the system text for each.
#include "host/linux/SystemErrors.h"

#include <cerrno>

uint32_t WindowsErrorOf(int errnoValue) {
    switch (errnoValue) {
        case EACCES:
        case EPERM:
            return kErrorAccessDenied;
        case ENODEV:
            return kErrorGenFailure;
        case ENXIO:
            return kErrorDeviceNotConnected;
        case EBUSY:
            return kErrorBusy;
        case ENOENT:
            return kErrorFileNotFound;
        case ENOTDIR:
            return kErrorPathNotFound;
        default:
            return kErrorIoDevice;
    }
}

const char* WindowsErrorText(uint32_t code) {
    switch (code) {
        case kErrorSuccess:
            return "The operation completed successfully.\r\n";
        case kErrorInvalidFunction:
            return "Incorrect function.\r\n";
        case kErrorFileNotFound:
            return "The system cannot find the file specified.\r\n";
        case kErrorPathNotFound:
            return "The system cannot find the path specified.\r\n";
        case kErrorAccessDenied:
            return "Access is denied.\r\n";
        case kErrorInvalidHandle:
            return "The handle is invalid.\r\n";
        case kErrorGenFailure:
            return "A device attached to the system is not functioning.\r\n";
        case kErrorNotSupported:
            return "The request is not supported.\r\n";
        case kErrorInvalidParameter:
            return "The parameter is incorrect.\r\n";
        case kErrorSemTimeout:
            return "The semaphore timeout period has expired.\r\n";
        case kErrorBusy:
            return "The requested resource is in use.\r\n";
        case kErrorIoDevice:
            return "The request could not be performed because of an I/O device error.\r\n";
        case kErrorDeviceNotConnected:
            return "The device is not connected.\r\n";
        default:
            return nullptr;
    }
}
