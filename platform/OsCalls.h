// The operating-system calls the drive layer (and the catalogue reader) make.
// Each method stands for the Windows function of the same name; the Windows
// implementation forwards to it, the simulated one (sim/) answers for tests.
#pragma once
#include <cstdint>

#include "platform/SystemCodes.h"

using OsHandle = void*;  // HANDLE
using OsModule = void*;  // HMODULE
using OsProc = void*;    // FARPROC

// INVALID_HANDLE_VALUE
inline OsHandle InvalidOsHandle() {
    return reinterpret_cast<OsHandle>(static_cast<intptr_t>(-1));
}

constexpr uint32_t kPlatformWin32Windows = 1;  // 9x family
constexpr uint32_t kPlatformWin32Nt = 2;       // NT family
constexpr uint32_t kDriveCdrom = 5;            // DRIVE_CDROM
constexpr uint32_t kOpenExisting = 3;          // OPEN_EXISTING
constexpr uint32_t kFormatMessageFromSystem = 0x1000;
constexpr uint32_t kFormatMessageIgnoreInserts = 0x200;
constexpr uint32_t kIoctlScsiPassThroughDirect = 0x4D014;
// CTL_CODE(IOCTL_CDROM_BASE, 0x17, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS)
constexpr uint32_t kIoctlCdromExclusiveAccess = 0x2C05C;
// CTL_CODE(IOCTL_STORAGE_BASE, 0x251, METHOD_BUFFERED, FILE_ANY_ACCESS)
constexpr uint32_t kIoctlStorageMcnControl = 0x2D0944;
constexpr uint32_t kFileReadAttributes = 0x80;   // FILE_READ_ATTRIBUTES
constexpr uint32_t kFileShareReadWrite = 3;      // FILE_SHARE_READ | FILE_SHARE_WRITE
constexpr uint32_t kFileShareRead = 1;           // FILE_SHARE_READ
constexpr uint32_t kGenericWrite = 0x40000000u;  // GENERIC_WRITE
constexpr uint32_t kCreateNew = 1;               // CREATE_NEW: fails when the name is taken
constexpr uint32_t kOpenAlways = 4;              // OPEN_ALWAYS
constexpr uint32_t kFileAttributeNormal = 0x80;  // FILE_ATTRIBUTE_NORMAL
constexpr uint32_t kFileEnd = 2;                 // FILE_END
constexpr uint32_t kInvalidSetFilePointer = 0xFFFFFFFFu;
constexpr uint32_t kMoveFileReplaceExisting = 1;  // MOVEFILE_REPLACE_EXISTING
constexpr uint32_t kMoveFileWriteThrough = 8;     // MOVEFILE_WRITE_THROUGH

// SYSTEMTIME.
struct OsSystemTime {
    uint16_t wYear = 0, wMonth = 0, wDayOfWeek = 0, wDay = 0;
    uint16_t wHour = 0, wMinute = 0, wSecond = 0, wMilliseconds = 0;
};

// The part of OSVERSIONINFOA the program reads.
struct OsVersionInfo {
    uint32_t dwOSVersionInfoSize = 148;
    uint32_t dwMajorVersion = 0;  // 4: 95, 98, ME, NT 4.0; 5: 2000, XP; 6 and later: Vista on
    uint32_t dwMinorVersion = 0;
    uint32_t dwPlatformId = 0;
};

class OsCalls {
  public:
    virtual ~OsCalls() = default;

