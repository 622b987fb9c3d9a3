// The Win32 backend's peers at work: the painted pictures and labels, and the window procedures
// that turn what the windows tell into the controls' calls.
#include "Peers.h"

#include <algorithm>

namespace framework::win32 {

std::atomic<WNDPROC> buttonProc{nullptr};

std::string textOf(HWND hwnd) {
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(hwnd)) + 1, '\0');
    text.resize(
        static_cast<std::size_t>(GetWindowTextA(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

void setTextOf(WindowPeer& peer, const std::string& text) {
    if (textOf(peer.hwnd) == text) return;
    peer.settingFromCode = true;
    SetWindowTextA(peer.hwnd, text.c_str());
    peer.settingFromCode = false;
}

void GraphicPeer::changed() {
    if (!container.alive()) return;
    RECT before = toRect(shownAt);
    RECT now = toRect(control.bounds);
    InvalidateRect(container.hwnd, &before, FALSE);
    InvalidateRect(container.hwnd, &now, FALSE);
    shownAt = control.bounds;
}

namespace {

// A picture, drawn from its pixels made into a bitmap once.
class PicturePeer : public GraphicPeer {
  public:
    PicturePeer(Picture& picture, ContainerPeer& container)
        : GraphicPeer(picture, container), picture(picture), ready(readyBitmap(picture.image)) {}
    ~PicturePeer() override {
        if (ready != nullptr) DeleteObject(ready);
    }
    void draw() const override {
        if (ready == nullptr) return;
        const Image& image = picture.image;
        const Rect& box = picture.bounds;
        HGDIOBJ old = SelectObject(container.pictures, ready);
        if (picture.stretch) {
            SetStretchBltMode(container.canvas, COLORONCOLOR);
            StretchBlt(container.canvas, box.left, box.top, box.width, box.height,
                       container.pictures, 0, 0, image.width, image.height, SRCCOPY);
        } else {
            // Unscaled at the top left, cut to the box.
            BitBlt(container.canvas, box.left, box.top, std::min(image.width, box.width),
                   std::min(image.height, box.height), container.pictures, 0, 0, SRCCOPY);
        }
        SelectObject(container.pictures, old);
    }
    const Picture& picture;
    HBITMAP ready;
};

// A label: its text on its colour, in its font.
class LabelPeer : public GraphicPeer {
  public:
    LabelPeer(Label& label, ContainerPeer& container)
        : GraphicPeer(label, container), label(label),
          brush(CreateSolidBrush(toColorRef(label.colour))) {}
    ~LabelPeer() override { DeleteObject(brush); }
    // Labels size themselves to their text in the font they are drawn with.
    void changed() override {
        if (!container.alive()) return;
        fitLabelToText(label, [this](const std::string& text) {
            HDC dc = GetDC(container.hwnd);
            HGDIOBJ old = SelectObject(dc, fontFor(label.font));
            SIZE size{};
            GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
            SelectObject(dc, old);
            ReleaseDC(container.hwnd, dc);
            return TextSize{size.cx, size.cy};
        });
        GraphicPeer::changed();
    }
    void draw() const override {
        HDC dc = container.canvas;
        RECT box = toRect(label.bounds);
        FillRect(dc, &box, brush);
        HGDIOBJ old = SelectObject(dc, fontFor(label.font));
        SetBkMode(dc, OPAQUE);
        SetBkColor(dc, toColorRef(label.colour));
        SetTextColor(dc, toColorRef(label.textColour));
        TextOutA(dc, label.bounds.left, label.bounds.top, label.text().c_str(),
                 static_cast<int>(label.text().size()));
        SelectObject(dc, old);
    }
    Label& label;
    HBRUSH brush;
};

} // namespace

// ---------------------------------------------------------------------------------------------
// The user's actions

void ScrollBarPeer::notified(int request, int thumb) {
    switch (request) {
    case SB_LINEUP: scrollBar(bar, ScrollRequest::LineUp); return;
    case SB_PAGEUP: scrollBar(bar, ScrollRequest::PageUp); return;
    case SB_LINEDOWN: scrollBar(bar, ScrollRequest::LineDown); return;
    case SB_PAGEDOWN: scrollBar(bar, ScrollRequest::PageDown); return;
    case SB_TOP: scrollBar(bar, ScrollRequest::Top); return;
    case SB_BOTTOM: scrollBar(bar, ScrollRequest::Bottom); return;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: bar.setPosition(thumb); return; // every range here fits 16 bits
    default: return;
    }
}

Form* formOf(Control& control) {
    Control* form = &control;
    while (form->parent() != nullptr)
        form = form->parent();
    return form->kind == Kind::Form ? static_cast<Form*>(form) : nullptr;
}

// The mouse on a container at (x, y) of its client area, in the form's coordinates.
POINT onForm(const ContainerPeer& peer, LPARAM lParam) {
    POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    if (peer.control.kind != Kind::Form) {
        const Rect box = peer.control.onForm();
        at.x += box.left;
        at.y += box.top;
    }
    return at;
}

// Tab and Shift+Tab: the next showing slider, edit or button of the form in the layout's tab
// order, round at the ends.
void moveFocus(Control& from, bool backwards) {
    Form* form = formOf(from);
    Control* next = form != nullptr ? form->nextTabStop(&from, backwards) : nullptr;
    if (next == nullptr) return;
    auto& target = static_cast<WindowPeer&>(*next->peer);
    if (!target.alive()) return;
    SetFocus(target.hwnd);
    // As dialogs do: an edit reached by Tab has its text selected, ready to be typed over.
    if (target.control.kind == Kind::Edit) SendMessageA(target.hwnd, EM_SETSEL, 0, -1);
}

// What a child window tells its parent goes to the child's peer: WM_COMMAND and WM_VSCROLL as
// notifications, the colour requests answered in the child's colours (or the parent's, for
// windows without a peer: a group's frame and items).
bool passToChild(WindowPeer& parent, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    WindowPeer* child = WindowPeer::of(reinterpret_cast<HWND>(lParam));
    switch (message) {
    case WM_COMMAND:
        if (child != nullptr && child->alive()) child->notified(HIWORD(wParam), 0);
        result = 0;
        return true;
    case WM_VSCROLL:
        if (child != nullptr && child->alive()) child->notified(LOWORD(wParam), HIWORD(wParam));
        result = 0;
        return true;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        const WindowPeer& colours = child != nullptr ? *child : parent;
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, toColorRef(colours.control.textColour));
        SetBkColor(dc, toColorRef(colours.control.colour));
        result = reinterpret_cast<LRESULT>(colours.brush);
        return true;
    }
    default: return false;
    }
}

bool ContainerPeer::handle(UINT message, WPARAM& wParam, LPARAM lParam, LRESULT& result) {
    Form* form = formOf(control);
    switch (message) {
    case WM_ERASEBKGND:
        // The form's stretched background picture covers its whole client area; panels paint
        // their background with everything else.
        result = 0;
        return true;
    case WM_PAINT: paintContainer(*this); return true;
    // A picture or label takes a click only when the button went down and came up over it:
    // the mouse is captured on the press, so the release is seen wherever it happens.
    case WM_LBUTTONDOWN:
        if (form != nullptr) {
            const POINT at = onForm(*this, lParam);
            SetCapture(hwnd);
            form->pressAt(at.x, at.y);
        }
        return true;
    case WM_LBUTTONUP:
        if (form != nullptr) {
            const POINT at = onForm(*this, lParam);
            form->releaseAt(at.x, at.y);
        }
        if (GetCapture() == hwnd) ReleaseCapture();
        return true;
    case WM_CAPTURECHANGED:
        // Another window took the mouse (a menu, a box, the host): the press is void.
        if (form != nullptr) form->pressLost();
        return true;
    default: return passToChild(*this, message, wParam, lParam, result);
    }
}

bool RadioGroupPeer::handle(UINT message, WPARAM& wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_ERASEBKGND: {
        RECT client;
        GetClientRect(hwnd, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, brush);
        result = 1;
        return true;
    }
    case WM_COMMAND: {
        // A click on an item selects it.
        const auto found =
            std::find(buttons.begin(), buttons.end(), reinterpret_cast<HWND>(lParam));
        if (HIWORD(wParam) == BN_CLICKED && found != buttons.end())
            group.setItemIndex(static_cast<int>(found - buttons.begin()));
        result = 0;
        return true;
    }
    default: return passToChild(*this, message, wParam, lParam, result);
    }
}

