#include "Painting.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <utility>

#include "Display.h"
#include "Peers.h"

namespace framework::win32 {

namespace {

// The fonts, made on first use and kept for the library's life: making and measuring them is
// the slowest part of opening an editor under Wine. They go when the host unloads the library.
struct Fonts : std::map<std::pair<int, bool>, HFONT> {
    ~Fonts() {
        for (auto& entry : *this)
            DeleteObject(entry.second);
    }
} fonts;

HFONT createFont(const Font& font, int averageWidth) {
    return CreateFontA(-font.height, averageWidth, 0, 0, font.bold ? FW_BOLD : FW_NORMAL, FALSE,
                       FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, font.name.c_str());
}

// Whether a stand-in for "MS Sans Serif" fits the boxes laid out in the real face at a height.
// The real face at 11 pixels has digits of 6 pixels and a lower case 135 pixels long. A stand-in's
// digits must be a pixel narrower: an edit gives a TrueType face margins of 2 or 3 pixels a side
// where the bitmap face gets none, and "127" must still fit a 25-pixel edit.
bool fitsTheLayout(HDC dc, int height) {
    constexpr int kHeight = 11, kDigits = 10 * 5, kLowerCase = 135;
    SIZE digits{}, lowerCase{};
    GetTextExtentPoint32A(dc, "0123456789", 10, &digits);
    GetTextExtentPoint32A(dc, "abcdefghijklmnopqrstuvwxyz", 26, &lowerCase);
    return digits.cx * kHeight <= kDigits * height && lowerCase.cx * kHeight <= kLowerCase * height;
}

} // namespace

COLORREF toColorRef(Colour colour) {
    return RGB((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF);
}

// "MS Sans Serif" at the layout's pixel height (the character height, as 8 pt is 11 pixels at
// 96 dots per inch). Where the face is missing the system substitutes another of the same
// height: Wine as Debian 12 ships it loads none of its own faces (fonts-wine's) and takes one
// from fontconfig, Liberation Sans or DejaVu Sans, which cut " min/max" and "127". Such a
// stand-in is asked for narrower on average, a pixel at a time, until it fits.
HFONT fontFor(const Font& font) {
    const std::lock_guard<std::mutex> lock(sharedTables);
    const auto key = std::make_pair(font.height, font.bold);
    auto found = fonts.find(key);
    if (found != fonts.end()) return found->second;
    HFONT made = createFont(font, 0);
    HDC screen = GetDC(nullptr);
    HGDIOBJ old = SelectObject(screen, made);
    char face[LF_FACESIZE] = {};
    GetTextFaceA(screen, LF_FACESIZE, face);
    if (lstrcmpiA(face, font.name.c_str()) != 0) {
        TEXTMETRICA metrics{};
        GetTextMetricsA(screen, &metrics);
        for (int width = metrics.tmAveCharWidth - 1;
             width > 0 && !fitsTheLayout(screen, font.height); --width) {
            SelectObject(screen, old);
            DeleteObject(made);
            made = createFont(font, width);
            SelectObject(screen, made);
        }
    }
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
    fonts.emplace(key, made);
    return made;
}

void useFont(HWND window, const Font& font) {
    SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(fontFor(font)), FALSE);
}

RECT toRect(const Rect& r) {
    return RECT{r.left, r.top, r.left + r.width, r.top + r.height};
}

HBITMAP readyBitmap(const Image& image) {
    if (image.empty()) return nullptr;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = image.width;
    info.bmiHeader.biHeight = -image.height; // rows from the top
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap == nullptr) return nullptr;
    auto* pixels = static_cast<std::uint32_t*>(bits); // 0x00RRGGBB
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            pixels[static_cast<std::size_t>(y) * image.width + x] = image.pixel(x, y);
    GdiFlush();
    return bitmap;
}

void paintContainer(ContainerPeer& peer) {
    PAINTSTRUCT ps;
    HDC screen = BeginPaint(peer.hwnd, &ps);
    RECT client;
    GetClientRect(peer.hwnd, &client);
    if (peer.prepareCanvas(screen, client.right, client.bottom)) {
        FillRect(peer.canvas, &client, peer.brush);
        for (const GraphicPeer* graphic : peer.graphics)
            if (graphic->control.isVisible()) graphic->draw();
        // Only what needs painting is copied.
        BitBlt(screen, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left,
               ps.rcPaint.bottom - ps.rcPaint.top, peer.canvas, ps.rcPaint.left, ps.rcPaint.top,
               SRCCOPY);
    }
    EndPaint(peer.hwnd, &ps);
}

} // namespace framework::win32
