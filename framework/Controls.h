// The windowing framework's controls: forms, scroll bars, edits with a key filter, push buttons,
// radio groups, labels, pictures, panels, read-only multi-line text and timers.
//
// The controls keep their whole state themselves and behave like the classic visual component
// libraries: setting a position, a selection or a text from code fires the change handler as a
// user's change does, and only when the value changes. A backend shows them (the contract is in
// Platform.h): the headless one (framework/headless) keeps nothing more and offers tests the
// user's actions; a native one (framework/win32, framework/x11) gives each control a peer that
// mirrors it onto a real window and turns the user's actions on that window into the same calls
// the tests make.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Image.h"
#include "Platform.h"

namespace framework {

struct Rect {
    int left = 0, top = 0, width = 0, height = 0;
    bool contains(int x, int y) const {
        return x >= left && y >= top && x < left + width && y < top + height;
    }
};

using Colour = std::uint32_t; // 0xRRGGBB

constexpr Colour kBlack = 0x000000;
constexpr Colour kWhite = 0xFFFFFF;
constexpr Colour kSilver = 0xC0C0C0;
constexpr Colour kGrey = 0x808080;

struct Font {
    std::string name = "MS Sans Serif";
    int height = 11; // pixels
    bool bold = false;
};

enum class Kind { Form, Picture, Label, ScrollBar, Edit, Button, RadioGroup, Panel, Memo };

class Control {
  public:
    Control(Kind kind, std::string name);
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const Kind kind;
    const std::string name;
    Rect bounds;
    int tag = 0;
    int tabOrder = -1;
    Colour colour = kSilver;
    Colour textColour = kBlack;
    Font font;

    Control* parent() const { return owner; }
    const std::vector<std::unique_ptr<Control>>& children() const { return owned; }
    Control& adopt(std::unique_ptr<Control> child);

    bool isVisible() const { return visible; }
    void setVisible(bool shown);
    // Visible itself and inside visible parents.
    bool isShowing() const;
    // Scroll bars, edits, groups, buttons and panels are windows of their own and lie above
    // every picture and label of their parent.
    bool isWindowed() const;
    // The control's rectangle in the coordinates of the form.
    Rect onForm() const;

    // Clicks on labels and pictures.
    std::function<void(Control&)> onClick;

    // Set by a native backend while the control is shown on screen.
    std::unique_ptr<Peer> peer;

  protected:
    void notifyPeer() {
        if (peer) peer->changed();
    }

  private:
    Control* owner = nullptr;
    std::vector<std::unique_ptr<Control>> owned;
    bool visible = true;
};

class ScrollBar : public Control {
  public:
    explicit ScrollBar(std::string name) : Control(Kind::ScrollBar, std::move(name)) {}
    int min = 0, max = 100;
    int position() const { return current; }
    // Clamps to the range; fires onChange when the position changes.
    void setPosition(int value);
    std::function<void(ScrollBar&)> onChange;

  private:
    int current = 0;
};

class Edit : public Control {
  public:
    explicit Edit(std::string name) : Control(Kind::Edit, std::move(name)) {}
    bool readOnly = false;
    const std::string& text() const { return content; }
    void setText(std::string value);
    // Sees each typed character first; setting it to 0 discards it.
    std::function<void(Edit&, char&)> onKeyPress;
    // A character typed by the user, through the key filter. Backspace (8) removes the last
    // character; other characters are appended.
    void type(char key);
    // For a native backend: the key filter alone, and the text the user's edit now shows.
    char filterKey(char key);
    void textEdited(std::string value) { content = std::move(value); }

  private:
    std::string content;
};

class Button : public Control {
  public:
    explicit Button(std::string name) : Control(Kind::Button, std::move(name)) {}
    std::string caption;
    std::function<void(Button&)> onPress;
    void press() {
        if (onPress) onPress(*this);
    }
};

class RadioGroup : public Control {
  public:
    explicit RadioGroup(std::string name) : Control(Kind::RadioGroup, std::move(name)) {}
    std::string caption;
    std::vector<std::string> items;
    int itemIndex() const { return selected; }
    // Fires onSelect when the selection changes; out-of-range indices are ignored.
    void setItemIndex(int index);
    std::function<void(RadioGroup&)> onSelect;

  private:
    int selected = -1;
};

class Label : public Control {
  public:
    explicit Label(std::string name) : Control(Kind::Label, std::move(name)) {}
    const std::string& text() const { return content; }
    void setText(std::string value);
    // Labels draw their text on an opaque background and size themselves to it: the layout
    // holds the sizes measured with the design font, a native backend measures again.
    bool autoSize = true;

  private:
    std::string content;
};

class Picture : public Control {
  public:
    explicit Picture(std::string name) : Control(Kind::Picture, std::move(name)) {}
    Image image;
    bool stretch = false; // stretched over the box, or drawn unscaled at its top left
};

class Panel : public Control {
  public:
    explicit Panel(std::string name) : Control(Kind::Panel, std::move(name)) {}
};

class Memo : public Control {
  public:
    explicit Memo(std::string name) : Control(Kind::Memo, std::move(name)) {}
    std::vector<std::string> lines;
    bool readOnly = true;
    bool border = false;
};

class Timer {
  public:
    int interval = 100; // milliseconds
    bool enabled = false;
    std::function<void()> onTimer;
    // One tick: the handler runs if the timer is enabled.
    void tick() {
        if (enabled && onTimer) onTimer();
    }
};

class Form : public Control {
  public:
    explicit Form(std::string name) : Control(Kind::Form, std::move(name)) {}
    // The native windows go first, before any control they mirror.
    ~Form() override;

    // The control of that name anywhere on the form, or null.
    Control* find(const std::string& name) const;
    template <typename T> T& get(const std::string& name) const {
        return static_cast<T&>(*find(name));
    }

    // A click at a point of the form: it goes to the topmost showing picture or label under
    // the pointer, unless a showing windowed control lies there.
    void clickAt(int x, int y);
    // A click as the mouse makes it: the button goes down at one point and up at another. It
    // clicks only when both land on the same picture or label, so a press on Stop released
    // over Play presses nothing. A press the pointer lost (another window took the mouse)
    // clicks nothing.
    void pressAt(int x, int y);
    void releaseAt(int x, int y);
    void pressLost() { pressed = nullptr; }

    // Tab and Shift+Tab: the showing slider, edit or button after (or before) `from` in the
    // layout's tab order, round at the ends; from none, the first (or last). Null when there
    // is none. Only controls a backend shows (with a peer) count.
    Control* nextTabStop(const Control* from, bool backwards) const;

    // A modal error message box, as the framework shows it to the user. Every one is also kept
    // in a record, for the tests.
    void showError(const std::string& text);
    std::vector<std::string> messagesShown;

    // Timers that run while the form is shown; a native backend ticks them.
    void addTimer(Timer& timer) { timers.push_back(&timer); }
    std::vector<Timer*> timers;

    // Has the form paint itself at once; a native form appears on screen with its first paint.
    void paintNow() {
        if (peer) peer->paint();
    }
    // The host's idle call: a backend without a message loop handles its window's events, ticks
    // the timers and paints here. It may run any handler; nothing of the form is to be touched
    // after it, since a handler may have closed the editor.
    void handleEvents() {
        if (peer) peer->idle();
    }
    // True when the form was shown in a host's window that no longer exists: some hosts
    // destroy their window without closing the editor first.
    bool windowLost() const { return peer && peer->lost(); }

  private:
    Control* pressed = nullptr; // the picture or label the mouse button went down on
};

} // namespace framework
