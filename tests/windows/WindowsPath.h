// Paths handed to Windows test programs under Wine.
#pragma once

#include <string>

// A Unix path as Wine shows it to Windows programs: the Unix root is drive Z:.
inline std::string windowsPath(std::string path) {
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

// A path of the build as the test program's own system shows it.
inline std::string nativePath(const char* path) {
#if defined(_WIN32)
    return windowsPath(path);
#else
    return path;
#endif
}
