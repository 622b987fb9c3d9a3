// The editor, in the headless backend: the bridge as the host drives it through the record,
// and the window as a user drives it (scroll, click, type, select).
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "SequencerRig.h"
#include "editor/uPluginEditor.h"
#include "resources/Layout.h"

using namespace framework;
using namespace plugin;
using Automation = std::vector<std::pair<std::int32_t, float>>;

namespace {

int parentWindow; // stands for the host's window handle

struct Editor {
    SequencerRig rig;
    APluginEditor& bridge() { return *static_cast<APluginEditor*>(rig.plugin().getEditor()); }
    TPluginEditorWindow& window() { return *bridge().window(); }
    VstIntPtr open() { return rig.dispatch(effEditOpen, 0, 0, &parentWindow); }
    void close() { rig.dispatch(effEditClose); }
    void idle() { rig.dispatch(effEditIdle); }
    template <typename T> T& get(const char* name) { return window().get<T>(name); }
    // What the host heard since the last call.
    Automation heard() {
        Automation heard = rig.automated;
        rig.automated.clear();
        return heard;
    }
    std::vector<int> litSteps() {
        std::vector<int> lit;
        for (int step = 0; step < 16; ++step)
            if (window().light(step).isVisible()) lit.push_back(step);
        return lit;
    }
};

float slider(int position) {
    return static_cast<float>(1.0L - position / 127.0L);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The bridge

TEST(EditorBridge, TheTestBuildsAnnounceAnEditor) {
    Editor e;
    EXPECT_EQ(e.rig.effect->flags, 0x19);
}

TEST(EditorBridge, RectIsEmptyBeforeTheFirstOpenAndKeepsTheSizeAfterClose) {
    Editor e;
    ERect* rect = nullptr;
    EXPECT_EQ(e.rig.dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->bottom, 0);
    EXPECT_EQ(rect->right, 0);
    EXPECT_EQ(e.open(), 1);
    e.rig.dispatch(effEditGetRect, 0, 0, &rect);
    EXPECT_EQ(rect->bottom, 280);
    EXPECT_EQ(rect->right, 626);
    e.close();
    EXPECT_EQ(e.bridge().window(), nullptr);
    e.rig.dispatch(effEditGetRect, 0, 0, &rect);
    EXPECT_EQ(rect->bottom, 280);
    EXPECT_EQ(rect->right, 626);
}

TEST(EditorBridge, OpensAndClosesArePairedByCount) {
    Editor e;
    EXPECT_EQ(e.open(), 1);
    TPluginEditorWindow* first = e.bridge().window();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->parentWindow, &parentWindow);
    EXPECT_FALSE(e.rig.plugin().isEditorClosed());
    int otherParent = 0;
    EXPECT_EQ(e.rig.dispatch(effEditOpen, 0, 0, &otherParent), 1); // no second window
    EXPECT_EQ(e.bridge().window(), first);
    EXPECT_EQ(first->parentWindow, &parentWindow);
    EXPECT_EQ(e.bridge().openCount(), 2);
    e.close();
    EXPECT_EQ(e.bridge().window(), first);
    e.close();
    EXPECT_EQ(e.bridge().window(), nullptr);
    EXPECT_TRUE(e.rig.plugin().isEditorClosed());
    e.close(); // an extra close
    EXPECT_EQ(e.bridge().openCount(), 0);
    EXPECT_EQ(e.open(), 1);
    EXPECT_NE(e.bridge().window(), nullptr);
    EXPECT_EQ(e.bridge().openCount(), 1);
}

// A native window that someone else destroyed, as some hosts destroy their plug-in window
// without effEditClose.
struct LostWindow : Peer {
    bool lost() const override { return true; }
};

TEST(EditorBridge, AWindowTheHostDestroyedIsBuiltAnewAtTheNextOpen) {
    Editor e;
    e.open();
    e.window().get<Picture>("StopRed").setVisible(true); // state only the old window has
    e.window().peer = std::make_unique<LostWindow>();
    e.rig.setParameter(2, 1.0f);
    int newParent = 0;
    EXPECT_EQ(e.rig.dispatch(effEditOpen, 0, 0, &newParent), 1);
    ASSERT_NE(e.bridge().window(), nullptr);
    EXPECT_EQ(e.window().parentWindow, &newParent);
    EXPECT_FALSE(e.get<Picture>("StopRed").isVisible()); // as the layout starts it
    EXPECT_EQ(e.get<ScrollBar>("par02").position(), 0);
    EXPECT_TRUE(e.window().Updater.enabled);
    EXPECT_FALSE(e.rig.plugin().isEditorClosed());
    EXPECT_EQ(e.bridge().openCount(), 2); // the count goes on as the host's calls made it
    e.close();
    EXPECT_NE(e.bridge().window(), nullptr);
    e.close();
    EXPECT_EQ(e.bridge().window(), nullptr);
}

TEST(EditorBridge, OpenShowsTheCurrentValuesAndStartsTheRefresh) {
    Editor e;
    e.rig.setParameter(0, 1.0f);
    e.rig.setParameter(5, 0.25f);
    e.rig.setParameter(syncValue, 0.16f);
    e.rig.setParameter(ccOut, 0.5f);
    e.rig.setParameter(endStep, 0.04f);
    e.open();
    TPluginEditorWindow& w = e.window();
    EXPECT_TRUE(w.Updater.enabled);
    EXPECT_EQ(w.Updater.interval, 100);
    EXPECT_EQ(w.paramCopy[5].load(), 0.25f);
    EXPECT_EQ(e.get<ScrollBar>("par00").position(), 0);  // 1.0: the thumb at the top
    EXPECT_EQ(e.get<ScrollBar>("par05").position(), 95); // 127 - 31.75
    EXPECT_EQ(e.get<ScrollBar>("par01").position(), 64); // 63.5, a tie: to even
    EXPECT_EQ(e.get<RadioGroup>("SyncGUI").itemIndex(), 4);
    EXPECT_EQ(e.get<Edit>("ccoutGUI").text(), "64");
    EXPECT_EQ(e.get<Edit>("minGUI").text(), "0");
    EXPECT_EQ(e.get<Edit>("maxGUI").text(), "127");
    EXPECT_EQ(e.get<Edit>("endstepGUI").text(), "4");
    EXPECT_TRUE(e.heard().empty()); // the refresh sends nothing back
}

TEST(EditorBridge, EditsKeepTheirLayoutTextWhenTheNumberIsZero) {
    Editor e;
    e.rig.setParameter(ccOut, 0.0f);
    e.rig.setParameter(ccMax, 0.0f);
    e.rig.setParameter(endStep, 0.004f); // rounds to 0
    e.open();
    EXPECT_EQ(e.get<Edit>("ccoutGUI").text(), "14");
    EXPECT_EQ(e.get<Edit>("maxGUI").text(), "127");
    EXPECT_EQ(e.get<Edit>("endstepGUI").text(), "16");
}

TEST(EditorBridge, UpdatesReachTheWindowsCopyOnlyWhileItIsOpen) {
    Editor e;
    e.open();
    e.rig.setParameter(3, 0.75f); // as the host's automation does
    EXPECT_EQ(e.window().paramCopy[3].load(), 0.75f);
    EXPECT_EQ(e.get<ScrollBar>("par03").position(), 64); // not before the next refresh
    e.window().Updater.tick();
    EXPECT_EQ(e.get<ScrollBar>("par03").position(), 32);
    e.close();
    e.rig.setParameter(3, 0.0f); // no window: the plug-in alone changes
    e.open();                    // and the new window shows it
    EXPECT_EQ(e.get<ScrollBar>("par03").position(), 127);
}

TEST(EditorBridge, IdleMovesTheLightsAndWritesTheHiddenEdits) {
    Editor e;
    e.rig.setParameter(syncValue, 0.32f); // 689 samples a step
    e.open();
    EXPECT_TRUE(e.litSteps().empty());
    e.rig.run(1); // step 1 sent; the engine's current step is now index 1
    e.idle();
    EXPECT_EQ(e.litSteps(), std::vector<int>{1});
    EXPECT_EQ(e.get<Edit>("currentstepGUI").text(), "689");
    EXPECT_EQ(e.get<Edit>("Edit1").text(), "0");
    e.rig.run(689 * 3);
    e.idle();
    EXPECT_EQ(e.litSteps(), std::vector<int>{4});
    e.idle(); // the same step: the lights stay as they are
    EXPECT_EQ(e.litSteps(), std::vector<int>{4});

    e.rig.setParameter(timingMode, 1.0f);
    e.rig.setParameter(syncValue, 0.01f);
    e.rig.songPosition = [](std::uint64_t) { return 7.5; };
    e.rig.run(10);
    e.idle();
    EXPECT_EQ(e.get<Edit>("Edit1").text(), "750");
    EXPECT_EQ(e.litSteps(), std::vector<int>{7});
}

TEST(EditorBridge, AReopenedWindowLightsTheCurrentStepAtOnce) {
    // Stopped in external timing: the song stands still, the step never changes.
    Editor e;
    e.rig.setParameter(timingMode, 1.0f);
    e.rig.songPosition = [](std::uint64_t) { return 5.5; };
    e.open();
    EXPECT_TRUE(e.litSteps().empty());
    e.rig.run(10);
    e.idle();
    EXPECT_EQ(e.litSteps(), std::vector<int>{5});
    e.close();
    e.open();
    EXPECT_TRUE(e.litSteps().empty()); // the layout hides the lights
    e.idle();
    EXPECT_EQ(e.litSteps(), std::vector<int>{5});
    e.rig.songPosition = [](std::uint64_t) { return 6.0; };
    e.rig.run(10);
    e.idle();
    EXPECT_EQ(e.litSteps(), std::vector<int>{6});
}

TEST(EditorBridge, IdleAndUpdateLeaveAClosedEditorAlone) {
    Editor e;
    e.idle();  // no window: nothing happens
    e.close(); // nor here
    e.rig.setParameter(0, 0.1f);
    e.open();
    e.rig.plugin().setEditorClosed(true); // as while a window is being destroyed
    e.rig.setParameter(0, 0.9f);
    EXPECT_EQ(e.window().paramCopy[0].load(), 0.1f);
    e.rig.run(1);
    e.idle();
    EXPECT_TRUE(e.litSteps().empty());
}

// ---------------------------------------------------------------------------------------------
// The window: the user's actions

TEST(EditorWindow, SlidersSetTheirStepAndTellTheHost) {
    Editor e;
    e.rig.setParameter(2, 1.0f); // the thumb at the top
    e.open();
    e.heard();
    e.get<ScrollBar>("par02").setPosition(64);
    EXPECT_EQ(e.heard(), (Automation{{2, slider(64)}}));
    EXPECT_FLOAT_EQ(e.rig.getParameter(2), 0.496063f);
    EXPECT_EQ(e.window().paramCopy[2].load(), slider(64));
    e.window().Updater.tick();
    EXPECT_EQ(e.get<ScrollBar>("par02").position(), 64); // the refresh keeps the thumb there
    e.get<ScrollBar>("par15").setPosition(0);
    e.get<ScrollBar>("par15").setPosition(127);
    EXPECT_EQ(e.heard(), (Automation{{15, 1.0f}, {15, 0.0f}}));
    EXPECT_EQ(e.rig.getParameter(15), 0.0f);
}

TEST(EditorWindow, SyncChoicesSendTheirValues) {
    Editor e;
    e.open();
    RadioGroup& sync = e.get<RadioGroup>("SyncGUI");
    EXPECT_EQ(sync.items, (std::vector<std::string>{"1/1", "1/2", "1/4", "1/8", "1/16", "1/32"}));
    sync.setItemIndex(2);
    sync.setItemIndex(2); // already selected: no handler runs
    sync.setItemIndex(5);
    EXPECT_EQ(e.heard(), (Automation{{16, 0.04f}, {16, 0.32f}}));
    EXPECT_EQ(e.rig.getParameter(syncValue), 0.32f);
    e.rig.setParameter(syncValue, 0.5f); // 50 steps a beat: no item for it
    e.window().Updater.tick();
    EXPECT_EQ(sync.itemIndex(), 5);
}

TEST(EditorWindow, TheRefreshShowsEverySyncValueAsItsItem) {
    Editor e;
    e.open();
    const RadioGroup& sync = e.get<RadioGroup>("SyncGUI");
    // From the last item back, so each value moves the choice away from the one before.
    const float values[] = {0.01f, 0.02f, 0.04f, 0.08f, 0.16f, 0.32f};
    for (int item = 5; item >= 0; --item) {
        e.rig.setParameter(syncValue, values[item]);
        e.window().Updater.tick();
        EXPECT_EQ(sync.itemIndex(), item) << values[item];
    }
    EXPECT_TRUE(e.heard().empty());
}

TEST(EditorWindow, TheControllerEditTakesDigitsOnly) {
    Editor e;
    e.open();
    Edit& ccout = e.get<Edit>("ccoutGUI");
    for (char key : {'-', '\b', 'a', '\r', '7'})
        ccout.type(key);
    EXPECT_EQ(ccout.text(), "147");
    Edit& low = e.get<Edit>("minGUI"); // no filter there
    low.type('\b');
    low.type('x');
    EXPECT_EQ(low.text(), "x");
    Edit& hidden = e.get<Edit>("Edit1");
    hidden.type('q');
    EXPECT_EQ(hidden.text(), "14");
}

TEST(EditorWindow, ApplyClampsAndSendsInItsOrder) {
    Editor e;
    e.open();
    e.get<Edit>("ccoutGUI").setText("300");
    e.get<Edit>("minGUI").setText("100");
    e.get<Edit>("maxGUI").setText("20");
    e.get<Edit>("endstepGUI").setText("0");
    e.get<Button>("Button1").press();
    EXPECT_EQ(
        e.heard(),
        (Automation{
            {17, 1.0f}, {19, 100 / 127.0f}, {18, 100 / 127.0f}, {19, 100 / 127.0f}, {20, 0.01f}}));
    EXPECT_EQ(e.get<Edit>("ccoutGUI").text(), "127");
    EXPECT_EQ(e.get<Edit>("maxGUI").text(), "100");
    EXPECT_EQ(e.get<Edit>("endstepGUI").text(), "1");
    EXPECT_EQ(e.rig.getParameter(ccMin), 100 / 127.0f);

    e.get<Edit>("ccoutGUI").setText("");
    e.get<Edit>("minGUI").setText("");
    e.get<Edit>("maxGUI").setText(" $7F");
    e.get<Edit>("endstepGUI").setText("17");
    e.get<Button>("Button1").press();
    EXPECT_EQ(e.heard(), (Automation{{17, 0.0f}, {18, 0.0f}, {19, 1.0f}, {20, 0.16f}}));
    EXPECT_EQ(e.get<Edit>("ccoutGUI").text(), "0");
    EXPECT_EQ(e.get<Edit>("minGUI").text(), "0");
    EXPECT_EQ(e.get<Edit>("maxGUI").text(), "127");
    EXPECT_EQ(e.get<Edit>("endstepGUI").text(), "16");

    e.get<Edit>("endstepGUI").setText("");
    e.get<Button>("Button1").press();
    EXPECT_EQ(e.heard().back(), (std::pair<std::int32_t, float>{20, 0.16f}));
    EXPECT_TRUE(e.window().messagesShown.empty());
}

TEST(EditorWindow, ApplyStopsAtTextThatIsNoWholeNumber) {
    Editor e;
    e.open();
    e.get<Edit>("ccoutGUI").setText("20");
    e.get<Edit>("minGUI").setText("5");
    e.get<Edit>("maxGUI").setText(""); // read as it stands: empty fails
    e.get<Button>("Button1").press();
    EXPECT_EQ(e.heard(), (Automation{{17, 20 / 127.0f}}));
    EXPECT_EQ(e.window().messagesShown,
              std::vector<std::string>{"'' is not a valid integer value."});
    EXPECT_EQ(e.rig.getParameter(ccMin), 0.0f);
    EXPECT_EQ(e.rig.getParameter(ccMax), 1.0f);

    e.get<Edit>("minGUI").setText("abc");
    e.get<Edit>("maxGUI").setText("100");
    e.get<Button>("Button1").press();
    EXPECT_EQ(e.heard(), (Automation{{17, 20 / 127.0f}}));
    EXPECT_EQ(e.window().messagesShown.back(), "'abc' is not a valid integer value.");
    e.get<Edit>("minGUI").setText("12 "); // a trailing blank fails too
    e.get<Button>("Button1").press();
    EXPECT_EQ(e.window().messagesShown.back(), "'12 ' is not a valid integer value.");
}

TEST(EditorWindow, TypedTextSurvivesTheRefreshUntilItsValueChanges) {
    Editor e;
    e.open();
    e.get<Edit>("minGUI").setText("33");
    e.window().Updater.tick();
    EXPECT_EQ(e.get<Edit>("minGUI").text(), "33");
    e.rig.setParameter(ccMin, 10 / 127.0f);
    e.window().Updater.tick();
    EXPECT_EQ(e.get<Edit>("minGUI").text(), "10");
}

TEST(EditorWindow, PlayAndStopFollowClicksOnly) {
    Editor e;
    e.open();
    TPluginEditorWindow& w = e.window();
    EXPECT_TRUE(e.get<Picture>("PlayRed").isVisible());
    EXPECT_FALSE(e.get<Picture>("StopRed").isVisible());
    w.clickAt(60, 250); // Play, under the red picture: no click handler there
    EXPECT_TRUE(e.heard().empty());
    w.clickAt(35, 250); // Stop
    EXPECT_EQ(e.heard(), (Automation{{22, 1.0f}}));
    EXPECT_TRUE(e.get<Picture>("StopRed").isVisible());
    EXPECT_FALSE(e.get<Picture>("PlayRed").isVisible());
    EXPECT_EQ(e.rig.getParameter(startStop), 1.0f);
    w.clickAt(35, 250); // Stop again: the red picture takes the click
    EXPECT_TRUE(e.heard().empty());
    w.clickAt(60, 250); // Play answers again
    EXPECT_EQ(e.heard(), (Automation{{22, 0.0f}}));
    EXPECT_TRUE(e.get<Picture>("PlayRed").isVisible());
    // MIDI notes and the host move the sequencer, not the pictures.
    e.rig.setParameter(startStop, 1.0f);
    w.Updater.tick();
    EXPECT_TRUE(e.get<Picture>("PlayRed").isVisible());
}

TEST(EditorPanels, OptionsAndAboutSwitchEachOther) {
    Editor e;
    e.open();
    TPluginEditorWindow& w = e.window();
    Control& options = *w.find("Panel1");
    Control& about = *w.find("Panel2");
    auto clickLabel = [&](const char* name) {
        const Rect r = w.find(name)->onForm();
        w.clickAt(r.left + 2, r.top + 2);
    };
    clickLabel("Label7");
    EXPECT_TRUE(options.isVisible());
    clickLabel("Label7");
    EXPECT_FALSE(options.isVisible());
    clickLabel("Label7");
    clickLabel("AboutGUI");
    EXPECT_FALSE(options.isVisible());
    EXPECT_TRUE(about.isVisible());
    clickLabel("AboutGUI");
    EXPECT_FALSE(about.isVisible());
    EXPECT_FALSE(options.isVisible());

    clickLabel("Label7");
    const Rect close = w.find("close")->onForm();
    w.clickAt(close.left + 5, close.top + 5);
    EXPECT_FALSE(options.isVisible());
    clickLabel("AboutGUI");
    const Rect close2 = w.find("close2")->onForm();
    w.clickAt(close2.left + 5, close2.top + 5);
    EXPECT_FALSE(about.isVisible());
    // A shown panel lies over the sliders: a click there reaches no picture below.
    clickLabel("AboutGUI");
    w.clickAt(35, 250);
    EXPECT_TRUE(e.heard().empty());
}

// The radio shows the plug-in's mode at open and after every refresh, values either side of
// 0.5 included; a click on the item not shown selected sends its value, the shown one nothing.
TEST(EditorPanels, TimingShowsThePluginsModeAndSendsClicks) {
    Editor e;
    e.rig.setParameter(timingMode, 1.0f); // a session reloaded in external timing
    e.open();
    RadioGroup& timing = e.get<RadioGroup>("Timing");
    EXPECT_EQ(timing.items, (std::vector<std::string>{"Internal", "External "}));
    EXPECT_EQ(timing.itemIndex(), 1);
    timing.setItemIndex(1); // already shown: nothing sent
    EXPECT_TRUE(e.heard().empty());
    timing.setItemIndex(0);
    EXPECT_EQ(e.heard(), (Automation{{timingMode, 0.0f}}));
    EXPECT_EQ(e.rig.getParameter(timingMode), 0.0f);
    // The host's own changes (its generic panel, automation) move the radio and send nothing.
    const std::pair<float, int> hostValues[] = {{0.5f, 1}, {0.49f, 0}, {0.75f, 1}, {0.0f, 0}};
    for (const auto& [value, item] : hostValues) {
        e.rig.setParameter(timingMode, value);
        e.window().Updater.tick();
        EXPECT_EQ(timing.itemIndex(), item) << value;
    }
    EXPECT_TRUE(e.heard().empty());
    e.rig.setParameter(timingMode, 1.0f);
    e.window().Updater.tick();
    timing.setItemIndex(0);
    EXPECT_EQ(e.heard(), (Automation{{timingMode, 0.0f}}));
}

TEST(EditorPanels, HelpAndAboutTexts) {
    Editor e;
    e.open();
    EXPECT_EQ(e.get<Memo>("Memo2").lines,
              (std::vector<std::string>{
                  "Internal ", "c0 (midi note 12)   - Start.", "c#0 (midi note 13) - Stop. ",
                  "d0 (midi note 14)   - Starts and resets the step.  ", "", "External",
                  "Uses song position information sent from the host. ",
                  "The sequencer position is always relative to song ", "postion.",
                  "c0 (midi note 12)   - Start.", "c#0 (midi note 13) - Stop. ", ""}));
    const std::vector<std::string>& about = e.get<Memo>("Memo3").lines;
    ASSERT_EQ(about.size(), 13u);
    EXPECT_EQ(about[0], "  Ostrel v0.57  released 1/12/04  ");
    EXPECT_EQ(about[12], "  VST Plugin  technology by Steinberg");
}

// ---------------------------------------------------------------------------------------------
// Layout and pictures

TEST(EditorLayout, ControlsStandWhereTheLayoutPutsThem) {
    Editor e;
    e.open();
    TPluginEditorWindow& w = e.window();
    EXPECT_EQ(w.bounds.width, 626);
    EXPECT_EQ(w.bounds.height, 280);
    const int sliders[16] = {28,  52,  76,  100, 132, 156, 180, 204,
                             236, 260, 284, 308, 340, 364, 388, 412};
    for (int step = 0; step < 16; ++step) {
        char name[8];
        std::snprintf(name, sizeof name, "par%02d", step);
        const ScrollBar& bar = w.get<ScrollBar>(name);
        EXPECT_EQ(bar.bounds.left, sliders[step]);
        EXPECT_EQ(bar.bounds.width, step == 0 ? 17 : 16);
        EXPECT_EQ(bar.tag, step);
        EXPECT_EQ(bar.tabOrder, step);
        EXPECT_EQ(bar.max, 127);
        EXPECT_FALSE(w.light(step).isVisible());
    }
    EXPECT_EQ(w.find("Panel1")->onForm().top, 40);
    EXPECT_EQ(w.find("close")->onForm().left, 596); // 4 + 592
    EXPECT_FALSE(w.find("Panel1")->isVisible());
    EXPECT_FALSE(w.find("currentstepGUI")->isVisible());
    EXPECT_EQ(w.get<Label>("Label6").text(), "Ostrel");
    EXPECT_TRUE(w.get<Label>("Label6").font.bold);
    EXPECT_EQ(w.get<Button>("Button1").caption, "Apply");
}

TEST(EditorLayout, PicturesDecodeToTheirSizesAndColours) {
    Editor e;
    e.open();
    TPluginEditorWindow& w = e.window();
    auto near = [](std::uint32_t pixel, std::uint32_t wanted) {
        for (int shift : {16, 8, 0})
            if (std::abs(static_cast<int>((pixel >> shift) & 0xFF) -
                         static_cast<int>((wanted >> shift) & 0xFF)) > 24)
                return false;
        return true;
    };
    const Image& bg = w.get<Picture>("bg").image;
    EXPECT_EQ(bg.width, 20);
    EXPECT_EQ(bg.height, 19);
    EXPECT_TRUE(near(bg.pixel(10, 10), 0xD0D0D0));
    EXPECT_TRUE(w.get<Picture>("bg").stretch);
    const Image& light = w.light(7).image;
    EXPECT_EQ(light.width, 6);
    EXPECT_EQ(light.height, 6);
    EXPECT_TRUE(near(light.pixel(3, 3), 0xE02424));
    for (const char* name : {"Stop", "StopRed", "Play", "PlayRed", "close", "close2"}) {
        const Picture& p = w.get<Picture>(name);
        EXPECT_EQ(p.image.width, 20) << name;
        EXPECT_EQ(p.image.height, 20) << name;
        EXPECT_FALSE(p.stretch) << name;
        EXPECT_TRUE(near(p.image.pixel(2, 17), 0xB8B8B8)) << name; // the grey face
    }
    EXPECT_TRUE(near(w.get<Picture>("PlayRed").image.pixel(9, 10), 0xE02424));
    EXPECT_TRUE(near(w.get<Picture>("Play").image.pixel(9, 10), 0x5A5A5A));
    EXPECT_TRUE(near(w.get<Picture>("StopRed").image.pixel(6, 6), 0xE02424));
    EXPECT_TRUE(near(w.get<Picture>("StopRed").image.pixel(9, 9), 0xB8B8B8)); // hollow
}

// ---------------------------------------------------------------------------------------------
// The audio thread's updates racing the user-interface thread's opens and closes. Under
// ThreadSanitizer and AddressSanitizer, an update touching a window being destroyed fails.

TEST(Concurrency, EditorUpdatesNeverReachADestroyedWindow) {
    Editor e;
    std::atomic<bool> done{false};
    std::thread audio([&] {
        for (int i = 0; !done.load(); ++i) {
            e.rig.setParameter(i % 23, static_cast<float>(i % 100) / 100.0f);
            if (i % 16 == 0) e.rig.run(64, 64);
        }
    });
    for (int round = 0; round < 300; ++round) {
        e.open();
        e.idle();
        e.window().Updater.tick();
        if (round % 3 == 0) e.open();
        e.close();
        if (round % 3 == 0) e.close();
    }
    done = true;
    audio.join();
    EXPECT_EQ(e.bridge().window(), nullptr);
}

// A value the audio thread changes just after open has copied the values is kept: updates are
// let through before the copy. The change is made at that very point, so the check does not
// depend on timing.
TEST(Concurrency, AChangeJustAfterOpenCopiesTheValuesIsKept) {
    struct ChangeAfterCopy : APluginEditor {
        using APluginEditor::APluginEditor;
        void copyParameters() override {
            APluginEditor::copyParameters();
            if (!armed) return;
            armed = false;
            plugin().setParameter(0, 0.25f); // as automation on the audio thread
        }
        bool armed = false;
    };
    Editor e;
    auto* bridge = new ChangeAfterCopy(&e.rig.plugin());
    e.rig.plugin().setEditor(bridge);
    // Opened and closed once: the plug-in holds back updates while the editor is closed.
    ASSERT_EQ(e.open(), 1);
    e.close();
    e.rig.setParameter(0, 0.75f);
    bridge->armed = true;
    ASSERT_EQ(e.open(), 1);
    ASSERT_FALSE(bridge->armed);
    EXPECT_EQ(e.window().paramCopy[0].load(), 0.25f);
    EXPECT_EQ(e.get<ScrollBar>("par00").position(), 95); // the refresh at open shows it
}

// The audio thread changes a value that open has already copied, while open is still copying
// the rest: the change must reach the window's copy all the same.
TEST(Concurrency, AChangeWhileTheEditorOpensIsNotLost) {
    Editor e;
    e.open();
    std::atomic<float>* copy = e.window().paramCopy; // the bridge's, kept across windows
    e.close();
    for (int round = 1; round <= 300; ++round) {
        const float marker = static_cast<float>(round) / 1000.0f;
        const float changed = 1.0f - marker;
        e.rig.setParameter(1, marker); // closed: the copy still holds the value before
        std::atomic<bool> sent{false};
        std::thread audio([&] {
            // Step 1 copied means step 0 was copied before it.
            while (copy[1].load(std::memory_order_relaxed) != marker) {
            }
            e.rig.setParameter(0, changed);
            sent = true;
        });
        e.open();
        while (!sent.load()) {
        }
        audio.join();
        ASSERT_EQ(copy[0].load(), changed) << "round " << round;
        e.close();
    }
}
