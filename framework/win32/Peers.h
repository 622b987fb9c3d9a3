// The Win32 backend's peers. Scroll bars, edits, the push button, radio groups, panels and memos
// are real child windows, each with a peer that mirrors the control onto it and turns what the
// window tells into the control's calls; pictures and labels are painted by the form or panel
// they lie on (GraphicPeer).
#pragma once

#include <windows.h>

#include <atomic>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "Painting.h"
#include "framework/Controls.h"

namespace framework::win32 {

LRESULT CALLBACK containerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK controlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK groupFrameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// The system's procedure of the BUTTON class, the same for every thread that shows a form.
extern std::atomic<WNDPROC> buttonProc;

// A control shown as a window of its own. The window's user data points back at the peer, so
// a handle that is gone (the host destroyed its window first) or taken by another window is
// never used.
class WindowPeer : public Peer {
  public:
    explicit WindowPeer(Control& control)
        : control(control), brush(CreateSolidBrush(toColorRef(control.colour))) {}
    ~WindowPeer() override {
        if (alive()) SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        DeleteObject(brush);
    }

    bool alive() const {
        return hwnd != nullptr && IsWindow(hwnd) &&
               GetWindowLongPtrA(hwnd, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(this);
    }
    static WindowPeer* of(HWND hwnd) {
        return hwnd == nullptr
                   ? nullptr
                   : reinterpret_cast<WindowPeer*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    }
    void attach(HWND window) {
        hwnd = window;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        useFont(hwnd, control.font);
    }
    // A standard control's window handles its keys through controlProc first.
    void subclass() {
        original = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(controlProc)));
    }

    void changed() override {
        if (!alive()) return;
        const bool shown = control.isVisible();
        if (shown != ((GetWindowLongA(hwnd, GWL_STYLE) & WS_VISIBLE) != 0))
            ShowWindow(hwnd, shown ? SW_SHOWNA : SW_HIDE);
        mirror();
    }
    // Brings the window's own state (position, text, checks) in line with the control.
    virtual void mirror() {}
    // A message to the control's own window: one of our class, or a standard control's before
    // its own procedure sees it (which then sees wParam as left here). True, with the result,
    // when handled here. Each kind of control answers for itself; a new kind adds a peer.
    virtual bool handle(UINT message, WPARAM& wParam, LPARAM lParam, LRESULT& result) {
        (void)message, (void)wParam, (void)lParam, (void)result;
        return false;
    }
    // What the control's window told its parent: the notification code of WM_COMMAND, or the
    // request of WM_VSCROLL with the thumb's position.
    virtual void notified(int code, int thumb) { (void)code, (void)thumb; }

    Control& control;
    HWND hwnd = nullptr;
    HBRUSH brush;
    // Set while the window is changed from code, so its notifications are not taken as the
    // user's.
    bool settingFromCode = false;
    // The standard control's own window procedure, for a subclassed control.
    WNDPROC original = nullptr;
};

class ContainerPeer;

// A control without a window (a picture or a label): the form or panel it lies on draws it,
// below every child window, in layout order, from what the peer made ready once.
class GraphicPeer : public Peer {
  public:
    GraphicPeer(Control& control, ContainerPeer& container)
        : control(control), container(container), shownAt(control.bounds) {}
    void changed() override;
    // Draws the control into the container's off-screen canvas.
    virtual void draw() const = 0;
    Control& control;
    ContainerPeer& container;
    Rect shownAt; // the rectangle painted last, to be cleared when a label's size changes
};

// A standard control (scroll bar, edit, button) whose keys the editor handles first: Tab and
// Shift+Tab move the focus inside the editor, whether or not the host's message loop calls
// IsDialogMessage; a host that does would otherwise take Tab for its own dialog, and Enter or
// Escape typed in an edit as its OK or Cancel.
class ControlPeer : public WindowPeer {
  public:
    using WindowPeer::WindowPeer;
    bool handle(UINT message, WPARAM& wParam, LPARAM lParam, LRESULT& result) override;
};

class ScrollBarPeer : public ControlPeer {
  public:
    explicit ScrollBarPeer(ScrollBar& bar) : ControlPeer(bar), bar(bar) {}
    void mirror() override {
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
        info.nMin = bar.min;
        info.nMax = bar.max;
        info.nPage = 0;
        info.nPos = bar.position();
        SetScrollInfo(hwnd, SB_CTL, &info, TRUE);
    }
    void notified(int request, int thumb) override;
    ScrollBar& bar;
};

std::string textOf(HWND hwnd);
// Writes a text into a window unless it shows it already; the window's change notification
// is not taken as the user's.
void setTextOf(WindowPeer& peer, const std::string& text);

