// The X11 backend, for Linux hosts. A form is a child window of the host's window on a display
// connection of its own; its controls are drawn with cairo, in the classic grey 3D look, into
// one off-screen picture that is copied to the window. Each kind of control has a peer that
// draws it and answers the user's pointer and keys; the peers turn those into the same control
// calls the tests make, so handlers run exactly as they do headless. Nothing here starts a
// thread or waits: the window's events, the timers' ticks and the painting all happen in the
// host's idle calls (effEditIdle), on the host's user-interface thread, and a host that stops
// calling idle leaves the window as it was.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "framework/Controls.h"
#include "framework/Platform.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo.h>

namespace framework {

namespace {

using Clock = std::chrono::steady_clock;

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

bool isEmpty(const Rect& r) {
    return r.width <= 0 || r.height <= 0;
}

Rect unite(const Rect& a, const Rect& b) {
    if (isEmpty(a)) return b;
    if (isEmpty(b)) return a;
    const int left = std::min(a.left, b.left), top = std::min(a.top, b.top);
    const int right = std::max(a.left + a.width, b.left + b.width);
    const int bottom = std::max(a.top + a.height, b.top + b.height);
    return {left, top, right - left, bottom - top};
}

Rect intersect(const Rect& a, const Rect& b) {
    const int left = std::max(a.left, b.left), top = std::max(a.top, b.top);
    const int right = std::min(a.left + a.width, b.left + b.width);
    const int bottom = std::min(a.top + a.height, b.top + b.height);
    if (right <= left || bottom <= top) return {};
    return {left, top, right - left, bottom - top};
}

Rect inset(const Rect& r, int by) {
    return {r.left + by, r.top + by, r.width - 2 * by, r.height - 2 * by};
}

void setColour(cairo_t* cr, Colour c) {
    cairo_set_source_rgb(cr, ((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0,
                         (c & 0xFF) / 255.0);
}

void fill(cairo_t* cr, const Rect& r, Colour c) {
    if (isEmpty(r)) return;
    setColour(cr, c);
    cairo_rectangle(cr, r.left, r.top, r.width, r.height);
    cairo_fill(cr);
}

// A one-pixel frame: its top and left edges in one colour, its bottom and right in another.
void frame(cairo_t* cr, const Rect& r, Colour topLeft, Colour bottomRight) {
    fill(cr, {r.left, r.top, r.width - 1, 1}, topLeft);
    fill(cr, {r.left, r.top, 1, r.height - 1}, topLeft);
    fill(cr, {r.left, r.top + r.height - 1, r.width, 1}, bottomRight);
    fill(cr, {r.left + r.width - 1, r.top, 1, r.height}, bottomRight);
}

// A raised face: a button, a scroll bar's arrow or thumb.
void raisedFace(cairo_t* cr, const Rect& r) {
    fill(cr, r, kFace);
    frame(cr, r, kLight, kDarkShadow);
    frame(cr, inset(r, 1), kHighlight, kShadow);
}

// The dotted rectangle of the control that has the keyboard.
void focusRect(cairo_t* cr, const Rect& r) {
    if (r.width < 2 || r.height < 2) return;
    setColour(cr, kBlack);
    for (int x = r.left; x < r.left + r.width; x += 2) {
        cairo_rectangle(cr, x, r.top, 1, 1);
        cairo_rectangle(cr, x, r.top + r.height - 1, 1, 1);
    }
    for (int y = r.top; y < r.top + r.height; y += 2) {
        cairo_rectangle(cr, r.left, y, 1, 1);
        cairo_rectangle(cr, r.left + r.width - 1, y, 1, 1);
    }
    cairo_fill(cr);
}

// A small solid triangle pointing up or down, centred on (cx, cy): a scroll bar's arrow.
void arrow(cairo_t* cr, int cx, int cy, bool up) {
    setColour(cr, kBlack);
    for (int row = 0; row < 4; ++row) {
        const int half = up ? row : 3 - row;
        cairo_rectangle(cr, cx - half, cy - 2 + row, 2 * half + 1, 1);
    }
    cairo_fill(cr);
}

// The controls hold 8-bit text, Latin-1 above the ASCII range; cairo takes UTF-8. The buffer
// keeps its room between calls, so painting allocates nothing once the texts have been seen.
const char* utf8(const std::string& text, std::string& buffer,
                 std::size_t length = std::string::npos) {
    buffer.clear();
    length = std::min(length, text.size());
    for (std::size_t i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            buffer += static_cast<char>(c);
        } else {
            buffer += static_cast<char>(0xC0 | c >> 6);
            buffer += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return buffer.c_str();
}

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

double advance(const ScaledFont& font, const char* text) {
    cairo_text_extents_t extents;
    cairo_scaled_font_text_extents(font.font, text, &extents);
    return extents.x_advance;
}

void drawText(cairo_t* cr, const ScaledFont& font, int x, int top, const char* text, Colour c) {
    cairo_set_scaled_font(cr, font.font);
    setColour(cr, c);
    cairo_move_to(cr, x, top + font.ascent);
    cairo_show_text(cr, text);
}

// A picture's pixels as a cairo surface, converted once per window.
cairo_surface_t* surfaceOf(const Image& image) {
    if (image.empty()) return nullptr;
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, image.width, image.height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < image.height; ++y) {
        auto* row =
            reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        for (int x = 0; x < image.width; ++x)
            row[x] = image.pixel(x, y);
    }
    cairo_surface_mark_dirty(surface);
    return surface;
}

// The classic round radio button, 12 by 12, pixel by pixel: a sunken ring (o outside, i inside),
// dark at the top left and light at the bottom right, a white well (w) and, when checked, a
// black dot (d).
constexpr int kRadioSize = 12;
constexpr const char* kRadio[kRadioSize] = {
    "....oooo....", "..ooiiiioo..", ".oiiwwwwiio.", ".oiwwwwwwio.", "oiwwwddwwwio", "oiwwddddwwio",
    "oiwwddddwwio", "oiwwwddwwwio", ".oiwwwwwwio.", ".oiiwwwwiio.", "..ooiiiioo..", "....oooo...."};
// A held item shows its well grey, as the system's radio button does.
enum RadioState { kUnchecked, kChecked, kHeld, kHeldChecked };
cairo_surface_t* radioButton(RadioState state) {
    const bool checked = state == kChecked || state == kHeldChecked;
    const Colour well = state >= kHeld ? kFace : kWhite;
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kRadioSize, kRadioSize);
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < kRadioSize; ++y) {
        auto* row =
            reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        for (int x = 0; x < kRadioSize; ++x) {
            const bool upperLeft = x + y < kRadioSize - 1;
            Colour c = well;
            switch (kRadio[y][x]) {
            case '.': row[x] = 0; continue; // transparent
            case 'o': c = upperLeft ? kShadow : kHighlight; break;
            case 'i': c = upperLeft ? kDarkShadow : kLight; break;
            case 'd': c = checked ? kBlack : well; break;
            default: break;
            }
            row[x] = 0xFF000000u | c;
        }
    }
    cairo_surface_mark_dirty(surface);
    return surface;
}

// ---------------------------------------------------------------------------------------------
// X errors. Some hosts destroy their window before they close the editor, and ours goes with
// theirs; what we then ask of it fails. Those errors are expected and swallowed, and the window
// counts as lost; every other error goes to the handler the host installed. Xlib's handler is the
// process's, and the editors of two instances may run on two threads (some hosts give each
// plug-in's editor a thread of its own): the handler is ours while any thread is inside one of our
// calls, and the host's again once none is.

using ErrorHandler = int (*)(Display*, XErrorEvent*);
std::atomic<ErrorHandler> hostHandler{nullptr};
// The calls inside a trap on every thread, and the swaps of the handler that go with them. Taken
// on user-interface threads only, never on the audio thread, and never inside the handler.
std::mutex trapGuard;
int trapDepth = 0;

class FormPeer;
std::mutex registryGuard; // the live forms, for the error handler
std::vector<FormPeer*> liveForms;
bool aboutOurWindows(Display* display, const XErrorEvent& error);

int onXError(Display* display, XErrorEvent* error) {
    if (aboutOurWindows(display, *error)) return 0;
    const ErrorHandler host = hostHandler.load();
    return host != nullptr ? host(display, error) : 0;
}

class ErrorTrap {
  public:
    // Ours at every depth: a handler the host installed while another thread was inside a trap
    // becomes the one that other errors go on to.
    ErrorTrap() {
        const std::lock_guard<std::mutex> lock(trapGuard);
        ++trapDepth;
        const ErrorHandler previous = XSetErrorHandler(onXError);
        if (previous != onXError) hostHandler.store(previous);
    }
    // The last trap gives the host its handler back. One the host installed while we were
    // trapped stays in place, not the one it replaced.
    ~ErrorTrap() {
        const std::lock_guard<std::mutex> lock(trapGuard);
        if (--trapDepth > 0) return;
        const ErrorHandler current = XSetErrorHandler(hostHandler.load());
        if (current != onXError) XSetErrorHandler(current);
    }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;
};

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

// ---------------------------------------------------------------------------------------------
// Peers

class FormPeer;

// A drawn control: the form paints it, in its place, and passes it the user's pointer and keys.
// Coordinates are the form's.
class DrawnPeer : public Peer {
  public:
    DrawnPeer(FormPeer& form, Control& control) : form(form), control(control) {}
    void changed() override;
    virtual void draw(cairo_t* cr, const Rect& at) = 0;
    // Scroll bars, edits and buttons take the keyboard when clicked or reached by Tab.
    virtual bool takesFocus() const { return false; }
    virtual void press(int x, int y) { (void)x, (void)y; }
    virtual void drag(int x, int y) { (void)x, (void)y; }
    virtual void release(int x, int y) { (void)x, (void)y; }
    // The press was lost: another window took the pointer.
    virtual void cancel() {}
    virtual void key(KeySym key, char typed) { (void)key, (void)typed; }
    virtual void focusMoved(bool gained, bool byTab) { (void)gained, (void)byTab; }
    // Time passes: a held arrow repeats, the caret blinks.
    virtual void tick(Clock::time_point now) { (void)now; }

