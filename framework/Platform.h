// The contract between the framework's controls and a windowing backend, in one place: what a
// backend provides, what it may assume, and what it must guarantee.
//
// The backends: framework/win32/ (real Win32 controls), framework/x11/ (controls drawn with
// cairo on X11, for Linux hosts) and framework/headless/ (nothing shown; tests play the user's
// actions on the controls themselves). One of them is built in (see the framework's
// CMakeLists); the functions in namespace framework below are defined once, in Platform.cpp,
// on top of the two a backend provides (namespace framework::backend).
//
// What a backend may assume
// - The form and its controls (framework/Controls.h) keep their whole state themselves: a
//   backend only mirrors it, and is told of every change through the control's peer.
// - Every call into the backend (showInParent, a peer's functions, the form's destruction) comes
//   on the host's user-interface thread that shows the form, never on the audio thread. The
//   editors of two plug-in instances may live on two threads at once (some hosts give each
//   editor a thread of its own), so what forms share is guarded; the audio thread never reaches
//   a backend.
// - Whatever changes while the form is shown (a position, a selection, a text, a visibility, a
//   control's place) comes through the control's Peer::changed.
//
// What a backend provides
// - backend::nativeWindows() and backend::show(form, parent), below.
// - A peer for each control it shows (Control::peer), made when the form is shown. The form's
//   peer goes first when the form goes (Form::~Form), before any control it mirrors. By kind:
//     Form       the window in the host's window; paint (the first paint shows it), idle (for
//                a backend whose events come through the host's idle calls), lost (the host
//                destroyed its window), showMessage (the modal error box), changed.
//     Picture    its image, stretched over its box or unscaled at its top left.
//     Label      its text on an opaque background in its colours; a label that sizes itself
//                takes the size of its text in the font it is drawn with (fitLabelToText).
//     ScrollBar  a vertical bar from min to max with a page of 0 (scrollBar).
//     Edit       a single-line edit; each typed character passes Edit::filterKey first, and
//                Edit::textEdited tells the control the text the user's edit now shows.
//     Button     a push button; a click or Enter presses it (Button::press).
//     RadioGroup a framed caption and the items in one column (radioItemBox); a click on an
//                item selects it (RadioGroup::setItemIndex).
//     Panel      its colour, with its children on it.
//     Memo       its lines, wrapped at the edge (the editor's memos are read-only text).
// - The timers: each of the form's timers ticks (Timer::tick) about every interval while the
//   form is shown.
// - The error box: Form::showError calls the form's peer's showMessage; the backend shows a
//   modal box with the text and OK, titled with applicationTitle, once the handler that raised
//   it has returned, and touches nothing of the form after it (the host may close the editor
//   while the box is up).
//
// What a backend guarantees
// - The user's actions become the same control calls the tests make (setPosition,
//   setItemIndex, press, filterKey and textEdited, Form::pressAt and releaseAt), so the change
//   handlers fire exactly as for a test's change; what a peer is told (Peer::changed) fires no
//   handler.
// - A click goes where Form::pressAt and releaseAt send it: windowed controls (Control::
//   isWindowed) lie above every picture and label, and among pictures and labels the topmost
//   visible one takes it. Tab and Shift+Tab move the keyboard as Form::nextTabStop says.
// - Pictures and labels are drawn in layout order, each above the ones before it, below every
//   windowed control; only what is showing (Control::isShowing) is drawn.
// - showInParent's answer: true once the form is shown, or when there is nothing to show (the
//   headless backend standing in, a null parent, a form already shown); false only when a
//   native backend cannot show it at all.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace framework {

class Form;
class Label;
class RadioGroup;
class ScrollBar;
struct Rect;

// ---------------------------------------------------------------------------------------------
// What the plug-in calls (defined once, in Platform.cpp)

// True when a backend that shows real windows is built in, or when the headless backend has
// been chosen to stand in for one (tests). A plug-in without either announces no editor, so
// hosts show their own parameter panel.
bool editorsAvailable();

// Shows a form as a borderless child window at the top left of a host's window, with a native
// window or painting for each of its controls, on the calling thread. The headless backend,
// standing in, shows nothing; so does a null parent, and a form already shown stays as it is.
// False when a native backend cannot show it at all: on X11, when no display can be opened or
// the host's window does not exist.
bool showInParent(Form& form, void* parentWindow);

namespace headless {

// Lets windows live in memory only, with the user's actions played by tests. In a build with
// a native backend it turns that backend off for the process.
void standInForNativeWindows();

} // namespace headless

// ---------------------------------------------------------------------------------------------
// What each backend provides

// A backend's mirror of one control. The control tells it of every change made to its state;
// the peer fires none of the control's handlers while it is told.
class Peer {
  public:
    virtual ~Peer() = default;
    // Position, selection, text or visibility changed.
    virtual void changed() {}
    // Forms: paint everything now.
    virtual void paint() {}
    // Forms: a modal error message box.
    virtual void showMessage(const std::string& text) { (void)text; }
    // Forms: the native window is gone, destroyed by someone else.
    virtual bool lost() const { return false; }
    // Forms: the window system's events, the timers' ticks and the painting, for a backend whose
    // events come through the host's idle calls (X11) rather than a message loop of the host's.
    virtual void idle() {}
};

namespace backend {

// True for a backend that shows real windows (Win32, X11), false for the headless one.
bool nativeWindows();

// Shows the form in the host's window: the form's peer and its controls' peers. Called only
// when there is something to show: a native backend not stood in for, a parent, a form not yet
// shown. False when the form cannot be shown at all.
bool show(Form& form, void* parentWindow);

} // namespace backend

// ---------------------------------------------------------------------------------------------
// Rules every backend follows, defined once (Platform.cpp)

// A radio group's item: the items lie in one column below the caption, sharing the height
// evenly. In the group's coordinates.
Rect radioItemBox(const RadioGroup& group, int item);

// A label that sizes itself takes the size of its text in the font it is drawn with: `measure`
// gives the text's width and line height, as the backend's font draws it. A label with a fixed
// size is not measured.
struct TextSize {
    int width = 0, height = 0;
};
void fitLabelToText(Label& label, const std::function<TextSize(const std::string&)>& measure);

// What the user asks of a scroll bar. The page is 0, so a click on the track moves it by 1, as
// an arrow does.
enum class ScrollRequest { LineUp, LineDown, PageUp, PageDown, Top, Bottom };
void scrollBar(ScrollBar& bar, ScrollRequest request);

// The title of the error box, as the classic libraries put it there: the name of the host's
// program, from the path the system gives. Posix names keep every dot and end folders at '/';
// Windows names end folders at '\' or '/' and lose their extension.
enum class ProgramNames { Posix, Windows };
std::string applicationTitle(std::string_view programPath, ProgramNames names);

} // namespace framework
