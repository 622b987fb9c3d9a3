#include "Painting.h"

#include <algorithm>
#include <cmath>

namespace framework::x11 {

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

void frame(cairo_t* cr, const Rect& r, Colour topLeft, Colour bottomRight) {
    fill(cr, {r.left, r.top, r.width - 1, 1}, topLeft);
    fill(cr, {r.left, r.top, 1, r.height - 1}, topLeft);
    fill(cr, {r.left, r.top + r.height - 1, r.width, 1}, bottomRight);
    fill(cr, {r.left + r.width - 1, r.top, 1, r.height}, bottomRight);
}

void raisedFace(cairo_t* cr, const Rect& r) {
    fill(cr, r, kFace);
    frame(cr, r, kLight, kDarkShadow);
    frame(cr, inset(r, 1), kHighlight, kShadow);
}

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

void arrow(cairo_t* cr, int cx, int cy, bool up) {
    setColour(cr, kBlack);
    for (int row = 0; row < 4; ++row) {
        const int half = up ? row : 3 - row;
        cairo_rectangle(cr, cx - half, cy - 2 + row, 2 * half + 1, 1);
    }
    cairo_fill(cr);
}

const char* utf8(const std::string& text, std::string& buffer, std::size_t length) {
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

cairo_pattern_t* dither(Colour a, Colour b) {
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
}

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
constexpr const char* kRadio[kRadioSize] = {
    "....oooo....", "..ooiiiioo..", ".oiiwwwwiio.", ".oiwwwwwwio.", "oiwwwddwwwio", "oiwwddddwwio",
    "oiwwddddwwio", "oiwwwddwwwio", ".oiwwwwwwio.", ".oiiwwwwiio.", "..ooiiiioo..", "....oooo...."};
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

} // namespace framework::x11
