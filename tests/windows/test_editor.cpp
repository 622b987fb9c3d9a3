// The Windows library's editor in a real window: a host's window on a (virtual) display, the
// library loaded with LoadLibrary, the editor opened in that window and driven with the window
// messages a user's mouse and keyboard produce. What the host hears comes through its callback;
// what the user sees is read back from the screen, and kept as a screenshot.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "host/DAEffectX.h"
#include "tests/windows/WindowsPath.h"

namespace {

std::string libraryPath;    // from the command line, as a Windows path
std::string screenshotPath; // where the screenshot of the open editor goes

using EntryPoint = AEffect*(VSTCALLBACK*)(audioMasterCallback);

struct Automation {
    std::int32_t index;
    float value;
    bool operator==(const Automation&) const = default;
};
std::vector<Automation> automated;

// What the host's own window was told: the OK and Cancel of a dialog.
std::vector<WPARAM> hostCommands;

LRESULT CALLBACK hostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL))
        hostCommands.push_back(LOWORD(wParam));
    return DefWindowProcA(window, message, wParam, lParam);
}

VstIntPtr VSTCALLBACK hostCallback(AEffect*, std::int32_t opcode, std::int32_t index, VstIntPtr,
                                   void*, float opt) {
    switch (opcode) {
    case audioMasterVersion: return 2400;
    case audioMasterAutomate: automated.push_back({index, opt}); return 0;
    case audioMasterTempoAt: return 1200000; // 120 beats per minute
    default: return 0;
    }
}

