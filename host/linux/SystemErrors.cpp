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

const char* LinuxWordsFor(uint32_t code) {
    switch (code) {
        case kErrorAccessDenied:
            return "permission denied (EACCES or EPERM)";
        case kErrorFileNotFound:
            return "no such file or directory (ENOENT)";
        case kErrorPathNotFound:
            return "a part of the path is not a directory (ENOTDIR)";
        case kErrorGenFailure:
            return "the device is gone: SG_IO failed with ENODEV";
        case kErrorInvalidParameter:
            return "the request does not fit SG_IO (EINVAL)";
        case kErrorSemTimeout:
            return "the command timed out: the kernel ended it (SG_IO host or driver status: "
                   "time-out)";
        case kErrorBusy:
            return "the device is busy: another program has it open or locked (EBUSY)";
        case kErrorIoDevice:
            return "the kernel reported an I/O error for the device or the command (EIO or a "
                   "host or driver status)";
        case kErrorDeviceNotConnected:
            return "no such device or address (ENXIO)";
    }
    return nullptr;
}
