#include "Locale.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <clocale>
#endif

namespace framework {

char decimalSeparator() {
#if defined(_WIN32)
    char text[4] = {};
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, text, sizeof text) > 1) return text[0];
#else
    const std::lconv* numeric = std::localeconv();
    if (numeric != nullptr && numeric->decimal_point != nullptr &&
        numeric->decimal_point[0] != '\0')
        return numeric->decimal_point[0];
#endif
    return '.';
}

} // namespace framework