    FormPeer& form;
    Control& control;
    Rect shownAt; // where it was drawn last, to be drawn over when it moves or goes

  protected:
    void redraw();
    bool focused() const;
};

DrawnPeer& drawn(const Control& control) {
    return static_cast<DrawnPeer&>(*control.peer);
}

// The windowed control under a point of a container, as they lie: later ones above earlier
// ones, a panel's own above the panel. Null where only pictures, labels or nothing lie.
Control* windowedAt(const Control& container, int x, int y) {
    const auto& children = container.children();
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        Control& child = **it;
        if (!child.isWindowed() || !child.isVisible() || !child.bounds.contains(x, y)) continue;
        if (child.kind != Kind::Panel) return &child;
        Control* inner = windowedAt(child, x - child.bounds.left, y - child.bounds.top);
        return inner != nullptr ? inner : &child;
    }
    return nullptr;
}

// A container's pictures and labels in layout order, each above the ones before it, then its
// windowed controls above them all; only what meets the area is drawn.
void drawChildren(cairo_t* cr, const Control& container, const Rect& area) {
    for (const bool windowed : {false, true}) {
        for (const auto& child : container.children()) {
            if (child->isWindowed() != windowed || !child->isVisible() || !child->peer) continue;
            const Rect at = child->onForm();
            if (isEmpty(intersect(at, area))) continue;
            cairo_save(cr);
            cairo_rectangle(cr, at.left, at.top, at.width, at.height);
            cairo_clip(cr);
            drawn(*child).draw(cr, at);
            cairo_restore(cr);
        }
    }
}

class PicturePeer : public DrawnPeer {
  public:
    PicturePeer(FormPeer& form, Picture& picture)
        : DrawnPeer(form, picture), picture(picture), pixels(surfaceOf(picture.image)) {}
    ~PicturePeer() override {
        if (pixels != nullptr) cairo_surface_destroy(pixels);
    }
    // Stretched over the box, or unscaled at its top left, as the system draws them: nearest
    // pixels, no smoothing.
    void draw(cairo_t* cr, const Rect& at) override {
        if (pixels == nullptr) return;
        cairo_translate(cr, at.left, at.top);
        if (picture.stretch)
            cairo_scale(cr, static_cast<double>(at.width) / picture.image.width,
                        static_cast<double>(at.height) / picture.image.height);
        cairo_set_source_surface(cr, pixels, 0, 0);
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
        cairo_rectangle(cr, 0, 0, picture.image.width, picture.image.height);
        cairo_fill(cr);
    }
    Picture& picture;
    cairo_surface_t* pixels;
};

class LabelPeer : public DrawnPeer {
  public:
    LabelPeer(FormPeer& form, Label& label);
    void changed() override {
        measure();
        DrawnPeer::changed();
    }
    // Labels size themselves to their text in the font they are drawn with.
    void measure();
    // On an opaque background, in the label's colours.
    void draw(cairo_t* cr, const Rect& at) override;
    Label& label;
    const ScaledFont& font;
    std::string text;
};

class ScrollBarPeer : public DrawnPeer {
  public:
    ScrollBarPeer(FormPeer& form, ScrollBar& bar) : DrawnPeer(form, bar), bar(bar) {}
    enum class Part { Nowhere, Up, Down, TrackUp, TrackDown, Thumb };
    // The parts' extents down the bar, from its top: square arrows at the ends, the thumb as
    // long as the bar is wide (the page is 0), placed by the position in the track between.
    struct Geometry {
        int arrow, trackTop, trackLength, thumbTop, thumbLength;
    };
    Geometry geometry() const {
        const Rect& b = bar.bounds;
        Geometry g{};
        g.arrow = std::min(b.width, b.height / 2);
        g.trackTop = g.arrow;
        g.trackLength = b.height - 2 * g.arrow;
        g.thumbLength = std::min(b.width, g.trackLength);
        const int range = bar.max - bar.min;
        const int room = g.trackLength - g.thumbLength;
        g.thumbTop =
            g.trackTop + (range > 0 ? ((bar.position() - bar.min) * room + range / 2) / range : 0);
        return g;
    }
    Part partAt(int x, int y) const {
        const Rect at = bar.onForm();
        if (!at.contains(x, y)) return Part::Nowhere;
        const Geometry g = geometry();
        const int down = y - at.top;
        if (down < g.arrow) return Part::Up;
        if (down >= at.height - g.arrow) return Part::Down;
        if (down < g.thumbTop) return Part::TrackUp;
        if (down >= g.thumbTop + g.thumbLength) return Part::TrackDown;
        return Part::Thumb;
    }
    bool takesFocus() const override { return true; }
    void press(int x, int y) override {
        held = partAt(x, y);
        over = true;
        pointerX = x;
        pointerY = y;
        if (held == Part::Thumb) {
            grab = y - bar.onForm().top - geometry().thumbTop;
        } else {
            step();
            repeatAt = Clock::now() + kRepeatDelay;
        }
        redraw();
    }
    void drag(int x, int y) override {
        pointerX = x;
        pointerY = y;
        if (held == Part::Thumb) {
            const Geometry g = geometry();
            const int room = g.trackLength - g.thumbLength;
            const int range = bar.max - bar.min;
            if (room <= 0) return;
            const int offset = y - bar.onForm().top - grab - g.trackTop;
            bar.setPosition(bar.min + static_cast<int>(
                                          std::lround(static_cast<double>(offset) * range / room)));
            return;
        }
        const bool nowOver = partAt(x, y) == held;
        if (nowOver != over) {
            over = nowOver;
            redraw();
        }
    }
    void release(int, int) override { cancel(); }
    void cancel() override {
        held = Part::Nowhere;
        redraw();
    }
    // A held arrow, or the track, repeats; the track stops once the thumb reaches the pointer.
    void tick(Clock::time_point now) override {
        if (held == Part::Nowhere || held == Part::Thumb || now < repeatAt) return;
        repeatAt = now + kRepeatEvery;
        over = partAt(pointerX, pointerY) == held;
        if (over) step();
    }
    void key(KeySym key, char) override {
        switch (key) {
        case XK_Up:
        case XK_KP_Up:
        case XK_Left: scrollBar(bar, ScrollRequest::LineUp); break;
        case XK_Prior: scrollBar(bar, ScrollRequest::PageUp); break;
        case XK_Down:
        case XK_KP_Down:
        case XK_Right: scrollBar(bar, ScrollRequest::LineDown); break;
        case XK_Next: scrollBar(bar, ScrollRequest::PageDown); break;
        case XK_Home: scrollBar(bar, ScrollRequest::Top); break;
        case XK_End: scrollBar(bar, ScrollRequest::Bottom); break;
        default: break;
        }
    }
    void focusMoved(bool, bool) override { redraw(); }
    void draw(cairo_t* cr, const Rect& at) override;