// Forms, panels and radio groups: each peer answers its window's messages.
LRESULT CALLBACK containerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    WindowPeer* peer = WindowPeer::of(hwnd);
    LRESULT result = 0;
    if (peer != nullptr && peer->handle(message, wParam, lParam, result)) return result;
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

// A radio group's frame and caption. The system's group box paints no background, so what lies
// inside its frame is whatever the windows below left there: LMMS's Wine VST server erases its
// window black, over the group's own background. The group's colour goes in first.
LRESULT CALLBACK groupFrameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowPeer* group = WindowPeer::of(GetParent(hwnd));
    if (message != WM_PAINT || group == nullptr || !group->alive())
        return CallWindowProcA(buttonProc.load(), hwnd, message, wParam, lParam);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client;
    GetClientRect(hwnd, &client);
    FillRect(dc, &client, group->brush);
    CallWindowProcA(buttonProc.load(), hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc),
                    PRF_CLIENT);
    EndPaint(hwnd, &ps);
    return 0;
}

bool ControlPeer::handle(UINT message, WPARAM& wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_GETDLGCODE:
        result = CallWindowProcA(original, hwnd, message, wParam, lParam) | DLGC_WANTALLKEYS |
                 DLGC_WANTTAB;
        return true;
    case WM_KEYDOWN:
        if (wParam == VK_TAB) moveFocus(control, GetKeyState(VK_SHIFT) < 0);
        result = 0;
        return wParam == VK_TAB || wParam == VK_RETURN || wParam == VK_ESCAPE;
    case WM_CHAR: result = 0; return wParam == '\t'; // the Tab key moved the focus
    default: return false;
    }
}

