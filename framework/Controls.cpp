#include "Controls.h"

#include <algorithm>
#include <utility>

namespace framework {

Control::Control(Kind kind, std::string name) : kind(kind), name(std::move(name)) {}

Control::~Control() = default;

Control& Control::adopt(std::unique_ptr<Control> child) {
    child->owner = this;
    owned.push_back(std::move(child));
    return *owned.back();
}

void Control::setVisible(bool shown) {
    if (shown == visible) return;
    visible = shown;
    notifyPeer();
}

bool Control::isShowing() const {
    for (const Control* c = this; c != nullptr; c = c->owner)
        if (!c->visible) return false;
    return true;
}

bool Control::isWindowed() const {
    return kind != Kind::Picture && kind != Kind::Label && kind != Kind::Form;
}

Rect Control::onForm() const {
    Rect rect = bounds;
    for (const Control* c = owner; c != nullptr && c->kind != Kind::Form; c = c->owner) {
        rect.left += c->bounds.left;
        rect.top += c->bounds.top;
    }
    return rect;
}

void ScrollBar::setPosition(int value) {
    value = std::clamp(value, min, max);
    if (value == current) return;
    current = value;
    notifyPeer();
    if (onChange) onChange(*this);
}

void Edit::setText(std::string value) {
    content = std::move(value);
    notifyPeer();
}

char Edit::filterKey(char key) {
    if (onKeyPress) onKeyPress(*this, key);
    return key;
}

void Edit::type(char key) {
    key = filterKey(key);
    if (key == 0 || readOnly) return;
    if (key == '\b') {
        if (!content.empty()) content.pop_back();
    } else {
        content += key;
    }
}

void RadioGroup::setItemIndex(int index) {
    if (index < 0 || index >= static_cast<int>(items.size()) || index == selected) return;
    selected = index;
    notifyPeer();
    if (onSelect) onSelect(*this);
}

void Label::setText(std::string value) {
    content = std::move(value);
    notifyPeer();
}

Form::~Form() {
    peer.reset();
}

namespace {

// Depth first, without a list of its own: the editor looks controls up on every idle call.
Control* findIn(const Control& control, const std::string& wanted) {
    if (control.name == wanted) return const_cast<Control*>(&control);
    for (const auto& child : control.children())
        if (Control* found = findIn(*child, wanted)) return found;
    return nullptr;
}

} // namespace

Control* Form::nextTabStop(const Control* from, bool backwards) const {
    std::vector<Control*> stops;
    for (const auto& child : children()) {
        const Kind kind = child->kind;
        if (child->tabOrder >= 0 && child->isShowing() && child->peer &&
            (kind == Kind::ScrollBar || kind == Kind::Edit || kind == Kind::Button))
            stops.push_back(child.get());
    }
    std::stable_sort(stops.begin(), stops.end(),
                     [](const Control* a, const Control* b) { return a->tabOrder < b->tabOrder; });
    if (stops.empty()) return nullptr;
    const auto at = std::find(stops.begin(), stops.end(), from);
    std::size_t next = 0;
    if (at != stops.end()) {
        const auto here = static_cast<std::size_t>(at - stops.begin());
        next = backwards ? (here + stops.size() - 1) % stops.size() : (here + 1) % stops.size();
    } else if (backwards) {
        next = stops.size() - 1;
    }
    return stops[next];
}

Control* Form::find(const std::string& wanted) const {
    return findIn(*this, wanted);
}

namespace {

// The click's target within one container, whose coordinates x and y are relative to.
Control* clickTarget(const Control& container, int x, int y) {
    const auto& children = container.children();
    // Windowed controls lie above every picture and label; later ones above earlier ones.
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        const Control& child = **it;
        if (child.isWindowed() && child.isVisible() && child.bounds.contains(x, y))
            return child.kind == Kind::Panel
                       ? clickTarget(child, x - child.bounds.left, y - child.bounds.top)
                       : nullptr;
    }
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        Control& child = **it;
        if (!child.isWindowed() && child.isVisible() && child.bounds.contains(x, y)) return &child;
    }
    return nullptr;
}

} // namespace

void Form::clickAt(int x, int y) {
    pressAt(x, y);
    releaseAt(x, y);
}

void Form::pressAt(int x, int y) {
    pressed = clickTarget(*this, x, y);
}

void Form::releaseAt(int x, int y) {
    Control* target = std::exchange(pressed, nullptr);
    if (target == nullptr || target != clickTarget(*this, x, y)) return;
    if (target->onClick) target->onClick(*target);
}

void Form::showError(const std::string& text) {
    messagesShown.push_back(text);
    if (peer) peer->showMessage(text);
}

} // namespace framework