class EditPeer : public ControlPeer {
  public:
    explicit EditPeer(Edit& edit) : ControlPeer(edit), edit(edit) {}
    void mirror() override { setTextOf(*this, edit.text()); }
    bool handle(UINT message, WPARAM& wParam, LPARAM lParam, LRESULT& result) override;
    void notified(int code, int) override {
        if (code == EN_CHANGE && !settingFromCode) edit.textEdited(textOf(hwnd));
    }
    Edit& edit;
};

class ButtonPeer : public ControlPeer {
  public:
    explicit ButtonPeer(Button& button) : ControlPeer(button), button(button) {}
    bool handle(UINT message, WPARAM& wParam, LPARAM lParam, LRESULT& result) override;
    void notified(int code, int) override {
        if (code == BN_CLICKED) button.press();
    }
    Button& button;
};

// Read-only text: the lines, wrapped at the edge by the window.
class MemoPeer : public WindowPeer {
  public:
    explicit MemoPeer(Memo& memo) : WindowPeer(memo), memo(memo) {}
    void mirror() override {
        std::string text;
        for (std::size_t i = 0; i < memo.lines.size(); ++i)
            text += (i > 0 ? "\r\n" : "") + memo.lines[i];
        setTextOf(*this, text);
    }
    Memo& memo;
};

// A radio group: a window of our class holding the group's frame and one radio button an item.
class RadioGroupPeer : public WindowPeer {
  public:
    explicit RadioGroupPeer(RadioGroup& group) : WindowPeer(group), group(group) {}
    void mirror() override {
        const int selected = group.itemIndex();
        for (std::size_t i = 0; i < buttons.size(); ++i)
            SendMessageA(buttons[i], BM_SETCHECK,
                         static_cast<int>(i) == selected ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    bool handle(UINT message, WPARAM& wParam, LPARAM lParam, LRESULT& result) override;
    RadioGroup& group;
    std::vector<HWND> buttons;
};

// Forms and panels: windows of our own class that paint their pictures and labels and pass
// their child windows' notifications on to the controls.
class ContainerPeer : public WindowPeer {
  public:
    using WindowPeer::WindowPeer;
    ~ContainerPeer() override { releaseCanvas(); }
    bool handle(UINT message, WPARAM& wParam, LPARAM lParam, LRESULT& result) override;
    // The off-screen picture painting draws into, and a context for the pictures it copies
    // from: made at the first paint, kept while the window lives.
    bool prepareCanvas(HDC screen, int width, int height) {
        if (canvas != nullptr) return true;
        canvas = CreateCompatibleDC(screen);
        pictures = CreateCompatibleDC(screen);
        canvasBitmap = CreateCompatibleBitmap(screen, width, height);
        if (canvas == nullptr || pictures == nullptr || canvasBitmap == nullptr) {
            releaseCanvas();
            return false;
        }
        canvasDefault = SelectObject(canvas, canvasBitmap);
        return true;
    }
    void releaseCanvas() {
        if (canvas != nullptr) {
            SelectObject(canvas, canvasDefault);
            DeleteDC(canvas);
        }
        if (pictures != nullptr) DeleteDC(pictures);
        if (canvasBitmap != nullptr) DeleteObject(canvasBitmap);
        canvas = pictures = nullptr;
        canvasBitmap = nullptr;
    }
    HDC canvas = nullptr, pictures = nullptr;
    HBITMAP canvasBitmap = nullptr;
    HGDIOBJ canvasDefault = nullptr;
    // The pictures and labels lying on the container, in layout order.
    std::vector<const GraphicPeer*> graphics;
};

class FormPeer : public ContainerPeer {
  public:
    explicit FormPeer(Form& form) : ContainerPeer(form), form(form) {}
    bool handle(UINT message, WPARAM& wParam, LPARAM lParam, LRESULT& result) override;
    Form& form;
    ~FormPeer() override;
    bool lost() const override { return hwnd != nullptr && !alive(); }
    void paint() override;
    // The box runs a message loop of its own, in which the host may close the editor or the
    // plug-in. So it is shown from a posted message once the handler that raised it has
    // returned, and nothing of the form is touched after it (showPendingMessage).
    void showMessage(const std::string& text) override;
    void showPendingMessage();
    std::deque<std::string> pendingMessages;
    bool drawing = false;
};

// The peer that paints a picture or a label on its container.
std::unique_ptr<GraphicPeer> graphicPeerFor(Control& control, ContainerPeer& container);

} // namespace framework::win32
