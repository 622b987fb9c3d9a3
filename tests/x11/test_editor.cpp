// The Linux library's editor in a real X window: a host's top-level window on a (virtual)
// display, the library loaded with dlopen through its exported entry point, the editor opened in
// that window, idled as a host idles it and driven with real pointer and key events (XTest).
// What the host hears comes through its callback; what the user sees is read back from the
// screen (XGetImage) and kept as screenshots. Every X error of the process counts as a failure.
//
// usage: morvo_x11_editor_tests LIBRARY ARTEFACTS_FOLDER [CYCLES]
//
// Into ARTEFACTS_FOLDER go editor-linux*.png and layout-linux.txt: the place of every control of
// the window as this backend shows it (tests/LayoutDump.h).
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <cairo.h>
#include <dlfcn.h>
#include <fontconfig/fontconfig.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "editor/uPluginEditor.h"
#include "framework/Platform.h"
#include "host/DAEffectX.h"
#include "host/Morvo.h"
#include "sequencer/uPlugin.h"
#include "tests/LayoutDump.h"
#include "tests/x11/XTree.h"

namespace {

using Clock = std::chrono::steady_clock;

int checks = 0, failures = 0;
const char* stage = "start"; // the scenario running, for failure reports

void check(bool ok, const std::string& what, int line) {
    ++checks;
    if (!ok)
        ++failures, std::fprintf(stderr, "FAILED in %s (line %d): %s\n", stage, line, what.c_str());
}
#define CHECK(condition) check((condition), #condition, __LINE__)
template <typename A, typename B>
void checkEqual(const A& a, const B& b, const char* what, int line) {
    std::ostringstream text;
    text << what << ": got " << a << ", expected " << b;
    check(a == b, text.str(), line);
}
#define CHECK_EQ(actual, expected) checkEqual((actual), (expected), #actual, __LINE__)

// ---------------------------------------------------------------------------------------------
// The host: its callback records the automation each instance sends

struct Automation {
    std::int32_t index;
    float value;
    bool operator==(const Automation&) const = default;
};
using Heard = std::vector<Automation>;
std::ostream& operator<<(std::ostream& out, const Heard& heard) {
    for (const Automation& a : heard)
        out << "(" << a.index << ", " << a.value << ") ";
    return out << "end";
}
float slider(int position) {
    return static_cast<float>(1.0L - position / 127.0L);
}
float midi(int number) {
    return static_cast<float>(number) / 127.0f;
}

struct Instance {
    AEffect* effect = nullptr;
    Heard heard;
    VstIntPtr dispatch(std::int32_t opcode, void* ptr = nullptr, VstIntPtr value = 0) {
        return effect->dispatcher(effect, opcode, 0, value, ptr, 0.0f);
    }
    VstIntPtr open(Window window) { return dispatch(effEditOpen, reinterpret_cast<void*>(window)); }
    float parameter(int index) { return effect->getParameter(effect, index); }
    Heard take() { return std::exchange(heard, {}); } // what the host heard since the last call
};
std::vector<Instance*> instances;

VstIntPtr hostCallback(AEffect* effect, std::int32_t opcode, std::int32_t index, VstIntPtr, void*,
                       float opt) {
    if (opcode == audioMasterAutomate)
        for (Instance* in : instances)
            if (in->effect == effect) in->heard.push_back({index, opt});
    if (opcode == audioMasterTempoAt) return 1200000; // 120 beats per minute
    return opcode == audioMasterVersion ? 2400 : 0;
}

using EntryPoint = AEffect* (*)(audioMasterCallback);
EntryPoint entry = nullptr;

Instance& newInstance() {
    auto* in = new Instance;
    instances.push_back(in);
    in->effect = entry(hostCallback);
    in->dispatch(effOpen);
    in->effect->dispatcher(in->effect, effSetSampleRate, 0, 0, nullptr, 44100.0f);
    in->dispatch(effSetBlockSize, nullptr, 512);
    in->dispatch(effMainsChanged, nullptr, 1);
    return *in;
}
void deleteInstance(Instance& in) {
    in.dispatch(effClose);
    instances.erase(std::find(instances.begin(), instances.end(), &in));
    delete &in;
}

// ---------------------------------------------------------------------------------------------
// The display, as the host and the user see it

Display* display = nullptr;
int xErrors = 0;
constexpr int kWidth = 626, kHeight = 280;

int countError(Display* where, XErrorEvent* error) {
    char text[256] = {};
    XGetErrorText(where, error->error_code, text, sizeof text);
    std::fprintf(stderr, "X error in %s: %s of request %d\n", stage, text, error->request_code);
    ++xErrors;
    return 0;
}

// A top-level window; with deep, of the 32-bit visual some hosts give their windows.
Window topWindow(int x, int y, int width, int height, bool override = false, bool deep = false) {
    const int screen = DefaultScreen(display);
    const Window root = RootWindow(display, screen);
    XVisualInfo visual{};
    visual.visual = DefaultVisual(display, screen);
    visual.depth = DefaultDepth(display, screen);
    if (deep) CHECK(XMatchVisualInfo(display, screen, 32, TrueColor, &visual) != 0);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = override ? True : False;
    attributes.event_mask = StructureNotifyMask;
    attributes.colormap = XCreateColormap(display, root, visual.visual, AllocNone);
    Window window = XCreateWindow(
        display, root, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
        visual.depth, InputOutput, visual.visual,
        CWOverrideRedirect | CWEventMask | CWColormap | CWBorderPixel | CWBackPixel, &attributes);
    XMapRaised(display, window);
    XEvent event;
    do
        XWindowEvent(display, window, StructureNotifyMask, &event);
    while (event.type != MapNotify);
    return window;
}
Window hostWindow(int x, int y) {
    return topWindow(x, y, kWidth + 40, kHeight + 40);
}

std::vector<Window> childrenOf(Window window) {
    XSync(display, False);
    return childrenOf(display, window);
}
bool viewable(Window window) {
    XWindowAttributes attributes{};
    return XGetWindowAttributes(display, window, &attributes) != 0 &&
           attributes.map_state == IsViewable;
}
// The editor's window in the host's, on screen; or 0.
Window editorIn(Window host) {
    const std::vector<Window> children = childrenOf(host);
    return children.size() == 1 && viewable(children[0]) ? children[0] : 0;
}
// The error box: a top-level window on screen, transient for the host's window; or 0.
Window messageBoxOver(Window host) {
    for (Window top : childrenOf(DefaultRootWindow(display))) {
        Window owner = 0;
        if (XGetTransientForHint(display, top, &owner) != 0 && owner == host && viewable(top))
            return top;
    }
    return 0;
}
std::string textProperty(Window window, const char* name) {
    XTextProperty property{};
    std::string text;
    if (XGetTextProperty(display, window, &property, XInternAtom(display, name, False)) != 0)
        text.assign(reinterpret_cast<char*>(property.value), property.nitems),
            XFree(property.value);
    return text;
}

struct Box {
    int left, top, width, height;
    int x() const { return left + width / 2; }
    int y() const { return top + height / 2; }
    Box inside() const { return {left + 1, top + 1, width - 2, height - 2}; }
};

// What a window shows, read back from the screen.
struct Shot {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels; // 0xRRGGBB, row by row
    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    bool any(const Box& b, const std::function<bool(std::uint32_t)>& is) const {
        for (int y = b.top; y < b.top + b.height; ++y)
            for (int x = b.left; x < b.left + b.width; ++x)
                if (is(at(x, y))) return true;
        return false;
    }
    bool all(const Box& b, std::uint32_t colour) const {
        return !any(b, [&](std::uint32_t c) { return c != colour; });
    }
    bool same(const Box& a, const Shot& other, const Box& b) const {
        for (int y = 0; y < a.height; ++y)
            for (int x = 0; x < a.width; ++x)
                if (at(a.left + x, a.top + y) != other.at(b.left + x, b.top + y)) return false;
        return true;
    }
    void save(const std::string& path) {
        cairo_surface_t* png =
            cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(pixels.data()),
                                                CAIRO_FORMAT_RGB24, width, height, width * 4);
        CHECK(cairo_surface_write_to_png(png, path.c_str()) == CAIRO_STATUS_SUCCESS);
        cairo_surface_destroy(png);
    }
};
Shot shoot(Window window, int width = kWidth, int height = kHeight) {
    XSync(display, False);
    Shot shot{width, height, std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height)};
    XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    CHECK(image != nullptr);
    for (int y = 0; image != nullptr && y < height; ++y)
        for (int x = 0; x < width; ++x)
            shot.pixels[static_cast<std::size_t>(y) * width + x] =
                XGetPixel(image, x, y) & 0xFFFFFF;
    if (image != nullptr) XDestroyImage(image);
    return shot;
}
bool isRed(std::uint32_t c) {
    return (c >> 16 & 0xFF) > 160 && (c >> 8 & 0xFF) < 90 && (c & 0xFF) < 90;
}
bool isDark(std::uint32_t c) {
    return (c >> 16 & 0xFF) < 100 && (c >> 8 & 0xFF) < 100 && (c & 0xFF) < 100;
}
constexpr std::uint32_t kSilver = 0xC0C0C0, kWhite = 0xFFFFFF, kBlack = 0x000000;

