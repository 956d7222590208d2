// The font of the main window's controls, made in one place for the window and its checks.
#include "host/win/WindowFont.h"

#include "host/win/SystemProc.h"

namespace {
HFONT ControlFont(BYTE charset) {
    return CreateFontA(16, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, charset, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "System");
}

// True when the font draws the window's own texts, rather than empty boxes.
// GetGlyphIndicesA came with Windows 2000; where it is missing the answer is
// false, so the font of the system's own character set is taken. That set
// always holds the ASCII letters of these texts, and on a Traditional Chinese
// system it is Big5 itself.
bool DrawsLatin(HFONT font) {
    using GlyphIndicesFunction = DWORD(WINAPI*)(HDC, LPCSTR, int, LPWORD, DWORD);
    auto glyphIndices = SystemProc<GlyphIndicesFunction>("gdi32.dll", "GetGlyphIndicesA");
    if (!glyphIndices) return false;
    HDC screen = GetDC(nullptr);
    HGDIOBJ old = SelectObject(screen, font);
    WORD glyphs[5] = {};
    DWORD got = glyphIndices(screen, "FLASH", 5, glyphs, GGI_MARK_NONEXISTING_GLYPHS);
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
    if (got != 5) return false;
    for (WORD glyph : glyphs)
        if (glyph == 0xFFFF) return false;
    return true;
}

}  // namespace

// The Big5 "System" font where the system has one that draws Latin text;
// elsewhere (a Western system, Wine) the same font with the default set.
HFONT CreateControlFont() {
    HFONT font = ControlFont(CHINESEBIG5_CHARSET);
    if (font && DrawsLatin(font)) return font;
    if (font) DeleteObject(font);
    return ControlFont(DEFAULT_CHARSET);
}
