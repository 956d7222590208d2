// The main window's keyboard focus, saved and given back around boxes and activation.
#include "host/win/Focus.h"

void FocusKeeper::Save(HWND window) {
    HWND focus = GetFocus();
    if (focus && window && IsChild(window, focus)) saved_ = focus;
}

void FocusKeeper::Restore(HWND window, HWND fallback) {
    if (!window || !IsWindowVisible(window)) return;
    // After a box the thread's active window may still be the box just gone.
    if (GetActiveWindow() != window) SetActiveWindow(window);
    HWND target = saved_;
    if (!target || !IsWindow(target) || !IsChild(window, target) || !IsWindowVisible(target) ||
        !IsWindowEnabled(target))
        target = fallback;
    SetFocus(target);
}
