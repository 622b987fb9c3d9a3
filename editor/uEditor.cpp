#include "uEditor.h"

#include <cstring>
#include <map>
#include <mutex>

#include "framework/Numbers.h"
#include "framework/Platform.h"
#include "host/DVstUtils.h"
#include "resources/Layout.h"
#include "resources/Pictures.h"

using namespace framework;
using namespace plugin;

namespace {

// "a|b|" gives "a", "b" and an empty last part; an empty text gives no parts. (No string
// streams: they would bring the C++ run-time's locale machinery into the library.)
std::vector<std::string> split(const char* text, char separator) {
    std::vector<std::string> parts;
    if (text[0] == '\0') return parts;
    const char* start = text;
    for (const char* at = text;; ++at) {
        if (*at != separator && *at != '\0') continue;
        parts.emplace_back(start, at);
        if (*at == '\0') return parts;
        start = at + 1;
    }
}

// Each embedded picture decoded once for the library's life, on first use: a window shows the
// light sixteen times, and editors open and close often. Editors may open on several threads.
const Image& decodedPicture(const resources::EmbeddedPicture& data) {
    static std::mutex guard;
    static std::map<const resources::EmbeddedPicture*, Image> decoded;
    const std::lock_guard<std::mutex> lock(guard);
    auto found = decoded.find(&data);
    if (found == decoded.end())
        found = decoded.emplace(&data, decodeJpeg(data.data, data.size)).first;
    return found->second;
}

std::unique_ptr<Control> create(const resources::ControlEntry& entry) {
    switch (entry.kind) {
    case Kind::Picture: {
        auto picture = std::make_unique<Picture>(entry.name);
        if (const resources::EmbeddedPicture* data = resources::findPicture(entry.picture))
            picture->image = decodedPicture(*data);
        picture->stretch = entry.stretch;
        return picture;
    }
    case Kind::Label: {
        auto label = std::make_unique<Label>(entry.name);
        label->setText(entry.text);
        return label;
    }
    case Kind::ScrollBar: {
        auto bar = std::make_unique<ScrollBar>(entry.name);
        bar->min = 0;
        bar->max = entry.rangeMax;
        return bar;
    }
    case Kind::Edit: {
        auto edit = std::make_unique<Edit>(entry.name);
        edit->setText(entry.text);
        edit->readOnly = entry.readOnly;
        return edit;
    }
    case Kind::Button: {
        auto button = std::make_unique<Button>(entry.name);
        button->caption = entry.text;
        return button;
    }
    case Kind::RadioGroup: {
        auto group = std::make_unique<RadioGroup>(entry.name);
        group->caption = entry.text;
        group->items = split(entry.items, '|');
        group->setItemIndex(0);
        return group;
    }
    case Kind::Panel: return std::make_unique<Panel>(entry.name);
    case Kind::Memo: {
        auto memo = std::make_unique<Memo>(entry.name);
        memo->lines = split(entry.text, '\n');
        memo->readOnly = entry.readOnly;
        memo->border = entry.border;
        return memo;
    }
    case Kind::Form: break;
    }
    return nullptr;
}

} // namespace

TPluginEditorWindow::TPluginEditorWindow(void* parentWindow,
                                         std::atomic<float> (&paramCopy)[kNumParams])
    : Form("TPluginEditorWindow"), parentWindow(parentWindow), paramCopy(paramCopy) {
    build();
    shown = showInParent(*this, parentWindow);
}

void TPluginEditorWindow::build() {
    bounds = {0, 0, resources::kWindowWidth, resources::kWindowHeight};
    colour = kBlack;
    textColour = kWhite;
    for (std::size_t i = 0; i < resources::kWindowLayoutSize; ++i) {
        const resources::ControlEntry& entry = resources::kWindowLayout[i];
        std::unique_ptr<Control> made = create(entry);
        made->bounds = {entry.left, entry.top, entry.width, entry.height};
        made->colour = entry.colour;
        made->textColour = entry.textColour;
        made->font.height = entry.fontHeight;
        made->font.bold = entry.bold;
        made->setVisible(entry.visible);
        made->tabOrder = entry.tabOrder;
        made->tag = entry.tag;
        Control* owner = entry.parent != nullptr ? find(entry.parent) : this;
        Control& control = owner->adopt(std::move(made));
        if (entry.handler != nullptr) bindHandler(control, entry.handler);
    }
    char name[8];
    for (int step = 0; step < kNumSteps; ++step) {
        std::snprintf(name, sizeof name, "par%02d", step);
        sliders[step] = &get<ScrollBar>(name);
        std::snprintf(name, sizeof name, "led%02d", step);
        leds[step] = &get<Picture>(name);
    }
    Updater.interval = 100;
    Updater.enabled = false;
    Updater.onTimer = [this] { UpdaterTimer(); };
    addTimer(Updater);
}

