// The Windows implementation of OsCalls.
#include "platform/win/WinOsCalls.h"

#include <windows.h>

static_assert(sizeof(OSVERSIONINFOA) == 148);

bool WinOsCalls::GetVersionExA(OsVersionInfo& info) {
    OSVERSIONINFOA v{};
    v.dwOSVersionInfoSize = info.dwOSVersionInfoSize;  // 148
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    BOOL ok = ::GetVersionExA(&v);
#pragma GCC diagnostic pop
    if (ok) info.dwPlatformId = v.dwPlatformId;
    return ok != FALSE;
}

OsModule WinOsCalls::LoadLibraryA(const char* name) {
    return ::LoadLibraryA(name);
}

OsProc WinOsCalls::GetProcAddress(OsModule module, const char* name) {
    return reinterpret_cast<OsProc>(::GetProcAddress(static_cast<HMODULE>(module), name));
}

bool WinOsCalls::FreeLibrary(OsModule module) {
    return ::FreeLibrary(static_cast<HMODULE>(module)) != FALSE;
}

OsHandle WinOsCalls::CreateFileA(const char* name, uint32_t desiredAccess, uint32_t shareMode,
                                 uint32_t creationDisposition, uint32_t flags) {
    return ::CreateFileA(name, desiredAccess, shareMode, nullptr, creationDisposition, flags,
                         nullptr);
}

bool WinOsCalls::DeviceIoControl(OsHandle device, uint32_t code, void* in, uint32_t inSize,
                                 void* out, uint32_t outSize, uint32_t* bytesReturned) {
    DWORD returned = 0;
    BOOL ok = ::DeviceIoControl(static_cast<HANDLE>(device), code, in, inSize, out, outSize,
                                &returned, nullptr);
    if (bytesReturned) *bytesReturned = returned;
    return ok != FALSE;
}

OsHandle WinOsCalls::CreateEventA(bool manualReset, bool initialState) {
    return ::CreateEventA(nullptr, manualReset ? TRUE : FALSE, initialState ? TRUE : FALSE,
                          nullptr);
}

uint32_t WinOsCalls::WaitForSingleObject(OsHandle handle, uint32_t milliseconds) {
    return ::WaitForSingleObject(static_cast<HANDLE>(handle), milliseconds);
}

bool WinOsCalls::ResetEvent(OsHandle event) {
    return ::ResetEvent(static_cast<HANDLE>(event)) != FALSE;
}

bool WinOsCalls::CloseHandle(OsHandle handle) {
    return ::CloseHandle(static_cast<HANDLE>(handle)) != FALSE;
}

uint32_t WinOsCalls::GetLastError() {
    return ::GetLastError();
}

uint32_t WinOsCalls::FormatMessageA(uint32_t flags, uint32_t messageId, uint32_t languageId,
                                    char* buffer, uint32_t size) {
    return ::FormatMessageA(flags, nullptr, messageId, languageId, buffer, size, nullptr);
}

uint32_t WinOsCalls::GetLogicalDriveStringsA(uint32_t bufferLength, char* buffer) {
    return ::GetLogicalDriveStringsA(bufferLength, buffer);
}

uint32_t WinOsCalls::GetDriveTypeA(const char* rootPathName) {
    return ::GetDriveTypeA(rootPathName);
}

void WinOsCalls::Sleep(uint32_t milliseconds) {
    ::Sleep(milliseconds);
}

uint32_t WinOsCalls::CallGetASPI32SupportInfo(OsProc entry) {
    return reinterpret_cast<DWORD(__cdecl*)(void)>(entry)();
}

uint32_t WinOsCalls::CallSendASPI32Command(OsProc entry, void* srb) {
    return reinterpret_cast<DWORD(__cdecl*)(void*)>(entry)(srb);
}

uint32_t WinOsCalls::GetPrivateProfileStringA(const char* section, const char* key,
                                              const char* defaultValue, char* buffer, uint32_t size,
                                              const char* fileName) {
    return ::GetPrivateProfileStringA(section, key, defaultValue, buffer, size, fileName);
}

uint32_t WinOsCalls::GetCurrentDirectoryA(uint32_t bufferLength, char* buffer) {
    return ::GetCurrentDirectoryA(bufferLength, buffer);
}
