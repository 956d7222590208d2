// Checks the waits of the Windows seam (WinOsCalls) against real Win32: while
// one of its waits runs, a message sent to a window of the waiting thread is
// answered within 100 ms and a posted one stays queued; time-outs and signals
// end the waits when they should; DeviceIoControl runs on a helper thread
// (here FSCTL_PIPE_LISTEN on a named pipe, which blocks until a client
// connects) and hands back its result and error code. One line per check,
// "ok: ..." or "FAIL: ..."; exit code 1 on any failure.
#include <windows.h>

#include <cstdio>

#include "host/win/WinOsCalls.h"

namespace {
int failures = 0;
HWND window = nullptr;
volatile LONG probing = 0;
volatile LONG longestMs = 0;
volatile LONG answers = 0;

void Check(bool ok, const char* what, long value = -1) {
    if (value >= 0)
        std::printf("%s: %s (%ld)\n", ok ? "ok" : "FAIL", what, value);
    else
        std::printf("%s: %s\n", ok ? "ok" : "FAIL", what);
    if (!ok) ++failures;
}

// Sends WM_NULL to the window back to back and keeps the longest answer time.
DWORD WINAPI Probe(void*) {
    while (probing) {
        DWORD start = GetTickCount();
        DWORD_PTR result = 0;
        BOOL answered = SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
        LONG took = answered ? LONG(GetTickCount() - start) : 5000;
        if (took > longestMs) longestMs = took;
        InterlockedIncrement(&answers);
    }
    return 0;
}

struct Probing {
    HANDLE thread;
    Probing() {
        longestMs = 0;
        answers = 0;
        probing = 1;
        DWORD id = 0;
        thread = CreateThread(nullptr, 0, Probe, nullptr, 0, &id);
    }
    // Stops the probe; true when it was answered and never waited 100 ms.
    bool Fine() {
        probing = 0;
        MSG m;  // the last probe may still be waiting for an answer
        while (WaitForSingleObject(thread, 10) == WAIT_TIMEOUT)
            PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE);
        CloseHandle(thread);
        return answers > 0 && longestMs < 100;
    }
};

DWORD WINAPI SignalLater(void* event) {
    Sleep(150);
    SetEvent(static_cast<HANDLE>(event));
    return 0;
}

const char* const kPipe = "\\\\.\\pipe\\norvex-waitcheck";

DWORD WINAPI ConnectLater(void*) {
    Sleep(500);
    HANDLE client =
        CreateFileA(kPipe, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    Sleep(100);
    if (client != INVALID_HANDLE_VALUE) CloseHandle(client);
    return 0;
}
}  // namespace

int main() {
    WinOsCalls os;
    window =
        CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    Check(window != nullptr, "a window of this thread");
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);

    {
        PostMessageA(window, WM_USER + 7, 0, 0);
        Probing probe;
        DWORD start = GetTickCount();
        uint32_t result = os.WaitForSingleObject(event, 300);
        LONG took = LONG(GetTickCount() - start);
        Check(probe.Fine(), "sent messages answered within 100 ms during an event wait", longestMs);
        Check(result == WAIT_TIMEOUT, "an unsignalled event times out");
        Check(took >= 290 && took < 600, "after its time-out, ms", took);
        MSG m;
        Check(PeekMessageA(&m, window, WM_USER + 7, WM_USER + 7, PM_REMOVE) != 0,
              "a posted message is still queued after the wait");
    }
    {
        DWORD id = 0;
        HANDLE t = CreateThread(nullptr, 0, SignalLater, event, 0, &id);
        DWORD start = GetTickCount();
        uint32_t result = os.WaitForSingleObject(event, 5000);
        LONG took = LONG(GetTickCount() - start);
        Check(result == WAIT_OBJECT_0 && took < 1000, "a signal ends the wait, ms", took);
        WaitForSingleObject(t, INFINITE);
        CloseHandle(t);
    }
    {
        Probing probe;
        DWORD start = GetTickCount();
        os.Sleep(300);
        LONG took = LONG(GetTickCount() - start);
        Check(probe.Fine(), "sent messages answered within 100 ms during Sleep", longestMs);
        Check(took >= 290 && took < 600, "Sleep lasts its time, ms", took);
    }
    {
        HANDLE pipe = CreateNamedPipeA(kPipe, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                                       512, 512, 0, nullptr);
        Check(pipe != INVALID_HANDLE_VALUE, "a named pipe");
        DWORD id = 0;
        HANDLE t = CreateThread(nullptr, 0, ConnectLater, nullptr, 0, &id);
        Probing probe;
        DWORD start = GetTickCount();
        uint32_t returned = 7;
        bool ok = os.DeviceIoControl(pipe, 0x00110008 /* FSCTL_PIPE_LISTEN */, nullptr, 0, nullptr,
                                     0, &returned);
        LONG took = LONG(GetTickCount() - start);
        Check(probe.Fine(), "sent messages answered within 100 ms during DeviceIoControl",
              longestMs);
        Check(ok && returned == 0, "the blocking request succeeded");
        Check(took >= 400, "the call returned only when the request had, ms", took);
        WaitForSingleObject(t, INFINITE);
        CloseHandle(t);
        CloseHandle(pipe);
    }
    {
        SetLastError(12345);
        uint32_t returned = 7;
        bool ok =
            os.DeviceIoControl(INVALID_HANDLE_VALUE, 0x4D014, nullptr, 0, nullptr, 0, &returned);
        DWORD error = GetLastError();
        Check(!ok && error == ERROR_INVALID_HANDLE,
              "a failed request hands back its own error code", long(error));
    }
    CloseHandle(event);
    DestroyWindow(window);
    std::printf("%s\n", failures ? "waitcheck: FAILED" : "waitcheck: all passed");
    return failures ? 1 : 0;
}
