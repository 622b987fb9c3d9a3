// Which face the system gives for the editor's font requests, and how wide the layout's tightest
// texts come out in it: the face's name, its metrics and the widths in pixels, asked for as the
// Win32 backend asks (CreateFontA with the character height, then, where a stand-in is wider, a
// narrower average width). Run it under Wine to see a user's Wine:
//   wine build/win32/tools/font-probe.exe
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

void probe(const char* name, int height, bool bold, int averageWidth) {
    HFONT font = CreateFontA(-height, averageWidth, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE,
                             FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                             DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, name);
    HDC screen = GetDC(nullptr);
    HGDIOBJ old = SelectObject(screen, font);
    char face[LF_FACESIZE] = {};
    GetTextFaceA(screen, LF_FACESIZE, face);
    TEXTMETRICA metrics{};
    GetTextMetricsA(screen, &metrics);
    std::printf("\"%s\" -%d px%s, average width %d: \"%s\", height %ld (ascent %ld, internal "
                "leading %ld), average width %ld, %s\n",
                name, height, bold ? " bold" : "", averageWidth, face, metrics.tmHeight,
                metrics.tmAscent, metrics.tmInternalLeading, metrics.tmAveCharWidth,
                (metrics.tmPitchAndFamily & TMPF_TRUETYPE) != 0 ? "TrueType" : "bitmap");
    const char* const texts[] = {" min/max", "CC Out", "End Step", "127", "Options", "1/16"};
    for (const char* text : texts) {
        SIZE size{};
        GetTextExtentPoint32A(screen, text, static_cast<int>(std::strlen(text)), &size);
        std::printf("    \"%s\" %ld px\n", text, size.cx);
    }
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
    DeleteObject(font);
}

} // namespace

int main() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                      "Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes", 0,
                      KEY_READ, &key) == ERROR_SUCCESS) {
        char value[LF_FACESIZE] = {};
        DWORD size = sizeof value;
        if (RegQueryValueExA(key, "MS Sans Serif", nullptr, nullptr, reinterpret_cast<BYTE*>(value),
                             &size) == ERROR_SUCCESS)
            std::printf("FontSubstitutes: \"MS Sans Serif\" is \"%s\"\n", value);
        RegCloseKey(key);
    }
    // The face's own width, then 5 and 4 pixels on average, as a wider stand-in is narrowed.
    const int widths[] = {0, 5, 4};
    for (int width : widths)
        probe("MS Sans Serif", 11, false, width);
    probe("MS Sans Serif", 13, false, 0);
    probe("MS Sans Serif", 21, true, 0);
    return 0;
}