// Each typed character goes through the edit's key filter first.
bool EditPeer::handle(UINT message, WPARAM& wParam, LPARAM lParam, LRESULT& result) {
    if (message == WM_CHAR && wParam != '\t' && wParam < 256) {
        const char key = edit.filterKey(static_cast<char>(static_cast<unsigned char>(wParam)));
        result = 0;
        if (key == 0 || key == '\r' || key == '\x1b') return true;
        wParam = static_cast<unsigned char>(key);
        return false;
    }
    return ControlPeer::handle(message, wParam, lParam, result);
}

bool ButtonPeer::handle(UINT message, WPARAM& wParam, LPARAM lParam, LRESULT& result) {
    if (message == WM_KEYDOWN && wParam == VK_RETURN) {
        PostMessageA(hwnd, BM_CLICK, 0, 0); // as a dialog presses its focused button
        result = 0;
        return true;
    }
    return ControlPeer::handle(message, wParam, lParam, result);
}

// Sliders, edits and the button: their peers see each message before the control does.
LRESULT CALLBACK controlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowPeer* peer = WindowPeer::of(hwnd);
    if (peer == nullptr || peer->original == nullptr)
        return DefWindowProcA(hwnd, message, wParam, lParam);
    const WNDPROC original = peer->original;
    LRESULT result = 0;
    if (peer->handle(message, wParam, lParam, result)) return result;
    return CallWindowProcA(original, hwnd, message, wParam, lParam);
}

std::unique_ptr<GraphicPeer> graphicPeerFor(Control& control, ContainerPeer& container) {
    if (control.kind == Kind::Picture)
        return std::make_unique<PicturePeer>(static_cast<Picture&>(control), container);
    return std::make_unique<LabelPeer>(static_cast<Label&>(control), container);
}

} // namespace framework::win32