// ---------------------------------------------------------------------------------------------
// The user, through XTest, at points of a window; the host idling its editors meanwhile

Window target = 0;        // the window the user's coordinates are in
Instance* user = nullptr; // the instance whose editor the host idles

void idleFor(std::initializer_list<Instance*> editors, int milliseconds) {
    XSync(display, False);
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(milliseconds);
    do {
        for (Instance* in : editors)
            in->dispatch(effEditIdle);
        usleep(2000);
    } while (Clock::now() < end);
}
void settle(int milliseconds = 40) {
    idleFor({user}, milliseconds);
}
void moveTo(int x, int y) {
    Window child = 0;
    XTranslateCoordinates(display, target, DefaultRootWindow(display), x, y, &x, &y, &child);
    XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
    settle(5);
}
void button(bool down) {
    XTestFakeButtonEvent(display, 1, down ? True : False, CurrentTime);
    settle(down ? 15 : 40);
}
void click(int x, int y) {
    moveTo(x, y);
    button(true);
    button(false);
}
void key(KeySym symbol) {
    const KeyCode code = XKeysymToKeycode(display, symbol);
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    XTestFakeKeyEvent(display, code, False, CurrentTime);
    settle(10);
}
void type(const std::string& text) {
    for (char c : text)
        key(c == '-' ? XK_minus : static_cast<KeySym>(c)); // Latin-1 characters are their keysyms
}

// ---------------------------------------------------------------------------------------------
// The layout, as the test knows it

constexpr int kSliderLefts[16] = {28,  52,  76,  100, 132, 156, 180, 204,
                                  236, 260, 284, 308, 340, 364, 388, 412};
constexpr int kLightLefts[16] = {30,  52,  78,  102, 134, 158, 182, 206,
                                 238, 262, 286, 310, 342, 366, 390, 414};
