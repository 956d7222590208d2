// The Windows implementation of OsCalls: forwards each call to the kernel32
// function of the same name.
#pragma once
#include "platform/OsCalls.h"

class WinOsCalls : public OsCalls {
  public:
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
    uint32_t GetLastError() override;
    uint32_t FormatMessageA(uint32_t flags, uint32_t messageId, uint32_t languageId, char* buffer,
                            uint32_t size) override;
    uint32_t GetLogicalDriveStringsA(uint32_t bufferLength, char* buffer) override;
    uint32_t GetDriveTypeA(const char* rootPathName) override;
    void Sleep(uint32_t milliseconds) override;
    OsHandle CreateMutexA(bool initialOwner, const char* name) override;
    bool ReleaseMutex(OsHandle mutex) override;
    uint32_t CallGetASPI32SupportInfo(OsProc entry) override;
    uint32_t CallSendASPI32Command(OsProc entry, void* srb) override;
    uint32_t GetPrivateProfileStringA(const char* section, const char* key,
                                      const char* defaultValue, char* buffer, uint32_t size,
                                      const char* fileName) override;
    uint32_t GetCurrentDirectoryA(uint32_t bufferLength, char* buffer) override;
    bool WriteFile(OsHandle file, const void* data, uint32_t size, uint32_t* written) override;
    bool FlushFileBuffers(OsHandle file) override;
    bool DeleteFileA(const char* name) override;
    bool MoveFileA(const char* existingName, const char* newName) override;
    // Looked up at run time: Windows 95 and NT 3.1's kernel32 may lack it.
    bool MoveFileExA(const char* existingName, const char* newName, uint32_t flags) override;
    uint32_t SetFilePointer(OsHandle file, int32_t distance, uint32_t moveMethod) override;
    uint32_t GetTempPathA(uint32_t bufferLength, char* buffer) override;
    void SetLastError(uint32_t error) override;
    uint32_t GetTickCount() override;
    bool QueryPerformanceCounter(int64_t* count) override;
    bool QueryPerformanceFrequency(int64_t* frequency) override;
    void GetLocalTime(OsSystemTime& time) override;
};