    ScrollBar& bar;
    Part held = Part::Nowhere;
    bool over = false;
    int grab = 0, pointerX = 0, pointerY = 0;
    Clock::time_point repeatAt;

  private:
    void step() {
        if (held == Part::Up) scrollBar(bar, ScrollRequest::LineUp);
        if (held == Part::TrackUp) scrollBar(bar, ScrollRequest::PageUp);
        if (held == Part::Down) scrollBar(bar, ScrollRequest::LineDown);
        if (held == Part::TrackDown) scrollBar(bar, ScrollRequest::PageDown);
    }
};

class EditPeer : public DrawnPeer {
  public:
    EditPeer(FormPeer& form, Edit& edit);
    // Text set from code puts the caret at the start, as the system's edit does.
    void changed() override {
        if (edit.text() != shown) {
            shown = edit.text();
            caret = anchor = 0;
            scroll = 0;
        }
        DrawnPeer::changed();
    }
    bool takesFocus() const override { return true; }
    void press(int x, int) override {
        caret = anchor = indexAt(x);
        selecting = true;
        wake();
    }
    void drag(int x, int) override {
        if (!selecting) return;
        caret = indexAt(x);
        wake();
    }
    void release(int, int) override { selecting = false; }
    void cancel() override { selecting = false; }
    void key(KeySym key, char typed) override;
    // Reached by Tab, the text is selected, ready to be typed over.
    void focusMoved(bool gained, bool byTab) override {
        if (gained && byTab) {
            anchor = 0;
            caret = shown.size();
        }
        if (!gained) anchor = caret;
        wake();
    }
    void tick(Clock::time_point now) override {
        if (!focused() || now < blinkAt) return;
        caretOn = !caretOn;
        blinkAt = now + kCaretBlink;
        redraw();
    }
    void draw(cairo_t* cr, const Rect& at) override;

    Edit& edit;
    const ScaledFont& font;
    std::string shown; // the text as the user sees it
    std::size_t caret = 0, anchor = 0;
    int scroll = 0; // pixels of text scrolled out at the left
    bool selecting = false, caretOn = true;
    Clock::time_point blinkAt;
    std::string buffer;

  private:
    static constexpr int kMargin = 2;
    int widthOf(std::size_t length) {
        return static_cast<int>(std::lround(advance(font, utf8(shown, buffer, length))));
    }
    std::size_t indexAt(int x) {
        const int wanted = x - (edit.onForm().left + 1 + kMargin) + scroll;
        std::size_t best = 0;
        int bestDistance = std::abs(wanted);
        for (std::size_t i = 1; i <= shown.size(); ++i) {
            const int distance = std::abs(widthOf(i) - wanted);
            if (distance < bestDistance) best = i, bestDistance = distance;
        }
        return best;
    }
    // The caret shows at once after a change and stays in view.
    void wake() {
        caretOn = true;
        blinkAt = Clock::now() + kCaretBlink;
        const int room = edit.bounds.width - 2 - 2 * kMargin;
        const int at = widthOf(caret);
        if (at - scroll > room) scroll = at - room;
        if (at - scroll < 0) scroll = at;
        scroll = std::max(0, std::min(scroll, std::max(0, widthOf(shown.size()) - room)));
        redraw();
    }
    void erase(bool forward) {
        std::size_t from = std::min(caret, anchor), to = std::max(caret, anchor);
        if (from == to) {
            if (forward && to < shown.size()) ++to;
            if (!forward && from > 0) --from;
        }
        if (from == to) return;
        shown.erase(from, to - from);
        caret = anchor = from;
    }
    void commit() {
        edit.textEdited(shown);
        wake();
    }
};

class ButtonPeer : public DrawnPeer {
  public:
    ButtonPeer(FormPeer& form, Button& button);
    bool takesFocus() const override { return true; }
    void press(int, int) override {
        down = over = true;
        redraw();
    }
    void drag(int x, int y) override {
        const bool nowOver = button.onForm().contains(x, y);
        if (nowOver == over) return;
        over = nowOver;
        redraw();
    }
    // A click is a press and a release over the button.
    void release(int x, int y) override {
        const bool click = down && button.onForm().contains(x, y);
        cancel();
        if (click) button.press();
    }
    void cancel() override {
        down = over = false;
        redraw();
    }
    // Enter and Space press the focused button, as in a dialog.
    void key(KeySym key, char) override {
        if (key == XK_Return || key == XK_KP_Enter || key == XK_space) button.press();
    }
    void focusMoved(bool, bool) override { redraw(); }
    void draw(cairo_t* cr, const Rect& at) override;