Box sliderBox(int step) {
    return {kSliderLefts[step], 60, step == 0 ? 17 : 16, 165};
}
// The thumb at a position: square arrows at the ends, a thumb as long as the bar is wide.
Box thumbAt(int step, int position) {
    const Box bar = sliderBox(step);
    const int room = bar.height - 3 * bar.width;
    return {bar.left, bar.top + bar.width + (position * room + 63) / 127, bar.width, bar.width};
}
int positionOf(float value) {
    return static_cast<int>(std::nearbyint(127.0L - value * 127.0L));
}
// A raised face: white at its top edge, silver inside.
bool thumbShown(const Shot& shot, const Box& thumb) {
    return shot.at(thumb.left + 3, thumb.top + 1) == kWhite &&
           shot.at(thumb.x(), thumb.y()) == kSilver;
}
// Radio items: one column below the caption, sharing the height evenly.
Box radioItem(const Box& group, int item, int count) {
    const int each = (group.height - 19) / count;
    return {group.left + 8, group.top + 15 + item * each, group.width - 12, each};
}
bool radioChecked(const Shot& shot, const Box& item) {
    return shot.at(item.left + 6, item.top + item.height / 2) == kBlack;
}
bool redIn(const Shot& shot, const Box& box) {
    return shot.any(box, isRed);
}
const Box kPlay{52, 244, 21, 21}, kStop{28, 244, 21, 21}, kOptions{500, 8, 36, 13},
    kAbout{544, 8, 28, 13}, kSync{440, 60, 61, 165}, kApply{544, 140, 49, 17},
    kCcout{556, 60, 25, 19}, kMin{556, 80, 25, 19}, kMax{588, 80, 25, 19},
    kEndStep{556, 112, 25, 19}, kTiming{24, 92, 81, 69}, kClose{596, 44, 21, 21},
    kClose2{592, 44, 21, 21}, kMemo2{128, 68, 241, 173}, kMemo3{80, 60, 339, 181},
    kOptionsBare{400, 100, 40, 40}, // a part of the options panel without children
    kAboutBare{300, 100, 110, 130}; // a part of the about text without text
bool optionsShown(const Shot& s) {
    return s.all(kOptionsBare, kSilver);
}
bool aboutShown(const Shot& s) {
    return s.at(kMemo3.left, kMemo3.y()) == kBlack && s.all(kAboutBare, kWhite);
}

// ---------------------------------------------------------------------------------------------
// The scenarios

std::string artefacts;

// Without a display the editor cannot open: the host hears 0 and nothing else changes.
void noDisplay(Window host) {
    Instance& in = newInstance();
    const std::string before = std::getenv("DISPLAY");
    setenv("DISPLAY", ":9999", 1);
    CHECK_EQ(in.open(host), 0);
    ERect* rect = nullptr;
    CHECK(in.dispatch(effEditGetRect, &rect) == 1 && rect->right == 0 && rect->bottom == 0);
    in.dispatch(effEditIdle);
    in.dispatch(effEditClose);
    setenv("DISPLAY", before.c_str(), 1);
    CHECK(childrenOf(host).empty());
    CHECK_EQ(in.open(host), 1);
    CHECK(editorIn(host) != 0);
    deleteInstance(in); // effClose with the editor open: it goes too
    CHECK(childrenOf(host).empty());
}

// How long effEditOpen takes, against making the same window empty on a connection of its own.
void openTimes(Instance& in, Window host) {
    constexpr int kRounds = 15;
    std::vector<double> editor, empty;
    auto since = [](Clock::time_point start) {
        return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    };
    for (int i = 0; i < kRounds; ++i) {
        Clock::time_point start = Clock::now();
        CHECK_EQ(in.open(host), 1);
        editor.push_back(since(start));
        in.dispatch(effEditClose);
        start = Clock::now();
        Display* own = XOpenDisplay(nullptr);
        XMapWindow(own, XCreateSimpleWindow(own, host, 0, 0, kWidth, kHeight, 0, 0, 0));
        XSync(own, False);
        empty.push_back(since(start));
        XCloseDisplay(own);
    }
    std::sort(editor.begin(), editor.end());
    std::sort(empty.begin(), empty.end());
    std::printf("effEditOpen: median %.2f ms; an empty %dx%d child window on a connection of its "
                "own: median %.2f ms (%d rounds)\n",
                editor[kRounds / 2], kWidth, kHeight, empty[kRounds / 2], kRounds);
}

void sliders(Instance& in, const Shot& opened) {
    for (int step = 0; step < 16; ++step)
        CHECK(thumbShown(opened, thumbAt(step, positionOf(in.parameter(step)))));
    // The track: the classic dither of white and silver.
    const Box bar = sliderBox(0);
    const int trackY = thumbAt(0, positionOf(in.parameter(0))).top > 120 ? 85 : 200;
    CHECK(opened.at(bar.left + 4, trackY) + opened.at(bar.left + 5, trackY) == kWhite + kSilver);
    // The thumb dragged to the top: 1.0, every value on the way sent as it moved.
    const Box from = thumbAt(0, positionOf(in.parameter(0)));
    moveTo(from.x(), from.y());
    button(true);
    for (int y = from.y(); y > 40; y -= 12)
        moveTo(from.x(), y);
    moveTo(from.x(), 40);
    button(false);
    const Heard dragged = in.take();
    CHECK(dragged.size() >= 3 && dragged.back() == (Automation{0, 1.0f}));
    CHECK(std::all_of(dragged.begin(), dragged.end(), [](auto& a) { return a.index == 0; }));
    CHECK(std::is_sorted(dragged.begin(), dragged.end(),
                         [](auto& a, auto& b) { return a.value < b.value; }));
    CHECK(thumbShown(shoot(target), thumbAt(0, 0)));
    // Arrows and track move by 1; clicked, the slider has the keyboard.
    click(bar.x(), bar.top + bar.height - 8);
    click(bar.x(), 200);
    click(bar.x(), bar.top + 8);
    key(XK_Down);
    key(XK_End);
    CHECK_EQ(in.take(),
             (Heard{{0, slider(1)}, {0, slider(2)}, {0, slider(1)}, {0, slider(2)}, {0, 0.0f}}));
    CHECK(thumbShown(shoot(target), thumbAt(0, 127)));
    key(XK_Tab); // on to the next slider
    key(XK_Home);
    CHECK_EQ(in.take(), (Heard{{1, 1.0f}}));
    // What the host sets reaches the thumb with the next refresh, and nothing goes back.
    in.effect->setParameter(in.effect, 3, 64.0f / 127.0f);
    settle(150);
    CHECK(thumbShown(shoot(target), thumbAt(3, 63)));
    CHECK(in.take().empty());
}

