// Writes a whole file in binary mode, so that every platform writes the same bytes.
#pragma once

#include <cstdio>
#include <string>

inline bool writeWholeFile(const std::string& path, const void* data, std::size_t size,
                           std::string& error) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    bool written = out != nullptr && std::fwrite(data, 1, size, out) == size;
    if (out != nullptr && std::fclose(out) != 0) written = false;
    if (!written) error = "cannot write " + path;
    return written;
}
