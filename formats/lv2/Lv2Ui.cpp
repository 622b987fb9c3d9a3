// The LV2 UI: the record's editor in the host's X11 window (ui:parent), reached through instance
// access, idled through the idle interface. The plug-in's edits go back to the host as port
// writes, so its controls and automation lanes follow the editor. Hosts that cannot give
// instance access or a parent window get no UI from here and show their generic controls.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdint>
#include <cstring>
#include <new>

#include <lv2/core/lv2.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/ui/ui.h>

#include "formats/lv2/Lv2Plugin.h"
#include "formats/lv2/Lv2Ports.h"

namespace lv2_door {

namespace {

const void* featureData(const LV2_Feature* const* features, const char* uri) {
    for (const LV2_Feature* const* f = features; f != nullptr && *f != nullptr; ++f)
        if ((*f)->URI != nullptr && std::strcmp((*f)->URI, uri) == 0) return (*f)->data;
    return nullptr;
}

class Lv2Ui {
  public:
    Lv2Ui(Lv2Plugin& door, LV2UI_Write_Function write, LV2UI_Controller controller)
        : door(door), write(write), controller(controller) {}
    ~Lv2Ui() {
        door.hosted().closeEditor();
        if (display != nullptr) XCloseDisplay(display);
    }

    bool open(Window parent, const LV2UI_Resize* resize, LV2UI_Widget* widget) {
        if (!door.hosted().hasEditor() || !door.hosted().openEditor(toPointer(parent)))
            return false;
        // The host embeds the widget it gets: the editor's own window, the newest child of the
        // parent the editor opened in.
        display = XOpenDisplay(nullptr);
        Window editor = parent;
        if (display != nullptr) {
            Window root = 0, up = 0, *children = nullptr;
            unsigned count = 0;
            if (XQueryTree(display, parent, &root, &up, &children, &count) != 0 && count > 0)
                editor = children[count - 1];
            if (children != nullptr) XFree(children);
        }
        int width = 0, height = 0;
        if (door.hosted().editorSize(width, height)) {
            // Embedding hosts (suil among them) size their socket from the widget's hints.
            if (display != nullptr && editor != parent) {
                XSizeHints hints{};
                hints.flags = PMinSize | PMaxSize | PBaseSize;
                hints.min_width = hints.max_width = hints.base_width = width;
                hints.min_height = hints.max_height = hints.base_height = height;
                XSetWMNormalHints(display, editor, &hints);
                XFlush(display);
            }
            if (resize != nullptr && resize->ui_resize != nullptr)
                resize->ui_resize(resize->handle, width, height);
        }
        *widget = toPointer(editor);
        return true;
    }

    int idle() {
        door.hosted().idleEditor();
        // The plug-in's own changes, as the host's port writes: its control follows them.
        float value = 0.0f;
        for (std::int32_t i = 0; i < door.parameterCount(); ++i)
            if (door.takeEdit(i, value))
                write(controller, firstParameter + static_cast<std::uint32_t>(i), sizeof value, 0,
                      &value);
        return 0;
    }

  private:
    static void* toPointer(Window window) {
        return reinterpret_cast<void*>(static_cast<std::uintptr_t>(window));
    }

    Lv2Plugin& door;
    LV2UI_Write_Function write;
    LV2UI_Controller controller;
    Display* display = nullptr;
};

LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*,
                         LV2UI_Write_Function write, LV2UI_Controller controller,
                         LV2UI_Widget* widget, const LV2_Feature* const* features) {
    if (pluginUri == nullptr || std::strcmp(pluginUri, kPluginUri) != 0 || write == nullptr ||
        widget == nullptr)
        return nullptr;
    auto* door =
        static_cast<Lv2Plugin*>(const_cast<void*>(featureData(features, LV2_INSTANCE_ACCESS_URI)));
    const auto parent = static_cast<Window>(
        reinterpret_cast<std::uintptr_t>(featureData(features, LV2_UI__parent)));
    if (door == nullptr || parent == 0) return nullptr;
    auto* ui = new (std::nothrow) Lv2Ui(*door, write, controller);
    if (ui != nullptr &&
        !ui->open(parent, static_cast<const LV2UI_Resize*>(featureData(features, LV2_UI__resize)),
                  widget)) {
        delete ui;
        return nullptr;
    }
    return ui;
}

void cleanup(LV2UI_Handle ui) {
    delete static_cast<Lv2Ui*>(ui);
}

// The editor shows the plug-in's values itself; the host's port values come to it through the
// plug-in.
void portEvent(LV2UI_Handle, std::uint32_t, std::uint32_t, std::uint32_t, const void*) {}

int idle(LV2UI_Handle ui) {
    return static_cast<Lv2Ui*>(ui)->idle();
}

const LV2UI_Idle_Interface kIdle{idle};

const void* extensionData(const char* uri) {
    return uri != nullptr && std::strcmp(uri, LV2_UI__idleInterface) == 0 ? &kIdle : nullptr;
}

const LV2UI_Descriptor kUiDescriptor{kUiUri, instantiate, cleanup, portEvent, extensionData};

} // namespace

} // namespace lv2_door

LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(std::uint32_t index) {
    return index == 0 ? &lv2_door::kUiDescriptor : nullptr;
}
