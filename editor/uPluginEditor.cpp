#include "uPluginEditor.h"

#include "framework/Numbers.h"
#include "sequencer/uPlugin.h"

APluginEditor::APluginEditor(APlugin* plugin) : AEffEditor(plugin) {
    for (auto& value : paramCopy)
        value.store(0.0f, std::memory_order_relaxed);
}

APluginEditor::~APluginEditor() {
    if (editorWindow) destroyWindow();
}

APlugin& APluginEditor::plugin() const {
    return *static_cast<APlugin*>(effect);
}

std::int32_t APluginEditor::getRect(ERect** where) {
    rect.top = 0;
    rect.left = 0;
    if (editorWindow) {
        rect.bottom = static_cast<std::int16_t>(editorWindow->bounds.height);
        rect.right = static_cast<std::int16_t>(editorWindow->bounds.width);
    }
    *where = &rect;
    return 1;
}

std::int32_t APluginEditor::open(void* ptr) {
    // Some hosts destroy their plug-in window without effEditClose and later open the editor
    // in a new one: the kept window is gone with theirs, so it is built anew.
    if (editorWindow && editorWindow->windowLost()) destroyWindow();
    // Some hosts open the editor again without closing it: the first window stays.
    const bool fresh = opens == 0 || !editorWindow;
    if (fresh) {
        auto window = std::make_unique<TPluginEditorWindow>(ptr, paramCopy);
        // A Linux host without a display (a headless session): the host hears 0 and nothing
        // else changes.
        if (!window->isShown()) return 0;
        editorWindow = std::move(window);
        editorWindow->bounds.left = 0;
        editorWindow->bounds.top = 0;
        editorWindow->plugin = &plugin();
        // A new window shows no light: the next idle lights the current step, even when the
        // engine stands still (stopped, or a stopped song in external timing).
        litStep = kNoLight;
        windowExists.store(true, std::memory_order_relaxed);
    }
    ++opens;
    // Updates are let through before the values are copied, so a change made by the audio
    // thread while the window opens is never lost.
    plugin().setEditorClosed(false);
    if (fresh) copyParameters();
    // The controls take the values before the window first appears, so it is drawn once, with
    // them.
    editorWindow->Updater.enabled = true;
    editorWindow->UpdaterTimer();
    editorWindow->paintNow();
    return 1;
}

void APluginEditor::close() {
    if (--opens < 0) opens = 0;
    if (opens == 0) {
        plugin().setEditorClosed(true);
        if (editorWindow) destroyWindow();
    }
}

// The plug-in's values go unseen while the window is destroyed: editorClosed is set first.
void APluginEditor::destroyWindow() {
    plugin().setEditorClosed(true);
    windowExists.store(false, std::memory_order_relaxed);
    editorWindow.reset();
}

void APluginEditor::idle() {
    if (plugin().isEditorClosed() || !editorWindow) return;
    TPluginEditorWindow& window = *editorWindow;
    window.get<framework::Edit>("currentstepGUI")
        .setText(framework::formatInteger(plugin().stepLength()));
    window.get<framework::Edit>("Edit1").setText(
        framework::formatInteger(plugin().songPositionHundredths()));
    // The light follows the engine's step; a step outside the 16 shows none.
    const std::int32_t step = plugin().currentStep();
    if (step != litStep) {
        if (litStep != kNoLight) window.light(litStep).setVisible(false);
        const bool shown = step >= 0 && step < plugin::kNumSteps;
        if (shown) window.light(step).setVisible(true);
        litStep = shown ? step : kNoLight;
    }
    // Last: a handler it runs may close the editor.
    window.handleEvents();
}

void APluginEditor::update() {
    if (!plugin().isEditorClosed() && windowExists.load(std::memory_order_relaxed))
        copyParameters();
}

void APluginEditor::copyParameters() {
    for (std::int32_t i = 0; i < plugin::kNumParams; ++i)
        paramCopy[i].store(plugin().getParameter(i), std::memory_order_relaxed);
}
