// The Win32 backend's form (the contract: framework/Platform.h). A form is a borderless child
// window of the host's window; scroll bars, edits, the push button, radio groups, panels and memos
// are real child windows; pictures and labels are painted by the window they lie on, in layout
// order, below every child window. The user's actions on those windows become the same control
// calls the tests make, so handlers run exactly as they do headless. Everything here runs on the
// thread that shows the form; the few tables that forms share are guarded, since editors of two
// instances may live on different threads in some hosts.
#include <algorithm>
#include <type_traits>

#include "Display.h"
#include "Peers.h"
#include "framework/Platform.h"

namespace framework::win32 {

FormPeer::~FormPeer() {
    if (alive()) {
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        DestroyWindow(hwnd);
    }
    leaveShownForm();
}

// The form's window is made hidden, so that building it and setting its controls draws
// nothing; the first paint shows it, drawn once.
void FormPeer::paint() {
    if (!alive()) return;
    if (!drawing) {
        SendMessageA(hwnd, WM_SETREDRAW, TRUE, 0);
        drawing = true;
    }
    RedrawWindow(hwnd, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
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

namespace {

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
void showGraphic(Control& control, ContainerPeer& container) {
    auto peer = graphicPeerFor(control, container);
    container.graphics.push_back(peer.get());
    control.peer = std::move(peer);
    control.peer->changed(); // labels measure themselves
}

void showControl(Control& control, ContainerPeer& container) {
    HWND parent = container.hwnd;
    switch (control.kind) {
    case Kind::Picture:
    case Kind::Label: showGraphic(control, container); return;
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

} // namespace framework::win32

namespace framework {

using namespace win32; // the form and its windows, built above

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
