// The Win32 backend. A form is a borderless child window of the host's window; scroll bars,
// edits, the push button, radio groups, panels and memos are real child windows; pictures and
// labels are painted by the window they lie on, in layout order, below every child window. The
// user's actions on those windows become the same control calls the tests make, so handlers run
// exactly as they do headless. Everything here runs on the thread that shows the form; the few
// tables that forms share are guarded, since editors of two instances may live on different
// threads in some hosts.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "framework/Controls.h"
#include "framework/Platform.h"

namespace framework {

namespace {

// Our own window classes, registered while a form is shown. Hosts unload a plug-in library and
// load it again at another address; a class left registered would point at the old procedure.
constexpr char kContainerClass[] = "HalvarkOstrelContainer";
// Posted to a form to show an error box once the handler that raised it has returned.
constexpr UINT kShowMessage = WM_APP + 1;

// Guards the tables below: the count of shown forms, the class registration that goes with
// it, and the fonts. Taken on user-interface threads only, never on the audio thread.
std::mutex sharedTables;
int shownForms = 0;
// The fonts, made on first use and kept for the library's life: making and measuring them is
// the slowest part of opening an editor under Wine. They go when the host unloads the library.
struct Fonts : std::map<std::pair<int, bool>, HFONT> {
    ~Fonts() {
        for (auto& entry : *this)
            DeleteObject(entry.second);
    }
} fonts;

HINSTANCE thisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&thisModule), &module);
    return module;
}

COLORREF toColorRef(Colour colour) {
    return RGB((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF);
}

HFONT createFont(const Font& font, int averageWidth) {
    return CreateFontA(-font.height, averageWidth, 0, 0, font.bold ? FW_BOLD : FW_NORMAL, FALSE,
                       FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, font.name.c_str());
}

// Whether a stand-in for "MS Sans Serif" fits the boxes laid out in the real face at a height.
// The real face at 11 pixels has digits of 6 pixels and a lower case 135 pixels long. A stand-in's
// digits must be a pixel narrower: an edit gives a TrueType face margins of 2 or 3 pixels a side
// where the bitmap face gets none, and "127" must still fit a 25-pixel edit.
bool fitsTheLayout(HDC dc, int height) {
    constexpr int kHeight = 11, kDigits = 10 * 5, kLowerCase = 135;
    SIZE digits{}, lowerCase{};
    GetTextExtentPoint32A(dc, "0123456789", 10, &digits);
    GetTextExtentPoint32A(dc, "abcdefghijklmnopqrstuvwxyz", 26, &lowerCase);
    return digits.cx * kHeight <= kDigits * height && lowerCase.cx * kHeight <= kLowerCase * height;
}

// "MS Sans Serif" at the layout's pixel height (the character height, as 8 pt is 11 pixels at
// 96 dots per inch). Where the face is missing the system substitutes another of the same
// height: Wine as Debian 12 ships it loads none of its own faces (fonts-wine's) and takes one
// from fontconfig, Liberation Sans or DejaVu Sans, which cut " min/max" and "127". Such a
// stand-in is asked for narrower on average, a pixel at a time, until it fits.
HFONT fontFor(const Font& font) {
    const std::lock_guard<std::mutex> lock(sharedTables);
    const auto key = std::make_pair(font.height, font.bold);
    auto found = fonts.find(key);
    if (found != fonts.end()) return found->second;
    HFONT made = createFont(font, 0);
    HDC screen = GetDC(nullptr);
    HGDIOBJ old = SelectObject(screen, made);
    char face[LF_FACESIZE] = {};
    GetTextFaceA(screen, LF_FACESIZE, face);
    if (lstrcmpiA(face, font.name.c_str()) != 0) {
        TEXTMETRICA metrics{};
        GetTextMetricsA(screen, &metrics);
        for (int width = metrics.tmAveCharWidth - 1;
             width > 0 && !fitsTheLayout(screen, font.height); --width) {
            SelectObject(screen, old);
            DeleteObject(made);
            made = createFont(font, width);
            SelectObject(screen, made);
        }
    }
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
    fonts.emplace(key, made);
    return made;
}

void useFont(HWND window, const Font& font) {
    SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(fontFor(font)), FALSE);
}

RECT toRect(const Rect& r) {
    return RECT{r.left, r.top, r.left + r.width, r.top + r.height};
}

