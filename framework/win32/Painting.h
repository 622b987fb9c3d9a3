// The Win32 backend's painting: colours, the fonts, the pictures' bitmaps, and the painting of
// a form or panel with its pictures and labels.
#pragma once

#include <windows.h>

#include "framework/Controls.h"

namespace framework::win32 {

class ContainerPeer;

COLORREF toColorRef(Colour colour);
RECT toRect(const Rect& r);
// "MS Sans Serif" at the layout's pixel height, or a stand-in that fits the layout; made once
// and kept for the library's life.
HFONT fontFor(const Font& font);
void useFont(HWND window, const Font& font);
// A picture's pixels as a bitmap of the screen's kind, converted once.
HBITMAP readyBitmap(const Image& image);
// The container's background, then its pictures and labels in layout order, each above the
// ones before it; drawn off screen and copied in one go so nothing flickers.
void paintContainer(ContainerPeer& peer);

} // namespace framework::win32
