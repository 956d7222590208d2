// Texts that fit: every text the window shows is measured with its control's
// own font at run time, and where the designed layout is too small the
// controls grow, and the window with them (host/win/WindowLayout.h). The
// window's font depends on the system (a Big5 "System" font, the Western one,
// Wine's), so no width is known in advance.
#include <algorithm>

#include "host/win/WinForm.h"

namespace {
// What a control draws around its text, both sides together, in pixels. A
// group box insets its caption from the frame's ends (7 to 10 pixels,
// depending on the system and theme) and clears a gap around it.
constexpr int kCaptionInset = 2 * 12;
constexpr int kLabelSlack = 2;  // a line exactly as wide as the label may still wrap
constexpr int kItemMargin = 8;  // edit field and list item margins

// Width and height of a one-line text in the control's font.
SIZE TextExtent(HWND control, const std::string& text) {
    SIZE size = {0, 0};
    HDC dc = GetDC(control);
    if (!dc) return size;
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
    HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
    if (!GetTextExtentPoint32A(dc, text.data(), int(text.size()), &size)) size = {0, 0};
    if (old) SelectObject(dc, old);
    ReleaseDC(control, dc);
    return size;
}

// Height of the text broken into lines of at most `width` pixels, as the
// label draws it.
int WrappedHeight(HWND control, const std::string& text, int width) {
    HDC dc = GetDC(control);
    if (!dc) return 0;
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
    HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
    RECT area = {0, 0, width, 0};
    DrawTextA(dc, text.data(), int(text.size()), &area,
              DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
    if (old) SelectObject(dc, old);
    ReleaseDC(control, dc);
    return area.bottom - area.top;
}
}  // namespace

void WinForm::FitStatus(const std::vector<std::string>& texts) {
    FitWide(group_, texts);
}

// One line when the screen has room for it; otherwise as many lines as the
// widest window needs.
void WinForm::FitLabel(const std::string& text) {
    if (!label_) return;
    const int width = TextExtent(label_, text).cx + kLabelSlack;
    bool grown = layout_.FitLabelWidth(width);
    if (layout_.Label().width < width)
        grown = layout_.FitLabelHeight(WrappedHeight(label_, text, layout_.Label().width)) || grown;
    if (grown) ApplyLayout();
}

// The combo box, file list and group box share one width.
void WinForm::FitWide(HWND control, const std::vector<std::string>& texts) {
    if (!control) return;
    int margin = kCaptionInset;
    if (control == combo_)
        margin = GetSystemMetrics(SM_CXVSCROLL) + 2 * GetSystemMetrics(SM_CXEDGE) + kItemMargin;
    else if (control == fileList_)
        margin = GetSystemMetrics(SM_CXVSCROLL) + 2 * GetSystemMetrics(SM_CXBORDER) + kItemMargin;
    int widest = 0;
    for (const std::string& text : texts)
        widest = std::max(widest, int(TextExtent(control, text).cx));
    if (layout_.FitWideControls(widest + margin)) ApplyLayout();
}

void WinForm::ApplyLayout() {
    auto place = [](HWND control, const LayoutRect& area, int extraHeight = 0) {
        if (control)
            SetWindowPos(control, nullptr, area.left, area.top, area.width,
                         area.height + extraHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    };
    place(panel_, {0, 0, layout_.ClientWidth(), layout_.ClientHeight()});
    place(label_, layout_.Label());
    place(combo_, layout_.Combo(), kComboListHeight);
    place(fileList_, layout_.FileList());
    place(group_, layout_.Group());
    place(progress_, layout_.Progress());
    place(button_, layout_.Button());

    // The window around the grown client area, moved back onto the screen
    // where it would now run past its edge.
    RECT frame = {0, 0, layout_.ClientWidth(), layout_.ClientHeight()};
    AdjustWindowRectEx(&frame, kMainWindowStyle, FALSE, 0);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    RECT now;
    GetWindowRect(window_, &now);
    const int left = std::max(0, std::min(int(now.left), GetSystemMetrics(SM_CXSCREEN) - width));
    const int top = std::max(0, std::min(int(now.top), GetSystemMetrics(SM_CYSCREEN) - height));
    SetWindowPos(window_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(panel_, nullptr, TRUE);
}
