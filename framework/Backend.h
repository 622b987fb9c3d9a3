// Which windowing backend shows the framework's controls, and whether editors are offered.
#pragma once

namespace framework {

// True when a backend that shows real windows is built in, or when the headless backend has
// been chosen to stand in for one (tests). A plug-in without either announces no editor, so
// hosts show their own parameter panel.
bool editorsAvailable();

namespace headless {

// Lets windows live in memory only, with the user's actions played by tests.
void standInForNativeWindows();

} // namespace headless
} // namespace framework
