// The Windows entry: builds the window, wires the drive layer to the real
// system and runs the message loop on this one thread.
#include <windows.h>
#include <commctrl.h>
#undef MessageBox  // Form::MessageBox keeps its own name

#include <exception>

#include "app/FlashForm.h"
#include "drive/CDDrive.h"
#include "package/Package.h"
#include "platform/win/CommonControls.h"
#include "platform/win/WinForm.h"
#include "platform/win/WinOsCalls.h"

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
    CDDrive::Attach(&os, &form);

    static TFlashForm flashForm(form, os, PackageRecord(), path);
    form.OnComboChange = [] { flashForm.ComboBoxChange(); };
    form.OnFileClick = [] { flashForm.FileListBox1Click(); };
    form.OnButtonClick = [] { flashForm.FlashButtonClick(); };
    form.OnDestroy = [] { flashForm.FormDestroy(); };

    // The warning box of the flasher comes up over the window.
    form.Show(showCommand);
    form.Run([] { flashForm.FormCreate(); });

    MSG message = {};
    BOOL got;
    while ((got = GetMessageA(&message, nullptr, 0, 0)) != 0) {
        if (got == -1) break;
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
