// The Windows implementation of OsCalls.
#include "host/win/WinOsCalls.h"

#include <windows.h>

#include "host/win/SystemProc.h"

static_assert(sizeof(OSVERSIONINFOA) == 148);

// Every wait of a drive command keeps the window's thread retrieving messages:
// a window whose thread has not called PeekMessage for 5 s is marked "Not
// Responding" (IsHungAppWindow), and paint must go on during a long command.
// Only paint and sent messages are served; posted messages and mouse and
// keyboard input stay queued until the handler has returned.
namespace {
constexpr DWORD kServeEveryMs = 40;  // the longest stretch without looking at the queue
constexpr DWORD kServedQueue = QS_PAINT | QS_SENDMESSAGE;
constexpr int kPaintsPerServe = 32;  // a window that never validates cannot hold the wait

void ServePaintAndSent() {
    // Any PeekMessage call delivers the messages sent to the thread's windows.
    MSG message;
    for (int i = 0; i < kPaintsPerServe; ++i) {
        if (!PeekMessageA(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) break;
        DispatchMessageA(&message);
    }
}

// WaitForSingleObject (or Sleep, with no handle) bounded by the same time-out,
// serving messages at least every kServeEveryMs meanwhile.
DWORD WaitServing(HANDLE handle, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    const DWORD count = handle ? 1 : 0;
    for (;;) {
        DWORD left = INFINITE;
        if (milliseconds != INFINITE) {
            DWORD elapsed = GetTickCount() - start;
            left = elapsed >= milliseconds ? 0 : milliseconds - elapsed;
        }
        DWORD slice = left < kServeEveryMs ? left : kServeEveryMs;
        DWORD result = MsgWaitForMultipleObjects(count, handle ? &handle : nullptr, FALSE, slice,
                                                 kServedQueue);
        if (count && result == WAIT_OBJECT_0) return WAIT_OBJECT_0;
        if (result != WAIT_OBJECT_0 + count && result != WAIT_TIMEOUT) return result;
        ServePaintAndSent();
        if (left == 0) return count ? ::WaitForSingleObject(handle, 0) : WAIT_TIMEOUT;
    }
}

struct IoctlCall {
    HANDLE device;
    DWORD code;
    void* in;
    DWORD inSize;
    void* out;
    DWORD outSize;
    DWORD returned;
    BOOL ok;
    DWORD error;
};

// The helper thread does this and nothing else.
DWORD WINAPI RunIoctl(void* parameter) {
    auto* call = static_cast<IoctlCall*>(parameter);
    call->ok = ::DeviceIoControl(call->device, call->code, call->in, call->inSize, call->out,
                                 call->outSize, &call->returned, nullptr);
    call->error = call->ok ? 0 : ::GetLastError();
    return 0;
}
}  // namespace

bool WinOsCalls::GetVersionExA(OsVersionInfo& info) {
    OSVERSIONINFOA v{};
    v.dwOSVersionInfoSize = info.dwOSVersionInfoSize;  // 148
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    BOOL ok = ::GetVersionExA(&v);
#pragma GCC diagnostic pop
    if (ok) {
        info.dwMajorVersion = v.dwMajorVersion;
        info.dwMinorVersion = v.dwMinorVersion;
        info.dwPlatformId = v.dwPlatformId;
    }
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
    // The request runs on a helper thread while this one keeps serving the
    // window. It waits for the thread however long it takes: the driver
    // enforces the request's own time-out, and the request and its data must
    // stay valid until the call has returned.
    IoctlCall call = {static_cast<HANDLE>(device), code, in, inSize, out, outSize, 0, FALSE, 0};
    DWORD id = 0;  // Windows 95 fails CreateThread without somewhere to put the id
    HANDLE thread = CreateThread(nullptr, 0, RunIoctl, &call, 0, &id);
    if (thread) {
        if (WaitServing(thread, INFINITE) != WAIT_OBJECT_0) ::WaitForSingleObject(thread, INFINITE);
        ::CloseHandle(thread);
    } else {
        RunIoctl(&call);  // no thread to be had: the old way, on this thread
    }
    if (bytesReturned) *bytesReturned = call.returned;
    // The caller asks for the error code of the request, not of the waiting.
    if (!call.ok) SetLastError(call.error);
    return call.ok != FALSE;
}

OsHandle WinOsCalls::CreateEventA(bool manualReset, bool initialState) {
    return ::CreateEventA(nullptr, manualReset ? TRUE : FALSE, initialState ? TRUE : FALSE,
                          nullptr);
}

uint32_t WinOsCalls::WaitForSingleObject(OsHandle handle, uint32_t milliseconds) {
    if (milliseconds == 0) return ::WaitForSingleObject(static_cast<HANDLE>(handle), 0);
    return WaitServing(static_cast<HANDLE>(handle), milliseconds);
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
    if (milliseconds == 0)
        ::Sleep(0);
    else
        WaitServing(nullptr, milliseconds);
}

OsHandle WinOsCalls::CreateMutexA(bool initialOwner, const char* name) {
    return ::CreateMutexA(nullptr, initialOwner ? TRUE : FALSE, name);
}

bool WinOsCalls::ReleaseMutex(OsHandle mutex) {
    return ::ReleaseMutex(static_cast<HANDLE>(mutex)) != FALSE;
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

bool WinOsCalls::WriteFile(OsHandle file, const void* data, uint32_t size, uint32_t* written) {
    DWORD done = 0;
    const BOOL ok = ::WriteFile(static_cast<HANDLE>(file), data, size, &done, nullptr);
    if (written) *written = done;
    return ok != FALSE;
}

uint32_t WinOsCalls::SetFilePointer(OsHandle file, int32_t distance, uint32_t moveMethod) {
    return ::SetFilePointer(static_cast<HANDLE>(file), distance, nullptr, moveMethod);
}

uint32_t WinOsCalls::GetTempPathA(uint32_t bufferLength, char* buffer) {
    return ::GetTempPathA(bufferLength, buffer);
}

void WinOsCalls::SetLastError(uint32_t error) {
    ::SetLastError(error);
}

uint32_t WinOsCalls::GetTickCount() {
    return ::GetTickCount();
}

// Both exist on every claimed system (Windows 95, NT 3.1 and later); a
// machine without the counter answers FALSE and the log takes GetTickCount.
bool WinOsCalls::QueryPerformanceCounter(int64_t* count) {
    LARGE_INTEGER value;
    if (!::QueryPerformanceCounter(&value)) return false;
    *count = value.QuadPart;
    return true;
}

bool WinOsCalls::QueryPerformanceFrequency(int64_t* frequency) {
    LARGE_INTEGER value;
    if (!::QueryPerformanceFrequency(&value)) return false;
    *frequency = value.QuadPart;
    return true;
}

void WinOsCalls::GetLocalTime(OsSystemTime& time) {
    SYSTEMTIME t;
    ::GetLocalTime(&t);
    time.wYear = t.wYear;
    time.wMonth = t.wMonth;
    time.wDayOfWeek = t.wDayOfWeek;
    time.wDay = t.wDay;
    time.wHour = t.wHour;
    time.wMinute = t.wMinute;
    time.wSecond = t.wSecond;
    time.wMilliseconds = t.wMilliseconds;
}

bool WinOsCalls::FlushFileBuffers(OsHandle file) {
    return ::FlushFileBuffers(static_cast<HANDLE>(file)) != FALSE;
}

bool WinOsCalls::DeleteFileA(const char* name) {
    return ::DeleteFileA(name) != FALSE;
}

bool WinOsCalls::MoveFileA(const char* existingName, const char* newName) {
    return ::MoveFileA(existingName, newName) != FALSE;
}

bool WinOsCalls::MoveFileExA(const char* existingName, const char* newName, uint32_t flags) {
    using MoveFileExFn = BOOL(WINAPI*)(LPCSTR, LPCSTR, DWORD);
    auto move = SystemProc<MoveFileExFn>("kernel32.dll", "MoveFileExA");
    if (!move) {
        ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return false;
    }
    return move(existingName, newName, flags) != FALSE;
}
