// Checks, under Wine, that texts fit norvexflash.exe's controls: each text is
// measured in the controls' font (made by the program's own function, as a
// font handle cannot cross processes) and compared with the control's size as
// the window laid it out.
//
//   fitcheck status [TEXT...]   the status line's caption (GroupBox2) and each
//                               TEXT: one line between the frame's caption insets
//   fitcheck label              the label's text: one line, or its wrapped lines,
//                               within the label
//   fitcheck combo              every combo box item within the box's edit field
//   fitcheck size               the client size of the main window
//
// Prints one line per text: "fits" or "CUT", the text's extent, the room.
// Exit code 0: everything fits; 1: a text is cut or the window is missing;
// 2: bad usage.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/win/WindowFont.h"

namespace {
constexpr int kIdPanel = 100, kIdLabel = 101, kIdCombo = 102, kIdGroup = 104;
// The caption's room inside a group box as Wine draws it: 7 pixels in from
// each end of the frame, and a pixel of gap on each side of the text.
constexpr int kCaptionInset = 2 * (7 + 1);

// A control of the main window's panel; says why when there is none.
HWND Control(int id) {
    HWND main = FindWindowA("TFlashForm", nullptr);
    HWND panel = main ? GetDlgItem(main, kIdPanel) : nullptr;
    HWND control = panel ? GetDlgItem(panel, id) : nullptr;
    if (!control)
        printf("no control %d: %s\n", id,
               !main    ? "no TFlashForm window"
               : !panel ? "no panel"
                        : "not in the panel");
    return control;
}

std::string Text(HWND window) {
    char text[1024] = {};
    DWORD_PTR got = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, LPARAM(text), SMTO_NORMAL, 5000, &got);
    return text;
}

// A device context with the control's own font selected.
class FontDc {
  public:
    explicit FontDc(HWND control) : dc_(CreateCompatibleDC(nullptr)) {
        // A font handle belongs to the process that made it; the window's font
        // is made here the same way, by the program's own function. Wine 8
        // answers WM_GETFONT sent from another process with 0 although the
        // control has its font (measured: the program's own WM_GETFONT returns
        // it), so a 0 here is noted, not taken for a control without a font.
        DWORD_PTR font = 0;
        if (!SendMessageTimeoutA(control, WM_GETFONT, 0, 0, SMTO_NORMAL, 5000, &font) || !font)
            printf("(WM_GETFONT from here answered no font; measured in the program's font)\n");
        font_ = CreateControlFont();
        LOGFONTA described = {};
        if (font_ && GetObjectA(font_, sizeof described, &described) == sizeof described) {
            face_ = described.lfFaceName;
            height_ = described.lfHeight;
            weight_ = described.lfWeight;
        }
        if (font_) old_ = SelectObject(dc_, font_);
    }
    ~FontDc() {
        if (old_) SelectObject(dc_, old_);
        if (font_) DeleteObject(font_);
        DeleteDC(dc_);
    }
    // Says why when the font could not be made.
    bool Ok() const {
        if (!font_) printf("no font to measure with\n");
        return font_ != nullptr;
    }
    SIZE Extent(const std::string& text) const {
        SIZE size = {0, 0};
        GetTextExtentPoint32A(dc_, text.data(), int(text.size()), &size);
        return size;
    }
    int WrappedHeight(const std::string& text, int width) const {
        RECT area = {0, 0, width, 0};
        DrawTextA(dc_, text.data(), int(text.size()), &area,
                  DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
        return area.bottom - area.top;
    }
    void Describe() const {
        printf("font \"%s\", height %ld, weight %ld\n", face_.c_str(), long(height_),
               long(weight_));
    }

  private:
    HDC dc_;
    HFONT font_ = nullptr;
    HGDIOBJ old_ = nullptr;
    std::string face_;
    LONG height_ = 0, weight_ = 0;
};

int Width(HWND control) {
    RECT area;
    GetClientRect(control, &area);
    return area.right - area.left;
}

bool Report(const std::string& text, int extent, int room) {
    const bool fits = extent <= room;
    printf("%s %4d px in %4d px: \"%s\"\n", fits ? "fits" : "CUT ", extent, room, text.c_str());
    return fits;
}

int Status(int argc, char** argv) {
    HWND group = Control(kIdGroup);
    if (!group) return 1;
    FontDc dc(group);
    if (!dc.Ok()) return 1;
    dc.Describe();
    std::vector<std::string> texts{Text(group)};
    for (int i = 2; i < argc; ++i) texts.push_back(argv[i]);
    const int room = Width(group) - kCaptionInset;
    bool all = true;
    for (const std::string& text : texts) all = Report(text, dc.Extent(text).cx, room) && all;
    return all ? 0 : 1;
}

int Label() {
    HWND label = Control(kIdLabel);
    if (!label) return 1;
    FontDc dc(label);
    if (!dc.Ok()) return 1;
    dc.Describe();
    RECT area;
    GetClientRect(label, &area);
    const std::string text = Text(label);
    const int width = area.right - area.left, height = area.bottom - area.top;
    const SIZE line = dc.Extent(text);
    if (line.cx <= width) return Report(text, line.cx, width) ? 0 : 1;
    // Wrapped: every line must be whole, so the lines' height must fit.
    const int wrapped = dc.WrappedHeight(text, width);
    printf("wrapped into %d lines\n", line.cy ? int(wrapped / line.cy) : 0);
    return Report(text + " (height)", wrapped, height) ? 0 : 1;
}

int Combo() {
    HWND combo = Control(kIdCombo);
    if (!combo) return 1;
    FontDc dc(combo);
    if (!dc.Ok()) return 1;
    dc.Describe();
    // The drop-down combo box shows its selection in an edit field of its own.
    HWND edit = FindWindowExA(combo, nullptr, "Edit", nullptr);
    if (!edit) return 1;
    const int room = Width(edit);
    DWORD_PTR count = 0;
    SendMessageTimeoutA(combo, CB_GETCOUNT, 0, 0, SMTO_NORMAL, 5000, &count);
    bool all = true;
    for (int i = 0; i < int(count); ++i) {
        char item[512] = {};
        DWORD_PTR got = 0;
        SendMessageTimeoutA(combo, CB_GETLBTEXT, WPARAM(i), LPARAM(item), SMTO_NORMAL, 5000, &got);
        all = Report(item, dc.Extent(item).cx, room) && all;
    }
    return all ? 0 : 1;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const std::string command = argv[1];
    if (command == "status") return Status(argc, argv);
    if (command == "label") return Label();
    if (command == "combo") return Combo();
    if (command == "size") {
        HWND main = FindWindowA("TFlashForm", nullptr);
        if (!main) return 1;
        RECT area;
        GetClientRect(main, &area);
        printf("%ld %ld\n", long(area.right), long(area.bottom));
        return 0;
    }
    return 2;
}
