#include "EditorWindow.h"

bool editorSize(AEffect* effect, int& width, int& height) {
    // The plug-in points the host's variable at a rectangle it keeps.
    ERect* rect = nullptr;
    effect->dispatcher(effect, effEditGetRect, 0, 0, &rect, 0.0f);
    if (rect == nullptr || rect->right <= rect->left || rect->bottom <= rect->top) return false;
    width = rect->right - rect->left;
    height = rect->bottom - rect->top;
    return true;
}
