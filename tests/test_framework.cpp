// The windowing framework on its own: number parsing by the classic rules, change semantics of
// the controls, where clicks go, and picture decoding.
#include <gtest/gtest.h>

#include <limits>

#include "framework/Controls.h"
#include "framework/Numbers.h"

using namespace framework;

TEST(Numbers, WholeNumbersByTheClassicRules) {
    struct Case {
        const char* text;
        std::optional<std::int32_t> value;
    };
    const Case cases[] = {
        {"42", 42},
        {"  42", 42},
        {"+7", 7},
        {"-128", -128},
        {"$7F", 127},
        {"0x10", 16},
        {"-$10", -16},
        {"$FFFFFFFF", -1},
        {"2147483647", 2147483647},
        {"-2147483648", std::numeric_limits<std::int32_t>::min()},
        {"2147483648", {}},
        {"$100000000", {}},
        {"", {}},
        {"   ", {}},
        {"42 ", {}},
        {"4 2", {}},
        {"abc", {}},
        {"-", {}},
        {"$", {}},
        {"0x", {}},
        {"1e3", {}},
        {"12.5", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseInteger(c.text), c.value) << "'" << c.text << "'";
    EXPECT_EQ(invalidIntegerMessage("abc"), "'abc' is not a valid integer value");
    EXPECT_EQ(formatInteger(-5512), "-5512");
}

TEST(Controls, ChangesFromCodeFireLikeTheUsersAndOnlyOnChange) {
    ScrollBar bar("bar");
    bar.max = 127;
    int changes = 0;
    bar.onChange = [&](ScrollBar&) { ++changes; };
    bar.setPosition(10);
    bar.setPosition(10);
    bar.setPosition(500); // clamped to the range
    EXPECT_EQ(bar.position(), 127);
    bar.setPosition(127);
    EXPECT_EQ(changes, 2);

    RadioGroup group("group");
    group.items = {"a", "b"};
    int selections = 0;
    group.onSelect = [&](RadioGroup&) { ++selections; };
    group.setItemIndex(1);
    group.setItemIndex(1);
    group.setItemIndex(2); // no such item
    group.setItemIndex(-1);
    EXPECT_EQ(group.itemIndex(), 1);
    EXPECT_EQ(selections, 1);

    Edit edit("edit");
    edit.setText("ab");
    edit.type('\b');
    edit.type('c');
    EXPECT_EQ(edit.text(), "ac");
    edit.onKeyPress = [](Edit&, char& key) {
        if (key == 'x') key = 0;
    };
    edit.type('x');
    EXPECT_EQ(edit.text(), "ac");
    edit.readOnly = true;
    edit.type('d');
    EXPECT_EQ(edit.text(), "ac");
}

TEST(Controls, AClickGoesToTheTopmostShowingPictureOrLabel) {
    Form form("form");
    form.bounds = {0, 0, 200, 100};
    std::vector<std::string> clicked;
    auto add = [&](std::unique_ptr<Control> control, Rect bounds, Control& parent) -> Control& {
        control->bounds = bounds;
        control->onClick = [&](Control& c) { clicked.push_back(c.name); };
        return parent.adopt(std::move(control));
    };
    add(std::make_unique<Picture>("back"), {0, 0, 200, 100}, form);
    add(std::make_unique<Label>("label"), {10, 10, 50, 20}, form);
    Control& hidden = add(std::make_unique<Picture>("hidden"), {10, 10, 50, 20}, form);
    hidden.setVisible(false);
    add(std::make_unique<ScrollBar>("bar"), {100, 0, 20, 100}, form);
    Control& panel = add(std::make_unique<Panel>("panel"), {130, 50, 70, 50}, form);
    add(std::make_unique<Picture>("inPanel"), {5, 5, 10, 10}, panel);

    form.clickAt(20, 15);  // the label lies above the background; the hidden picture counts not
    form.clickAt(70, 60);  // the background alone
    form.clickAt(105, 50); // a scroll bar lies above every picture: no picture click
    form.clickAt(140, 60); // the panel's picture, in the panel's coordinates
    form.clickAt(190, 90); // the panel itself, over the background
    EXPECT_EQ(clicked, (std::vector<std::string>{"label", "back", "inPanel"}));
    panel.setVisible(false);
    form.clickAt(140, 60);
    EXPECT_EQ(clicked.back(), "back");
    EXPECT_EQ(form.find("inPanel")->onForm().left, 135);
    EXPECT_FALSE(form.find("inPanel")->isShowing());
}

TEST(Controls, AClickNeedsPressAndReleaseOnTheSameTarget) {
    Form form("form");
    form.bounds = {0, 0, 100, 40};
    std::vector<std::string> clicked;
    for (int i = 0; i < 2; ++i) {
        auto picture = std::make_unique<Picture>(i == 0 ? "stop" : "play");
        picture->bounds = {i * 30, 0, 20, 20};
        picture->onClick = [&](Control& c) { clicked.push_back(c.name); };
        form.adopt(std::move(picture));
    }
    form.pressAt(5, 5);
    form.releaseAt(35, 5); // released over the other picture
    form.pressAt(5, 5);
    form.releaseAt(25, 5); // released beside it
    form.pressAt(25, 5);
    form.releaseAt(5, 5); // pressed beside it
    form.pressAt(35, 5);
    form.pressLost();
    form.releaseAt(35, 5); // the press went elsewhere in between
    form.releaseAt(35, 5); // a release without a press
    EXPECT_TRUE(clicked.empty());
    form.pressAt(31, 1);
    form.releaseAt(49, 19); // anywhere within the same picture
    EXPECT_EQ(clicked, (std::vector<std::string>{"play"}));
}

TEST(Controls, TabStopsFollowTheTabOrderRoundTheEnds) {
    Form form("form");
    auto add = [&](std::unique_ptr<Control> control, int tabOrder, bool shown = true) {
        control->tabOrder = tabOrder;
        control->peer = std::make_unique<Peer>(); // as a backend shows it
        Control& added = form.adopt(std::move(control));
        added.setVisible(shown);
        return &added;
    };
    Control* apply = add(std::make_unique<Button>("apply"), 3);
    Control* edit = add(std::make_unique<Edit>("edit"), 2);
    Control* first = add(std::make_unique<ScrollBar>("first"), 0);
    add(std::make_unique<ScrollBar>("hidden"), 1, false);
    add(std::make_unique<Label>("label"), 1);                   // not a stop of its kind
    form.adopt(std::make_unique<Edit>("unshown")).tabOrder = 1; // no peer: not shown

    EXPECT_EQ(form.nextTabStop(nullptr, false), first);
    EXPECT_EQ(form.nextTabStop(nullptr, true), apply);
    EXPECT_EQ(form.nextTabStop(first, false), edit);
    EXPECT_EQ(form.nextTabStop(edit, false), apply);
    EXPECT_EQ(form.nextTabStop(apply, false), first);
    EXPECT_EQ(form.nextTabStop(first, true), apply);
    EXPECT_EQ(form.nextTabStop(apply, true), edit);
    Form empty("empty");
    EXPECT_EQ(empty.nextTabStop(nullptr, false), nullptr);
}

TEST(Pictures, DamagedDataDecodesToAnEmptyPicture) {
    const unsigned char notJpeg[] = {0xFF, 0xD8, 0xFF, 0x00, 0x12, 0x34};
    EXPECT_TRUE(decodeJpeg(notJpeg, sizeof notJpeg).empty());
    EXPECT_TRUE(decodeJpeg(nullptr, 0).empty());
}
