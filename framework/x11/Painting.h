// The X11 backend's painting: the classic grey 3D look drawn with cairo, the fonts, the radio
// button's pixels, and the copy of a picture drawn off screen to a window.
#pragma once

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <string>

#include "framework/Controls.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo.h>

namespace framework::x11 {

// The classic 3D colours of a grey control face.
constexpr Colour kFace = kSilver;
constexpr Colour kLight = 0xDFDFDF;
constexpr Colour kShadow = kGrey;
constexpr Colour kDarkShadow = kBlack;
constexpr Colour kHighlight = kWhite;
constexpr Colour kSelection = 0x000080;

// The stand-in for "MS Sans Serif": a sans serif face every Debian desktop has, at the layout's
// pixel heights. Fontconfig gives DejaVu Sans where Liberation Sans is missing.
constexpr char kFaceName[] = "Liberation Sans";

// Timings of the classic controls: the caret's blink, and the repeat of a held scroll arrow.
constexpr auto kCaretBlink = std::chrono::milliseconds(530);
constexpr auto kRepeatDelay = std::chrono::milliseconds(400);
constexpr auto kRepeatEvery = std::chrono::milliseconds(50);

// ---------------------------------------------------------------------------------------------
// Rectangles and drawing helpers

bool isEmpty(const Rect& r);
Rect unite(const Rect& a, const Rect& b);
Rect intersect(const Rect& a, const Rect& b);
Rect inset(const Rect& r, int by);
void setColour(cairo_t* cr, Colour c);
void fill(cairo_t* cr, const Rect& r, Colour c);
// A one-pixel frame: its top and left edges in one colour, its bottom and right in another.
void frame(cairo_t* cr, const Rect& r, Colour topLeft, Colour bottomRight);
// A raised face: a button, a scroll bar's arrow or thumb.
void raisedFace(cairo_t* cr, const Rect& r);
// The dotted rectangle of the control that has the keyboard.
void focusRect(cairo_t* cr, const Rect& r);
// A small solid triangle pointing up or down, centred on (cx, cy): a scroll bar's arrow.
void arrow(cairo_t* cr, int cx, int cy, bool up);
// The controls hold 8-bit text, Latin-1 above the ASCII range; cairo takes UTF-8. The buffer
// keeps its room between calls, so painting allocates nothing once the texts have been seen.
const char* utf8(const std::string& text, std::string& buffer,
                 std::size_t length = std::string::npos);
// Two colours in turn, pixel by pixel, repeated: the scroll bar's track.
cairo_pattern_t* dither(Colour a, Colour b);

// ---------------------------------------------------------------------------------------------
// Fonts: made by the window at its creation, released with it.

struct ScaledFont {
    int height = 0;
    bool bold = false;
    cairo_scaled_font_t* font = nullptr;
    int ascent = 0;     // from the top of a line to the baseline, in whole pixels
    int lineHeight = 0; // a line's height, as the system reports a font's cell height
};

class FontSet {
  public:
    FontSet() : options(cairo_font_options_create()) {
        cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
        // Whole-pixel advances, as the system measures text for its controls.
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    }
    ~FontSet() {
        clear();
        cairo_font_options_destroy(options);
    }
    // Text drawn on a window leaves per-display data with its font, so the window's fonts go
    // before its display connection closes.
    void clear() {
        for (ScaledFont& made : fonts)
            cairo_scaled_font_destroy(made.font);
        fonts.clear();
        for (cairo_font_face_t*& face : faces) {
            if (face != nullptr) cairo_font_face_destroy(face);
            face = nullptr;
        }
    }
    FontSet(const FontSet&) = delete;
    FontSet& operator=(const FontSet&) = delete;

    const ScaledFont& get(const Font& font) {
        for (const ScaledFont& made : fonts)
            if (made.height == font.height && made.bold == font.bold) return made;
        cairo_font_face_t*& face = faces[font.bold ? 1 : 0];
        if (face == nullptr)
            face = cairo_toy_font_face_create(kFaceName, CAIRO_FONT_SLANT_NORMAL,
                                              font.bold ? CAIRO_FONT_WEIGHT_BOLD
                                                        : CAIRO_FONT_WEIGHT_NORMAL);
        cairo_matrix_t size, device;
        cairo_matrix_init_scale(&size, font.height, font.height);
        cairo_matrix_init_identity(&device);
        ScaledFont made;
        made.height = font.height;
        made.bold = font.bold;
        made.font = cairo_scaled_font_create(face, &size, &device, options);
        cairo_font_extents_t extents;
        cairo_scaled_font_extents(made.font, &extents);
        made.ascent = static_cast<int>(std::lround(extents.ascent));
        made.lineHeight = static_cast<int>(std::ceil(extents.ascent + extents.descent));
        fonts.push_back(made);
        return fonts.back();
    }

