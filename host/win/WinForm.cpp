// The main window and its controls: creation, layout, the window procedures
// and the handlers they run. The Form calls are in WinFormControls.cpp.
#include "host/win/WinForm.h"

#include <commctrl.h>

#include <exception>

#include "host/win/CommonControls.h"
#include "host/win/WindowFont.h"

namespace {
constexpr const char* kPanelClass = "TPanel";

// The form a window of ours belongs to; both classes are created with it as
// their creation parameter.
WinForm* FormOf(HWND window, UINT message, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    return reinterpret_cast<WinForm*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}
}  // namespace

WinForm::~WinForm() {
    if (window_ && IsWindow(window_)) DestroyWindow(window_);
    if (font_) DeleteObject(font_);
}

bool WinForm::Create(HINSTANCE instance, const char* title) {
    instance_ = instance;
    title_ = title;
    cursor_ = arrow_ = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));

    WNDCLASSEXA main = {};
    main.cbSize = sizeof main;
    main.lpfnWndProc = MainProc;
    main.hInstance = instance;
    main.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
    main.hCursor = cursor_;
    main.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    main.lpszClassName = kMainWindowClass;
    if (!RegisterClassExA(&main)) return false;

    WNDCLASSEXA panel = main;
    panel.lpfnWndProc = PanelProc;
    panel.hIcon = nullptr;
    panel.lpszClassName = kPanelClass;
    if (!RegisterClassExA(&panel)) return false;

    font_ = CreateControlFont();

    // The window sizes itself so that the panel is exactly its client area;
    // it grows no wider than the screen (WinFormFit.cpp).
    const DWORD style = kMainWindowStyle;
    RECT frame = {0, 0, WindowLayout::kClientWidth, WindowLayout::kClientHeight};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    layout_ = WindowLayout(GetSystemMetrics(SM_CXSCREEN) - (frame.right - frame.left) +
                           WindowLayout::kClientWidth);
    window_ = CreateWindowExA(0, kMainWindowClass, "", style, 192, 128, frame.right - frame.left,
                              frame.bottom - frame.top, nullptr, nullptr, instance, this);
    if (!window_) return false;

    // The dialog manager (IsDialogMessage in the message loop) moves the focus
    // through the panel's controls.
    panel_ = CreateWindowExA(WS_EX_CONTROLPARENT, kPanelClass, "", WS_CHILD | WS_VISIBLE, 0, 0,
                             WindowLayout::kClientWidth, WindowLayout::kClientHeight, window_,
                             reinterpret_cast<HMENU>(kIdPanel), instance, this);
    if (!panel_) return false;

    // The designed layout; WinFormFit.cpp grows it when a text does not fit.
    const DWORD child = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    label_ = Control("STATIC", "", child | SS_LEFT | SS_NOPREFIX, 0, layout_.Label(), kIdLabel);
    LayoutRect comboArea = layout_.Combo();
    comboArea.height += kComboListHeight;
    combo_ =
        Control("COMBOBOX", "", child | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL, 0,
                comboArea, kIdCombo);
    fileList_ =
        Control("LISTBOX", "",
                child | WS_TABSTOP | WS_VSCROLL | WS_BORDER | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, 0,
                layout_.FileList(), kIdFileList);
    group_ = Control("BUTTON", "", child | BS_GROUPBOX, 0, layout_.Group(), kIdGroup);
    progress_ = Control(PROGRESS_CLASSA, "", child, 0, layout_.Progress(), kIdProgress);
    button_ = Control("BUTTON", "FLASH", child | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, layout_.Button(),
                      kIdButton);
    if (!label_ || !combo_ || !fileList_ || !group_ || !progress_ || !button_) return false;

    // The frame lies under what it holds and the label's last line under the
    // combo box, so neither paints over them.
    SetWindowPos(group_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetWindowPos(label_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    // The selection field keeps the laid-out height whatever the font.
    SendMessageA(combo_, CB_SETITEMHEIGHT, WPARAM(-1), 18);
    progressScale_ = ProgressScale(ProgressHas32BitRange());
    SendProgress(true);
    return true;
}

HWND WinForm::Control(const char* windowClass, const char* text, DWORD style, DWORD exStyle,
                      const LayoutRect& area, int id) {
    HWND control = CreateWindowExA(
        exStyle, windowClass, text, style, area.left, area.top, area.width, area.height, panel_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    if (control && font_) SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    return control;
}

void WinForm::Show(int showCommand) {
    ShowWindow(window_, showCommand);
    UpdateWindow(window_);
    focus_.Forget();
    focus_.Restore(window_, combo_);
}

LRESULT CALLBACK WinForm::MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WinForm* self = FormOf(window, message, lParam);
    if (!self) return DefWindowProcA(window, message, wParam, lParam);
    return self->Handle(window, message, wParam, lParam);
}

LRESULT CALLBACK WinForm::PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WinForm* self = FormOf(window, message, lParam);
    switch (message) {
        case WM_COMMAND:
            if (self) self->Command(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_SETCURSOR:
            if (self && self->SetCursorFor(lParam)) return TRUE;
            break;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            RECT all;
            GetClientRect(window, &all);
            DrawEdge(dc, &all, BDR_RAISEDINNER, BF_RECT);
            EndPaint(window, &paint);
            return 0;
        }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT WinForm::Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT answer;
    if (longWork_.Answer(message, wParam, answer)) return answer;
    switch (message) {
        case WM_SETCURSOR:
            if (SetCursorFor(lParam)) return TRUE;
            break;
        case WM_CLOSE:
            // Title bar, Alt+F4, taskbar and "End task" all end here, also when
            // a message box's own loop hands the request to the window.
            if (running_) {
                closePending_ = true;
                return 0;
            }
            break;
        case DM_GETDEFID:
            return MAKELONG(kIdButton, DC_HASDEFID);
        case WM_COMMAND:
            // From the dialog manager: Enter presses the default button.
            if ((LOWORD(wParam) == kIdButton || LOWORD(wParam) == IDOK) &&
                HIWORD(wParam) == BN_CLICKED && button_ && IsWindowEnabled(button_) &&
                IsWindowVisible(button_))
                Command(kIdButton, BN_CLICKED);
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                focus_.Save(window_);
            } else if (!HIWORD(wParam)) {  // not minimised
                focus_.Restore(window_, combo_);
                return 0;
            }
            break;
        case WM_SETFOCUS:
            focus_.Restore(window_, combo_);
            return 0;
        case WM_DESTROY:
            // Always runs, even when a handler closed the window.
            Run(OnDestroy, false);
            if (!quitPosted_) PostQuit(0);
            window_ = panel_ = label_ = combo_ = fileList_ = group_ = progress_ = button_ = nullptr;
            return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void WinForm::Command(int id, int code) {
    if (id == kIdCombo && code == CBN_SELCHANGE) Run(OnComboChange);
    if (id == kIdFileList && code == LBN_SELCHANGE) Run(OnFileClick);
    if (id == kIdButton && code == BN_CLICKED) Run(OnButtonClick, true, ButtonWork);
}

bool WinForm::SetCursorFor(LPARAM lParam) {
    // While the hourglass is up it wins everywhere in the window; otherwise
    // each control keeps its own cursor.
    if (cursor_ == arrow_ || LOWORD(lParam) != HTCLIENT) return false;
    ::SetCursor(cursor_);
    return true;
}

void WinForm::Run(const std::function<void()>& handler, bool exclusive, const wchar_t* longWork) {
    // A handler runs to its end before the next event: events that reach the
    // window while one of its message boxes is up are dropped, as the disabled
    // window would drop a person's clicks.
    if (!handler || (exclusive && running_)) return;
    bool outer = running_;
    running_ = true;
    const bool guarded = longWork && !outer;
    if (guarded) longWork_.Begin(window_, longWork);
    try {
        handler();
    } catch (const std::exception& e) {
        MessageBoxA(window_, e.what(), title_.c_str(), MB_OK | MB_ICONERROR);
    } catch (...) {
        MessageBoxA(window_, "Unexpected error", title_.c_str(), MB_OK | MB_ICONERROR);
    }
    if (guarded) longWork_.End(window_);
    running_ = outer;
    if (!outer && closePending_) {
        closePending_ = false;
        if (window_) DestroyWindow(window_);
    }
}
