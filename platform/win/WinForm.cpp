#include "platform/win/WinForm.h"

#include <commctrl.h>

#include <exception>

#include "platform/win/CommonControls.h"
#include "platform/win/SystemProc.h"
#include "platform/win/WindowFont.h"

namespace {
constexpr const char* kPanelClass = "TPanel";

std::string WindowText(HWND window) {
    int length = GetWindowTextLengthA(window);
    if (length <= 0) return std::string();
    std::string text(size_t(length) + 1, '\0');
    int got = GetWindowTextA(window, text.data(), length + 1);
    text.resize(got > 0 ? size_t(got) : 0);
    return text;
}

// Newer system aids, reached by name where the system has them.
using ShutdownBlockReasonCreateFn = BOOL(WINAPI*)(HWND, LPCWSTR);  // user32, Vista
using ShutdownBlockReasonDestroyFn = BOOL(WINAPI*)(HWND);          // user32, Vista
using SetThreadExecutionStateFn = DWORD(WINAPI*)(DWORD);           // kernel32, 98 and 2000
constexpr DWORD kEsSystemRequired = 0x00000001;
constexpr DWORD kEsContinuous = 0x80000000;
constexpr UINT kPbtApmQuerySuspend = 0x0000;  // WM_POWERBROADCAST, 95 and 98
constexpr LRESULT kBroadcastQueryDeny = 0x424D5144;

UINT BoxStyle(BoxKind kind, BoxButtons buttons) {
    UINT style = buttons == BoxButtons::YesNo ? MB_YESNO : MB_OK;
    switch (kind) {
        case BoxKind::Warning:
            return style | MB_ICONWARNING;
        case BoxKind::Confirmation:
            return style | MB_ICONQUESTION;
        case BoxKind::Error:
            return style | MB_ICONERROR;
        case BoxKind::Plain:
            break;
    }
    return style;
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
    focus_ = nullptr;
    RestoreFocus();
}

void WinForm::SaveFocus() {
    HWND focus = GetFocus();
    if (focus && window_ && IsChild(window_, focus)) focus_ = focus;
}

// Back to the control that had the focus; the combo box when there is none
// that can take it.
void WinForm::RestoreFocus() {
    if (!window_ || !IsWindowVisible(window_)) return;
    // After a box the thread's active window may still be the box just gone.
    if (GetActiveWindow() != window_) SetActiveWindow(window_);
    HWND target = focus_;
    if (!target || !IsWindow(target) || !IsChild(window_, target) || !IsWindowVisible(target) ||
        !IsWindowEnabled(target))
        target = combo_;
    SetFocus(target);
}

LRESULT CALLBACK WinForm::MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<WinForm*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!self) return DefWindowProcA(window, message, wParam, lParam);
    return self->Handle(window, message, wParam, lParam);
}

LRESULT CALLBACK WinForm::PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<WinForm*>(GetWindowLongPtrA(window, GWLP_USERDATA));
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
        case WM_QUERYENDSESSION:
            if (longWork_) return FALSE;
            break;
        case WM_POWERBROADCAST:
            if (longWork_ && wParam == kPbtApmQuerySuspend) return kBroadcastQueryDeny;
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
                SaveFocus();
            } else if (!HIWORD(wParam)) {  // not minimised
                RestoreFocus();
                return 0;
            }
            break;
        case WM_SETFOCUS:
            RestoreFocus();
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
    if (id == kIdButton && code == BN_CLICKED) Run(OnButtonClick, true, true);
}

bool WinForm::SetCursorFor(LPARAM lParam) {
    // While the hourglass is up it wins everywhere in the window; otherwise
    // each control keeps its own cursor.
    if (cursor_ == arrow_ || LOWORD(lParam) != HTCLIENT) return false;
    ::SetCursor(cursor_);
    return true;
}

void WinForm::Run(const std::function<void()>& handler, bool exclusive, bool longWork) {
    // A handler runs to its end before the next event: events that reach the
    // window while one of its message boxes is up are dropped, as the disabled
    // window would drop a person's clicks.
    if (!handler || (exclusive && running_)) return;
    bool outer = running_;
    running_ = true;
    const bool aids = longWork && !outer;
    if (aids) BeginLongWork();
    try {
        handler();
    } catch (const std::exception& e) {
        MessageBoxA(window_, e.what(), title_.c_str(), MB_OK | MB_ICONERROR);
    } catch (...) {
        MessageBoxA(window_, "Unexpected error", title_.c_str(), MB_OK | MB_ICONERROR);
    }
    if (aids) EndLongWork();
    running_ = outer;
    if (!outer && closePending_) {
        closePending_ = false;
        if (window_) DestroyWindow(window_);
    }
}