  private:
    cairo_font_options_t* options;
    cairo_font_face_t* faces[2] = {nullptr, nullptr};
    std::deque<ScaledFont> fonts; // peers keep references: a deque never moves what it holds
};

double advance(const ScaledFont& font, const char* text);
void drawText(cairo_t* cr, const ScaledFont& font, int x, int top, const char* text, Colour c);
// A picture's pixels as a cairo surface, converted once per window.
cairo_surface_t* surfaceOf(const Image& image);

// The classic round radio button, 12 by 12.
constexpr int kRadioSize = 12;
// A held item shows its well grey, as the system's radio button does.
enum RadioState { kUnchecked, kChecked, kHeld, kHeldChecked };
cairo_surface_t* radioButton(RadioState state);

// ---------------------------------------------------------------------------------------------
// Copying a picture drawn off screen to a window. It goes to a pixmap of the server's that is
// also the window's background, so the server itself repaints what comes back into view: a host
// that stops calling idle leaves the window as it was. The picture's pixels go as they are where
// the window's visual has them in the same order (24-bit colour, as on every current desktop);
// otherwise they are converted pixel by pixel. Plain core requests: no extension's state is left
// with the connection.

class Blitter {
  public:
    Blitter(Display* display, Window window, Visual* visual, int depth, cairo_surface_t* picture)
        : display(display), window(window), picture(picture) {
        const int width = cairo_image_surface_get_width(picture);
        const int height = cairo_image_surface_get_height(picture);
        const int stride = cairo_image_surface_get_stride(picture);
        image =
            XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                         static_cast<unsigned>(width), static_cast<unsigned>(height), 32, stride);
        if (image == nullptr) return;
        const int order = ImageByteOrder(display);
        const std::uint32_t probe = 1;
        const bool littleEndian = *reinterpret_cast<const unsigned char*>(&probe) == 1;
        // A 32-bit visual (some hosts' windows have one, for a compositor) takes an opaque
        // alpha that the picture does not hold: converted.
        direct = depth == 24 && image->bits_per_pixel == 32 && image->bytes_per_line == stride &&
                 visual->red_mask == 0xFF0000 && visual->green_mask == 0xFF00 &&
                 visual->blue_mask == 0xFF && (order == LSBFirst) == littleEndian;
        if (direct) {
            image->data = reinterpret_cast<char*>(cairo_image_surface_get_data(picture));
        } else {
            image->data = static_cast<char*>(
                std::calloc(static_cast<std::size_t>(image->bytes_per_line), height));
            channels[0] = Channel(visual->red_mask, 16);
            channels[1] = Channel(visual->green_mask, 8);
            channels[2] = Channel(visual->blue_mask, 0);
            const unsigned long colours = visual->red_mask | visual->green_mask | visual->blue_mask;
            opaque = depth == 32 ? ~colours & 0xFFFFFFFFul : 0;
        }
        gc = XCreateGC(display, window, 0, nullptr);
        pixmap = XCreatePixmap(display, window, static_cast<unsigned>(width),
                               static_cast<unsigned>(height), static_cast<unsigned>(depth));
        XSetWindowBackgroundPixmap(display, window, pixmap);
    }
    ~Blitter() {
        if (image != nullptr) {
            if (direct) image->data = nullptr; // the picture's own pixels
            XDestroyImage(image);
        }
        if (gc != nullptr) XFreeGC(display, gc);
        if (pixmap != 0) XFreePixmap(display, pixmap);
    }
    Blitter(const Blitter&) = delete;
    Blitter& operator=(const Blitter&) = delete;

    // An unmapped window shows the new pixels from its background when it is mapped.
    void copy(const Rect& area, bool mapped) {
        if (image == nullptr || gc == nullptr || pixmap == 0 || isEmpty(area)) return;
        cairo_surface_flush(picture);
        if (!direct) convert(area);
        const auto width = static_cast<unsigned>(area.width);
        const auto height = static_cast<unsigned>(area.height);
        XPutImage(display, pixmap, gc, image, area.left, area.top, area.left, area.top, width,
                  height);
        if (mapped)
            XCopyArea(display, pixmap, window, gc, area.left, area.top, width, height, area.left,
                      area.top);
    }

  private:
    // Where a colour channel of 8 bits goes in the visual's pixel.
    struct Channel {
        Channel() = default;
        Channel(unsigned long mask, int from) : from(from) {
            while (mask != 0 && (mask & 1) == 0)
                mask >>= 1, ++shift;
            while ((mask & 1) != 0)
                mask >>= 1, ++bits;
        }
        unsigned long place(std::uint32_t rgb) const {
            const unsigned long value = (rgb >> from) & 0xFF;
            return bits >= 8 ? value << (shift + bits - 8) : (value >> (8 - bits)) << shift;
        }
        int from = 0, shift = 0, bits = 0;
    };
    void convert(const Rect& area) {
        const unsigned char* data = cairo_image_surface_get_data(picture);
        const int stride = cairo_image_surface_get_stride(picture);
        for (int y = area.top; y < area.top + area.height; ++y) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(
                data + static_cast<std::ptrdiff_t>(y) * stride);
            for (int x = area.left; x < area.left + area.width; ++x)
                XPutPixel(image, x, y,
                          opaque | channels[0].place(row[x]) | channels[1].place(row[x]) |
                              channels[2].place(row[x]));
        }
    }

    Display* display;
    Window window;
    cairo_surface_t* picture;
    XImage* image = nullptr;
    GC gc = nullptr;
    Pixmap pixmap = 0;
    bool direct = false;
    Channel channels[3];
    unsigned long opaque = 0; // the alpha bits of a 32-bit visual, all set
};

} // namespace framework::x11