void transport(Instance& in) {
    click(kPlay.x(), kPlay.y()); // the red Play takes no clicks
    CHECK(in.take().empty());
    click(kStop.x(), kStop.y());
    CHECK_EQ(in.take(), (Heard{{22, 1.0f}}));
    Shot shot = shoot(target);
    CHECK(redIn(shot, kStop) && !redIn(shot, kPlay));
    moveTo(kPlay.x(), kPlay.y()); // a press on Play released over Stop presses nothing
    button(true);
    moveTo(kStop.x(), kStop.y());
    button(false);
    CHECK(in.take().empty());
    click(kPlay.x(), kPlay.y());
    CHECK_EQ(in.take(), (Heard{{22, 0.0f}}));
    shot = shoot(target);
    CHECK(redIn(shot, kPlay) && !redIn(shot, kStop));
    // The sync items: a new choice is sent, the same one again is not.
    const Box quarter = radioItem(kSync, 2, 6);
    CHECK(radioChecked(shot, radioItem(kSync, 0, 6)) && !radioChecked(shot, quarter));
    click(quarter.left + 20, quarter.y());
    click(quarter.left + 20, quarter.y());
    CHECK_EQ(in.take(), (Heard{{16, 0.04f}}));
    shot = shoot(target);
    CHECK(!radioChecked(shot, radioItem(kSync, 0, 6)) && radioChecked(shot, quarter));
}

// The engine runs (Play was clicked last): the lights follow its step at the idle calls.
void lights(Instance& in) {
    static float silence[512], left[512], right[512];
    float* inputs[2] = {silence, silence};
    float* outputs[2] = {left, right};
    std::vector<int> seen;
    for (int round = 0; round < 40; ++round) {
        for (int block = 0; block < 3; ++block) // less than a step of 5512.5 samples
            in.effect->processReplacing(in.effect, inputs, outputs, 512);
        settle(5);
        const Shot shot = shoot(target);
        std::vector<int> lit;
        for (int step = 0; step < 16; ++step)
            if (isRed(shot.at(kLightLefts[step] + 6, 234))) lit.push_back(step);
        CHECK_EQ(lit.size(), 1u);
        if (lit.size() == 1 && (seen.empty() || seen.back() != lit[0])) seen.push_back(lit[0]);
    }
    CHECK(seen.size() >= 8);
    for (std::size_t i = 1; i < seen.size(); ++i)
        CHECK(seen[i] == (seen[i - 1] + 1) % 16 || seen[i] == 0);
}

void panels(Instance& in) {
    click(kOptions.x(), kOptions.y());
    Shot shot = shoot(target);
    CHECK(optionsShown(shot) && !aboutShown(shot));
    CHECK(shot.any({kMemo2.left, kMemo2.top, kMemo2.width, 30}, isDark)); // the help text
    shot.save(artefacts + "/editor-linux-options.png");
    const Box internal = radioItem(kTiming, 0, 2), external = radioItem(kTiming, 1, 2);
    CHECK(radioChecked(shot, internal) && !radioChecked(shot, external));
    click(external.left + 20, external.y());
    click(internal.left + 20, internal.y());
    CHECK_EQ(in.take(), (Heard{{21, 1.0f}, {21, 0.0f}}));
    click(kOptions.x(), kOptions.y()); // Options again hides it; so does its close picture
    CHECK(!optionsShown(shoot(target)));
    click(kOptions.x(), kOptions.y());
    click(kClose.x(), kClose.y());
    CHECK(!optionsShown(shoot(target)));

    click(kAbout.x(), kAbout.y());
    shot = shoot(target);
    CHECK(aboutShown(shot) && !optionsShown(shot));
    CHECK(shot.any({kMemo3.left + 2, kMemo3.top + 2, 300, 14}, isDark)); // the product line
    shot.save(artefacts + "/editor-linux-about.png");
    click(kOptions.x(), kOptions.y()); // one panel at a time
    shot = shoot(target);
    CHECK(optionsShown(shot) && !aboutShown(shot));
    click(kAbout.x(), kAbout.y());
    shot = shoot(target);
    CHECK(aboutShown(shot) && !optionsShown(shot));
    click(kClose2.x(), kClose2.y());
    shot = shoot(target);
    CHECK(!aboutShown(shot) && !optionsShown(shot));
    CHECK(in.take().empty());
}

