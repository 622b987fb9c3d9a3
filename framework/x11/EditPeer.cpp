// The X11 backend's single-line edit: a caret that blinks, a selection, the keys that move
// the caret, and typing through the edit's key filter.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "Peers.h"

namespace framework::x11 {

namespace {

// The caret's blink, as the classic controls time it.
constexpr auto kCaretBlink = std::chrono::milliseconds(530);

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

} // namespace

std::unique_ptr<DrawnPeer> editPeer(FormPeer& form, Edit& edit) {
    return std::make_unique<EditPeer>(form, edit);
}

} // namespace framework::x11