void TPluginEditorWindow::bindHandler(Control& control, const char* handler) {
    const std::string name = handler;
    if (name == "par00Change")
        static_cast<ScrollBar&>(control).onChange = [this](ScrollBar& s) { par00Change(s); };
    else if (name == "SyncGUIClick")
        static_cast<RadioGroup&>(control).onSelect = [this](RadioGroup& g) { SyncGUIClick(g); };
    else if (name == "TimingClick")
        static_cast<RadioGroup&>(control).onSelect = [this](RadioGroup& g) { TimingClick(g); };
    else if (name == "ccoutGUIKeyPress")
        static_cast<Edit&>(control).onKeyPress = [this](Edit& e, char& k) {
            ccoutGUIKeyPress(e, k);
        };
    else if (name == "Button1Click")
        static_cast<Button&>(control).onPress = [this](Button& b) { Button1Click(b); };
    else if (name == "PlayClick")
        control.onClick = [this](Control& c) { PlayClick(c); };
    else if (name == "StopClick")
        control.onClick = [this](Control& c) { StopClick(c); };
    else if (name == "Label7Click")
        control.onClick = [this](Control& c) { Label7Click(c); };
    else if (name == "AboutGUIClick")
        control.onClick = [this](Control& c) { AboutGUIClick(c); };
    else if (name == "closeClick")
        control.onClick = [this](Control& c) { closeClick(c); };
    else if (name == "close2Click")
        control.onClick = [this](Control& c) { close2Click(c); };
}

// Stores the value in the window's copy and hands it to the plug-in, which tells the host.
void TPluginEditorWindow::change(std::int32_t index, float value) {
    paramCopy[index].store(value, std::memory_order_relaxed);
    if (plugin != nullptr) plugin->setParameterAutomated(index, value);
}

// ---------------------------------------------------------------------------------------------
// The user's changes

void TPluginEditorWindow::par00Change(ScrollBar& sender) {
    if (updating) return;
    change(sender.tag, fromSliderPosition(sender.position()));
}

void TPluginEditorWindow::SyncGUIClick(RadioGroup& sender) {
    if (updating) return;
    change(syncValue, kSyncValues[sender.itemIndex()]);
}

void TPluginEditorWindow::ccoutGUIKeyPress(Edit&, char& key) {
    if (key < '0' || key > '9') key = 0; // digits only: not even Backspace or a sign
}

bool TPluginEditorWindow::readNumber(Edit& edit, const char* empty, std::int32_t& number) {
    if (empty != nullptr && edit.text().empty()) edit.setText(empty);
    const std::optional<std::int32_t> parsed = parseInteger(edit.text());
    if (!parsed) {
        showError(invalidIntegerMessage(edit.text()) + ".");
        return false;
    }
    number = *parsed;
    return true;
}

void TPluginEditorWindow::Button1Click(Button&) {
    auto& ccout = get<Edit>("ccoutGUI");
    auto& low = get<Edit>("minGUI");
    auto& high = get<Edit>("maxGUI");
    auto& steps = get<Edit>("endstepGUI");
    auto clamp = [](std::int32_t n, std::int32_t lowest, std::int32_t highest) {
        return n > highest ? highest : (n < lowest ? lowest : n);
    };
    auto apply = [this](std::int32_t index, std::int32_t n, float value, Edit& edit) {
        edit.setText(formatInteger(n));
        change(index, value);
    };
    auto applyMidi = [&](std::int32_t index, std::int32_t n, Edit& edit) {
        apply(index, n, fromMidiNumber(n), edit);
    };

    std::int32_t n = 0;
    if (!readNumber(ccout, "0", n)) return;
    applyMidi(ccOut, clamp(n, 0, 127), ccout);

    std::int32_t minimum = 0, maximum = 0;
    if (!readNumber(low, "0", minimum)) return;
    minimum = clamp(minimum, 0, 127);
    if (!readNumber(high, nullptr, maximum)) return; // as it stands: not clamped, not filled
    if (minimum > maximum) applyMidi(ccMax, minimum, high);
    applyMidi(ccMin, minimum, low);

    if (!readNumber(high, "0", n)) return;
    applyMidi(ccMax, clamp(n, 0, 127), high);

    if (!readNumber(steps, "16", n)) return;
    n = clamp(n, 1, kNumSteps);
    apply(endStep, n, fromEndStepNumber(n), steps);
}