    virtual bool GetVersionExA(OsVersionInfo& info) = 0;
    virtual OsModule LoadLibraryA(const char* name) = 0;
    virtual OsProc GetProcAddress(OsModule module, const char* name) = 0;
    virtual bool FreeLibrary(OsModule module) = 0;
    virtual OsHandle CreateFileA(const char* name, uint32_t desiredAccess, uint32_t shareMode,
                                 uint32_t creationDisposition, uint32_t flags) = 0;
    virtual bool DeviceIoControl(OsHandle device, uint32_t code, void* in, uint32_t inSize,
                                 void* out, uint32_t outSize, uint32_t* bytesReturned) = 0;
    virtual OsHandle CreateEventA(bool manualReset, bool initialState) = 0;
    virtual uint32_t WaitForSingleObject(OsHandle handle, uint32_t milliseconds) = 0;
    virtual bool ResetEvent(OsHandle event) = 0;
    virtual bool CloseHandle(OsHandle handle) = 0;
    virtual uint32_t GetLastError() = 0;
    // Returns the number of characters written into buffer (0: no text).
    virtual uint32_t FormatMessageA(uint32_t flags, uint32_t messageId, uint32_t languageId,
                                    char* buffer, uint32_t size) = 0;
    virtual uint32_t GetLogicalDriveStringsA(uint32_t bufferLength, char* buffer) = 0;
    virtual uint32_t GetDriveTypeA(const char* rootPathName) = 0;
    virtual void Sleep(uint32_t milliseconds) = 0;
    // A named mutex (name: none for an unnamed one); none when it cannot be
    // made. Waited for with WaitForSingleObject, closed with CloseHandle.
    virtual OsHandle CreateMutexA(bool initialOwner, const char* name) = 0;
    virtual bool ReleaseMutex(OsHandle mutex) = 0;

    // The two ASPI entry points, reached through addresses from GetProcAddress.
    virtual uint32_t CallGetASPI32SupportInfo(OsProc entry) = 0;
    virtual uint32_t CallSendASPI32Command(OsProc entry, void* srb) = 0;

    // Catalogue and start directory (builder role).
    virtual uint32_t GetPrivateProfileStringA(const char* section, const char* key,
                                              const char* defaultValue, char* buffer, uint32_t size,
                                              const char* fileName) = 0;
    // Returns the length of the current directory written into buffer.
    virtual uint32_t GetCurrentDirectoryA(uint32_t bufferLength, char* buffer) = 0;

    // Files the program writes: the builder's output, made with CreateFileA
    // (kGenericWrite, kCreateNew), written, flushed, closed with CloseHandle,
    // then moved over the file it replaces; and the command log
    // (drive/CommandLog), opened with CreateFileA (kOpenAlways) and appended
    // to. MoveFileA fails when newName exists. MoveFileExA is newer than the
    // 9x family: where the system lacks it, it fails with
    // kErrorCallNotImplemented.
    virtual bool WriteFile(OsHandle file, const void* data, uint32_t size, uint32_t* written) = 0;
    virtual bool FlushFileBuffers(OsHandle file) = 0;
    virtual bool DeleteFileA(const char* name) = 0;
    virtual bool MoveFileA(const char* existingName, const char* newName) = 0;
    virtual bool MoveFileExA(const char* existingName, const char* newName, uint32_t flags) = 0;

    // The command log's other needs: the end of its file, the user's
    // temporary folder, and the clocks. A system that does not answer them
    // has no log: the defaults tell nothing.
    virtual uint32_t SetFilePointer(OsHandle file, int32_t distance, uint32_t moveMethod) {
        (void)file, (void)distance, (void)moveMethod;
        return kInvalidSetFilePointer;
    }
    // Returns the length written (with the final separator), 0 on failure.
    virtual uint32_t GetTempPathA(uint32_t bufferLength, char* buffer) {
        (void)bufferLength, (void)buffer;
        return 0;
    }
    virtual void SetLastError(uint32_t error) { (void)error; }
    virtual uint32_t GetTickCount() { return 0; }
    virtual bool QueryPerformanceCounter(int64_t* count) {
        (void)count;
        return false;
    }
    virtual bool QueryPerformanceFrequency(int64_t* frequency) {
        (void)frequency;
        return false;
    }
    virtual void GetLocalTime(OsSystemTime& time) { time = OsSystemTime{}; }
};
