// The editor's pictures as JPEG data, embedded into the library at build time.
#pragma once

#include <cstddef>
#include <cstring>

namespace resources {

struct EmbeddedPicture {
    const char* name; // the file name without .jpg: "background", "light", "play-red", ...
    const unsigned char* data;
    std::size_t size;
};

extern const EmbeddedPicture kPictures[];
extern const std::size_t kPictureCount;

inline const EmbeddedPicture* findPicture(const char* name) {
    for (std::size_t i = 0; i < kPictureCount; ++i)
        if (std::strcmp(kPictures[i].name, name) == 0) return &kPictures[i];
    return nullptr;
}

} // namespace resources