// The error box that Apply raised: found, read, shown over the editor, keeping the editor from
// taking input until dismissed in one of four ways.
enum class Dismiss { Enter, Escape, Ok, WindowManager };
void errorBox(Instance& in, Window host, const std::string& message, Dismiss how) {
    Window box = 0;
    for (int i = 0; i < 50 && box == 0; ++i)
        settle(10), box = messageBoxOver(host);
    CHECK(box != 0);
    if (box == 0) return;
    CHECK_EQ(textProperty(box, "_MESSAGE_TEXT"), message);
    CHECK_EQ(textProperty(box, "WM_NAME"), std::string(program_invocation_short_name));
    XWindowAttributes box_{}, host_{};
    XGetWindowAttributes(display, box, &box_);
    XGetWindowAttributes(display, host, &host_);
    CHECK(box_.x > host_.x && box_.x + box_.width < host_.x + kWidth);
    CHECK(box_.y > host_.y && box_.y + box_.height < host_.y + kHeight);
    Shot shot = shoot(box, box_.width, box_.height);
    const Box ok{(box_.width - 75) / 2, box_.height - 35, 75, 23};
    CHECK(isRed(shot.at(28, 20)) && shot.at(ok.x(), ok.top) == kBlack);
    CHECK(shot.any({60, 12, box_.width - 70, 32}, isDark));
    if (how == Dismiss::Enter) shot.save(artefacts + "/editor-linux-error.png");
    click(kStop.x(), kStop.y());
    key(XK_5);
    settle(120);
    CHECK(in.take().empty());
    CHECK(messageBoxOver(host) == box);
    if (how == Dismiss::Enter || how == Dismiss::Escape)
        key(how == Dismiss::Enter ? XK_Return : XK_Escape);
    if (how == Dismiss::Ok) {
        target = box;
        click(ok.x(), ok.y());
        target = host;
    }
    if (how == Dismiss::WindowManager) {
        XEvent event{};
        event.xclient = {ClientMessage,
                         0,
                         False,
                         display,
                         box,
                         XInternAtom(display, "WM_PROTOCOLS", False),
                         32,
                         {}};
        event.xclient.data.l[0] =
            static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
        XSendEvent(display, box, False, NoEventMask, &event);
    }
    settle();
    CHECK(messageBoxOver(host) == 0);
    click(kStop.x(), kStop.y()); // and then it does again
    click(kPlay.x(), kPlay.y());
    CHECK_EQ(in.take(), (Heard{{22, 1.0f}, {22, 0.0f}}));
}

void edits(Instance& in, Window host) {
    // The controller number takes digits only: not the minus, letters or Backspace; Delete is
    // no typed character and passes. Tab selects the next edit's text, to be typed over.
    click(kCcout.x(), kCcout.y());
    for (KeySym k : {XK_Home, XK_Delete, XK_Delete})
        key(k);
    type("-7x5");
    key(XK_BackSpace);
    key(XK_Tab), type("100"), key(XK_Tab), type("20"), key(XK_Tab), type("0");
    CHECK(in.take().empty());
    click(kApply.x(), kApply.y());
    CHECK_EQ(
        in.take(),
        (Heard{{17, midi(75)}, {19, midi(100)}, {18, midi(100)}, {19, midi(100)}, {20, 0.01f}}));
    CHECK(in.parameter(17) == midi(75) && in.parameter(20) == 0.01f);
    // Minimum and maximum both show 100 now: the same pixels; the controller number differs.
    const Shot shot = shoot(target);
    CHECK(shot.same(kMin, shot, kMax) && !shot.same(kMin, shot, kCcout));
    CHECK(shot.at(kCcout.left, kCcout.top) == kBlack && shot.any(kCcout.inside(), isDark));
    // Letters in the minimum: the controller number is applied, then the error box.
    click(kCcout.x(), kCcout.y());
    key(XK_Tab), type("abc");
    click(kApply.x(), kApply.y());
    CHECK_EQ(in.take(), (Heard{{17, midi(75)}}));
    errorBox(in, host, "'abc' is not a valid integer value.", Dismiss::Enter);
    // An empty maximum (Backspace passes where no key filter is).
    click(kMin.x(), kMin.y());
    for (KeySym k : {XK_End, XK_BackSpace, XK_BackSpace, XK_BackSpace, XK_5})
        key(k);
    click(kMax.x(), kMax.y());
    for (KeySym k : {XK_End, XK_BackSpace, XK_BackSpace, XK_BackSpace})
        key(k);
    for (Dismiss how : {Dismiss::Ok, Dismiss::WindowManager, Dismiss::Escape}) {
        click(kApply.x(), kApply.y());
        CHECK_EQ(in.take(), (Heard{{17, midi(75)}}));
        errorBox(in, host, "'' is not a valid integer value.", how);
    }
    click(kMax.x(), kMax.y());
    type("127");
    // The caret blinks in the edit with the keyboard, and nowhere else anything changes.
    const Shot caretOn = shoot(target);
    settle(600);
    const Shot caretOff = shoot(target);
    CHECK(!caretOn.same(kMax, caretOff, kMax));
    CHECK(caretOn.same({0, 0, kMax.left, kHeight}, caretOff, {0, 0, kMax.left, kHeight}));
    click(kEndStep.x(), kEndStep.y());
    key(XK_End), key(XK_BackSpace), type("16");
    click(kApply.x(), kApply.y());
    key(XK_Return); // the button with the keyboard presses on Enter
    const Heard applied{{17, midi(75)}, {18, midi(5)}, {19, midi(127)}, {20, 0.16f}};
    Heard twice = applied;
    twice.insert(twice.end(), applied.begin(), applied.end());
    CHECK_EQ(in.take(), twice);
}

// A host that destroys its window before closing the editor, at any moment (while the editor
// paints, too), then opens it in a new one or closes it.
void hostWindowGone() {
    Instance& in = newInstance();
    Window host = hostWindow(60, 500);
    CHECK_EQ(in.open(host), 1);
    for (int round = 0; round < 24; ++round) {
        for (int step = 0; step < 16; ++step) // values that change make the editor paint
            in.effect->setParameter(in.effect, step, static_cast<float>((round + step) % 8) / 8);
        idleFor({&in}, round % 4 * 40);
        XDestroyWindow(display, host);
        XFlush(display);
        for (int i = 0; i < round % 3; ++i)
            in.dispatch(effEditIdle);
        host = hostWindow(60, 500);
        if (round % 2 == 0) in.dispatch(effEditClose);
        CHECK_EQ(in.open(host), 1); // without a close, the open sees the window gone
        if (round % 2 == 1) in.dispatch(effEditClose);
        CHECK(editorIn(host) != 0);
    }
    in.dispatch(effEditClose);
    CHECK(childrenOf(host).empty());
    XDestroyWindow(display, host);
    deleteInstance(in);
}

