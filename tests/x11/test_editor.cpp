// The Linux library's editor in a real X window: a host's top-level window on a (virtual)
// display, the library loaded with dlopen through its exported entry point, the editor opened in
// that window and driven with real pointer and key events (XTest), idled as a host idles it.
// What the host hears comes through its callback; what the user sees is read back from the
// screen (XGetImage) and kept as screenshots. Every X error of the process is counted; there
// must be none.
//
// usage: morvo_x11_editor_tests LIBRARY ARTEFACTS_FOLDER [CYCLES]
//
// Besides the screenshots it writes ARTEFACTS_FOLDER/layout-linux.txt: the place of every
// control of the editor window as this backend shows it (labels measured in the font they are
// drawn with), one line per control in the layout's order:
//     NAME KIND LEFT TOP WIDTH HEIGHT
// in pixels from the window's top left (panel children too), then "shown" or "hidden".
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <cairo.h>
#include <dirent.h>
#include <dlfcn.h>
#include <fontconfig/fontconfig.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "editor/uPluginEditor.h"
#include "host/DAEffectX.h"
#include "host/Morvo.h"
#include "sequencer/uPlugin.h"

namespace {

using Clock = std::chrono::steady_clock;
using EntryPoint = AEffect* (*)(audioMasterCallback);

// ---------------------------------------------------------------------------------------------
// Checks

int checks = 0, failures = 0;

void check(bool ok, const std::string& what, int line) {
    ++checks;
    if (ok) return;
    ++failures;
    std::fprintf(stderr, "FAILED (line %d): %s\n", line, what.c_str());
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
// The host

struct Automation {
    std::int32_t index;
    float value;
    bool operator==(const Automation&) const = default;
};
std::ostream& operator<<(std::ostream& out, const std::vector<Automation>& heard) {
    out << "[";
    for (const Automation& a : heard)
        out << " (" << a.index << ", " << a.value << ")";
    return out << " ]";
}

float slider(int position) {
    return static_cast<float>(1.0L - position / 127.0L);
}
float midi(int number) {
    return static_cast<float>(number) / 127.0f;
}

struct Instance;
std::vector<Instance*> instances;

struct Instance {
    AEffect* effect = nullptr;
    std::vector<Automation> heard;
    VstIntPtr dispatch(std::int32_t opcode, void* ptr = nullptr, VstIntPtr value = 0) {
        return effect->dispatcher(effect, opcode, 0, value, ptr, 0.0f);
    }
    // What the host heard since the last call.
    std::vector<Automation> take() { return std::exchange(heard, {}); }
};

VstIntPtr hostCallback(AEffect* effect, std::int32_t opcode, std::int32_t index, VstIntPtr, void*,
                       float opt) {
    switch (opcode) {
    case audioMasterVersion: return 2400;
    case audioMasterAutomate:
        for (Instance* in : instances)
            if (in->effect == effect) in->heard.push_back({index, opt});
        return 0;
    case audioMasterTempoAt: return 1200000; // 120 beats per minute
    default: return 0;
    }
}

// ---------------------------------------------------------------------------------------------
// The display, as the host and the user see it

Display* display = nullptr;
int xErrors = 0;
const char* stage = "start"; // the scenario running, for the error report

int countError(Display* where, XErrorEvent* error) {
    char text[256] = {};
    XGetErrorText(where, error->error_code, text, sizeof text);
    std::fprintf(stderr, "X error in %s: %s (request %d, resource 0x%lx)\n", stage, text,
                 error->request_code, error->resourceid);
    ++xErrors;
    return 0;
}

constexpr int kWidth = 626, kHeight = 280;

Window hostWindow(int x, int y) {
    const int screen = DefaultScreen(display);
    Window window = XCreateSimpleWindow(display, RootWindow(display, screen), x, y, kWidth + 40,
                                        kHeight + 40, 0, 0, WhitePixel(display, screen));
    XStoreName(display, window, "Test host");
    XSelectInput(display, window, StructureNotifyMask);
    XMapWindow(display, window);
    XEvent event;
    do
        XWindowEvent(display, window, StructureNotifyMask, &event);
    while (event.type != MapNotify);
    return window;
}

std::vector<Window> childrenOf(Window window) {
    XSync(display, False);
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    std::vector<Window> found;
    if (XQueryTree(display, window, &root, &parent, &children, &count) != 0) {
        found.assign(children, children + count);
        if (children != nullptr) XFree(children);
    }
    return found;
}

// The error box: a top-level window transient for the host's window.
Window messageBoxOver(Window host) {
    for (Window top : childrenOf(DefaultRootWindow(display))) {
        Window owner = 0;
        XWindowAttributes attributes{};
        if (XGetTransientForHint(display, top, &owner) != 0 && owner == host &&
            XGetWindowAttributes(display, top, &attributes) != 0 &&
            attributes.map_state == IsViewable)
            return top;
    }
    return 0;
}

std::string stringProperty(Window window, const char* name) {
    const Atom atom = XInternAtom(display, name, False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char* data = nullptr;
    std::string text;
    if (XGetWindowProperty(display, window, atom, 0, 1024, False, AnyPropertyType, &type, &format,
                           &count, &left, &data) == Success &&
        data != nullptr) {
        text.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
    }
    return text;
}

// What a window shows, read back from the screen.
struct Shot {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels; // 0xRRGGBB
    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    bool any(int left, int top, int w, int h, const std::function<bool(std::uint32_t)>& is) const {
        for (int y = top; y < top + h; ++y)
            for (int x = left; x < left + w; ++x)
                if (is(at(x, y))) return true;
        return false;
    }
    bool all(int left, int top, int w, int h, std::uint32_t colour) const {
        return !any(left, top, w, h, [&](std::uint32_t c) { return c != colour; });
    }
    bool same(int left, int top, int otherLeft, int otherTop, int w, int h) const {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (at(left + x, top + y) != at(otherLeft + x, otherTop + y)) return false;
        return true;
    }
    void save(const std::string& path) const {
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
        cairo_surface_flush(surface);
        unsigned char* data = cairo_image_surface_get_data(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        for (int y = 0; y < height; ++y)
            std::memcpy(data + static_cast<std::ptrdiff_t>(y) * stride, &pixels[y * width],
                        static_cast<std::size_t>(width) * 4);
        cairo_surface_mark_dirty(surface);
        CHECK(cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS);
        cairo_surface_destroy(surface);
    }
};

Shot shoot(Window window, int width, int height) {
    XSync(display, False);
    Shot shot;
    shot.width = width;
    shot.height = height;
    XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (image == nullptr) {
        CHECK(image != nullptr);
        shot.pixels.assign(static_cast<std::size_t>(width) * height, 0);
        return shot;
    }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            shot.pixels.push_back(static_cast<std::uint32_t>(XGetPixel(image, x, y)) & 0xFFFFFF);
    XDestroyImage(image);
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
// The user: pointer and keys through XTest, at points of a window

Window pointerWindow = 0; // the window the coordinates below are in

void moveTo(int x, int y) {
    int rootX = 0, rootY = 0;
    Window child = 0;
    XTranslateCoordinates(display, pointerWindow, DefaultRootWindow(display), x, y, &rootX, &rootY,
                          &child);
    XTestFakeMotionEvent(display, -1, rootX, rootY, CurrentTime);
    XSync(display, False);
}
void button(bool down) {
    XTestFakeButtonEvent(display, 1, down ? True : False, CurrentTime);
    XSync(display, False);
}
void key(KeySym symbol, bool shift = false) {
    const KeyCode shiftCode = XKeysymToKeycode(display, XK_Shift_L);
    const KeyCode code = XKeysymToKeycode(display, symbol);
    if (shift) XTestFakeKeyEvent(display, shiftCode, True, CurrentTime);
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    XTestFakeKeyEvent(display, code, False, CurrentTime);
    if (shift) XTestFakeKeyEvent(display, shiftCode, False, CurrentTime);
    XSync(display, False);
}
void type(const std::string& text) {
    for (char c : text) {
        if (c == '-')
            key(XK_minus);
        else
            key(static_cast<KeySym>(static_cast<unsigned char>(c))); // Latin-1 keysyms
    }
}

// The host's idle calls, many a second, for a while.
void idleFor(std::initializer_list<Instance*> editors, int milliseconds) {
    XSync(display, False);
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(milliseconds);
    do {
        for (Instance* in : editors)
            in->dispatch(effEditIdle);
        usleep(2000);
    } while (Clock::now() < end);
}

Instance* current = nullptr; // the instance the user works with
void settle(int milliseconds = 40) {
    idleFor({current}, milliseconds);
}
void click(int x, int y) {
    moveTo(x, y);
    button(true);
    settle(15);
    button(false);
    settle();
}
void drag(int fromX, int fromY, int toX, int toY) {
    moveTo(fromX, fromY);
    button(true);
    settle(15);
    for (int i = 1; i <= 8; ++i) {
        moveTo(fromX + (toX - fromX) * i / 8, fromY + (toY - fromY) * i / 8);
        settle(10);
    }
    button(false);
    settle();
}

int openFiles() {
    int count = 0;
    if (DIR* folder = opendir("/proc/self/fd")) {
        while (readdir(folder) != nullptr)
            ++count;
        closedir(folder);
    }
    return count;
}

// ---------------------------------------------------------------------------------------------
// The layout, as the test knows it

struct Box {
    int left, top, width, height;
    int x() const { return left + width / 2; }
    int y() const { return top + height / 2; }
};
constexpr int kSliderLefts[16] = {28,  52,  76,  100, 132, 156, 180, 204,
                                  236, 260, 284, 308, 340, 364, 388, 412};
constexpr int kLightLefts[16] = {30,  52,  78,  102, 134, 158, 182, 206,
                                 238, 262, 286, 310, 342, 366, 390, 414};
Box sliderBox(int step) {
    return {kSliderLefts[step], 60, step == 0 ? 17 : 16, 165};
}
// The thumb of a slider at a position: square arrows at the ends, a thumb as long as the bar is
// wide, placed in the track between.
Box thumbAt(int step, int position) {
    const Box bar = sliderBox(step);
    const int arrow = bar.width, track = bar.height - 2 * arrow, room = track - bar.width;
    return {bar.left, bar.top + arrow + (position * room + 63) / 127, bar.width, bar.width};
}
int positionOf(float value) {
    return static_cast<int>(std::nearbyint(127.0L - value * 127.0L));
}
// The thumb is a raised face: white at its top edge, silver inside.
bool thumbShown(const Shot& shot, const Box& thumb) {
    return shot.at(thumb.left + 3, thumb.top + 1) == kWhite &&
           shot.at(thumb.x(), thumb.y()) == kSilver;
}
// Radio items: one column below the caption, sharing the height evenly.
Box radioItem(const Box& group, int item, int count) {
    const int top = 11 + 4, each = (group.height - top - 4) / count;
    return {group.left + 8, group.top + top + item * each, group.width - 12, each};
}
bool radioChecked(const Shot& shot, const Box& item) {
    return shot.at(item.left + 6, item.top + item.height / 2) == kBlack;
}
const Box kPlay{52, 244, 21, 21}, kStop{28, 244, 21, 21}, kOptions{500, 8, 36, 13},
    kAbout{544, 8, 28, 13}, kSync{440, 60, 61, 165}, kApply{544, 140, 49, 17},
    kCcout{556, 60, 25, 19}, kMin{556, 80, 25, 19}, kMax{588, 80, 25, 19},
    kEndStep{556, 112, 25, 19}, kTiming{24, 92, 81, 69}, kClose{596, 44, 21, 21},
    kClose2{592, 44, 21, 21}, kMemo2{128, 68, 241, 173}, kMemo3{80, 60, 339, 181};
// A part of Panel1 where it has no child: plain silver while the panel is shown.
const Box kOptionsBare{400, 100, 40, 40};

int litLight(const Shot& shot, int& lit) {
    int count = 0;
    for (int step = 0; step < 16; ++step)
        if (isRed(shot.at(kLightLefts[step] + 6, 228 + 6))) ++count, lit = step;
    return count;
}

// ---------------------------------------------------------------------------------------------
// The scenarios

std::string artefacts;
EntryPoint entry = nullptr;

Instance* newInstance() {
    auto* in = new Instance;
    instances.push_back(in);
    in->effect = entry(hostCallback);
    CHECK(in->effect != nullptr);
    in->dispatch(effOpen);
    in->effect->dispatcher(in->effect, effSetSampleRate, 0, 0, nullptr, 44100.0f);
    in->dispatch(effSetBlockSize, nullptr, 512);
    in->dispatch(effMainsChanged, nullptr, 1);
    return in;
}

void deleteInstance(Instance* in) {
    in->dispatch(effClose);
    instances.erase(std::find(instances.begin(), instances.end(), in));
    delete in;
}

void process(Instance& in, int blocks) {
    static float silence[512], left[512], right[512];
    float* inputs[2] = {silence, silence};
    float* outputs[2] = {left, right};
    for (int i = 0; i < blocks; ++i)
        in.effect->processReplacing(in.effect, inputs, outputs, 512);
}

// The editor's window in the host's, on screen.
Window editorIn(Window host) {
    const std::vector<Window> children = childrenOf(host);
    XWindowAttributes attributes{};
    return children.size() == 1 && XGetWindowAttributes(display, children[0], &attributes) != 0 &&
                   attributes.map_state == IsViewable
               ? children[0]
               : 0;
}

// Without a display the editor cannot open: the host hears 0 and nothing else changes.
void noDisplay(Window host) {
    Instance& in = *newInstance();
    const std::string before = std::getenv("DISPLAY");
    setenv("DISPLAY", ":9999", 1);
    CHECK_EQ(in.dispatch(effEditOpen, reinterpret_cast<void*>(host)), 0);
    ERect* rect = nullptr;
    CHECK_EQ(in.dispatch(effEditGetRect, &rect), 1);
    CHECK(rect != nullptr && rect->right == 0 && rect->bottom == 0);
    in.dispatch(effEditIdle);
    in.dispatch(effEditClose);
    setenv("DISPLAY", before.c_str(), 1);
    CHECK(childrenOf(host).empty());
    // Once there is a display again, it opens.
    CHECK_EQ(in.dispatch(effEditOpen, reinterpret_cast<void*>(host)), 1);
    CHECK_EQ(childrenOf(host).size(), 1u);
    in.dispatch(effEditClose);
    CHECK(childrenOf(host).empty());
    deleteInstance(&in);
}

// How long effEditOpen takes, against making the same window empty on a connection of its own.
void openTimes(Instance& in, Window host) {
    constexpr int kRounds = 15;
    std::vector<double> editor, empty;
    for (int i = 0; i < kRounds; ++i) {
        const Clock::time_point start = Clock::now();
        CHECK_EQ(in.dispatch(effEditOpen, reinterpret_cast<void*>(host)), 1);
        editor.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        in.dispatch(effEditClose);

        const Clock::time_point plain = Clock::now();
        Display* own = XOpenDisplay(nullptr);
        Window window = XCreateSimpleWindow(own, host, 0, 0, kWidth, kHeight, 0, 0, 0);
        XMapWindow(own, window);
        XSync(own, False);
        empty.push_back(std::chrono::duration<double, std::milli>(Clock::now() - plain).count());
        XCloseDisplay(own);
    }
    std::sort(editor.begin(), editor.end());
    std::sort(empty.begin(), empty.end());
    std::printf("editor open: median %.2f ms (min %.2f) against an empty %dx%d child window on "
                "its own connection: median %.2f ms (min %.2f), %d rounds\n",
                editor[kRounds / 2], editor[0], kWidth, kHeight, empty[kRounds / 2], empty[0],
                kRounds);
    CHECK(childrenOf(host).empty());
}

void sliders(Instance& in, const Shot& opened) {
    // Each slider's thumb stands where its value puts it.
    for (int step = 0; step < 16; ++step)
        CHECK(thumbShown(opened,
                         thumbAt(step, positionOf(in.effect->getParameter(in.effect, step)))));
    // The track is the classic dither of white and silver.
    const Box bar = sliderBox(5);
    const Box thumb = thumbAt(5, positionOf(in.effect->getParameter(in.effect, 5)));
    const int trackY = thumb.top > bar.top + 40 ? bar.top + 25 : bar.top + bar.height - 25;
    CHECK(opened.at(bar.left + 4, trackY) != opened.at(bar.left + 5, trackY));
    CHECK(opened.at(bar.left + 4, trackY) == kWhite || opened.at(bar.left + 5, trackY) == kWhite);

    // The thumb dragged to the top: 1.0, every value on the way sent as it moved.
    const Box from = thumbAt(0, positionOf(in.effect->getParameter(in.effect, 0)));
    drag(from.x(), from.y(), from.x(), 40);
    std::vector<Automation> heard = in.take();
    CHECK(!heard.empty());
    CHECK(
        std::all_of(heard.begin(), heard.end(), [](const Automation& a) { return a.index == 0; }));
    CHECK(std::is_sorted(heard.begin(), heard.end(), [](const Automation& a, const Automation& b) {
        return a.value < b.value;
    }));
    CHECK(!heard.empty() && heard.back() == (Automation{0, 1.0f}));
    CHECK_EQ(in.effect->getParameter(in.effect, 0), 1.0f);
    Shot shot = shoot(pointerWindow, kWidth, kHeight);
    CHECK(thumbShown(shot, thumbAt(0, 0)));

    // Arrows and track move by 1.
    const Box bar0 = sliderBox(0);
    click(bar0.x(), bar0.top + bar0.height - 8);
    CHECK_EQ(in.take(), (std::vector<Automation>{{0, slider(1)}}));
    click(bar0.x(), thumbAt(0, 1).top + 17 + 20);
    CHECK_EQ(in.take(), (std::vector<Automation>{{0, slider(2)}}));
    click(bar0.x(), bar0.top + 8);
    CHECK_EQ(in.take(), (std::vector<Automation>{{0, slider(1)}}));
    // Clicked, the slider has the keyboard: Down moves it by 1, End to the bottom.
    key(XK_Down);
    settle();
    CHECK_EQ(in.take(), (std::vector<Automation>{{0, slider(2)}}));
    key(XK_End);
    settle();
    CHECK_EQ(in.take(), (std::vector<Automation>{{0, 0.0f}}));
    shot = shoot(pointerWindow, kWidth, kHeight);
    CHECK(thumbShown(shot, thumbAt(0, 127)));
    // Tab moves the keyboard on to the next slider.
    key(XK_Tab);
    key(XK_Home);
    settle();
    CHECK_EQ(in.take(), (std::vector<Automation>{{1, 1.0f}}));

    // A value the host sets reaches the thumb with the next refresh, and nothing goes back.
    in.effect->setParameter(in.effect, 3, 0.0f);
    settle(150);
    shot = shoot(pointerWindow, kWidth, kHeight);
    CHECK(thumbShown(shot, thumbAt(3, 127)));
    in.effect->setParameter(in.effect, 3, 64.0f / 127.0f);
    settle(150);
    shot = shoot(pointerWindow, kWidth, kHeight);
    CHECK(thumbShown(shot, thumbAt(3, 63)));
    CHECK(in.take().empty());
}

void transport(Instance& in) {
    Shot shot = shoot(pointerWindow, kWidth, kHeight);
    auto red = [](const Shot& s, const Box& b) { return s.any(b.left, b.top, 20, 20, isRed); };
    CHECK(red(shot, kPlay));
    CHECK(!red(shot, kStop));
    click(kPlay.x(), kPlay.y()); // the red Play takes no clicks
    CHECK(in.take().empty());
    click(kStop.x(), kStop.y());
    CHECK_EQ(in.take(), (std::vector<Automation>{{22, 1.0f}}));
    shot = shoot(pointerWindow, kWidth, kHeight);
    CHECK(red(shot, kStop));
    CHECK(!red(shot, kPlay));
    // A press on Play released over Stop presses nothing.
    moveTo(kPlay.x(), kPlay.y());
    button(true);
    settle(15);
    moveTo(kStop.x(), kStop.y());
    button(false);
    settle();
    CHECK(in.take().empty());
    click(kPlay.x(), kPlay.y());
    CHECK_EQ(in.take(), (std::vector<Automation>{{22, 0.0f}}));
    shot = shoot(pointerWindow, kWidth, kHeight);
    CHECK(red(shot, kPlay));
    CHECK(!red(shot, kStop));
}

void sync(Instance& in) {
    const Box quarter = radioItem(kSync, 2, 6);
    Shot shot = shoot(pointerWindow, kWidth, kHeight);
    CHECK(radioChecked(shot, radioItem(kSync, 0, 6)));
    CHECK(!radioChecked(shot, quarter));
    click(quarter.left + 20, quarter.y());
    CHECK_EQ(in.take(), (std::vector<Automation>{{16, 0.04f}}));
    click(quarter.left + 20, quarter.y()); // already chosen: nothing
    CHECK(in.take().empty());
    shot = shoot(pointerWindow, kWidth, kHeight);
    CHECK(!radioChecked(shot, radioItem(kSync, 0, 6)));
    CHECK(radioChecked(shot, quarter));
}

// The engine runs on (Play was clicked last): the lights follow its step at the idle calls.
void lights(Instance& in) {
    std::vector<int> seen;
    for (int round = 0; round < 40; ++round) {
        process(in, 3); // 1536 samples: under a step of 5512.5 at 4 steps a beat, 120 a minute
        settle(5);
        const Shot shot = shoot(pointerWindow, kWidth, kHeight);
        int lit = -1;
        CHECK_EQ(litLight(shot, lit), 1);
        if (seen.empty() || seen.back() != lit) seen.push_back(lit);
    }
    CHECK(seen.size() >= 8);
    for (std::size_t i = 1; i < seen.size(); ++i)
        CHECK(seen[i] == (seen[i - 1] + 1) % 16 || seen[i] == 0);
    CHECK(in.take().empty());
}

void panels(Instance& in) {
    auto optionsShown = [](const Shot& s) {
        return s.all(kOptionsBare.left, kOptionsBare.top, kOptionsBare.width, kOptionsBare.height,
                     kSilver);
    };
    // The about text: a white field with a black border.
    auto aboutShown = [](const Shot& s) {
        return s.at(kMemo3.left, kMemo3.y()) == kBlack &&
               s.all(kMemo3.left + 220, kMemo3.top + 40, 110, 130, kWhite);
    };
    Shot shot = shoot(pointerWindow, kWidth, kHeight);
    CHECK(!optionsShown(shot));
    CHECK(!aboutShown(shot));
    click(kOptions.x(), kOptions.y());
    shot = shoot(pointerWindow, kWidth, kHeight);
    CHECK(optionsShown(shot));
    CHECK(!aboutShown(shot));
    shot.save(artefacts + "/editor-linux-options.png");
    // The help text is there, and the timing group with "Internal" chosen.
    CHECK(shot.any(kMemo2.left, kMemo2.top, kMemo2.width, 30, isDark));
    CHECK(radioChecked(shot, radioItem(kTiming, 0, 2)));
    const Box external = radioItem(kTiming, 1, 2), internal = radioItem(kTiming, 0, 2);
    click(external.left + 20, external.y());
    CHECK_EQ(in.take(), (std::vector<Automation>{{21, 1.0f}}));
    click(internal.left + 20, internal.y());
    CHECK_EQ(in.take(), (std::vector<Automation>{{21, 0.0f}}));
    // Options again hides it; the close picture does too.
    click(kOptions.x(), kOptions.y());
    CHECK(!optionsShown(shoot(pointerWindow, kWidth, kHeight)));
    click(kOptions.x(), kOptions.y());
    CHECK(optionsShown(shoot(pointerWindow, kWidth, kHeight)));
    click(kClose.x(), kClose.y());
    CHECK(!optionsShown(shoot(pointerWindow, kWidth, kHeight)));

    click(kAbout.x(), kAbout.y());
    shot = shoot(pointerWindow, kWidth, kHeight);
    CHECK(aboutShown(shot));
    CHECK(shot.any(kMemo3.left + 2, kMemo3.top + 2, kMemo3.width - 4, 14, isDark));
    shot.save(artefacts + "/editor-linux-about.png");
    // Options over About: one panel at a time.
    click(kOptions.x(), kOptions.y());
    shot = shoot(pointerWindow, kWidth, kHeight);
    CHECK(optionsShown(shot));
    CHECK(!aboutShown(shot));
    click(kAbout.x(), kAbout.y());
    shot = shoot(pointerWindow, kWidth, kHeight);
    CHECK(!optionsShown(shot));
    CHECK(aboutShown(shot));
    click(kAbout.x(), kAbout.y());
    shot = shoot(pointerWindow, kWidth, kHeight);
    CHECK(!optionsShown(shot));
    CHECK(!aboutShown(shot));
    click(kAbout.x(), kAbout.y());
    click(kClose2.x(), kClose2.y());
    CHECK(!aboutShown(shoot(pointerWindow, kWidth, kHeight)));
    CHECK(in.take().empty());
}

// Dismisses the error box that should be up with a message, one of four ways.
enum class Dismiss { Enter, Escape, Ok, WindowManager };
void errorBox(Instance& in, Window host, const std::string& message, Dismiss how) {
    Window box = 0;
    for (int i = 0; i < 50 && box == 0; ++i) {
        settle(10);
        box = messageBoxOver(host);
    }
    CHECK(box != 0);
    if (box == 0) return;
    CHECK_EQ(stringProperty(box, "_MESSAGE_TEXT"), message);
    CHECK(!stringProperty(box, "WM_NAME").empty());
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, box, &attributes);
    // Over the editor, with the red icon and the OK button's black frame at the bottom.
    int x = 0, y = 0, hostX = 0, hostY = 0;
    Window child = 0;
    XTranslateCoordinates(display, box, DefaultRootWindow(display), 0, 0, &x, &y, &child);
    XTranslateCoordinates(display, host, DefaultRootWindow(display), 0, 0, &hostX, &hostY, &child);
    CHECK(x > hostX && x + attributes.width < hostX + kWidth);
    CHECK(y > hostY && y + attributes.height < hostY + kHeight);
    const Shot shot = shoot(box, attributes.width, attributes.height);
    CHECK(isRed(shot.at(28, 20)));
    const Box ok{(attributes.width - 75) / 2, attributes.height - 35, 75, 23};
    CHECK(shot.at(ok.x(), ok.top) == kBlack);
    CHECK(shot.any(60, 12, attributes.width - 70, 32, isDark)); // the message
    static int shots = 0;
    if (shots++ == 0) shot.save(artefacts + "/editor-linux-error.png");

    // The editor takes no input while the box is up.
    click(kStop.x(), kStop.y());
    key(XK_5);
    settle(120);
    CHECK(in.take().empty());
    CHECK(messageBoxOver(host) == box);

    switch (how) {
    case Dismiss::Enter: key(XK_Return); break;
    case Dismiss::Escape: key(XK_Escape); break;
    case Dismiss::Ok: {
        const Window before = pointerWindow;
        pointerWindow = box;
        click(ok.x(), ok.y());
        pointerWindow = before;
        break;
    }
    case Dismiss::WindowManager: {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = box;
        event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] =
            static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, box, False, NoEventMask, &event);
        break;
    }
    }
    settle();
    CHECK(messageBoxOver(host) == 0);
    // And then it does again.
    click(kStop.x(), kStop.y());
    click(kPlay.x(), kPlay.y());
    CHECK_EQ(in.take(), (std::vector<Automation>{{22, 1.0f}, {22, 0.0f}}));
}

void edits(Instance& in, Window host) {
    // The controller number takes digits only: not the minus, letters or Backspace; Delete is
    // no typed character and passes.
    click(kCcout.x(), kCcout.y());
    key(XK_Home);
    key(XK_Delete);
    key(XK_Delete);
    type("-7x5");
    key(XK_BackSpace);
    // Tab selects the next edit's text, to be typed over.
    key(XK_Tab);
    type("100");
    key(XK_Tab);
    type("20");
    key(XK_Tab);
    type("0");
    settle();
    CHECK(in.take().empty());
    click(kApply.x(), kApply.y());
    CHECK_EQ(in.take(),
             (std::vector<Automation>{
                 {17, midi(75)}, {19, midi(100)}, {18, midi(100)}, {19, midi(100)}, {20, 0.01f}}));
    CHECK_EQ(in.effect->getParameter(in.effect, 17), midi(75));
    CHECK_EQ(in.effect->getParameter(in.effect, 20), 0.01f);
    settle(150);
    // Minimum and maximum both show 100 now: the same pixels; the controller number differs.
    Shot shot = shoot(pointerWindow, kWidth, kHeight);
    CHECK(shot.same(kMin.left, kMin.top, kMax.left, kMax.top, kMin.width, kMin.height));
    CHECK(!shot.same(kMin.left, kMin.top, kCcout.left, kCcout.top, kMin.width, kMin.height));
    CHECK(shot.any(kCcout.left + 1, kCcout.top + 1, 23, 17, isDark));
    CHECK(shot.at(kCcout.left, kCcout.top) == kBlack);
    CHECK(shot.at(kCcout.left + 3, kCcout.top + 16) == kWhite);

    // Letters in the minimum: the controller number is applied, then the error box.
    click(kCcout.x(), kCcout.y());
    key(XK_Tab);
    type("abc");
    click(kApply.x(), kApply.y());
    CHECK_EQ(in.take(), (std::vector<Automation>{{17, midi(75)}}));
    errorBox(in, host, "'abc' is not a valid integer value.", Dismiss::Enter);

    // An empty maximum (Backspace passes in the edits without a filter).
    click(kMin.x(), kMin.y());
    key(XK_End);
    key(XK_BackSpace);
    key(XK_BackSpace);
    key(XK_BackSpace);
    type("5");
    click(kMax.x(), kMax.y());
    key(XK_End);
    for (int i = 0; i < 3; ++i)
        key(XK_BackSpace);
    click(kApply.x(), kApply.y());
    CHECK_EQ(in.take(), (std::vector<Automation>{{17, midi(75)}}));
    errorBox(in, host, "'' is not a valid integer value.", Dismiss::Ok);
    click(kApply.x(), kApply.y());
    in.take();
    errorBox(in, host, "'' is not a valid integer value.", Dismiss::WindowManager);
    click(kApply.x(), kApply.y());
    in.take();
    errorBox(in, host, "'' is not a valid integer value.", Dismiss::Escape);

    // Fixed, everything applies in order; the end step goes back to 16.
    click(kMax.x(), kMax.y());
    type("127");
    click(kEndStep.x(), kEndStep.y());
    key(XK_End);
    key(XK_BackSpace);
    type("16");
    click(kApply.x(), kApply.y());
    CHECK_EQ(in.take(), (std::vector<Automation>{
                            {17, midi(75)}, {18, midi(5)}, {19, midi(127)}, {20, 0.16f}}));
    // Enter presses the button that has the keyboard: Apply again.
    key(XK_Return);
    settle();
    CHECK_EQ(in.take().size(), 4u);
}

// Two instances at once, each hearing only its own editor; one closed with its editor open.
void twoInstances(Instance& first, Window firstHost) {
    const Window secondHost = hostWindow(700, 400);
    Instance& second = *newInstance();
    CHECK_EQ(second.dispatch(effEditOpen, reinterpret_cast<void*>(secondHost)), 1);
    CHECK(editorIn(secondHost) != 0);
    CHECK(editorIn(firstHost) != 0);
    current = &second;
    pointerWindow = secondHost;
    click(kStop.x(), kStop.y());
    idleFor({&first, &second}, 40);
    CHECK_EQ(second.take(), (std::vector<Automation>{{22, 1.0f}}));
    CHECK(first.take().empty());
    current = &first;
    pointerWindow = firstHost;
    click(kStop.x(), kStop.y());
    idleFor({&first, &second}, 40);
    CHECK_EQ(first.take(), (std::vector<Automation>{{22, 1.0f}}));
    CHECK(second.take().empty());
    // effClose with the editor open: the window goes with the plug-in.
    deleteInstance(&second);
    CHECK(childrenOf(secondHost).empty());
    click(kPlay.x(), kPlay.y());
    CHECK_EQ(first.take(), (std::vector<Automation>{{22, 0.0f}}));
    XDestroyWindow(display, secondHost);
}

// A host that destroys its window before closing the editor, at any moment (while the editor
// paints, too), then opens it in a new one or closes it.
void hostWindowGone() {
    Instance& in = *newInstance();
    Window host = hostWindow(60, 500);
    CHECK_EQ(in.dispatch(effEditOpen, reinterpret_cast<void*>(host)), 1);
    for (int round = 0; round < 24; ++round) {
        // Values that change make the editor paint at its next idle calls.
        for (int step = 0; step < 16; ++step)
            in.effect->setParameter(in.effect, step, static_cast<float>((round + step) % 8) / 8);
        idleFor({&in}, round % 4 * 40);
        XDestroyWindow(display, host);
        XFlush(display);
        for (int i = 0; i < round % 3; ++i)
            in.dispatch(effEditIdle);
        host = hostWindow(60, 500);
        if (round % 2 == 0) {
            in.dispatch(effEditClose);
            CHECK_EQ(in.dispatch(effEditOpen, reinterpret_cast<void*>(host)), 1);
        } else {
            // No close: the next open sees the window gone and builds it anew.
            CHECK_EQ(in.dispatch(effEditOpen, reinterpret_cast<void*>(host)), 1);
            in.dispatch(effEditClose);
        }
        CHECK(editorIn(host) != 0);
    }
    in.dispatch(effEditClose);
    CHECK(childrenOf(host).empty());
    XDestroyWindow(display, host);
    deleteInstance(&in);
}

// Hundreds of editors opened, idled and closed: each goes whole, connection and all.
void cycles(Instance& in, Window host, int count) {
    const int files = openFiles();
    int opened = 0, closed = 0;
    for (int i = 0; i < count; ++i) {
        if (in.dispatch(effEditOpen, reinterpret_cast<void*>(host)) == 1 && editorIn(host) != 0)
            ++opened;
        for (int j = 0; j < 3; ++j)
            in.dispatch(effEditIdle);
        in.dispatch(effEditClose);
        if (childrenOf(host).empty()) ++closed;
    }
    CHECK_EQ(opened, count);
    CHECK_EQ(closed, count);
    CHECK_EQ(openFiles(), files);
}

// The layout as this backend shows it, from an editor of the plug-in's own code opened in this
// program; and the labels measured in their font still fit beside the edits.
void writeLayout(Window host) {
    AEffect* effect = pluginMain(hostCallback);
    CHECK(effect != nullptr);
    CHECK_EQ(effect->dispatcher(effect, effEditOpen, 0, 0, reinterpret_cast<void*>(host), 0), 1);
    auto* plugin = static_cast<APlugin*>(effect->object);
    auto* editor = static_cast<APluginEditor*>(plugin->getEditor());
    TPluginEditorWindow* window = editor->window();
    CHECK(window != nullptr);
    if (window == nullptr) return;
    static const char* const kinds[] = {"form",   "picture",    "label", "scrollbar", "edit",
                                        "button", "radiogroup", "panel", "memo"};
    std::ofstream out(artefacts + "/layout-linux.txt");
    int lines = 0;
    std::function<void(const framework::Control&)> list = [&](const framework::Control& parent) {
        for (const auto& child : parent.children()) {
            const framework::Rect r = child->onForm();
            out << child->name << ' ' << kinds[static_cast<int>(child->kind)] << ' ' << r.left
                << ' ' << r.top << ' ' << r.width << ' ' << r.height << ' '
                << (child->isVisible() ? "shown" : "hidden") << '\n';
            ++lines;
            list(*child);
        }
    };
    list(*window);
    CHECK_EQ(lines, 65);
    auto right = [&](const char* name) {
        const framework::Rect r = window->find(name)->bounds;
        return r.left + r.width;
    };
    CHECK(right("Label3") <= 556);
    CHECK(right("Label1") <= 556);
    CHECK(right("Label4") <= 556);
    CHECK(right("Label2") <= 588);
    CHECK(right("Label7") <= 544);
    CHECK(right("Label6") <= 28 + 138);
    CHECK(right("Label8") <= kWidth);
    effect->dispatcher(effect, effEditClose, 0, 0, nullptr, 0);
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s LIBRARY ARTEFACTS_FOLDER [CYCLES]\n", argv[0]);
        return 2;
    }
    artefacts = argv[2];
    const int cycleCount = argc > 3 ? std::atoi(argv[3]) : 300;
    display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "no display\n");
        return 1;
    }
    XSetErrorHandler(countError);
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display, &event, &error, &major, &minor)) {
        std::fprintf(stderr, "no XTest on the display\n");
        return 1;
    }
    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    entry = reinterpret_cast<EntryPoint>(dlsym(library, "VSTPluginMain"));
    CHECK(entry != nullptr);
    if (entry == nullptr) return 1;

    const Window host = hostWindow(20, 20);
    pointerWindow = host;
    stage = "noDisplay";
    noDisplay(host);

    Instance& in = *newInstance();
    current = &in;
    CHECK_EQ(in.effect->flags, 0x19); // an editor, mono, replacing
    stage = "openTimes";
    openTimes(in, host);

    CHECK_EQ(in.dispatch(effEditOpen, reinterpret_cast<void*>(host)), 1);
    const Window editor = editorIn(host);
    CHECK(editor != 0);
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, editor, &attributes);
    CHECK_EQ(attributes.x, 0);
    CHECK_EQ(attributes.y, 0);
    CHECK_EQ(attributes.width, kWidth);
    CHECK_EQ(attributes.height, kHeight);
    CHECK_EQ(attributes.map_state, IsViewable);
    ERect* rect = nullptr;
    in.dispatch(effEditGetRect, &rect);
    CHECK(rect != nullptr && rect->right == kWidth && rect->bottom == kHeight);
    settle(150);
    const Shot opened = shoot(host, kWidth, kHeight);
    opened.save(artefacts + "/editor-linux.png");
    // The layout's start: edits white with black text, the labels on silver.
    CHECK(opened.at(kCcout.left, kCcout.top) == kBlack);
    CHECK(opened.any(kCcout.left + 1, kCcout.top + 1, 23, 17, isDark));
    CHECK(opened.at(516, 64) == kSilver && opened.at(520, 64) == kSilver);
    CHECK(opened.any(516, 64, 30, 13, isDark));
    CHECK(in.take().empty());
    // Covered and uncovered while the host calls no idle, the editor shows as it was.
    const int screen = DefaultScreen(display);
    const Window cover = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, 900, 600,
                                             0, 0, BlackPixel(display, screen));
    XSetWindowAttributes override{};
    override.override_redirect = True;
    XChangeWindowAttributes(display, cover, CWOverrideRedirect, &override);
    XMapRaised(display, cover);
    XSync(display, False);
    CHECK(shoot(host, kWidth, kHeight).pixels != opened.pixels);
    XDestroyWindow(display, cover);
    CHECK(shoot(host, kWidth, kHeight).pixels == opened.pixels);

    stage = "sliders";
    sliders(in, opened);
    stage = "transport";
    transport(in);
    stage = "sync";
    sync(in);
    stage = "lights";
    lights(in);
    stage = "panels";
    panels(in);
    stage = "edits";
    edits(in, host);

    // Closed and opened again: a new window as the layout starts it.
    in.dispatch(effEditClose);
    CHECK(childrenOf(host).empty());
    CHECK_EQ(in.dispatch(effEditOpen, reinterpret_cast<void*>(host)), 1);
    settle(60);
    const Shot reopened = shoot(host, kWidth, kHeight);
    CHECK(reopened.any(kPlay.left, kPlay.top, 20, 20, isRed));
    CHECK(radioChecked(reopened, radioItem(kSync, 2, 6))); // the sync value the plug-in holds
    stage = "twoInstances";
    twoInstances(in, host);
    in.dispatch(effEditClose);
    CHECK(childrenOf(host).empty());

    stage = "hostWindowGone";
    hostWindowGone();
    stage = "cycles";
    cycles(in, host, cycleCount);
    stage = "writeLayout";
    writeLayout(host);
    deleteInstance(&in);
    noDisplay(host);

    XSync(display, False);
    CHECK_EQ(xErrors, 0);
    XDestroyWindow(display, host);
    XCloseDisplay(display);
    dlclose(library);
    // The caches cairo and fontconfig keep for the process, released so that the leak checker
    // sees only what the editors left.
    cairo_debug_reset_static_data();
    FcFini();
    std::printf("%d passed, %d failed\n", checks - failures, failures);
    std::fflush(stdout);
    return failures == 0 ? 0 : 1;
}