    Button& button;
    const ScaledFont& font;
    bool down = false, over = false;
    std::string buffer;
};

class RadioGroupPeer : public DrawnPeer {
  public:
    RadioGroupPeer(FormPeer& form, RadioGroup& group);
    // An item's box on the form.
    Rect itemBox(int item) const {
        const Rect at = group.onForm();
        Rect box = radioItemBox(group, item);
        box.left += at.left;
        box.top += at.top;
        return box;
    }
    int itemAt(int x, int y) const {
        for (int i = 0; i < static_cast<int>(group.items.size()); ++i)
            if (itemBox(i).contains(x, y)) return i;
        return -1;
    }
    // An item is chosen when the button goes down and comes up on it.
    void press(int x, int y) override {
        pressedItem = itemAt(x, y);
        redraw();
    }
    void release(int x, int y) override {
        const int item = pressedItem;
        cancel();
        if (item >= 0 && item == itemAt(x, y)) group.setItemIndex(item);
    }
    void cancel() override {
        pressedItem = -1;
        redraw();
    }
    void draw(cairo_t* cr, const Rect& at) override;

    RadioGroup& group;
    const ScaledFont& font;
    int pressedItem = -1;
    std::string buffer;
};

class PanelPeer : public DrawnPeer {
  public:
    using DrawnPeer::DrawnPeer;
    void draw(cairo_t* cr, const Rect& at) override {
        fill(cr, at, control.colour);
        drawChildren(cr, control, at);
    }
};

// Read-only text: the lines, wrapped at the edge once the font is known.
class MemoPeer : public DrawnPeer {
  public:
    MemoPeer(FormPeer& form, Memo& memo);
    void draw(cairo_t* cr, const Rect& at) override;
    Memo& memo;
    const ScaledFont& font;
    std::vector<std::string> wrapped; // UTF-8

  private:
    static constexpr int kMargin = 3;
    void wrap();
};

// ---------------------------------------------------------------------------------------------
// The error message box: a small window of our own over the editor with the message and OK,
// transient for the host's window. The editor takes no input while it is up.

class MessageBox {
  public:
    MessageBox(FormPeer& owner, const std::string& text);
    ~MessageBox();
    MessageBox(const MessageBox&) = delete;
    MessageBox& operator=(const MessageBox&) = delete;
    // True when the event dismissed the box.
    bool handle(const XEvent& event);

    Window window = 0;

  private:
    void draw();
    Rect okButton() const { return {(width - 75) / 2, height - 12 - 23, 75, 23}; }

    FormPeer& owner;
    std::string message;
    int width = 0, height = 0, textWidth = 0;
    cairo_surface_t* picture = nullptr; // drawn off screen, as the form is
    std::unique_ptr<Blitter> screen;
    bool shown = false, down = false, over = false;
};

class FormPeer : public Peer {
  public:
    FormPeer(Form& form, Display* display, Window parent)
        : form(form), display(display), parent(parent) {
        const std::lock_guard<std::mutex> lock(registryGuard);
        liveForms.push_back(this);
    }
    ~FormPeer() override;

    // The window and what painting needs; false when the host's window does not exist.
    bool create();
    void showControls(Control& container);

    void paint() override;
    void showMessage(const std::string& text) override {
        pending.push_back(text);
        losePress();
    }
    bool lost() const override;
    void idle() override;
    void changed() override { invalidate(form.bounds); }

    void invalidate(const Rect& area) {
        dirty = unite(dirty, intersect(area, {0, 0, form.bounds.width, form.bounds.height}));
    }
    void hidden(DrawnPeer& peer) {
        if (tracking == &peer) losePress();
        if (focus == &peer) focus = nullptr;
    }
    bool hasFocus(const DrawnPeer& peer) const { return focus == &peer && keyboard; }
    // The window was destroyed with the host's, or never made.
    void markGone() { gone = true; }

    Form& form;
    Display* const display;
    const Window parent;
    Window window = 0;
    Visual* visual = nullptr;
    FontSet fonts;
    cairo_pattern_t* trackPattern = nullptr;        // the scroll bar track's dither
    cairo_pattern_t* pressedTrackPattern = nullptr; // and while it is held
    cairo_surface_t* radios[4] = {};                // by RadioState
    std::unique_ptr<MessageBox> box;
    Atom protocols = 0, deleteWindow = 0;
    bool gone = false;

  private:
    void dispatch(XEvent& event);
    void pointerDown(int x, int y, Time time);
    void pointerUp(int x, int y);
    void keyDown(XKeyEvent& event);
    void setFocus(DrawnPeer* peer, bool byTab, Time time);
    void moveFocus(bool backwards);
    void losePress();
    void showNextMessage();
    void messageDismissed();
    // Draws what changed into the off-screen picture and copies what needs it to the window.
    void flush();
    bool blocked() const { return box != nullptr || !pending.empty(); }