// The timing radio shows the plug-in's mode, whoever set it: a host's change reaches it with the
// next refresh and sends nothing back, so a click on the other item always sends its value; the
// same when the editor opens with the mode already external.
void timingFollowsTheHost(Instance& in, Window host) {
    const Box internal = radioItem(kTiming, 0, 2), external = radioItem(kTiming, 1, 2);
    auto showsExternal = [&](bool yes) {
        const Shot shot = shoot(target);
        return optionsShown(shot) && radioChecked(shot, external) == yes &&
               radioChecked(shot, internal) == !yes;
    };
    click(kOptions.x(), kOptions.y());
    CHECK(showsExternal(false));
    in.effect->setParameter(in.effect, 21, 1.0f); // from the host's generic panel
    settle(150);
    CHECK(showsExternal(true));
    CHECK(in.take().empty());
    click(external.left + 20, external.y()); // the item shown: nothing to send
    CHECK(in.take().empty());
    click(internal.left + 20, internal.y());
    CHECK_EQ(in.take(), (Heard{{21, 0.0f}}));
    CHECK(in.parameter(21) == 0.0f && showsExternal(false));
    click(kOptions.x(), kOptions.y());

    // A session reloaded in external timing, the editor opened afterwards.
    in.dispatch(effEditClose);
    in.effect->setParameter(in.effect, 21, 1.0f);
    CHECK_EQ(in.open(host), 1);
    settle(60);
    click(kOptions.x(), kOptions.y());
    CHECK(showsExternal(true));
    click(internal.left + 20, internal.y());
    CHECK_EQ(in.take(), (Heard{{21, 0.0f}}));
    CHECK(showsExternal(false));
    click(kOptions.x(), kOptions.y());
    CHECK(!optionsShown(shoot(target)));
}

// Keys typed while the error box is up change nothing behind it, even when the editor's own
// window has the keyboard (a window manager that focuses the window under the pointer, or a
// host that focuses its plug-in window); once the box is gone they type again.
void typingBehindTheErrorBox(Instance& in, Window host) {
    auto backTab = [] {
        const KeyCode shift = XKeysymToKeycode(display, XK_Shift_L);
        XTestFakeKeyEvent(display, shift, True, CurrentTime);
        key(XK_Tab);
        XTestFakeKeyEvent(display, shift, False, CurrentTime);
        settle(10);
    };
    click(kMax.x(), kMax.y());
    for (KeySym k : {XK_End, XK_BackSpace, XK_BackSpace, XK_BackSpace})
        key(k);
    click(kApply.x(), kApply.y()); // Apply has the keyboard now
    CHECK_EQ(in.take(), (Heard{{17, midi(75)}}));
    Window box = 0;
    for (int i = 0; i < 50 && box == 0; ++i)
        settle(10), box = messageBoxOver(host);
    CHECK(box != 0);
    if (box == 0) return;
    settle(60); // the box has taken the keyboard as it appeared
    const Shot before = shoot(target);
    const Window editor = editorIn(host);
    XSetInputFocus(display, editor, RevertToParent, CurrentTime);
    settle();
    // Space on Apply, then back to the end step and the maximum, typing in each.
    key(XK_space), backTab(), type("7"), backTab(), type("42");
    settle(120);
    Window focused = 0;
    int revert = 0;
    XGetInputFocus(display, &focused, &revert);
    CHECK(focused == editor);
    CHECK(in.take().empty());
    CHECK(messageBoxOver(host) == box);
    const Shot after = shoot(target);
    CHECK(before.same(kMax, after, kMax) && before.same(kEndStep, after, kEndStep));
    XWindowAttributes shape{};
    XGetWindowAttributes(display, box, &shape);
    target = box;
    click((shape.width - 75) / 2 + 37, shape.height - 35 + 11); // OK
    target = host;
    CHECK(messageBoxOver(host) == 0);
    click(kMax.x(), kMax.y());
    type("42");
    click(kApply.x(), kApply.y());
    CHECK_EQ(in.take(), (Heard{{17, midi(75)}, {18, midi(5)}, {19, midi(42)}, {20, 0.16f}}));
}

// A host that destroyed its window just before it opens the editor there: the open answers 0
// and no X error reaches the host's handler (Xlib's default one ends the host); the next open
// in a window that exists works.
// The host's error handlers: each counts the X errors that reach it.
std::atomic<int> hostHandlerCalls{0}, laterHandlerCalls{0};
int hostHandler(Display*, XErrorEvent*) {
    ++hostHandlerCalls;
    return 0;
}
int laterHostHandler(Display*, XErrorEvent*) {
    ++laterHandlerCalls;
    return 0;
}
void openInADestroyedWindow() {
    Instance& in = newInstance();
    const XErrorHandler before = XSetErrorHandler(hostHandler);
    hostHandlerCalls = 0;
    for (int round = 0; round < 3; ++round) {
        const Window gone = hostWindow(60, 500);
        XDestroyWindow(display, gone);
        XSync(display, False);
        CHECK_EQ(in.open(gone), 0);
        in.dispatch(effEditIdle);
        XSync(display, False);
        CHECK_EQ(hostHandlerCalls.load(), 0);
    }
    const Window fresh = hostWindow(60, 500);
    CHECK_EQ(in.open(fresh), 1);
    CHECK(editorIn(fresh) != 0);
    idleFor({&in}, 40);
    in.dispatch(effEditClose);
    CHECK(childrenOf(fresh).empty());
    CHECK_EQ(hostHandlerCalls.load(), 0);
    XSetErrorHandler(before);
    XDestroyWindow(display, fresh);
    deleteInstance(in);
}