void TPluginEditorWindow::PlayClick(Control&) {
    if (updating) return;
    get<Picture>("PlayRed").setVisible(true);
    get<Picture>("StopRed").setVisible(false);
    change(startStop, 0.0f);
}

void TPluginEditorWindow::StopClick(Control&) {
    if (updating) return;
    get<Picture>("PlayRed").setVisible(false);
    get<Picture>("StopRed").setVisible(true);
    change(startStop, 1.0f);
}

// ---------------------------------------------------------------------------------------------
// The refresh: the controls follow the window's copy of the values. It compares before it
// writes, and the change handlers it fires return at once, so nothing goes back to the plug-in.

void TPluginEditorWindow::refreshEdit(std::int32_t index, std::int32_t (*toNumber)(float),
                                      ScrollBar& lastWritten, Edit& edit) {
    const std::int32_t n = toNumber(paramCopy[index].load(std::memory_order_relaxed));
    if (n == lastWritten.position()) return;
    lastWritten.setPosition(n);
    edit.setText(formatInteger(n));
}

void TPluginEditorWindow::UpdaterTimer() {
    updating = true;
    for (int step = 0; step < kNumSteps; ++step) {
        const std::int32_t position =
            sliderPosition(paramCopy[step].load(std::memory_order_relaxed));
        if (position != sliders[step]->position()) sliders[step]->setPosition(position);
    }
    const std::int32_t sync =
        roundToInt32(stepsPerBeat(paramCopy[syncValue].load(std::memory_order_relaxed)));
    for (int item = 0; item < kSyncChoices; ++item)
        if (sync == kSyncSteps[item]) get<RadioGroup>("SyncGUI").setItemIndex(item);
    // The timing radio follows the plug-in's mode too: a session reloaded in external timing
    // must not show "Internal", or a click on "Internal" would change nothing.
    get<RadioGroup>("Timing").setItemIndex(
        externalTiming(paramCopy[timingMode].load(std::memory_order_relaxed)) ? 1 : 0);
    refreshEdit(ccOut, midiNumber, get<ScrollBar>("ScrollBar1"), get<Edit>("ccoutGUI"));
    refreshEdit(ccMin, midiNumber, get<ScrollBar>("ScrollBar2"), get<Edit>("minGUI"));
    refreshEdit(ccMax, midiNumber, get<ScrollBar>("ScrollBar3"), get<Edit>("maxGUI"));
    refreshEdit(endStep, endStepNumber, get<ScrollBar>("ScrollBar4"), get<Edit>("endstepGUI"));
    updating = false;
}

// ---------------------------------------------------------------------------------------------
// The options and about panels

void TPluginEditorWindow::Label7Click(Control&) {
    Control& options = *find("Panel1");
    options.setVisible(!options.isVisible());
    find("Panel2")->setVisible(false);
}

void TPluginEditorWindow::AboutGUIClick(Control&) {
    Control& about = *find("Panel2");
    about.setVisible(!about.isVisible());
    find("Panel1")->setVisible(false);
}

void TPluginEditorWindow::closeClick(Control&) {
    find("Panel1")->setVisible(false);
}

void TPluginEditorWindow::close2Click(Control&) {
    find("Panel2")->setVisible(false);
}

void TPluginEditorWindow::TimingClick(RadioGroup& sender) {
    if (updating) return;
    change(timingMode, sender.itemIndex() == 1 ? kExternalTiming : kInternalTiming);
}