// While a flash or build runs the session may not end (WM_QUERYENDSESSION
// answers FALSE; from Vista on the shut-down screen shows the reason) and the
// system may not sleep for want of input.
void WinForm::BeginLongWork() {
    longWork_ = true;
    if (auto create =
            SystemProc<ShutdownBlockReasonCreateFn>("user32.dll", "ShutdownBlockReasonCreate")) {
        const bool build = WindowText(button_) == "Build";
        shutdownBlocked_ = create(window_, build ? L"A flasher is being written."
                                                 : L"A drive firmware flash is in progress.") != 0;
    }
    if (auto state =
            SystemProc<SetThreadExecutionStateFn>("kernel32.dll", "SetThreadExecutionState"))
        state(kEsContinuous | kEsSystemRequired);
}

void WinForm::EndLongWork() {
    if (auto state =
            SystemProc<SetThreadExecutionStateFn>("kernel32.dll", "SetThreadExecutionState"))
        state(kEsContinuous);
    if (shutdownBlocked_) {
        if (auto destroy = SystemProc<ShutdownBlockReasonDestroyFn>("user32.dll",
                                                                    "ShutdownBlockReasonDestroy"))
            destroy(window_);
        shutdownBlocked_ = false;
    }
    longWork_ = false;
}

void WinForm::SetCaption(const std::string& text) {
    SetWindowTextA(window_, text.c_str());
}
std::string WinForm::Caption() {
    return WindowText(window_);
}
void WinForm::SetLabel(const std::string& text) {
    FitLabel(text);
    SetWindowTextA(label_, text.c_str());
}

