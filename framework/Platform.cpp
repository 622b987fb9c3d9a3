// The part of the backends' contract that is the same for every backend: the switch to the
// headless stand-in, showInParent's guard, and the rules both native backends follow.
#include "Platform.h"

#include <atomic>

#include "Controls.h"

namespace framework {

namespace {
std::atomic<bool> standIn{false};
} // namespace

bool editorsAvailable() {
    return backend::nativeWindows() || standIn.load(std::memory_order_relaxed);
}

bool showInParent(Form& form, void* parentWindow) {
    if (standIn.load(std::memory_order_relaxed) || parentWindow == nullptr || form.peer)
        return true;
    return backend::show(form, parentWindow);
}

void headless::standInForNativeWindows() {
    standIn.store(true, std::memory_order_relaxed);
}

Rect radioItemBox(const RadioGroup& group, int item) {
    const int top = group.font.height + 4;
    const int count = static_cast<int>(group.items.size());
    const int each = count > 0 ? (group.bounds.height - top - 4) / count : 0;
    return {8, top + item * each, group.bounds.width - 12, each};
}

void fitLabelToText(Label& label, const std::function<TextSize(const std::string&)>& measure) {
    if (!label.autoSize) return;
    const TextSize size = measure(label.text());
    label.bounds.width = size.width;
    label.bounds.height = size.height;
}

void scrollBar(ScrollBar& bar, ScrollRequest request) {
    switch (request) {
    case ScrollRequest::LineUp:
    case ScrollRequest::PageUp: bar.setPosition(bar.position() - 1); return;
    case ScrollRequest::LineDown:
    case ScrollRequest::PageDown: bar.setPosition(bar.position() + 1); return;
    case ScrollRequest::Top: bar.setPosition(bar.min); return;
    case ScrollRequest::Bottom: bar.setPosition(bar.max); return;
    }
}

std::string applicationTitle(std::string_view programPath, ProgramNames names) {
    const bool windows = names == ProgramNames::Windows;
    std::string_view name = programPath.substr(programPath.find_last_of(windows ? "\\/" : "/") + 1);
    if (windows) name = name.substr(0, name.find_last_of('.'));
    return std::string(name);
}

} // namespace framework