std::string textOf(HWND window) {
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string classOf(HWND window) {
    char name[128] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

// A window's rectangle in its parent's client coordinates.
RECT placeOf(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(window), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// The child window of a class (any class when null) at a place of its parent, as the layout
// puts it.
HWND childAt(HWND parent, const char* className, int left, int top, int width, int height) {
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        const RECT r = placeOf(child);
        if ((className == nullptr || lstrcmpiA(classOf(child).c_str(), className) == 0) &&
            r.left == left && r.top == top && r.right - r.left == width &&
            r.bottom - r.top == height)
            return child;
    }
    return nullptr;
}

// The layout's four edits: controller number, minimum, maximum and end step.
struct Edits {
    explicit Edits(HWND form)
        : ccout(childAt(form, "Edit", 556, 60, 25, 19)),
          low(childAt(form, "Edit", 556, 80, 25, 19)), high(childAt(form, "Edit", 588, 80, 25, 19)),
          steps(childAt(form, "Edit", 556, 112, 25, 19)) {}
    bool found() const { return ccout && low && high && steps; }
    HWND ccout, low, high, steps;
};

struct Search {
    std::string wanted; // a text, or a class name
    HWND found = nullptr;
};

BOOL CALLBACK findText(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    if (textOf(window) != search->wanted) return TRUE;
    search->found = window;
    return FALSE;
}

BOOL CALLBACK findClass(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    if (classOf(window) != search->wanted) return TRUE;
    search->found = window;
    return FALSE;
}

// A child window found by its text, anywhere below a parent.
HWND childWithText(HWND parent, const std::string& text) {
    Search search{text};
    EnumChildWindows(parent, findText, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool isRed(COLORREF c) {
    return GetRValue(c) > 160 && GetGValue(c) < 90 && GetBValue(c) < 90;
}

class WindowsEditor : public testing::Test {
  protected:
    // One host window for all tests, as a host keeps its window: Wine takes seconds to take a
    // top-level window off the display.
    static void SetUpTestSuite() {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = hostWindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        windowClass.lpszClassName = "TestHostWindow";
        RegisterClassA(&windowClass);
        parent = CreateWindowExA(0, "TestHostWindow", "Test host",
                                 WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPCHILDREN, 10, 10, 700,
                                 380, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    }

    static void TearDownTestSuite() { DestroyWindow(parent); }

    void SetUp() override {
        ASSERT_NE(parent, nullptr);
        ASSERT_EQ(GetWindow(parent, GW_CHILD), nullptr) << "an editor is left from before";
        load();
        automated.clear();
        hostCommands.clear();
    }

    // Closing the plug-in takes its editor with it.
    void TearDown() override {
        unload();
        pump(20);
        EXPECT_EQ(GetWindow(parent, GW_CHILD), nullptr);
    }

    void load() {
        library = LoadLibraryA(libraryPath.c_str());
        ASSERT_NE(library, nullptr) << "error " << GetLastError();
        auto entry =
            reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(GetProcAddress(library, "main")));
        ASSERT_NE(entry, nullptr);
        effect = entry(hostCallback);
        ASSERT_NE(effect, nullptr);
        dispatch(effOpen);
        dispatch(effMainsChanged, 0, 1);
    }

    void unload() {
        if (effect != nullptr) dispatch(effClose);
        effect = nullptr;
        if (library != nullptr) FreeLibrary(library);
        library = nullptr;
    }

    VstIntPtr dispatch(std::int32_t opcode, std::int32_t index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr) {
        return effect->dispatcher(effect, opcode, index, value, ptr, 0.0f);
    }

    // Opens the editor in the host's window and lets its first refresh and paint happen.
    HWND openEditor() {
        EXPECT_EQ(dispatch(effEditOpen, 0, 0, parent), 1);
        pump(250);
        return GetWindow(parent, GW_CHILD);
    }

    // The host's message loop for a while; as a dialog's loop with IsDialogMessage, as several
    // hosts run their plug-in windows, or without.
    static void pump(int milliseconds, bool asDialog = false) {
        const DWORD end = GetTickCount() + static_cast<DWORD>(milliseconds);
        do {
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (asDialog && IsDialogMessageA(parent, &message)) continue;
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
            Sleep(5);
        } while (static_cast<LONG>(GetTickCount() - end) < 0);
    }

    // A key as the keyboard delivers it to the focused window, through the host's loop.
    static void press(int key, bool asDialog, bool shift = false) {
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_SHIFT] = shift ? 0x80 : 0;
        SetKeyboardState(keys);
        PostMessageA(GetFocus(), WM_KEYDOWN, static_cast<WPARAM>(key), 1);
        PostMessageA(GetFocus(), WM_KEYUP, static_cast<WPARAM>(key), 0xC0000001);
        pump(20, asDialog);
        keys[VK_SHIFT] = 0;
        SetKeyboardState(keys);
    }

    // The modal error box of this thread, if one is up.
    static HWND messageBox() {
        Search search{"#32770"}; // the dialog class message boxes use
        EnumThreadWindows(GetCurrentThreadId(), findClass, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    // A click of the left button at a point of a window's client area.
    static void click(HWND window, int x, int y) {
        SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    }

    // Characters as the keyboard delivers them to the focused edit.
    static void type(HWND edit, const std::string& text) {
        for (char c : text)
            SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(c), 1);
    }

    static void replaceText(HWND edit, const std::string& text) {
        SendMessageA(edit, EM_SETSEL, 0, -1);
        SendMessageA(edit, WM_CHAR, VK_BACK, 1); // deleting the selection; filtered in some
        SendMessageA(edit, WM_CLEAR, 0, 0);
        type(edit, text);
    }

    // What the screen shows of a window, pixel by pixel.
    struct Screenshot {
        int width = 0, height = 0;
        std::vector<std::uint32_t> pixels; // 0x00RRGGBB, rows from the top
        COLORREF at(int x, int y) const {
            const std::uint32_t p = pixels[static_cast<std::size_t>(y) * width + x];
            return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
        }
        // Whether any pixel in the box is red.
        bool redIn(int left, int top, int width, int height) const {
            for (int y = top; y < top + height; ++y)
                for (int x = left; x < left + width; ++x)
                    if (isRed(at(x, y))) return true;
            return false;
        }
        void save(const std::string& path) const {
            BITMAPFILEHEADER file{};
            BITMAPINFOHEADER info{};
            info.biSize = sizeof info;
            info.biWidth = width;
            info.biHeight = -height;
            info.biPlanes = 1;
            info.biBitCount = 32;
            info.biCompression = BI_RGB;
            const DWORD bytes = static_cast<DWORD>(pixels.size() * 4);
            file.bfType = 0x4D42; // "BM"
            file.bfOffBits = sizeof file + sizeof info;
            file.bfSize = file.bfOffBits + bytes;
            if (FILE* out = std::fopen(path.c_str(), "wb")) {
                std::fwrite(&file, sizeof file, 1, out);
                std::fwrite(&info, sizeof info, 1, out);
                std::fwrite(pixels.data(), 1, bytes, out);
                std::fclose(out);
            }
        }
    };

    // Kept beside the main screenshot, its name with a suffix.
    static void saveScreenshot(HWND window, const std::string& suffix) {
        if (screenshotPath.empty()) return;
        pump(100);
        const std::size_t dot = screenshotPath.rfind('.');
        capture(window).save(screenshotPath.substr(0, dot) + suffix + screenshotPath.substr(dot));
    }

    static Screenshot capture(HWND window) {
        Screenshot shot;
        RECT client;
        GetClientRect(window, &client);
        shot.width = client.right;
        shot.height = client.bottom;
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = shot.width;
        info.bmiHeader.biHeight = -shot.height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HDC screen = GetDC(window);
        HDC memory = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, shot.width, shot.height, screen, 0, 0, SRCCOPY);
        GdiFlush();
        const auto* first = static_cast<const std::uint32_t*>(bits);
        shot.pixels.assign(first, first + static_cast<std::size_t>(shot.width) * shot.height);
        SelectObject(memory, old);
        DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(window, screen);
        return shot;
    }

    static HWND parent;
    HMODULE library = nullptr;
    AEffect* effect = nullptr;
};

HWND WindowsEditor::parent = nullptr;

TEST_F(WindowsEditor, OpensAsABorderlessChildAtTheTopLeftAndClosesWithoutATrace) {
    EXPECT_EQ(effect->flags & effFlagsHasEditor, effFlagsHasEditor);
    ERect* rect = nullptr;
    ASSERT_EQ(dispatch(effEditGetRect, 0, 0, &rect), 1);
    EXPECT_EQ(rect->right, 0);

    HWND form = openEditor();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(GetParent(form), parent);
    const LONG style = GetWindowLongA(form, GWL_STYLE);
    EXPECT_TRUE(style & WS_CHILD);
    EXPECT_TRUE(style & WS_VISIBLE);
    EXPECT_FALSE(style & (WS_CAPTION | WS_BORDER | WS_THICKFRAME | WS_DLGFRAME));
    const RECT place = placeOf(form);
    EXPECT_EQ(place.left, 0);
    EXPECT_EQ(place.top, 0);
    RECT client;
    GetClientRect(form, &client);
    EXPECT_EQ(client.right, 626);
    EXPECT_EQ(client.bottom, 280);
    ASSERT_EQ(dispatch(effEditGetRect, 0, 0, &rect), 1);
    EXPECT_EQ(rect->right, 626);
    EXPECT_EQ(rect->bottom, 280);
    // Erasing is left to the background picture.
    HDC dc = GetDC(form);
    EXPECT_EQ(SendMessageA(form, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 0);
    ReleaseDC(form, dc);

    // A second open keeps the one window; the window goes with the last close.
    EXPECT_EQ(dispatch(effEditOpen, 0, 0, parent), 1);
    dispatch(effEditClose);
    EXPECT_TRUE(IsWindow(form));
    dispatch(effEditClose);
    EXPECT_FALSE(IsWindow(form));
    EXPECT_EQ(GetWindow(parent, GW_CHILD), nullptr);
    ASSERT_EQ(dispatch(effEditGetRect, 0, 0, &rect), 1);
    EXPECT_EQ(rect->right, 626);
}

TEST_F(WindowsEditor, ShowsTheValuesAndFollowsTheHost) {
    HWND form = openEditor();
    ASSERT_NE(form, nullptr);
    HWND firstSlider = childAt(form, "ScrollBar", 28, 60, 17, 165);
    HWND lastSlider = childAt(form, "ScrollBar", 412, 60, 16, 165);
    ASSERT_NE(firstSlider, nullptr);
    ASSERT_NE(lastSlider, nullptr);
    EXPECT_EQ(GetScrollPos(firstSlider, SB_CTL), 64); // 0.5: 127 - 63.5, ties to even
    int low = -1, high = -1;
    GetScrollRange(firstSlider, SB_CTL, &low, &high);
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, 127);
    EXPECT_EQ(textOf(Edits(form).ccout), "14");
    EXPECT_EQ(textOf(Edits(form).low), "0");
    EXPECT_EQ(textOf(Edits(form).high), "127");
    EXPECT_EQ(textOf(Edits(form).steps), "16");
    EXPECT_EQ(textOf(childAt(form, "Button", 544, 140, 49, 17)), "Apply");
    HWND oneStep = childWithText(form, "1/1");
    ASSERT_NE(oneStep, nullptr);
    EXPECT_EQ(SendMessageA(oneStep, BM_GETCHECK, 0, 0), BST_CHECKED);
    // The hidden edits and scroll bars are there but never shown.
    HWND stepLength = childAt(form, "Edit", 450, 244, 25, 19);
    ASSERT_NE(stepLength, nullptr);
    EXPECT_FALSE(IsWindowVisible(stepLength));

    // The host's changes reach the window with the next refresh, and nothing goes back.
    effect->setParameter(effect, 15, 1.0f);
    effect->setParameter(effect, 16, 0.16f);
    effect->setParameter(effect, 20, 0.04f);
    pump(250);
    EXPECT_EQ(GetScrollPos(lastSlider, SB_CTL), 0);
    EXPECT_EQ(SendMessageA(childWithText(form, "1/16"), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendMessageA(oneStep, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(textOf(Edits(form).steps), "4");
    EXPECT_TRUE(automated.empty());

    // On screen: the red Play face is up, the Stop face grey, all lights off, and the texts.
    const Screenshot shot = capture(form);
    if (!screenshotPath.empty()) shot.save(screenshotPath);
    EXPECT_TRUE(shot.redIn(52, 244, 20, 20));
    EXPECT_FALSE(shot.redIn(28, 244, 20, 20));
    EXPECT_FALSE(shot.redIn(30, 228, 400, 13));
    // The silver label behind "CC Out", and the background picture's grey elsewhere.
    const COLORREF label = shot.at(517, 65);
    EXPECT_EQ(label, RGB(0xC0, 0xC0, 0xC0));
    const COLORREF background = shot.at(480, 30);
    EXPECT_NEAR(GetRValue(background), GetGValue(background), 12);
    EXPECT_GT(GetRValue(background), 120);
}

// Measured in the font the window gives its edits, which its labels share: whatever face the
// system gives for "MS Sans Serif" (Wine's stand-in is wider), no text is cut.
TEST_F(WindowsEditor, EveryTextFitsItsBoxInTheFontTheSystemGives) {
    HWND form = openEditor();
    ASSERT_NE(form, nullptr);
    const Edits edits(form);
    ASSERT_TRUE(edits.found());
    HWND ccout = edits.ccout, low = edits.low, high = edits.high;
    auto font = reinterpret_cast<HFONT>(SendMessageA(high, WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr);
    HDC dc = GetDC(form);
    HGDIOBJ old = SelectObject(dc, font);
    auto widthOf = [dc](const std::string& text) {
        SIZE size{};
        GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
        return static_cast<int>(size.cx);
    };
    // Each label ends before the edit to its right covers it.
    EXPECT_LE(516 + widthOf("CC Out"), placeOf(ccout).left);
    EXPECT_LE(508 + widthOf(" min/max"), placeOf(low).left);
    EXPECT_LE(581 + widthOf("/"), placeOf(high).left);
    EXPECT_LE(508 + widthOf("End Step"), placeOf(Edits(form).steps).left);
    // The largest value fits the edit's text rectangle, inside its border and margins.
    RECT text{};
    SendMessageA(high, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&text));
    EXPECT_EQ(textOf(high), "127");
    EXPECT_LE(widthOf("127"), text.right - text.left);
    SelectObject(dc, old);
    ReleaseDC(form, dc);
}

// LMMS's Wine VST server gives the editor a window whose class erases it black and that does not
// clip its children: inside its frame the Sync group keeps its own silver all the same.
TEST_F(WindowsEditor, TheSyncGroupKeepsItsColourInAHostWindowErasedBlack) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = "BlackHostWindow";
    RegisterClassA(&windowClass);
    HWND host =
        CreateWindowExA(0, "BlackHostWindow", "Black host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10,
                        10, 700, 380, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(dispatch(effEditOpen, 0, 0, host), 1);
    pump(250);
    HWND form = GetWindow(host, GW_CHILD);
    ASSERT_NE(form, nullptr);
    // The whole window painted again, as after the display uncovers it.
    RedrawWindow(host, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    pump(100);
    const Screenshot shot = capture(form);
    // Between the frame's left side and the radio buttons, down the group's height.
    for (int y = 80; y <= 210; y += 10)
        EXPECT_EQ(shot.at(445, y), RGB(0xC0, 0xC0, 0xC0)) << "at y " << y;
    dispatch(effEditClose);
    DestroyWindow(host);
}

TEST_F(WindowsEditor, SlidersSyncAndTransportSendWhatTheUserDoes) {
    HWND form = openEditor();
    ASSERT_NE(form, nullptr);
    HWND slider = childAt(form, "ScrollBar", 52, 60, 16, 165);
    ASSERT_NE(slider, nullptr);

    // A click on the down arrow, as the mouse gives it: the bar tracks until the button is up.
    PostMessageA(slider, WM_LBUTTONUP, 0, MAKELPARAM(8, 160));
    SendMessageA(slider, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(8, 160));
    pump(20);
    ASSERT_FALSE(automated.empty());
    EXPECT_EQ(automated.front(), (Automation{1, 1.0f - 65.0f / 127.0f}));
    EXPECT_EQ(GetScrollPos(slider, SB_CTL), 65);
    EXPECT_FLOAT_EQ(effect->getParameter(effect, 1), 1.0f - 65.0f / 127.0f);

    // Dragging the thumb to the top sends every position it passes; here the end of a drag.
    automated.clear();
    SendMessageA(form, WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, 0), reinterpret_cast<LPARAM>(slider));
    EXPECT_EQ(automated, (std::vector<Automation>{{1, 1.0f}}));

    automated.clear();
    SendMessageA(childWithText(form, "1/8"), BM_CLICK, 0, 0);
    SendMessageA(childWithText(form, "1/8"), BM_CLICK, 0, 0); // already chosen: nothing
    EXPECT_EQ(automated, (std::vector<Automation>{{16, 0.08f}}));

    automated.clear();
    click(form, 35, 250); // Stop
    pump(50);
    EXPECT_EQ(automated, (std::vector<Automation>{{22, 1.0f}}));
    Screenshot shot = capture(form);
    EXPECT_TRUE(shot.redIn(28, 244, 20, 20));
    EXPECT_FALSE(shot.redIn(52, 244, 20, 20));
    click(form, 35, 250); // the red face lies over Stop and takes no clicks
    click(form, 58, 250); // Play
    EXPECT_EQ(automated, (std::vector<Automation>{{22, 1.0f}, {22, 0.0f}}));
}

TEST_F(WindowsEditor, KeyFilterAndApplyInTheHostsOrder) {
    HWND form = openEditor();
    ASSERT_NE(form, nullptr);
    const Edits edits(form);
    ASSERT_TRUE(edits.found());
    HWND ccout = edits.ccout, low = edits.low, high = edits.high, steps = edits.steps;

    SendMessageA(ccout, EM_SETSEL, 2, 2);
    type(ccout, "-a\b"); // refused: not digits
    EXPECT_EQ(textOf(ccout), "14");
    SendMessageA(ccout, EM_SETSEL, 0, -1);
    type(ccout, "300");
    EXPECT_EQ(textOf(ccout), "300");
    replaceText(low, "100");
    replaceText(high, "20");
    replaceText(steps, "0");
    EXPECT_EQ(textOf(low), "100");

    SendMessageA(childAt(form, "Button", 544, 140, 49, 17), BM_CLICK, 0, 0);
    const float hundred = 100.0f / 127.0f;
    EXPECT_EQ(automated,
              (std::vector<Automation>{
                  {17, 1.0f}, {19, hundred}, {18, hundred}, {19, hundred}, {20, 0.01f}}));
    EXPECT_EQ(textOf(ccout), "127");
    EXPECT_EQ(textOf(high), "100");
    EXPECT_EQ(textOf(steps), "1");
}

TEST_F(WindowsEditor, ApplyReportsANumberItCannotReadInAModalBox) {
    HWND form = openEditor();
    ASSERT_NE(form, nullptr);
    replaceText(Edits(form).low, "abc");

    // The box is modal: it is read and dismissed from another thread, as a user would.
    std::atomic<bool> done{false};
    std::atomic<HWND> shownBox{nullptr};
    std::string shown;
    const DWORD uiThread = GetCurrentThreadId();
    std::thread user([&] {
        for (int tries = 0; tries < 400 && !done; ++tries) {
            Search search{"#32770"}; // the dialog class message boxes use
            EnumThreadWindows(uiThread, findClass, reinterpret_cast<LPARAM>(&search));
            HWND box = search.found;
            if (box != nullptr) {
                for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
                     child = GetWindow(child, GW_HWNDNEXT))
                    if (classOf(child) == "Static" && !textOf(child).empty()) shown = textOf(child);
                // The box exists a moment before its text does: read it once it is there.
                if (!shown.empty()) {
                    PostMessageA(box, WM_COMMAND, IDOK, 0);
                    shownBox = box;
                    return;
                }
            }
            Sleep(10);
        }
    });
    PostMessageA(childAt(form, "Button", 544, 140, 49, 17), BM_CLICK, 0, 0);
    // The box comes up once Apply has returned; a loaded machine may take a while.
    for (int waited = 0; waited < 4000 && shownBox.load() == nullptr; waited += 50)
        pump(50);
    pump(100);
    done = true;
    user.join();
    EXPECT_EQ(shown, "'abc' is not a valid integer value.");
    // The controller number was applied before the box; nothing after it.
    EXPECT_EQ(automated, (std::vector<Automation>{{17, 14.0f / 127.0f}}));
}

TEST_F(WindowsEditor, PanelsOpenAndCloseAndTimingIsChosenThere) {
    HWND form = openEditor();
    ASSERT_NE(form, nullptr);
    HWND options = childAt(form, nullptr, 4, 40, 625, 241);
    HWND about = childAt(form, nullptr, 0, 44, 629, 237);
    ASSERT_NE(options, nullptr);
    ASSERT_NE(about, nullptr);
    EXPECT_FALSE(IsWindowVisible(options));

    click(form, 505, 12); // "Options"
    EXPECT_TRUE(IsWindowVisible(options));
    saveScreenshot(form, "-options");
    click(form, 548, 12); // "About"
    EXPECT_FALSE(IsWindowVisible(options));
    EXPECT_TRUE(IsWindowVisible(about));
    saveScreenshot(form, "-about");
    click(about, 597, 5); // its close picture
    EXPECT_FALSE(IsWindowVisible(about));

    click(form, 505, 12);
    HWND external = childWithText(options, "External ");
    ASSERT_NE(external, nullptr);
    SendMessageA(external, BM_CLICK, 0, 0);
    SendMessageA(childWithText(options, "Internal"), BM_CLICK, 0, 0);
    EXPECT_EQ(automated, (std::vector<Automation>{{21, 1.0f}, {21, 0.0f}}));
    click(options, 597, 9); // its close picture
    EXPECT_FALSE(IsWindowVisible(options));
}

TEST_F(WindowsEditor, TheLightFollowsTheStepOnIdle) {
    HWND form = openEditor();
    ASSERT_NE(form, nullptr);
    float in[2][64] = {}, out[2][64] = {};
    float* inputs[2] = {in[0], in[1]};
    float* outputs[2] = {out[0], out[1]};
    effect->processReplacing(effect, inputs, outputs, 64); // the first boundary: step 1 next
    dispatch(effEditIdle);
    pump(50);
    const Screenshot shot = capture(form);
    EXPECT_TRUE(shot.redIn(52, 228, 13, 13));
    EXPECT_FALSE(shot.redIn(30, 228, 13, 13));
    EXPECT_FALSE(shot.redIn(78, 228, 13 + 350, 13));
}

TEST_F(WindowsEditor, AClickIsWhereTheButtonWentDownAndCameUp) {
    HWND form = openEditor();
    ASSERT_NE(form, nullptr);
    SendMessageA(form, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(35, 250)); // on Stop
    EXPECT_EQ(GetCapture(), form);
    SendMessageA(form, WM_LBUTTONUP, 0, MAKELPARAM(58, 250)); // released over Play
    EXPECT_EQ(GetCapture(), nullptr);
    SendMessageA(form, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(505, 12)); // on "Options"
    SendMessageA(form, WM_LBUTTONUP, 0, MAKELPARAM(-40, 400));           // outside the editor
    SendMessageA(form, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(35, 250));
    ReleaseCapture(); // something else took the mouse before the release
    SendMessageA(form, WM_LBUTTONUP, 0, MAKELPARAM(35, 250));
    pump(20);
    EXPECT_TRUE(automated.empty());
    EXPECT_FALSE(IsWindowVisible(childAt(form, nullptr, 4, 40, 625, 241)));
    click(form, 35, 250); // a whole click on Stop still stops
    EXPECT_EQ(automated, (std::vector<Automation>{{22, 1.0f}}));
}

TEST_F(WindowsEditor, TabMovesThroughSlidersEditsAndApplyAndEnterStaysInTheEditor) {
    HWND form = openEditor();
    ASSERT_NE(form, nullptr);
    std::vector<HWND> order;
    const int sliderLefts[] = {28,  52,  76,  100, 132, 156, 180, 204,
                               236, 260, 284, 308, 340, 364, 388, 412};
    for (int i = 0; i < 16; ++i)
        order.push_back(childAt(form, "ScrollBar", sliderLefts[i], 60, i == 0 ? 17 : 16, 165));
    const Edits edits(form);
    order.insert(order.end(), {edits.ccout, edits.low, edits.high, edits.steps});
    HWND apply = childAt(form, "Button", 544, 140, 49, 17);
    order.push_back(apply);
    for (HWND window : order)
        ASSERT_NE(window, nullptr);
    // From the top, the form's windows stand in the same order: the one a dialog manager follows.
    std::vector<HWND> stacked;
    for (HWND child = GetWindow(form, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT))
        if (std::find(order.begin(), order.end(), child) != order.end()) stacked.push_back(child);
    EXPECT_EQ(stacked, order);

    // Round the whole order and once more to the first, with and without the dialog manager.
    for (const bool asDialog : {false, true}) {
        SetFocus(order[0]);
        for (std::size_t i = 1; i <= order.size(); ++i) {
            press(VK_TAB, asDialog);
            ASSERT_EQ(GetFocus(), order[i % order.size()]) << i << (asDialog ? " dialog" : "");
        }
        press(VK_TAB, asDialog, true);
        EXPECT_EQ(GetFocus(), apply);
        press(VK_TAB, asDialog, true);
        EXPECT_EQ(GetFocus(), order[19]);
    }
    // Reached by Tab, an edit's text is selected to be typed over; Tab types nothing.
    DWORD from = 1, to = 0;
    SendMessageA(order[19], EM_GETSEL, reinterpret_cast<WPARAM>(&from),
                 reinterpret_cast<LPARAM>(&to));
    EXPECT_EQ(from, 0u);
    EXPECT_EQ(to, 2u);
    EXPECT_EQ(textOf(order[19]), "16");

    // Enter and Escape in an edit are the editor's: the host's dialog hears no OK or Cancel.
    for (const bool asDialog : {false, true}) {
        SetFocus(order[17]);
        for (int key : {VK_RETURN, VK_ESCAPE})
            press(key, asDialog);
    }
    EXPECT_TRUE(hostCommands.empty());
    EXPECT_EQ(textOf(order[17]), "0");
    EXPECT_TRUE(automated.empty());
    // Enter on the focused Apply button presses it, as in a dialog.
    SetFocus(apply);
    press(VK_RETURN, true);
    EXPECT_TRUE(hostCommands.empty());
    ASSERT_FALSE(automated.empty());
    EXPECT_EQ(automated.front(), (Automation{17, 14.0f / 127.0f}));
}

TEST_F(WindowsEditor, AHostThatDestroyedItsWindowGetsTheEditorAnewInTheNext) {
    auto frame = [] {
        return CreateWindowExA(0, "Static", "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 640,
                               300, parent, nullptr, GetModuleHandleA(nullptr), nullptr);
    };
    HWND first = frame();
    ASSERT_EQ(dispatch(effEditOpen, 0, 0, first), 1);
    pump(50);
    HWND oldForm = GetWindow(first, GW_CHILD);
    ASSERT_NE(oldForm, nullptr);
    DestroyWindow(first); // no effEditClose
    dispatch(effEditIdle);
    pump(150); // timer ticks and idle calls find nothing to touch

    HWND second = frame();
    ASSERT_EQ(dispatch(effEditOpen, 0, 0, second), 1);
    pump(250);
    HWND form = GetWindow(second, GW_CHILD);
    ASSERT_NE(form, nullptr);
    EXPECT_NE(childAt(form, "ScrollBar", 28, 60, 17, 165), nullptr);
    EXPECT_EQ(textOf(Edits(form).high), "127");
    EXPECT_TRUE(capture(form).redIn(52, 244, 20, 20)); // painted: the red Play face
    click(form, 35, 250);
    EXPECT_EQ(automated, (std::vector<Automation>{{22, 1.0f}}));
    // Two opens, one window: the count goes on as the host's calls made it.
    dispatch(effEditClose);
    EXPECT_TRUE(IsWindow(form));
    dispatch(effEditClose);
    EXPECT_FALSE(IsWindow(form));
    DestroyWindow(second);
}

// The host closes the editor, or the whole plug-in, while the error box is up: its timer and
// idle calls go on inside the box's message loop.
class ReenteringHost : public WindowsEditor {
  protected:
    static void CALLBACK whileTheBoxIsUp(HWND, UINT, UINT_PTR timer, DWORD) {
        HWND box = messageBox();
        if (box == nullptr) return;
        KillTimer(nullptr, timer);
        boxSeen = true;
        running->dispatch(effEditIdle);
        running->dispatch(closing);
        if (closing == effClose) running->effect = nullptr;
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }

    void applyBadTextAndCloseWithTheBoxUp(std::int32_t opcode) {
        HWND form = openEditor();
        ASSERT_NE(form, nullptr);
        replaceText(Edits(form).low, "abc");
        running = this;
        closing = opcode;
        boxSeen = false;
        const UINT_PTR timer = SetTimer(nullptr, 0, 30, whileTheBoxIsUp);
        SendMessageA(childAt(form, "Button", 544, 140, 49, 17), BM_CLICK, 0, 0);
        for (int waited = 0; waited < 5000 && !boxSeen; waited += 50)
            pump(50);
        pump(200);
        KillTimer(nullptr, timer);
        EXPECT_TRUE(boxSeen);
        EXPECT_EQ(messageBox(), nullptr);
        EXPECT_FALSE(IsWindow(form));
        EXPECT_EQ(automated, (std::vector<Automation>{{17, 14.0f / 127.0f}}));
    }

    static ReenteringHost* running;
    static std::int32_t closing;
    static bool boxSeen;
};

ReenteringHost* ReenteringHost::running = nullptr;
std::int32_t ReenteringHost::closing = 0;
bool ReenteringHost::boxSeen = false;

TEST_F(ReenteringHost, ClosesTheEditorWhileTheErrorBoxIsUp) {
    applyBadTextAndCloseWithTheBoxUp(effEditClose);
    ASSERT_NE(effect, nullptr);
    HWND form = openEditor(); // and the editor opens again as new
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(textOf(Edits(form).low), "0");
}

TEST_F(ReenteringHost, ClosesThePluginWhileTheErrorBoxIsUp) {
    applyBadTextAndCloseWithTheBoxUp(effClose);
    EXPECT_EQ(effect, nullptr);
}

// Editors of two instances, each on a thread of its own with its own host window, as some
// hosts run them. They take turns: each editor opens and closes while the other is shown and
// while it is alone, and whatever the threads share (our window class, the fonts) must outlive
// the other thread's editor and come back after the last one. (Editors opened on both threads
// at the very same moment crashed inside Wine's own libraries now and then, so the turns are
// strict.)
TEST_F(WindowsEditor, EditorsOfTwoInstancesOnTwoThreads) {
    constexpr int kTurns = 12;
    std::atomic<int> turn{0};
    std::atomic<int> failures{0};
    auto host = [&](int which) {
        HWND window = CreateWindowExA(
            0, "TestHostWindow", "Other host", WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPCHILDREN,
            20 + which * 10, 20, 700, 380, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        auto entry =
            reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(GetProcAddress(library, "main")));
        AEffect* fx = entry(hostCallback);
        auto pumpOwn = [] {
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&message);
        };
        for (int mine = which; mine < kTurns; mine += 2) {
            while (turn.load() != mine) {
                pumpOwn();
                Sleep(1);
            }
            if (window != nullptr && fx != nullptr) {
                const bool opening = (mine / 2) % 2 == 0;
                fx->dispatcher(fx, opening ? effEditOpen : effEditClose, 0, 0, window, 0.0f);
                fx->dispatcher(fx, effEditIdle, 0, 0, nullptr, 0.0f);
                pumpOwn();
                HWND form = GetWindow(window, GW_CHILD);
                if ((form != nullptr) != opening) ++failures;
                if (form != nullptr) {
                    // A font the other thread's editor deleted would be gone here.
                    HWND high = Edits(form).high;
                    auto font = reinterpret_cast<HFONT>(SendMessageA(high, WM_GETFONT, 0, 0));
                    LOGFONTA description{};
                    if (high == nullptr || textOf(high) != "127" || font == nullptr ||
                        GetObjectA(font, sizeof description, &description) == 0)
                        ++failures;
                }
            } else {
                ++failures;
            }
            turn = mine + 1;
        }
        if (fx != nullptr) fx->dispatcher(fx, effClose, 0, 0, nullptr, 0.0f);
        if (window != nullptr) DestroyWindow(window);
    };
    std::thread one(host, 0), two(host, 1);
    one.join();
    two.join();
    EXPECT_EQ(failures.load(), 0);
}

TEST_F(WindowsEditor, OpensAgainAfterTheHostUnloadedAndReloadedTheLibrary) {
    HWND form = openEditor();
    ASSERT_NE(form, nullptr);
    const std::string formClass = classOf(form);
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(form, GWLP_HINSTANCE));
    dispatch(effEditClose);
    unload();
    // Nothing of the library's is left registered that a reload at another address would find.
    WNDCLASSEXA info{};
    info.cbSize = sizeof info;
    EXPECT_FALSE(GetClassInfoExA(instance, formClass.c_str(), &info));

    load();
    form = openEditor();
    ASSERT_NE(form, nullptr);
    EXPECT_NE(childAt(form, "ScrollBar", 28, 60, 17, 165), nullptr);
}

// The timing radio shows the plug-in's mode, whoever set it: on opening (a session reloaded in
// external timing) and after every refresh, sending nothing back, so a click on the item not
// shown selected always sends its value and a click on the one shown sends nothing.
TEST_F(WindowsEditor, TheTimingRadioShowsThePluginsModeAndAClickSendsTheOther) {
    effect->setParameter(effect, 21, 1.0f);
    HWND form = openEditor();
    ASSERT_NE(form, nullptr);
    HWND options = childAt(form, nullptr, 4, 40, 625, 241);
    ASSERT_NE(options, nullptr);
    click(form, 505, 12); // "Options"
    ASSERT_TRUE(IsWindowVisible(options));
    HWND internal = childWithText(options, "Internal");
    HWND external = childWithText(options, "External ");
    ASSERT_NE(internal, nullptr);
    ASSERT_NE(external, nullptr);
    auto shown = [&] {
        const LRESULT one = SendMessageA(internal, BM_GETCHECK, 0, 0);
        const LRESULT other = SendMessageA(external, BM_GETCHECK, 0, 0);
        return one == BST_CHECKED && other == BST_UNCHECKED   ? "Internal"
               : one == BST_UNCHECKED && other == BST_CHECKED ? "External"
                                                              : "both or neither";
    };
    EXPECT_STREQ(shown(), "External");
    for (const float mode : {0.0f, 1.0f}) { // from the host's generic panel
        effect->setParameter(effect, 21, mode);
        pump(250);
        EXPECT_STREQ(shown(), mode == 0.0f ? "Internal" : "External");
    }
    EXPECT_TRUE(automated.empty());
    click(external, 10, 8); // the item shown: nothing to send
    pump(20);
    EXPECT_TRUE(automated.empty());
    click(internal, 10, 8);
    pump(20);
    EXPECT_EQ(automated, (std::vector<Automation>{{21, 0.0f}}));
    EXPECT_EQ(effect->getParameter(effect, 21), 0.0f);
    EXPECT_STREQ(shown(), "Internal");
}

} // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s LIBRARY [SCREENSHOT.bmp]\n", argv[0]);
        return 2;
    }
    libraryPath = windowsPath(argv[1]);
    if (argc > 2) screenshotPath = windowsPath(argv[2]);
    return RUN_ALL_TESTS();
}
