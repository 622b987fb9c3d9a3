// The X11 backend's scroll bar: a vertical bar drawn as the classic one, with arrows that
// repeat while held, a track and a thumb that can be dragged, and the arrow keys.
#include <cmath>

#include "Peers.h"

namespace framework::x11 {

namespace {

// The repeat of a held scroll arrow, as the classic controls time it.
constexpr auto kRepeatDelay = std::chrono::milliseconds(400);
constexpr auto kRepeatEvery = std::chrono::milliseconds(50);

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

} // namespace

std::unique_ptr<DrawnPeer> scrollBarPeer(FormPeer& form, ScrollBar& bar) {
    return std::make_unique<ScrollBarPeer>(form, bar);
}

} // namespace framework::x11
