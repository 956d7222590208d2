// An operating system that offers nothing: for tests of logic that must not
// reach the system at all. Every call is counted.
#pragma once
#include "platform/OsCalls.h"

class StubOs : public OsCalls {
  public:
    int calls = 0;

    bool GetVersionExA(OsVersionInfo&) override { return ++calls, false; }
    OsModule LoadLibraryA(const char*) override { return ++calls, nullptr; }
    OsProc GetProcAddress(OsModule, const char*) override { return ++calls, nullptr; }
    bool FreeLibrary(OsModule) override { return ++calls, false; }
    OsHandle CreateFileA(const char*, uint32_t, uint32_t, uint32_t, uint32_t) override {
        return ++calls, InvalidOsHandle();
    }
    bool DeviceIoControl(OsHandle, uint32_t, void*, uint32_t, void*, uint32_t, uint32_t*) override {
        return ++calls, false;
    }
    OsHandle CreateEventA(bool, bool) override { return ++calls, nullptr; }
    uint32_t WaitForSingleObject(OsHandle, uint32_t) override { return ++calls, kWaitTimeout; }
    bool ResetEvent(OsHandle) override { return ++calls, false; }
    bool CloseHandle(OsHandle) override { return ++calls, false; }
    uint32_t GetLastError() override { return ++calls, 0; }
    uint32_t FormatMessageA(uint32_t, uint32_t, uint32_t, char*, uint32_t) override {
        return ++calls, 0;
    }
    uint32_t GetLogicalDriveStringsA(uint32_t, char*) override { return ++calls, 0; }
    uint32_t GetDriveTypeA(const char*) override { return ++calls, 0; }
    void Sleep(uint32_t) override { ++calls; }
    OsHandle CreateMutexA(bool, const char*) override { return ++calls, nullptr; }
    bool ReleaseMutex(OsHandle) override { return ++calls, false; }
    uint32_t CallGetASPI32SupportInfo(OsProc) override { return ++calls, 0; }
    uint32_t CallSendASPI32Command(OsProc, void*) override { return ++calls, 0; }
    uint32_t GetPrivateProfileStringA(const char*, const char*, const char*, char*, uint32_t,
                                      const char*) override {
        return ++calls, 0;
    }
    uint32_t GetCurrentDirectoryA(uint32_t, char*) override { return ++calls, 0; }
    bool WriteFile(OsHandle, const void*, uint32_t, uint32_t*) override { return ++calls, false; }
    bool FlushFileBuffers(OsHandle) override { return ++calls, false; }
    bool DeleteFileA(const char*) override { return ++calls, false; }
    bool MoveFileA(const char*, const char*) override { return ++calls, false; }
    bool MoveFileExA(const char*, const char*, uint32_t) override { return ++calls, false; }
};
