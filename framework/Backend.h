// Which windowing backend shows the framework's controls, and whether editors are offered.
#pragma once

namespace framework {

class Form;

// True when a backend that shows real windows is built in, or when the headless backend has
// been chosen to stand in for one (tests). A plug-in without either announces no editor, so
// hosts show their own parameter panel.
bool editorsAvailable();

// Shows a form as a borderless child window at the top left of a host's window, with a native
// window or painting for each of its controls, on the calling thread. The headless backend,
// standing in, shows nothing; so does a null parent. False when a native backend cannot show it
// at all: on X11, when no display can be opened or the host's window does not exist.
bool showInParent(Form& form, void* parentWindow);

namespace headless {

// Lets windows live in memory only, with the user's actions played by tests. In a build with
// a native backend it turns that backend off for the process.
void standInForNativeWindows();

} // namespace headless
} // namespace framework