// The layout as this backend shows it, from an editor of the plug-in's own code opened in this
// program; the labels measured in their font still fit beside the edits.
void writeLinuxLayout(Window host) {
    AEffect* effect = pluginMain(hostCallback);
    CHECK_EQ(effect->dispatcher(effect, effEditOpen, 0, 0, reinterpret_cast<void*>(host), 0), 1);
    auto* editor = static_cast<APluginEditor*>(static_cast<APlugin*>(effect->object)->getEditor());
    TPluginEditorWindow& window = *editor->window();
    // Shown again, the form keeps its one native window.
    const Window shown = editorIn(host);
    CHECK(shown != 0 && framework::showInParent(window, reinterpret_cast<void*>(host)));
    CHECK(childrenOf(host) == std::vector<Window>{shown});
    std::ofstream out(artefacts + "/layout-linux.txt");
    const int lines = ::writeLayout(window, out);
    CHECK_EQ(lines, 65);
    auto right = [&](const char* name) {
        return window.find(name)->onForm().left + window.find(name)->bounds.width;
    };
    CHECK(right("Label3") <= 556 && right("Label1") <= 556 && right("Label4") <= 556);
    CHECK(right("Label2") <= 588 && right("Label7") <= 544 && right("AboutGUI") <= kWidth);
    CHECK(right("Label6") <= 28 + 138 && right("Label8") <= kWidth);
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0);
}

// The process's open files: each editor's display connection is one while it is open.
long openFiles() {
    const std::filesystem::directory_iterator files("/proc/self/fd");
    return std::distance(std::filesystem::begin(files), std::filesystem::end(files));
}

// ---------------------------------------------------------------------------------------------
// Two editors on two threads, as hosts that give each plug-in's editor a thread of its own run
// them: each thread destroys its host window under its editor and opens the editor again in a
// new one, round after round, so the editors' X calls fail on both threads at once. Those errors
// are the editors' own: none reaches the host's handler, and a handler the host installs half-way
// (while the other thread's editor is busy) is the one in place at the end.

Window threadHostWindow(Display* own, int x) {
    const Window window = XCreateSimpleWindow(own, DefaultRootWindow(own), x, 400, kWidth + 40,
                                              kHeight + 40, 0, 0, 0);
    XMapWindow(own, window);
    XSync(own, False);
    return window;
}