    cairo_surface_t* buffer = nullptr; // the off-screen picture of the whole form
    cairo_t* canvas = nullptr;
    std::unique_ptr<Blitter> screen; // copies it to the window
    Rect dirty;
    bool mapped = false;
    bool keyboard = false; // the window has the X input focus
    DrawnPeer* focus = nullptr;
    DrawnPeer* tracking = nullptr; // the control the pointer went down on
    bool formPressed = false;      // the pointer went down on a picture or label
    std::vector<Clock::time_point> lastTicks;
    std::deque<std::string> pending;
    // Set when the form is destroyed by a handler that runs from idle (a host that closes the
    // editor from its automation callback): idle then touches nothing more.
    bool* destroyed = nullptr;
};

bool aboutOurWindows(Display* display, const XErrorEvent& error) {
    const std::lock_guard<std::mutex> lock(registryGuard);
    for (FormPeer* form : liveForms) {
        if (form->display != display) continue;
        const XID id = error.resourceid;
        const bool window = id == form->window || id == form->parent;
        if (window && (error.error_code == BadWindow || error.error_code == BadDrawable))
            form->markGone();
        // Once the window is gone, what was made with it (its pixmap, its graphics context)
        // may fail too.
        return window || form->gone || (form->box != nullptr && id == form->box->window);
    }
    return false;
}

void DrawnPeer::changed() {
    const Rect now = control.isShowing() ? control.onForm() : Rect{};
    form.invalidate(shownAt);
    form.invalidate(now);
    shownAt = now;
    if (isEmpty(now)) form.hidden(*this);
}

void DrawnPeer::redraw() {
    form.invalidate(control.onForm());
}

bool DrawnPeer::focused() const {
    return form.hasFocus(*this);
}

// ---------------------------------------------------------------------------------------------
// Drawing each kind of control

LabelPeer::LabelPeer(FormPeer& form, Label& label)
    : DrawnPeer(form, label), label(label), font(form.fonts.get(label.font)) {
    measure();
}

void LabelPeer::measure() {
    fitLabelToText(label, [this](const std::string& content) {
        return TextSize{static_cast<int>(std::ceil(advance(font, utf8(content, text)))),
                        font.lineHeight};
    });
}

void LabelPeer::draw(cairo_t* cr, const Rect& at) {
    fill(cr, at, label.colour);
    drawText(cr, font, at.left, at.top, utf8(label.text(), text), label.textColour);
}

void ScrollBarPeer::draw(cairo_t* cr, const Rect& at) {
    const Geometry g = geometry();
    const Rect up{at.left, at.top, at.width, g.arrow};
    const Rect down{at.left, at.top + at.height - g.arrow, at.width, g.arrow};
    const Rect track{at.left, at.top + g.trackTop, at.width, g.trackLength};
    const Rect thumb{at.left, at.top + g.thumbTop, at.width, g.thumbLength};
    cairo_set_source(cr, form.trackPattern);
    cairo_rectangle(cr, track.left, track.top, track.width, track.height);
    cairo_fill(cr);
    // The held part of the track darkens while the pointer is over it.
    if (over && (held == Part::TrackUp || held == Part::TrackDown)) {
        const Rect part = held == Part::TrackUp
                              ? Rect{track.left, track.top, track.width, thumb.top - track.top}
                              : Rect{track.left, thumb.top + thumb.height, track.width,
                                     track.top + track.height - thumb.top - thumb.height};
        cairo_set_source(cr, form.pressedTrackPattern);
        cairo_rectangle(cr, part.left, part.top, part.width, part.height);
        cairo_fill(cr);
    }
    for (const bool isUp : {true, false}) {
        const Rect& button = isUp ? up : down;
        const bool pushed = over && held == (isUp ? Part::Up : Part::Down);
        if (pushed) {
            fill(cr, button, kFace);
            frame(cr, button, kShadow, kShadow);
        } else {
            raisedFace(cr, button);
        }
        const int shift = pushed ? 1 : 0;
        arrow(cr, button.left + (button.width - 1) / 2 + shift,
              button.top + button.height / 2 + shift, isUp);
    }
    if (g.thumbLength > 0 && g.trackLength > g.thumbLength) {
        raisedFace(cr, thumb);
        if (focused()) focusRect(cr, inset(thumb, 3));
    }
}

EditPeer::EditPeer(FormPeer& form, Edit& edit)
    : DrawnPeer(form, edit), edit(edit), font(form.fonts.get(edit.font)), shown(edit.text()) {}

void EditPeer::key(KeySym key, char typed) {
    switch (key) {
    // Keys that type no character pass no key filter.
    case XK_Left:
    case XK_KP_Left:
        if (caret > 0) --caret;
        anchor = caret;
        wake();
        return;
    case XK_Right:
    case XK_KP_Right:
        if (caret < shown.size()) ++caret;
        anchor = caret;
        wake();
        return;
    case XK_Home:
    case XK_KP_Home:
        caret = anchor = 0;
        wake();
        return;
    case XK_End:
    case XK_KP_End:
        caret = anchor = shown.size();
        wake();
        return;
    case XK_Delete:
    case XK_KP_Delete:
        if (edit.readOnly) return;
        erase(true);
        commit();
        return;
    default: break;
    }
    if (typed == 0) return;
    // Every typed character goes through the edit's key filter first; Backspace too.
    const char filtered = edit.filterKey(typed);
    if (filtered == 0 || edit.readOnly) return;
    if (filtered == '\b') {
        erase(false);
    } else if (static_cast<unsigned char>(filtered) >= 0x20 && filtered != 0x7F) {
        if (caret != anchor) erase(true); // what is selected is typed over
        shown.insert(caret, 1, filtered);
        anchor = ++caret;
    } else {
        return; // Enter, Escape and control characters do nothing in a single-line edit
    }
    commit();
}

void EditPeer::draw(cairo_t* cr, const Rect& at) {
    fill(cr, at, edit.colour);
    frame(cr, at, kBlack, kBlack);
    const Rect inside = inset(at, 1);
    cairo_rectangle(cr, inside.left, inside.top, inside.width, inside.height);
    cairo_clip(cr);
    const int x = inside.left + kMargin - scroll;
    const int top = inside.top + 1;
    drawText(cr, font, x, top, utf8(shown, buffer), edit.textColour);
    const bool hasKeyboard = focused();
    const std::size_t from = std::min(caret, anchor), to = std::max(caret, anchor);
    if (hasKeyboard && from != to) {
        const int left = x + widthOf(from), right = x + widthOf(to);
        const Rect selected{left, top, right - left, font.lineHeight};
        fill(cr, selected, kSelection);
        cairo_rectangle(cr, selected.left, selected.top, selected.width, selected.height);
        cairo_clip(cr);
        drawText(cr, font, x, top, utf8(shown, buffer), kWhite);
        cairo_reset_clip(cr);
    }
    if (hasKeyboard && from == to && caretOn)
        fill(cr, {x + widthOf(caret), top, 1, font.lineHeight}, kBlack);
}

ButtonPeer::ButtonPeer(FormPeer& form, Button& button)
    : DrawnPeer(form, button), button(button), font(form.fonts.get(button.font)) {}

void ButtonPeer::draw(cairo_t* cr, const Rect& at) {
    const bool pushed = down && over;
    const bool hasKeyboard = focused();
    // The button with the keyboard is the default one: a black frame round it.
    const Rect face = hasKeyboard || pushed ? inset(at, 1) : at;
    if (hasKeyboard || pushed) frame(cr, at, kBlack, kBlack);
    if (pushed) {
        fill(cr, face, kFace);
        frame(cr, face, kShadow, kShadow);
    } else {
        raisedFace(cr, face);
    }
    const char* caption = utf8(button.caption, buffer);
    const int width = static_cast<int>(std::lround(advance(font, caption)));
    const int shift = pushed ? 1 : 0;
    drawText(cr, font, at.left + (at.width - width) / 2 + shift,
             at.top + (at.height - font.lineHeight) / 2 + shift, caption, button.textColour);
    if (hasKeyboard) focusRect(cr, inset(at, 4));
}

RadioGroupPeer::RadioGroupPeer(FormPeer& form, RadioGroup& group)
    : DrawnPeer(form, group), group(group), font(form.fonts.get(group.font)) {}

void RadioGroupPeer::draw(cairo_t* cr, const Rect& at) {
    fill(cr, at, group.colour);
    // The etched frame, with the caption set into its top edge.
    const int frameTop = at.top + font.lineHeight / 2;
    const Rect outline{at.left, frameTop, at.width, at.top + at.height - frameTop};
    frame(cr, {outline.left, outline.top, outline.width - 1, outline.height - 1}, kShadow, kShadow);
    frame(cr, {outline.left + 1, outline.top + 1, outline.width - 1, outline.height - 1},
          kHighlight, kHighlight);
    fill(cr, {outline.left + 1, outline.top + 1, 1, 1}, kShadow);
    if (!group.caption.empty()) {
        const char* caption = utf8(group.caption, buffer);
        const int width = static_cast<int>(std::lround(advance(font, caption)));
        fill(cr, {at.left + 6, at.top, width + 4, font.lineHeight}, group.colour);
        drawText(cr, font, at.left + 8, at.top, caption, group.textColour);
    }
    for (int i = 0; i < static_cast<int>(group.items.size()); ++i) {
        const Rect box = itemBox(i);
        const int top = box.top + (box.height - kRadioSize) / 2;
        const int state = (i == group.itemIndex() ? kChecked : kUnchecked) +
                          (i == pressedItem ? kHeld : kUnchecked);
        cairo_set_source_surface(cr, form.radios[state], box.left, top);
        cairo_paint(cr);
        drawText(cr, font, box.left + kRadioSize + 4, box.top + (box.height - font.lineHeight) / 2,
                 utf8(group.items[i], buffer), group.textColour);
    }
}

MemoPeer::MemoPeer(FormPeer& form, Memo& memo)
    : DrawnPeer(form, memo), memo(memo), font(form.fonts.get(memo.font)) {
    wrap();
}

// Lines longer than the room break after the last blank that fits, or inside a word that is
// longer than a whole line.
void MemoPeer::wrap() {
    const double room = memo.bounds.width - (memo.border ? 2 : 0) - 2 * kMargin;
    std::string text;
    for (const std::string& line : memo.lines) {
        std::size_t start = 0;
        do {
            std::size_t end = line.size();
            while (end > start + 1 &&
                   advance(font, utf8(line.substr(start, end - start), text)) > room) {
                const std::size_t blank = line.rfind(' ', end - 2);
                end = blank != std::string::npos && blank >= start ? blank + 1 : end - 1;
            }
            wrapped.emplace_back(utf8(line.substr(start, end - start), text));
            start = end;
        } while (start < line.size());
    }
}

void MemoPeer::draw(cairo_t* cr, const Rect& at) {
    fill(cr, at, memo.colour);
    Rect inside = at;
    if (memo.border) {
        frame(cr, at, kBlack, kBlack);
        inside = inset(at, 1);
    }
    cairo_rectangle(cr, inside.left, inside.top, inside.width, inside.height);
    cairo_clip(cr);
    int top = inside.top + 1;
    for (const std::string& line : wrapped) {
        if (top >= inside.top + inside.height) break;
        drawText(cr, font, inside.left + kMargin, top, line.c_str(), memo.textColour);
        top += font.lineHeight;
    }
}

// ---------------------------------------------------------------------------------------------
// The form's window

// The host's top-level window that holds its window: the error box stays above it.
Window topLevelOf(Display* display, Window window) {
    Window root = 0, up = 0, current = window;
    for (;;) {
        Window* children = nullptr;
        unsigned count = 0;
        if (XQueryTree(display, current, &root, &up, &children, &count) == 0) return window;
        if (children != nullptr) XFree(children);
        if (up == root || up == 0) return current;
        current = up;
    }
}

bool FormPeer::create() {
    const ErrorTrap trap;
    XWindowAttributes host{};
    if (XGetWindowAttributes(display, parent, &host) == 0) return false;
    visual = host.visual;
    const int width = form.bounds.width, height = form.bounds.height;
    XSetWindowAttributes attributes{};
    attributes.event_mask = ButtonPressMask | ButtonReleaseMask | ButtonMotionMask | KeyPressMask |
                            FocusChangeMask | LeaveWindowMask | StructureNotifyMask;
    // No background until the first paint gives it the form's picture.
    attributes.background_pixmap = None;
    attributes.border_pixel = 0;
    attributes.colormap = host.colormap;
    window = XCreateWindow(display, parent, 0, 0, static_cast<unsigned>(width),
                           static_cast<unsigned>(height), 0, host.depth, InputOutput, visual,
                           CWEventMask | CWBackPixmap | CWBorderPixel | CWColormap, &attributes);
    XSync(display, False);
    if (gone || window == 0) return false;
    protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);

