// OsCalls over Linux's SCSI generic driver: the devices given to it stand
// for CD-ROM drive letters D:, E:, ... of an NT-family system, so the drive
// layer scans and opens them as it does on Windows, and each pass-through
// request becomes one SG_IO (host/linux/SgTranslate).
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "platform/OsCalls.h"
#include "host/linux/LinuxDevices.h"

class LinuxOsCalls : public OsCalls {
  public:
    explicit LinuxOsCalls(std::vector<LinuxDevice> devices);
    ~LinuxOsCalls() override;
    LinuxOsCalls(const LinuxOsCalls&) = delete;
    LinuxOsCalls& operator=(const LinuxOsCalls&) = delete;

    const std::vector<LinuxDevice>& Devices() const { return devices_; }
    const LinuxDevice* DeviceOf(char letter) const;
    // The error code of the last failed open of a letter's device (0: none).
    uint32_t OpenError(char letter) const;
    // The system's own reason for it (errno; 0: none).
    int OpenErrno(char letter) const;

    // A sentence for the user about a device, given when it happens: no
    // access (with the fix), in use by another program, no SCSI device.
    std::function<void(const std::string&)> notice;

    // The device open and the sg test, as seams: tests observe the flags a
    // device is opened with and the errors it answers without a real sg node.
    std::function<int(const char* path, int flags)> openDevice;
    std::function<bool(const std::string& path)> isSgNode;

    bool GetVersionExA(OsVersionInfo& info) override;
    OsModule LoadLibraryA(const char* name) override;
    OsProc GetProcAddress(OsModule module, const char* name) override;
    bool FreeLibrary(OsModule module) override;
    OsHandle CreateFileA(const char* name, uint32_t desiredAccess, uint32_t shareMode,
                         uint32_t creationDisposition, uint32_t flags) override;
    bool DeviceIoControl(OsHandle device, uint32_t code, void* in, uint32_t inSize, void* out,
                         uint32_t outSize, uint32_t* bytesReturned) override;
    OsHandle CreateEventA(bool manualReset, bool initialState) override;
    uint32_t WaitForSingleObject(OsHandle handle, uint32_t milliseconds) override;
    bool ResetEvent(OsHandle event) override;
    bool CloseHandle(OsHandle handle) override;
    uint32_t GetLastError() override { return lastError_; }
    uint32_t FormatMessageA(uint32_t flags, uint32_t messageId, uint32_t languageId, char* buffer,
                            uint32_t size) override;
    uint32_t GetLogicalDriveStringsA(uint32_t bufferLength, char* buffer) override;
    uint32_t GetDriveTypeA(const char* rootPathName) override;
    void Sleep(uint32_t milliseconds) override;
    // No named mutex: the sg driver's exclusive open already keeps a second
    // program off the drive. The flash goes on without one.
    OsHandle CreateMutexA(bool initialOwner, const char* name) override;
    bool ReleaseMutex(OsHandle mutex) override;
    uint32_t CallGetASPI32SupportInfo(OsProc entry) override;
    uint32_t CallSendASPI32Command(OsProc entry, void* srb) override;
    uint32_t GetPrivateProfileStringA(const char* section, const char* key,
                                      const char* defaultValue, char* buffer, uint32_t size,
                                      const char* fileName) override;
    uint32_t GetCurrentDirectoryA(uint32_t bufferLength, char* buffer) override;
    // Plain files: the command log's (a name that is no drive's, OPEN_ALWAYS,
    // appended to) and the builder's output (kCreateNew: O_CREAT | O_EXCL;
    // MoveFileExA is rename(2)); the clocks (CLOCK_MONOTONIC) and the local
    // time.
    bool WriteFile(OsHandle file, const void* data, uint32_t size, uint32_t* written) override;
    bool FlushFileBuffers(OsHandle file) override;
    bool DeleteFileA(const char* name) override;
    bool MoveFileA(const char* existingName, const char* newName) override;
    bool MoveFileExA(const char* existingName, const char* newName, uint32_t flags) override;
    uint32_t SetFilePointer(OsHandle file, int32_t distance, uint32_t moveMethod) override;
    uint32_t GetTempPathA(uint32_t bufferLength, char* buffer) override;
    void SetLastError(uint32_t error) override { lastError_ = error; }
    uint32_t GetTickCount() override;
    bool QueryPerformanceCounter(int64_t* count) override;
    bool QueryPerformanceFrequency(int64_t* frequency) override;
    void GetLocalTime(OsSystemTime& time) override;

  private:
    struct Open {
        int fd;
        char letter;  // 0: a file of the builder's
        bool warnedNotSg;
    };
    OsHandle CreateOutputFile(const char* name, uint32_t creationDisposition);
    Open* Find(OsHandle handle);
    void Notice(const std::string& text);

    std::vector<LinuxDevice> devices_;
    std::vector<uint32_t> openErrors_;
    std::vector<int> openErrnos_;
    std::vector<Open*> open_;
    uint32_t lastError_ = 0;
};
