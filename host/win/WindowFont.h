// The font of the main window's controls: "System", 16 pixels, bold, in the
// Big5 character set where the system has such a font that draws Latin text.
#pragma once
#include <windows.h>

// A new font; the caller deletes it.
HFONT CreateControlFont();