LRESULT CALLBACK containerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK controlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK groupFrameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// The system's procedure of the BUTTON class, the same for every thread that shows a form.
std::atomic<WNDPROC> buttonProc{nullptr};

// ---------------------------------------------------------------------------------------------
// Peers

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

std::string textOf(HWND hwnd) {
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(hwnd)) + 1, '\0');
    text.resize(
        static_cast<std::size_t>(GetWindowTextA(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

// Writes a text into a window unless it shows it already; the window's change notification
// is not taken as the user's.
void setTextOf(WindowPeer& peer, const std::string& text) {
    if (textOf(peer.hwnd) == text) return;
    peer.settingFromCode = true;
    SetWindowTextA(peer.hwnd, text.c_str());
    peer.settingFromCode = false;
}

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

// Our window class is registered while any form is shown.
bool enterShownForm();
void leaveShownForm();

class FormPeer : public ContainerPeer {
  public:
    explicit FormPeer(Form& form) : ContainerPeer(form), form(form) {}
    bool handle(UINT message, WPARAM& wParam, LPARAM lParam, LRESULT& result) override;
    Form& form;
    ~FormPeer() override {
        if (alive()) {
            SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
            DestroyWindow(hwnd);
        }
        leaveShownForm();
    }
    bool lost() const override { return hwnd != nullptr && !alive(); }
    // The form's window is made hidden, so that building it and setting its controls draws
    // nothing; the first paint shows it, drawn once.
    void paint() override {
        if (!alive()) return;
        if (!drawing) {
            SendMessageA(hwnd, WM_SETREDRAW, TRUE, 0);
            drawing = true;
        }
        RedrawWindow(hwnd, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
    }
    // The box runs a message loop of its own, in which the host may close the editor or the
    // plug-in. So it is shown from a posted message once the handler that raised it has
    // returned, and nothing of the form is touched after it (showPendingMessage).
    void showMessage(const std::string& text) override {
        if (!alive()) return;
        pendingMessages.push_back(text);
        PostMessageA(hwnd, kShowMessage, 0, 0);
    }
    void showPendingMessage() {
        if (pendingMessages.empty()) return;
        const std::string text = std::move(pendingMessages.front());
        pendingMessages.pop_front();
        char path[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        const std::string title = applicationTitle(path, ProgramNames::Windows);
        HWND owner = GetAncestor(hwnd, GA_ROOT);
        MessageBoxA(owner, text.c_str(), title.c_str(), MB_OK | MB_ICONERROR);
        // The form and this peer may be gone now.
    }
    std::deque<std::string> pendingMessages;
    bool drawing = false;
};

void GraphicPeer::changed() {
    if (!container.alive()) return;
    RECT before = toRect(shownAt);
    RECT now = toRect(control.bounds);
    InvalidateRect(container.hwnd, &before, FALSE);
    InvalidateRect(container.hwnd, &now, FALSE);
    shownAt = control.bounds;
}

// ---------------------------------------------------------------------------------------------
// Painting

// A picture's pixels as a bitmap of the screen's kind, converted once.
HBITMAP readyBitmap(const Image& image) {
    if (image.empty()) return nullptr;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = image.width;
    info.bmiHeader.biHeight = -image.height; // rows from the top
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap == nullptr) return nullptr;
    auto* pixels = static_cast<std::uint32_t*>(bits); // 0x00RRGGBB
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            pixels[static_cast<std::size_t>(y) * image.width + x] = image.pixel(x, y);
    GdiFlush();
    return bitmap;
}

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

// The container's background, then its pictures and labels in layout order, each above the
// ones before it; drawn off screen and copied in one go so nothing flickers.
void paintContainer(ContainerPeer& peer) {
    PAINTSTRUCT ps;
    HDC screen = BeginPaint(peer.hwnd, &ps);
    RECT client;
    GetClientRect(peer.hwnd, &client);
    if (peer.prepareCanvas(screen, client.right, client.bottom)) {
        FillRect(peer.canvas, &client, peer.brush);
        for (const GraphicPeer* graphic : peer.graphics)
            if (graphic->control.isVisible()) graphic->draw();
        // Only what needs painting is copied.
        BitBlt(screen, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left,
               ps.rcPaint.bottom - ps.rcPaint.top, peer.canvas, ps.rcPaint.left, ps.rcPaint.top,
               SRCCOPY);
    }
    EndPaint(peer.hwnd, &ps);
}

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

bool FormPeer::handle(UINT message, WPARAM& wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case kShowMessage:
        showPendingMessage();
        result = 0;
        return true; // the form may be gone: nothing more is touched
    case WM_TIMER:
        if (wParam >= 1 && wParam <= form.timers.size()) form.timers[wParam - 1]->tick();
        result = 0;
        return true;
    default: return ContainerPeer::handle(message, wParam, lParam, result);
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

// ---------------------------------------------------------------------------------------------
// Building the windows

bool enterShownForm() {
    const std::lock_guard<std::mutex> lock(sharedTables);
    if (shownForms == 0) {
        WNDCLASSEXA container{};
        container.cbSize = sizeof container;
        container.lpfnWndProc = containerProc;
        container.hInstance = thisModule();
        container.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        container.lpszClassName = kContainerClass;
        if (RegisterClassExA(&container) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
            return false;
    }
    ++shownForms;
    return true;
}

void leaveShownForm() {
    const std::lock_guard<std::mutex> lock(sharedTables);
    if (--shownForms > 0) return;
    UnregisterClassA(kContainerClass, thisModule());
}

DWORD baseStyle(const Control& control) {
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    if (control.isVisible()) style |= WS_VISIBLE;
    if (control.tabOrder >= 0) style |= WS_TABSTOP;
    return style;
}

HWND createWindow(const char* className, const char* text, DWORD style, const Rect& box,
                  HWND parent, void* param = nullptr) {
    return CreateWindowExA(0, className, text, style, box.left, box.top, box.width, box.height,
                           parent, nullptr, thisModule(), param);
}

void showChildren(Control& control, ContainerPeer& container);

// A control shown as a window of our own class: the peer is in place before the window's
// first message arrives.
template <typename OwnPeer, typename ControlType>
OwnPeer& showInOwnWindow(ControlType& control, const Rect& box, HWND parent, DWORD leaveOut = 0) {
    auto peer = std::make_unique<OwnPeer>(control);
    OwnPeer& shown = *peer;
    control.peer = std::move(peer);
    shown.attach(createWindow(kContainerClass, "",
                              (baseStyle(control) | WS_CLIPCHILDREN) & ~leaveOut, box, parent,
                              &shown));
    return shown;
}

// A standard control's window with its peer, showing the control's state; the editor handles
// the keys of those that take them (ControlPeer) before the window does.
template <typename OwnPeer, typename ControlType>
void showStandard(ControlType& control, const char* className, const char* text, DWORD style,
                  HWND parent) {
    auto peer = std::make_unique<OwnPeer>(control);
    peer->attach(createWindow(className, text, style, control.bounds, parent));
    if constexpr (std::is_base_of_v<ControlPeer, OwnPeer>) peer->subclass();
    peer->mirror();
    control.peer = std::move(peer);
}

// Whatever the kind, a control adds its peer here and nothing else.
template <typename OwnPeer, typename ControlType>
void showGraphic(ControlType& control, ContainerPeer& container) {
    auto peer = std::make_unique<OwnPeer>(control, container);
    container.graphics.push_back(peer.get());
    control.peer = std::move(peer);
    control.peer->changed(); // labels measure themselves
}

void showControl(Control& control, ContainerPeer& container) {
    HWND parent = container.hwnd;
    switch (control.kind) {
    case Kind::Picture: showGraphic<PicturePeer>(static_cast<Picture&>(control), container); return;
    case Kind::Label: showGraphic<LabelPeer>(static_cast<Label&>(control), container); return;
    case Kind::ScrollBar:
        showStandard<ScrollBarPeer>(static_cast<ScrollBar&>(control), "SCROLLBAR", "",
                                    baseStyle(control) | SBS_VERT, parent);
        return;
    case Kind::Edit: {
        auto& edit = static_cast<Edit&>(control);
        showStandard<EditPeer>(edit, "EDIT", "",
                               baseStyle(control) | ES_AUTOHSCROLL | WS_BORDER |
                                   (edit.readOnly ? ES_READONLY : 0),
                               parent);
        return;
    }
    case Kind::Memo: {
        auto& memo = static_cast<Memo&>(control);
        // Lines wrap at the edge.
        showStandard<MemoPeer>(memo, "EDIT", "",
                               baseStyle(control) | ES_MULTILINE |
                                   (memo.readOnly ? ES_READONLY : 0) |
                                   (memo.border ? WS_BORDER : 0),
                               parent);
        return;
    }
    case Kind::Button: {
        auto& button = static_cast<Button&>(control);
        showStandard<ButtonPeer>(button, "BUTTON", button.caption.c_str(),
                                 baseStyle(control) | BS_PUSHBUTTON, parent);
        return;
    }
    case Kind::RadioGroup: {
        auto& group = static_cast<RadioGroup&>(control);
        auto& shown = showInOwnWindow<RadioGroupPeer>(group, control.bounds, parent);
        const Rect inside{0, 0, control.bounds.width, control.bounds.height};
        HWND frame =
            createWindow("BUTTON", group.caption.c_str(),
                         WS_CHILD | WS_VISIBLE | BS_GROUPBOX | WS_CLIPSIBLINGS, inside, shown.hwnd);
        useFont(frame, control.font);
        buttonProc.store(reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(frame, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(groupFrameProc))));
        for (int i = 0; i < static_cast<int>(group.items.size()); ++i) {
            const Rect box = radioItemBox(group, i);
            HWND button = createWindow("BUTTON", group.items[i].c_str(),
                                       WS_CHILD | WS_VISIBLE | BS_RADIOBUTTON | WS_CLIPSIBLINGS |
                                           (i == 0 ? WS_GROUP | WS_TABSTOP : 0),
                                       box, shown.hwnd);
            useFont(button, control.font);
            SetWindowPos(button, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
            shown.buttons.push_back(button);
        }
        shown.mirror();
        return;
    }
    case Kind::Panel: {
        auto& shown = showInOwnWindow<ContainerPeer>(control, control.bounds, parent);
        showChildren(control, shown);
        return;
    }
    case Kind::Form: return;
    }
}

// Windowed children in tab order (the first on top, as dialog navigation expects), then any
// that overlaps one earlier in the layout raised above it, as later controls lie above earlier
// ones.
// Pictures and labels in layout order, the order they are drawn in; then the windows in tab
// order. A new child window goes below its siblings, so their order from the top is then the
// tab order, which a host's dialog manager follows; a window found elsewhere is moved there.
void showChildren(Control& control, ContainerPeer& container) {
    std::vector<Control*> windowed;
    for (const auto& child : control.children()) {
        if (child->isWindowed())
            windowed.push_back(child.get());
        else
            showControl(*child, container);
    }
    std::vector<Control*> byTab = windowed;
    std::stable_sort(byTab.begin(), byTab.end(),
                     [](const Control* a, const Control* b) { return a->tabOrder < b->tabOrder; });
    HWND above = nullptr;
    for (Control* child : byTab) {
        showControl(*child, container);
        HWND window = static_cast<WindowPeer&>(*child->peer).hwnd;
        if (window == nullptr) continue;
        HWND there =
            above == nullptr ? GetWindow(container.hwnd, GW_CHILD) : GetWindow(above, GW_HWNDNEXT);
        if (there != window)
            SetWindowPos(window, above == nullptr ? HWND_TOP : above, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        above = window;
    }
    for (std::size_t i = 0; i < windowed.size(); ++i) {
        const RECT mine = toRect(windowed[i]->bounds);
        for (std::size_t j = 0; j < i; ++j) {
            RECT other = toRect(windowed[j]->bounds), overlap;
            if (IntersectRect(&overlap, &mine, &other)) {
                SetWindowPos(static_cast<WindowPeer&>(*windowed[i]->peer).hwnd, HWND_TOP, 0, 0, 0,
                             0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
                break;
            }
        }
    }
}

} // namespace

bool backend::nativeWindows() {
    return true;
}

bool backend::show(Form& form, void* parentWindow) {
    // Windows hosts hear 1 whatever happens: a window the system refuses leaves the editor
    // without one.
    if (!enterShownForm()) return true;
    // Borderless, at the top left of the host's window, at the form's own size. The peer
    // leaves the shown forms again when it goes, window or not.
    auto& shown = showInOwnWindow<FormPeer>(form, Rect{0, 0, form.bounds.width, form.bounds.height},
                                            static_cast<HWND>(parentWindow));
    if (shown.hwnd == nullptr) {
        form.peer.reset();
        return true;
    }
    SendMessageA(shown.hwnd, WM_SETREDRAW, FALSE, 0);
    showChildren(form, shown);
    for (std::size_t i = 0; i < form.timers.size(); ++i)
        SetTimer(shown.hwnd, i + 1, static_cast<UINT>(form.timers[i]->interval), nullptr);
    return true;
}

} // namespace framework
