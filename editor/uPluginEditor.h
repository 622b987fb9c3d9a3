// APluginEditor: the plug-in's editor object, the bridge between the host's editor requests and
// the editor window. It lives as long as the plug-in and owns the window while it is open.
#pragma once

#include <atomic>
#include <memory>

#include "editor/uEditor.h"
#include "host/DAudioEffect.h"

class APlugin;

class APluginEditor : public AEffEditor {
  public:
    explicit APluginEditor(APlugin* plugin);
    ~APluginEditor() override;

    // User-interface thread.
    std::int32_t getRect(ERect** rect) override;
    std::int32_t open(void* ptr) override;
    void close() override;
    // Moves the step lights and writes the step length and song position into the window.
    void idle() override;
    // Any thread, the audio thread during automation included: copies the plug-in's values for
    // the window. It touches only values the bridge holds, never a window, so it cannot reach
    // one that is being destroyed.
    void update() override;

    TPluginEditorWindow* window() const { return editorWindow.get(); }
    std::int32_t openCount() const { return opens; }

  protected:
    APlugin& plugin() const;
    // Copies every value of the plug-in's into the window's copy.
    virtual void copyParameters();

  private:
    void destroyWindow();

    ERect rect{};
    std::int32_t opens = 0;
    std::unique_ptr<TPluginEditorWindow> editorWindow;
    // The values the window shows: they belong to the bridge, which outlives every window.
    std::atomic<float> paramCopy[plugin::kNumParams];
    std::atomic<bool> windowExists{false};
    // The step whose light is on, or none.
    static constexpr std::int32_t kNoLight = -1;
    std::int32_t litStep = kNoLight;
};
