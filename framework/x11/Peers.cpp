// The X11 backend's drawn controls: the base every peer shares, and the pictures, labels,
// buttons, radio groups, panels and memos (the scroll bar and the edit have files of their own).
#include <cmath>

#include "Peers.h"

namespace framework::x11 {

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

namespace {

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

} // namespace

std::unique_ptr<DrawnPeer> peerFor(FormPeer& form, Control& control) {
    switch (control.kind) {
    case Kind::Picture: return std::make_unique<PicturePeer>(form, static_cast<Picture&>(control));
    case Kind::Label: return std::make_unique<LabelPeer>(form, static_cast<Label&>(control));
    case Kind::ScrollBar: return scrollBarPeer(form, static_cast<ScrollBar&>(control));
    case Kind::Edit: return editPeer(form, static_cast<Edit&>(control));
    case Kind::Button: return std::make_unique<ButtonPeer>(form, static_cast<Button&>(control));
    case Kind::RadioGroup:
        return std::make_unique<RadioGroupPeer>(form, static_cast<RadioGroup&>(control));
    case Kind::Memo: return std::make_unique<MemoPeer>(form, static_cast<Memo&>(control));
    case Kind::Panel: return std::make_unique<PanelPeer>(form, control);
    case Kind::Form: break;
    }
    return nullptr;
}

} // namespace framework::x11
