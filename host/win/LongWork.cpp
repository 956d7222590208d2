// Session end refused and sleep held off while a flash or a build runs.
#include "host/win/LongWork.h"

#include "host/win/SystemProc.h"

namespace {
// Newer system aids, reached by name where the system has them.
using ShutdownBlockReasonCreateFn = BOOL(WINAPI*)(HWND, LPCWSTR);  // user32, Vista
using ShutdownBlockReasonDestroyFn = BOOL(WINAPI*)(HWND);          // user32, Vista
using SetThreadExecutionStateFn = DWORD(WINAPI*)(DWORD);           // kernel32, 98 and 2000
constexpr DWORD kEsSystemRequired = 0x00000001;
constexpr DWORD kEsContinuous = 0x80000000;
constexpr UINT kPbtApmQuerySuspend = 0x0000;  // WM_POWERBROADCAST, 95 and 98
constexpr LRESULT kBroadcastQueryDeny = 0x424D5144;
}  // namespace

void LongWork::Begin(HWND window, const wchar_t* reason) {
    active_ = true;
    if (auto create =
            SystemProc<ShutdownBlockReasonCreateFn>("user32.dll", "ShutdownBlockReasonCreate"))
        shutdownBlocked_ = create(window, reason ? reason : L"") != 0;
    if (auto state =
            SystemProc<SetThreadExecutionStateFn>("kernel32.dll", "SetThreadExecutionState"))
        state(kEsContinuous | kEsSystemRequired);
}

void LongWork::End(HWND window) {
    if (auto state =
            SystemProc<SetThreadExecutionStateFn>("kernel32.dll", "SetThreadExecutionState"))
        state(kEsContinuous);
    if (shutdownBlocked_) {
        if (auto destroy = SystemProc<ShutdownBlockReasonDestroyFn>("user32.dll",
                                                                    "ShutdownBlockReasonDestroy"))
            destroy(window);
        shutdownBlocked_ = false;
    }
    active_ = false;
}

bool LongWork::Answer(UINT message, WPARAM wParam, LRESULT& result) const {
    if (!active_) return false;
    if (message == WM_QUERYENDSESSION) {
        result = FALSE;
        return true;
    }
    if (message == WM_POWERBROADCAST && wParam == kPbtApmQuerySuspend) {
        result = kBroadcastQueryDeny;
        return true;
    }
    return false;
}
