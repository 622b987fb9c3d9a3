// TPluginEditorWindow: the editor's window, 626 by 280, built from its layout. It shows its own
// copy of the parameter values, brought in line with the controls by a 100 ms refresh, and
// changes the plug-in only through setParameterAutomated.
#pragma once

#include <atomic>
#include <cstdint>

#include "framework/Controls.h"
#include "host/DAudioEffect.h"
#include "sequencer/uParameters.h"

class TPluginEditorWindow : public framework::Form {
  public:
    // Builds the window from its layout as a borderless child of the host's window. The values
    // it shows live with the editor bridge, which outlives every window.
    TPluginEditorWindow(void* parentWindow, std::atomic<float> (&paramCopy)[plugin::kNumParams]);

    void* const parentWindow;
    // False when the window system could not show the window at all (no display to open).
    bool isShown() const { return shown; }
    // The plug-in, not owned; every call into it is skipped while it is null.
    AudioEffect* plugin = nullptr;
    // Set while the refresh writes into the controls, so their handlers send nothing back.
    bool updating = false;
    std::atomic<float> (&paramCopy)[plugin::kNumParams];
    framework::Timer Updater;

    // Handlers, named after control and event.
    void par00Change(framework::ScrollBar& sender);
    void SyncGUIClick(framework::RadioGroup& sender);
    void ccoutGUIKeyPress(framework::Edit& sender, char& key);
    void Button1Click(framework::Button& sender);
    void PlayClick(framework::Control& sender);
    void StopClick(framework::Control& sender);
    void UpdaterTimer();
    void Label7Click(framework::Control& sender);
    void AboutGUIClick(framework::Control& sender);
    void closeClick(framework::Control& sender);
    void close2Click(framework::Control& sender);
    void TimingClick(framework::RadioGroup& sender);

    framework::Picture& light(int step) const { return *leds[step]; }

  private:
    void build();
    void bindHandler(framework::Control& control, const char* handler);
    void change(std::int32_t index, float value);
    // Reads an edit for Apply: an empty edit takes `empty` first; a text that is no whole
    // number shows the framework's error box and gives nothing.
    bool readNumber(framework::Edit& edit, const char* empty, std::int32_t& number);
    // Writes a refreshed number into an edit when it differs from the one written last.
    void refreshEdit(std::int32_t index, std::int32_t (*toNumber)(float),
                     framework::ScrollBar& lastWritten, framework::Edit& edit);

    framework::ScrollBar* sliders[plugin::kNumSteps] = {};
    framework::Picture* leds[plugin::kNumSteps] = {};
    bool shown = false;
};
