// The user's regional settings, as far as the plug-in shows numbers.
#pragma once

namespace framework {

// The decimal separator of the user's regional settings: on Windows the user locale's, elsewhere
// the C library's current numeric locale's. A point when none can be read.
char decimalSeparator();

} // namespace framework