void editorsOnTwoThreads(int rounds) {
    Instance& first = newInstance();
    Instance& second = newInstance();
    const XErrorHandler before = XSetErrorHandler(hostHandler);
    std::atomic<bool> secondBusy{false}, installed{false};
    // One thread: its own connection and host window; the first installs the later handler
    // half-way, once its own editor is closed and the second's is idling in a live window.
    auto host = [&](Instance& in, int x, bool installs, int& opened, int& refused) {
        Display* own = XOpenDisplay(nullptr);
        Window window = threadHostWindow(own, x);
        for (int round = 0; round < rounds; ++round) {
            if (round == rounds / 2 && installs) {
                in.dispatch(effEditClose);
                while (!secondBusy)
                    std::this_thread::yield();
                XSetErrorHandler(laterHostHandler);
                installed = true;
            }
            if (round == rounds / 2 && !installs) {
                opened += in.open(window) == 1 ? 1 : 0;
                secondBusy = true;
                while (!installed)
                    in.dispatch(effEditIdle);
            }
            opened += in.open(window) == 1 ? 1 : 0;
            for (int step = 0; step < 16; ++step) // values that change make the editor paint
                in.effect->setParameter(in.effect, step,
                                        static_cast<float>((round + step) % 8) / 8);
            for (int i = 0; i < round % 3; ++i)
                in.dispatch(effEditIdle);
            XDestroyWindow(own, window);
            XSync(own, False);
            for (int i = 0; i < round % 4; ++i) // it paints into its window, seen gone or not yet
                in.dispatch(effEditIdle);
            refused += in.open(window) == 0 ? 1 : 0; // in the window just destroyed
            window = threadHostWindow(own, x);
        }
        in.dispatch(effEditClose);
        XDestroyWindow(own, window);
        XCloseDisplay(own);
    };
    int openedFirst = 0, openedSecond = 0, refusedFirst = 0, refusedSecond = 0;
    std::thread one(host, std::ref(first), 0, true, std::ref(openedFirst), std::ref(refusedFirst));
    std::thread two(host, std::ref(second), 700, false, std::ref(openedSecond),
                    std::ref(refusedSecond));
    one.join();
    two.join();
    CHECK_EQ(openedFirst, rounds);
    CHECK_EQ(openedSecond, rounds + 1);
    CHECK_EQ(refusedFirst, rounds);
    CHECK_EQ(refusedSecond, rounds);
    CHECK_EQ(hostHandlerCalls.load(), 0);
    CHECK_EQ(laterHandlerCalls.load(), 0);
    CHECK(XSetErrorHandler(before) == laterHostHandler);
    deleteInstance(second);
    deleteInstance(first);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) return std::fprintf(stderr, "usage: %s LIBRARY ARTEFACTS [CYCLES]\n", argv[0]), 2;
    XInitThreads(); // two editors run on two threads in one scenario
    artefacts = argv[2];
    display = XOpenDisplay(nullptr);
    int event = 0, error = 0, major = 0, minor = 0;
    if (display == nullptr || !XTestQueryExtension(display, &event, &error, &major, &minor))
        return std::fprintf(stderr, "no display with XTest\n"), 1;
    XSetErrorHandler(countError);
    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    entry = library != nullptr ? reinterpret_cast<EntryPoint>(dlsym(library, "VSTPluginMain"))
                               : nullptr;
    if (entry == nullptr) return std::fprintf(stderr, "%s: no entry point\n", argv[1]), 1;

    const Window host = hostWindow(20, 20);
    target = host;
    stage = "noDisplay";
    noDisplay(host);
    Instance& in = newInstance();
    user = &in;
    CHECK_EQ(in.effect->flags, 0x19); // an editor, mono, replacing
    stage = "openTimes";
    openTimes(in, host);

    stage = "open";
    const long files = openFiles();
    CHECK_EQ(in.open(host), 1);
    const Window editor = editorIn(host);
    XWindowAttributes placed{};
    XGetWindowAttributes(display, editor, &placed);
    CHECK(editor != 0 && placed.x == 0 && placed.y == 0 && placed.width == kWidth &&
          placed.height == kHeight);
    ERect* rect = nullptr;
    CHECK(in.dispatch(effEditGetRect, &rect) == 1 && rect->right == kWidth &&
          rect->bottom == kHeight);
    settle(150);
    Shot opened = shoot(host);
    opened.save(artefacts + "/editor-linux.png");
    // The layout's start: Play red, edits white with black text, labels on silver.
    CHECK(redIn(opened, kPlay) && !redIn(opened, kStop));
    CHECK(opened.at(kCcout.left, kCcout.top) == kBlack && opened.any(kCcout.inside(), isDark));
    CHECK(opened.at(516, 64) == kSilver && opened.any({516, 64, 30, 13}, isDark));
    // Covered and uncovered while the host calls no idle, the editor shows as it was.
    const Window cover = topWindow(0, 0, 900, 600, true);
    CHECK(shoot(host).pixels != opened.pixels);
    XDestroyWindow(display, cover);
    CHECK(shoot(host).pixels == opened.pixels);

    stage = "sliders", sliders(in, opened);
    stage = "transport", transport(in);
    stage = "lights", lights(in);
    stage = "panels", panels(in);
    stage = "edits", edits(in, host);
    stage = "timing", timingFollowsTheHost(in, host);
    stage = "typingBehindTheErrorBox", typingBehindTheErrorBox(in, host);
    stage = "openInADestroyedWindow", openInADestroyedWindow();

    stage = "reopen";
    in.dispatch(effEditClose);
    CHECK(childrenOf(host).empty());
    CHECK_EQ(in.open(host), 1);
    settle(60);
    opened = shoot(host);
    CHECK(redIn(opened, kPlay) && radioChecked(opened, radioItem(kSync, 2, 6)));

    // A second instance at once, hearing only its own editor; closed with its editor open.
    stage = "twoInstances";
    const Window secondHost = topWindow(600, 400, kWidth + 40, kHeight + 40, false, true);
    Instance& second = newInstance();
    CHECK(second.open(secondHost) == 1 && editorIn(secondHost) != 0 && editorIn(host) != 0);
    user = &second, target = secondHost;
    click(kStop.x(), kStop.y());
    user = &in, target = host;
    click(kStop.x(), kStop.y());
    idleFor({&in, &second}, 40);
    CHECK_EQ(second.take(), (Heard{{22, 1.0f}}));
    CHECK_EQ(in.take(), (Heard{{22, 1.0f}}));
    // In the 32-bit window the same pixels show where the two editors show the same, opaque
    // (below the step lights, which follow each instance's own step).
    const Shot first = shoot(host), deep = shoot(secondHost);
    for (const Box& same : {Box{0, 0, 240, 55}, Box{20, 242, 60, 23}, Box{496, 0, 130, 30}})
        CHECK(first.same(same, deep, same));
    XImage* alpha = XGetImage(display, secondHost, 30, 30, 1, 1, AllPlanes, ZPixmap);
    CHECK(alpha != nullptr && XGetPixel(alpha, 0, 0) >> 24 == 0xFF);
    if (alpha != nullptr) XDestroyImage(alpha);
    deleteInstance(second);
    CHECK(childrenOf(secondHost).empty());
    XDestroyWindow(display, secondHost);
    in.dispatch(effEditClose);
    CHECK(childrenOf(host).empty());
    CHECK_EQ(openFiles(), files); // the editors' connections are closed

    stage = "hostWindowGone", hostWindowGone();
    // Hundreds of editors opened, idled and closed: each goes whole, connection and all.
    stage = "cycles";
    const int cycles = argc > 3 ? std::atoi(argv[3]) : 300;
    int whole = 0;
    for (int i = 0; i < cycles; ++i) {
        const bool opens = in.open(host) == 1 && editorIn(host) != 0;
        for (int j = 0; j < 3; ++j)
            in.dispatch(effEditIdle);
        in.dispatch(effEditClose);
        whole += opens && childrenOf(host).empty() ? 1 : 0;
    }
    CHECK_EQ(whole, cycles);
    CHECK_EQ(openFiles(), files);
    stage = "twoThreads", editorsOnTwoThreads(200);
    stage = "layout", writeLinuxLayout(host);
    deleteInstance(in);

    XDestroyWindow(display, host);
    XSync(display, False);
    CHECK_EQ(xErrors, 0); // on any connection of the process, the editors' included
    XCloseDisplay(display);
    dlclose(library);
    releaseDrawingCaches();
    std::printf("%d passed, %d failed\n", checks - failures, failures);
    std::fflush(stdout);
    return failures == 0 ? 0 : 1;
}