    buffer = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    canvas = cairo_create(buffer);
    screen = std::make_unique<Blitter>(display, window, visual, host.depth, buffer);
    // The scroll bar track: white and grey pixels in turn; held, grey and black.
    auto dither = [](Colour a, Colour b) {
        cairo_surface_t* tile = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 2, 2);
        cairo_surface_flush(tile);
        unsigned char* data = cairo_image_surface_get_data(tile);
        const int stride = cairo_image_surface_get_stride(tile);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 2; ++x)
                reinterpret_cast<std::uint32_t*>(data + y * stride)[x] = (x + y) % 2 ? b : a;
        cairo_surface_mark_dirty(tile);
        cairo_pattern_t* pattern = cairo_pattern_create_for_surface(tile);
        cairo_surface_destroy(tile);
        cairo_pattern_set_extend(pattern, CAIRO_EXTEND_REPEAT);
        cairo_pattern_set_filter(pattern, CAIRO_FILTER_NEAREST);
        return pattern;
    };
    trackPattern = dither(kHighlight, kFace);
    pressedTrackPattern = dither(kDarkShadow, kShadow);
    for (int state = kUnchecked; state <= kHeldChecked; ++state)
        radios[state] = radioButton(static_cast<RadioState>(state));
    lastTicks.assign(form.timers.size(), Clock::now());
    return cairo_status(canvas) == CAIRO_STATUS_SUCCESS;
}

void FormPeer::showControls(Control& container) {
    for (const auto& child : container.children()) {
        Control& control = *child;
        switch (control.kind) {
        case Kind::Picture:
            control.peer = std::make_unique<PicturePeer>(*this, static_cast<Picture&>(control));
            break;
        case Kind::Label:
            control.peer = std::make_unique<LabelPeer>(*this, static_cast<Label&>(control));
            break;
        case Kind::ScrollBar:
            control.peer = std::make_unique<ScrollBarPeer>(*this, static_cast<ScrollBar&>(control));
            break;
        case Kind::Edit:
            control.peer = std::make_unique<EditPeer>(*this, static_cast<Edit&>(control));
            break;
        case Kind::Button:
            control.peer = std::make_unique<ButtonPeer>(*this, static_cast<Button&>(control));
            break;
        case Kind::RadioGroup:
            control.peer =
                std::make_unique<RadioGroupPeer>(*this, static_cast<RadioGroup&>(control));
            break;
        case Kind::Memo:
            control.peer = std::make_unique<MemoPeer>(*this, static_cast<Memo&>(control));
            break;
        case Kind::Panel:
            control.peer = std::make_unique<PanelPeer>(*this, control);
            showControls(control);
            break;
        case Kind::Form: break;
        }
        if (control.peer && control.isShowing()) drawn(control).shownAt = control.onForm();
    }
}

// The controls' peers go first, while the fonts they draw with still exist; then what painting
// used; then the window and the connection.
void releasePeers(Control& container) {
    for (const auto& child : container.children()) {
        releasePeers(*child);
        child->peer.reset();
    }
}

FormPeer::~FormPeer() {
    if (destroyed != nullptr) *destroyed = true;
    const ErrorTrap trap;
    // Whether the host destroyed its window first is known before anything is released.
    if (window != 0) lost();
    box.reset();
    releasePeers(form);
    screen.reset();
    if (canvas != nullptr) cairo_destroy(canvas);
    if (buffer != nullptr) cairo_surface_destroy(buffer);
    if (trackPattern != nullptr) cairo_pattern_destroy(trackPattern);
    if (pressedTrackPattern != nullptr) cairo_pattern_destroy(pressedTrackPattern);
    for (cairo_surface_t* radio : radios)
        if (radio != nullptr) cairo_surface_destroy(radio);
    fonts.clear();
    if (window != 0 && !gone) XDestroyWindow(display, window);
    XCloseDisplay(display);
    const std::lock_guard<std::mutex> lock(registryGuard);
    liveForms.erase(std::find(liveForms.begin(), liveForms.end(), this));
}

