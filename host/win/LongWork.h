// While a flash or a build runs, the session may not end and the system may
// not sleep: WM_QUERYENDSESSION answers FALSE (from Vista on the shut-down
// screen shows the reason), the system is kept awake, and an APM suspend
// query (95, 98) is refused.
#pragma once
#include <windows.h>

class LongWork {
  public:
    // reason: what the shut-down screen shows, as the handler names its work.
    void Begin(HWND window, const wchar_t* reason);
    void End(HWND window);
    // The window's answer to `message` while the work runs; false when the
    // message is not one the work answers.
    bool Answer(UINT message, WPARAM wParam, LRESULT& result) const;

  private:
    bool active_ = false;
    bool shutdownBlocked_ = false;
};
