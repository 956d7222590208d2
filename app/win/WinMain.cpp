// The Windows entry: builds the window, wires the drive layer to the real
// system and runs the message loop on this one thread.
#include <windows.h>
#include <commctrl.h>
#undef MessageBox  // Form::MessageBox keeps its own name

#include <exception>

#include "app/FlashForm.h"
#include "app/LoggedForm.h"
#include "app/RunLog.h"
#include "drive/CDDrive.h"
#include "package/Package.h"
#include "host/win/CommonControls.h"
#include "host/win/WinForm.h"
#include "host/win/WinOsCalls.h"

namespace {
int Run(HINSTANCE instance, int showCommand) {
    InitCommonControlsAnyVersion();

    char path[MAX_PATH + 1] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    path[length < MAX_PATH ? length : MAX_PATH] = '\0';

    static WinOsCalls os;
    static WinForm form;
    if (!form.Create(instance, kAppTitle)) {
        MessageBoxA(nullptr, "Can't create the main window.", kAppTitle, MB_OK | MB_ICONERROR);
        return 0;
    }
    // Every box and status text goes through the log's form; the drive layer
    // writes each command. A flasher logs beside itself (or in the temporary
    // folder); the builder logs nothing.
    static LoggedForm logged(form);
    CDDrive::Attach(&os, &logged);
    OpenFlasherLog(os, PackageView(PackageRecord()), path);

    static TFlashForm flashForm(logged, os, PackageRecord(), path);
    form.OnComboChange = [] { flashForm.ComboBoxChange(); };
    form.OnFileClick = [] { flashForm.FileListBox1Click(); };
    form.OnButtonClick = [] { flashForm.FlashButtonClick(); };
    form.OnDestroy = [] { flashForm.FormDestroy(); };

    // The window is made while hidden: the warning, the drive scan and any
    // start-up error come up alone, and the window shows only once it is
    // complete, or never when the creation handler ended the program.
    form.Run([] { flashForm.FormCreate(); });
    // The button's work, named for the shut-down screen (Vista and later),
    // now that the role is known.
    form.ButtonWork = flashForm.BuilderMode ? L"A flasher is being written."
                                            : L"A drive firmware flash is in progress.";
    if (form.Window() && !form.QuitPosted()) form.Show(showCommand);

    MSG message = {};
    BOOL got;
    while ((got = GetMessageA(&message, nullptr, 0, 0)) != 0) {
        if (got == -1) break;
        // Tab, Shift+Tab, Enter and Space as in any dialog.
        if (form.Window() && IsDialogMessageA(form.Window(), &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    // A start-up failure can end the loop with the window still up.
    if (form.Window()) DestroyWindow(form.Window());
    return got == -1 ? 0 : int(message.wParam);
}
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    try {
        return Run(instance, showCommand);
    } catch (const std::exception& e) {
        MessageBoxA(nullptr, e.what(), kAppTitle, MB_OK | MB_ICONERROR);
    } catch (...) {
        MessageBoxA(nullptr, "Unexpected error", kAppTitle, MB_OK | MB_ICONERROR);
    }
    return 0;
}
