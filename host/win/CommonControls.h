// Which common controls the system has. Windows 95 and NT 4.0 ship comctl32
// 4.00; InitCommonControlsEx and the 32-bit progress range came together with
// 4.70, so one look-up answers both.
#pragma once

// Registers the classes the window uses, with InitCommonControlsEx where the
// system has it and InitCommonControls otherwise.
void InitCommonControlsAnyVersion();

// True where the progress bar takes PBM_SETRANGE32 (comctl32 4.70 and later).
bool ProgressHas32BitRange();