// The form's window appears with its first paint, drawn once.
void FormPeer::paint() {
    if (gone) return;
    const ErrorTrap trap;
    invalidate(form.bounds);
    flush();
    if (!mapped) {
        // On screen when the host's open returns: the host may click or look at once.
        XMapWindow(display, window);
        mapped = true;
        XSync(display, False);
    }
}

bool FormPeer::lost() const {
    if (gone) return true;
    const ErrorTrap trap;
    XSync(display, False);
    XEvent event;
    if (XCheckTypedWindowEvent(display, window, DestroyNotify, &event) != 0)
        const_cast<FormPeer*>(this)->gone = true;
    return gone;
}

void FormPeer::idle() {
    if (gone) return;
    const ErrorTrap trap;
    bool formDestroyed = false;
    destroyed = &formDestroyed;
    while (!gone && XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        dispatch(event);
        if (formDestroyed) return;
        showNextMessage();
    }
    // Each timer ticks once when at least its interval has passed: a host that idles late gets
    // one refresh, not a burst.
    const Clock::time_point now = Clock::now();
    for (std::size_t i = 0; i < form.timers.size() && i < lastTicks.size(); ++i) {
        if (now - lastTicks[i] < std::chrono::milliseconds(form.timers[i]->interval)) continue;
        lastTicks[i] = now;
        form.timers[i]->tick();
        if (formDestroyed) return;
    }
    if (tracking != nullptr) tracking->tick(now);
    if (focus != nullptr && focus != tracking) focus->tick(now);
    if (formDestroyed) return;
    showNextMessage();
    flush();
    destroyed = nullptr;
}

void FormPeer::flush() {
    if (gone || isEmpty(dirty)) return;
    cairo_save(canvas);
    cairo_rectangle(canvas, dirty.left, dirty.top, dirty.width, dirty.height);
    cairo_clip(canvas);
    fill(canvas, form.bounds, form.colour);
    drawChildren(canvas, form, dirty);
    cairo_restore(canvas);
    screen->copy(dirty, mapped);
    dirty = {};
    XFlush(display);
}

void FormPeer::dispatch(XEvent& event) {
    if (box != nullptr && event.xany.window == box->window) {
        if (box->handle(event)) messageDismissed();
        return;
    }
    if (event.xany.window != window) return;
    switch (event.type) {
    case ButtonPress:
        // While the error box is up the editor takes no input, as under a modal box.
        if (event.xbutton.button == Button1 && !blocked())
            pointerDown(event.xbutton.x, event.xbutton.y, event.xbutton.time);
        break;
    case ButtonRelease:
        if (event.xbutton.button == Button1) pointerUp(event.xbutton.x, event.xbutton.y);
        break;
    case MotionNotify: {
        // Only the latest place of the pointer matters, up to the next event of another kind.
        XEvent next;
        while (XEventsQueued(display, QueuedAlready) > 0) {
            XPeekEvent(display, &next);
            if (next.type != MotionNotify || next.xany.window != window) break;
            XNextEvent(display, &event);
        }
        if (tracking != nullptr) tracking->drag(event.xmotion.x, event.xmotion.y);
        break;
    }
    case KeyPress:
        if (!blocked()) keyDown(event.xkey);
        break;
    case FocusIn:
    case FocusOut:
        if (event.xfocus.detail == NotifyPointer || event.xfocus.detail == NotifyInferior) break;
        keyboard = event.type == FocusIn;
        if (focus != nullptr) focus->focusMoved(keyboard, false);
        break;
    case LeaveNotify:
        // Another client grabbed the pointer (a menu, the window manager): the press is void.
        if (event.xcrossing.mode == NotifyGrab) losePress();
        break;
    case DestroyNotify:
        if (event.xdestroywindow.window == window) gone = true;
        break;
    case MappingNotify: XRefreshKeyboardMapping(&event.xmapping); break;
    default: break;
    }
}

void FormPeer::pointerDown(int x, int y, Time time) {
    if (tracking != nullptr || formPressed) return;
    Control* hit = windowedAt(form, x, y);
    if (hit != nullptr && hit->kind != Kind::Panel && hit->peer) {
        DrawnPeer& peer = drawn(*hit);
        if (peer.takesFocus()) setFocus(&peer, false, time);
        tracking = &peer;
        peer.press(x, y);
        return;
    }
    // Pictures and labels take a click when the button goes down and comes up over them.
    formPressed = true;
    form.pressAt(x, y);
}

void FormPeer::pointerUp(int x, int y) {
    if (tracking != nullptr) {
        DrawnPeer* peer = tracking;
        tracking = nullptr;
        peer->release(x, y);
    } else if (formPressed) {
        formPressed = false;
        form.releaseAt(x, y);
    }
}

void FormPeer::losePress() {
    if (tracking != nullptr) {
        DrawnPeer* peer = tracking;
        tracking = nullptr;
        peer->cancel();
    }
    if (formPressed) {
        formPressed = false;
        form.pressLost();
    }
}

// A click on a control that takes the keyboard takes it for the editor's window too; clicks
// elsewhere leave the host's keyboard shortcuts alone.
void FormPeer::setFocus(DrawnPeer* peer, bool byTab, Time time) {
    DrawnPeer* before = focus;
    focus = peer;
    if (!keyboard) {
        XSetInputFocus(display, window, RevertToParent, time);
        keyboard = true;
    }
    if (before != nullptr && before != peer) before->focusMoved(false, byTab);
    if (peer != nullptr) peer->focusMoved(true, byTab);
}

// Tab and Shift+Tab: the next showing slider, edit or button of the form in the layout's tab
// order, round at the ends.
void FormPeer::moveFocus(bool backwards) {
    if (Control* next = form.nextTabStop(focus != nullptr ? &focus->control : nullptr, backwards))
        setFocus(&drawn(*next), true, CurrentTime);
}

void FormPeer::keyDown(XKeyEvent& event) {
    char typed[8] = {};
    KeySym key = NoSymbol;
    const int length = XLookupString(&event, typed, sizeof typed, &key, nullptr);
    if (key == XK_Tab || key == XK_ISO_Left_Tab || key == XK_KP_Tab) {
        moveFocus(key == XK_ISO_Left_Tab || (event.state & ShiftMask) != 0);
        return;
    }
    if (focus == nullptr) return;
    focus->key(key, length == 1 ? typed[0] : '\0');
}

void FormPeer::showNextMessage() {
    if (box != nullptr || pending.empty() || gone) return;
    const std::string text = std::move(pending.front());
    pending.pop_front();
    box = std::make_unique<MessageBox>(*this, text);
}

void FormPeer::messageDismissed() {
    box.reset();
    showNextMessage();
    if (box != nullptr || focus == nullptr) return;
    // The keyboard comes back to the control that had it, if the editor is still on screen.
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, window, &attributes) != 0 &&
        attributes.map_state == IsViewable) {
        XSetInputFocus(display, window, RevertToParent, CurrentTime);
        keyboard = true;
        focus->focusMoved(true, false);
    }
}