void WinForm::ComboClear() {
    SendMessageA(combo_, CB_RESETCONTENT, 0, 0);
}
void WinForm::ComboAdd(const std::string& item) {
    FitWide(combo_, {item});
    SendMessageA(combo_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
}
void WinForm::ComboInsert(int index, const std::string& item) {
    FitWide(combo_, {item});
    SendMessageA(combo_, CB_INSERTSTRING, WPARAM(index), reinterpret_cast<LPARAM>(item.c_str()));
}
void WinForm::ComboDelete(int index) {
    SendMessageA(combo_, CB_DELETESTRING, WPARAM(index), 0);
}
int WinForm::ComboCount() {
    LRESULT count = SendMessageA(combo_, CB_GETCOUNT, 0, 0);
    return count == CB_ERR ? 0 : int(count);
}
std::string WinForm::ComboItem(int index) {
    LRESULT length = SendMessageA(combo_, CB_GETLBTEXTLEN, WPARAM(index), 0);
    if (length == CB_ERR || length <= 0) return std::string();
    std::string text(size_t(length) + 1, '\0');
    LRESULT got =
        SendMessageA(combo_, CB_GETLBTEXT, WPARAM(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(got == CB_ERR ? 0 : size_t(got));
    return text;
}
void WinForm::ComboSetIndex(int index) {
    SendMessageA(combo_, CB_SETCURSEL, WPARAM(index), 0);
}
int WinForm::ComboIndex() {
    LRESULT index = SendMessageA(combo_, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : int(index);
}
void WinForm::ComboRepaint() {
    RedrawWindow(combo_, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void WinForm::FileListShow(bool visible) {
    ShowWindow(fileList_, visible ? SW_SHOW : SW_HIDE);
}
void WinForm::FileListSetItems(const std::vector<std::string>& names) {
    FitWide(fileList_, names);
    SendMessageA(fileList_, WM_SETREDRAW, FALSE, 0);
    SendMessageA(fileList_, LB_RESETCONTENT, 0, 0);
    for (const std::string& name : names)
        SendMessageA(fileList_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    SendMessageA(fileList_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(fileList_, nullptr, TRUE);
}
int WinForm::FileListIndex() {
    LRESULT index = SendMessageA(fileList_, LB_GETCURSEL, 0, 0);
    return index == LB_ERR ? -1 : int(index);
}
std::string WinForm::FileListItem(int index) {
    LRESULT length = SendMessageA(fileList_, LB_GETTEXTLEN, WPARAM(index), 0);
    if (length == LB_ERR || length <= 0) return std::string();
    std::string text(size_t(length) + 1, '\0');
    LRESULT got =
        SendMessageA(fileList_, LB_GETTEXT, WPARAM(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(got == LB_ERR ? 0 : size_t(got));
    return text;
}

void WinForm::SetStatus(const std::string& text) {
    FitWide(group_, {text});  // a text nobody announced with FitStatus
    SetWindowTextA(group_, text.c_str());
}
std::string WinForm::Status() {
    return WindowText(group_);
}
void WinForm::RepaintStatus() {
    // Handlers run long without pumping messages: paint the frame, its caption
    // and what it holds now, over the panel's background so no old text stays.
    if (!group_) return;
    RECT area;
    GetWindowRect(group_, &area);
    MapWindowPoints(nullptr, panel_, reinterpret_cast<POINT*>(&area), 2);
    RedrawWindow(panel_, &area, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    ShowPainted();
}

// Some window systems (Wine's among them) hand what was painted to the screen
// only when the thread looks at its queue. Looking removes nothing: no input is
// taken while a handler runs.
void WinForm::ShowPainted() {
    MSG message;
    PeekMessageA(&message, nullptr, WM_NULL, WM_NULL, PM_NOREMOVE | PM_NOYIELD);
}

// The bar's numbers are kept here, so the control can hold a scaled copy.
void WinForm::SendProgress(bool range) {
    if (range && progressScale_.Wide())
        SendMessageA(progress_, PBM_SETRANGE32, WPARAM(progressScale_.ControlMin()),
                     LPARAM(progressScale_.ControlMax()));
    else if (range)
        SendMessageA(progress_, PBM_SETRANGE, 0, MAKELPARAM(0, progressScale_.ControlMax()));
    SendMessageA(progress_, PBM_SETPOS, WPARAM(progressScale_.ControlPosition()), 0);
    UpdateWindow(progress_);
}

void WinForm::ProgressSetRange(int minimum, int maximum) {
    progressScale_.SetRange(minimum, maximum);
    SendProgress(true);
}
void WinForm::ProgressSetPosition(int position) {
    progressScale_.SetPosition(position);
    SendProgress(false);
    ShowPainted();
}
int WinForm::ProgressPosition() {
    return progressScale_.Position();
}
void WinForm::ProgressSetStep(int step) {
    progressScale_.SetStep(step);
}
void WinForm::ProgressStepIt() {
    progressScale_.StepIt();
    SendProgress(false);
}

void WinForm::ButtonSetCaption(const std::string& text) {
    SetWindowTextA(button_, text.c_str());
}
void WinForm::ButtonEnable(bool enabled) {
    EnableWindow(button_, enabled ? TRUE : FALSE);
}

BoxAnswer WinForm::MessageBox(const std::string& text, BoxKind kind, BoxButtons buttons) {
    HWND owner = window_ && IsWindow(window_) ? window_ : nullptr;
    SaveFocus();
    UINT style = BoxStyle(kind, buttons);
    // Before the window is shown (start-up) the box is all there is to see.
    if (!owner || !IsWindowVisible(owner)) style |= MB_SETFOREGROUND;
    int answer = MessageBoxA(owner, text.c_str(), title_.c_str(), style);
    // Long work may follow at once: repaint what the box covered now.
    if (owner && window_) {
        RestoreFocus();
        RedrawWindow(owner, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        ShowPainted();
    }
    switch (answer) {
        case IDOK:
            return BoxAnswer::Ok;
        case IDYES:
            return BoxAnswer::Yes;
        case IDNO:
            return BoxAnswer::No;
        default:
            return BoxAnswer::Closed;
    }
}

void WinForm::SetCursor(CursorKind cursor) {
    LPCSTR shape = cursor == CursorKind::Hourglass ? reinterpret_cast<LPCSTR>(IDC_WAIT)
                                                   : reinterpret_cast<LPCSTR>(IDC_ARROW);
    cursor_ = LoadCursorA(nullptr, shape);
    ::SetCursor(cursor_);
}

void WinForm::PostQuit(int exitCode) {
    quitPosted_ = true;
    PostQuitMessage(exitCode);
}

void WinForm::Close() {
    if (running_)
        closePending_ = true;  // destroyed once the handler has returned
    else if (window_)
        DestroyWindow(window_);
}
