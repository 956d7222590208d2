// The keyboard focus of the main window: saved when the window is left and
// around every message box, given back afterwards.
#pragma once
#include <windows.h>

class FocusKeeper {
  public:
    // Notes the window's control that has the focus, if any.
    void Save(HWND window);
    void Forget() { saved_ = nullptr; }
    // Back to the saved control; `fallback` when there is none that can take it.
    void Restore(HWND window, HWND fallback);

  private:
    HWND saved_ = nullptr;
};
