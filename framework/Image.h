// Pictures: RGB pixels decoded from JPEG data with libjpeg.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace framework {

struct Image {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb; // width * height * 3, row by row
    bool empty() const { return width == 0 || height == 0; }
    std::uint32_t pixel(int x, int y) const {
        const std::size_t at = (static_cast<std::size_t>(y) * width + x) * 3;
        return static_cast<std::uint32_t>(rgb[at]) << 16 | rgb[at + 1] << 8 | rgb[at + 2];
    }
};

// Decodes JPEG data; a damaged or empty picture gives an empty image.
Image decodeJpeg(const std::uint8_t* data, std::size_t size);

} // namespace framework
