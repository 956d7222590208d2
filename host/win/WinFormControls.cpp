// The Form calls on the real controls: what the logic does to the window and
// the user, one thin adapter each.
#include "host/win/WinForm.h"
// The common controls' header needs <windows.h>, which WinForm.h brings.
#include <commctrl.h>

namespace {
std::string WindowText(HWND window) {
    int length = GetWindowTextLengthA(window);
    if (length <= 0) return std::string();
    std::string text(size_t(length) + 1, '\0');
    int got = GetWindowTextA(window, text.data(), length + 1);
    text.resize(got > 0 ? size_t(got) : 0);
    return text;
}

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

void WinForm::SetCaption(const std::string& text) {
    SetWindowTextA(window_, text.c_str());
}
void WinForm::SetLabel(const std::string& text) {
    FitLabel(text);
    SetWindowTextA(label_, text.c_str());
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
    focus_.Save(window_);
    UINT style = BoxStyle(kind, buttons);
    // Before the window is shown (start-up) the box is all there is to see.
    if (!owner || !IsWindowVisible(owner)) style |= MB_SETFOREGROUND;
    int answer = MessageBoxA(owner, text.c_str(), title_.c_str(), style);
    // Long work may follow at once: repaint what the box covered now.
    if (owner && window_) {
        focus_.Restore(window_, combo_);
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
