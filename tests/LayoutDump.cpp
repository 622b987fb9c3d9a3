#include "LayoutDump.h"

int writeLayout(const framework::Control& form, std::ostream& out) {
    static const char* const kinds[] = {"form",   "picture",    "label", "scrollbar", "edit",
                                        "button", "radiogroup", "panel", "memo"};
    int lines = 0;
    for (const auto& child : form.children()) {
        const framework::Rect r = child->onForm();
        out << child->name << ' ' << kinds[static_cast<int>(child->kind)] << ' ' << r.left << ' '
            << r.top << ' ' << r.width << ' ' << r.height << ' '
            << (child->isVisible() ? "shown" : "hidden") << '\n';
        lines += 1 + writeLayout(*child, out);
    }
    return lines;
}