// ---------------------------------------------------------------------------------------------
// The error box

MessageBox::MessageBox(FormPeer& owner, const std::string& text) : owner(owner), message(text) {
    Display* display = owner.display;
    const ScaledFont& font = owner.fonts.get(Font{});
    std::string buffer;
    textWidth = static_cast<int>(std::ceil(advance(font, utf8(message, buffer))));
    // Margins, a 32-pixel icon beside the text, and OK centred below.
    width = std::max(12 + 32 + 12 + textWidth + 16, 75 + 24);
    height = 12 + std::max(32, font.lineHeight) + 14 + 23 + 12;
    const int screenNumber = DefaultScreen(display);
    const Window root = RootWindow(display, screenNumber);
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(display, owner.window, root, 0, 0, &x, &y, &child);
    x += (owner.form.bounds.width - width) / 2;
    y += (owner.form.bounds.height - height) / 2;
    XSetWindowAttributes attributes{};
    attributes.event_mask =
        ButtonPressMask | ButtonReleaseMask | ButtonMotionMask | KeyPressMask | StructureNotifyMask;
    attributes.background_pixmap = None;
    window = XCreateWindow(display, root, x, y, static_cast<unsigned>(width),
                           static_cast<unsigned>(height), 0, CopyFromParent, InputOutput,
                           CopyFromParent, CWEventMask | CWBackPixmap, &attributes);
    // As a window manager sees a dialog: titled, fixed in size, above the host's window, closed
    // by its close button.
    const std::string title = applicationTitle(
        program_invocation_short_name != nullptr ? program_invocation_short_name : "",
        ProgramNames::Posix);
    XStoreName(display, window, title.c_str());
    XSetTransientForHint(display, window, topLevelOf(display, owner.parent));
    XSizeHints* size = XAllocSizeHints();
    size->flags = PPosition | PSize | PMinSize | PMaxSize;
    size->x = x;
    size->y = y;
    size->width = size->min_width = size->max_width = width;
    size->height = size->min_height = size->max_height = height;
    XSetWMNormalHints(display, window, size);
    XFree(size);
    XWMHints* hints = XAllocWMHints();
    hints->flags = InputHint;
    hints->input = True;
    XSetWMHints(display, window, hints);
    XFree(hints);
    Atom deleteWindow = owner.deleteWindow;
    XSetWMProtocols(display, window, &deleteWindow, 1);
    const Atom type = XInternAtom(display, "_NET_WM_WINDOW_TYPE", False);
    const Atom dialog = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DIALOG", False);
    XChangeProperty(display, window, type, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&dialog), 1);
    const Atom state = XInternAtom(display, "_NET_WM_STATE", False);
    const Atom modal = XInternAtom(display, "_NET_WM_STATE_MODAL", False);
    XChangeProperty(display, window, state, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&modal), 1);
    // The message as text, for screen readers and programs that cannot read pixels.
    const Atom readable = XInternAtom(display, "_MESSAGE_TEXT", False);
    XChangeProperty(display, window, readable, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(message.data()),
                    static_cast<int>(message.size()));
    picture = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    screen = std::make_unique<Blitter>(display, window, DefaultVisual(display, screenNumber),
                                       DefaultDepth(display, screenNumber), picture);
    draw();
    XMapRaised(display, window);
    shown = true;
}

MessageBox::~MessageBox() {
    screen.reset();
    cairo_surface_destroy(picture);
    XDestroyWindow(owner.display, window);
    XFlush(owner.display);
}

bool MessageBox::handle(const XEvent& event) {
    const Rect ok = okButton();
    switch (event.type) {
    case MapNotify:
        // The box has the keyboard, so Enter and Escape answer it.
        XSetInputFocus(owner.display, window, RevertToParent, CurrentTime);
        return false;
    case ButtonPress:
        if (event.xbutton.button != Button1) return false;
        down = over = ok.contains(event.xbutton.x, event.xbutton.y);
        draw();
        return false;
    case MotionNotify:
        if (down && over != ok.contains(event.xmotion.x, event.xmotion.y)) {
            over = !over;
            draw();
        }
        return false;
    case ButtonRelease: {
        if (event.xbutton.button != Button1) return false;
        const bool click = down && ok.contains(event.xbutton.x, event.xbutton.y);
        down = over = false;
        draw();
        return click;
    }
    case KeyPress: {
        XKeyEvent copy = event.xkey;
        KeySym key = NoSymbol;
        char typed[8];
        XLookupString(&copy, typed, sizeof typed, &key, nullptr);
        return key == XK_Return || key == XK_KP_Enter || key == XK_Escape || key == XK_space;
    }
    case ClientMessage:
        return event.xclient.message_type == owner.protocols &&
               static_cast<Atom>(event.xclient.data.l[0]) == owner.deleteWindow;
    default: return false;
    }
}

void MessageBox::draw() {
    cairo_t* cr = cairo_create(picture);
    fill(cr, {0, 0, width, height}, kFace);
    // The error icon: a red disc with a white cross.
    const double cx = 12 + 16, cy = 12 + 16;
    cairo_arc(cr, cx, cy, 15, 0, 2 * M_PI);
    setColour(cr, 0xFF0000);
    cairo_fill_preserve(cr);
    setColour(cr, 0x800000);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    setColour(cr, kWhite);
    cairo_set_line_width(cr, 3.5);
    cairo_move_to(cr, cx - 7, cy - 7);
    cairo_line_to(cr, cx + 7, cy + 7);
    cairo_move_to(cr, cx + 7, cy - 7);
    cairo_line_to(cr, cx - 7, cy + 7);
    cairo_stroke(cr);
    const ScaledFont& font = owner.fonts.get(Font{});
    std::string buffer;
    drawText(cr, font, 12 + 32 + 12, 12 + (32 - font.lineHeight) / 2, utf8(message, buffer),
             kBlack);
    // OK: the default button, with the keyboard.
    const Rect ok = okButton();
    const bool pushed = down && over;
    frame(cr, ok, kBlack, kBlack);
    if (pushed) {
        fill(cr, inset(ok, 1), kFace);
        frame(cr, inset(ok, 1), kShadow, kShadow);
    } else {
        raisedFace(cr, inset(ok, 1));
    }
    const int captionWidth = static_cast<int>(std::lround(advance(font, "OK")));
    const int shift = pushed ? 1 : 0;
    drawText(cr, font, ok.left + (ok.width - captionWidth) / 2 + shift,
             ok.top + (ok.height - font.lineHeight) / 2 + shift, "OK", kBlack);
    focusRect(cr, inset(ok, 4));
    cairo_destroy(cr);
    screen->copy({0, 0, width, height}, shown);
}

} // namespace

bool backend::nativeWindows() {
    return true;
}

bool backend::show(Form& form, void* parentWindow) {
    // A connection of the editor's own: the host's is not ours to read events from.
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return false;
    auto peer = std::make_unique<FormPeer>(
        form, display, static_cast<Window>(reinterpret_cast<std::uintptr_t>(parentWindow)));
    if (!peer->create()) return false;
    FormPeer& shown = *peer;
    form.peer = std::move(peer);
    shown.showControls(form);
    return true;
}

} // namespace framework
