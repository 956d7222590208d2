// Which common controls the system has, and their start-up with the fallback for the oldest.
#include "host/win/CommonControls.h"

#include <windows.h>
#include <commctrl.h>

#include "host/win/SystemProc.h"

namespace {
using InitExFunction = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);

// comctl32 is a load-time import (InitCommonControls), so it is always loaded.
InitExFunction InitEx() {
    return SystemProc<InitExFunction>("comctl32.dll", "InitCommonControlsEx");
}
}  // namespace

void InitCommonControlsAnyVersion() {
    // Also the load-time import that makes comctl32 present on every system.
    InitCommonControls();
    if (InitExFunction initEx = InitEx()) {
        INITCOMMONCONTROLSEX controls = {sizeof controls,
                                         ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
        initEx(&controls);
    }
}

bool ProgressHas32BitRange() {
    return InitEx() != nullptr;
}
