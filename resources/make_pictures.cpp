// Draws the editor's pictures and writes them as JPEG files with libjpeg:
//   make_pictures FOLDER
// The files are committed in resources/pictures; the build embeds them into the library.
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

using Colour = unsigned;
using Painter = std::function<Colour(int x, int y)>;

constexpr Colour kFace = 0xB8B8B8, kLight = 0xE8E8E8, kShade = 0x707070, kMark = 0x5A5A5A,
                 kRed = 0xE02424;

bool write(const std::string& path, int width, int height, const Painter& paint) {
    std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Colour c = paint(x, y);
            unsigned char* p = &pixels[(static_cast<std::size_t>(y) * width + x) * 3];
            p[0] = static_cast<unsigned char>(c >> 16);
            p[1] = static_cast<unsigned char>(c >> 8);
            p[2] = static_cast<unsigned char>(c);
        }
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return false;
    jpeg_compress_struct encoder{};
    jpeg_error_mgr errors{};
    encoder.err = jpeg_std_error(&errors);
    jpeg_create_compress(&encoder);
    jpeg_stdio_dest(&encoder, out);
    encoder.image_width = static_cast<JDIMENSION>(width);
    encoder.image_height = static_cast<JDIMENSION>(height);
    encoder.input_components = 3;
    encoder.in_color_space = JCS_RGB;
    jpeg_set_defaults(&encoder);
    jpeg_set_quality(&encoder, 95, TRUE);
    // No chroma subsampling: the small red marks keep their edges.
    for (int i = 0; i < encoder.num_components; ++i)
        encoder.comp_info[i].h_samp_factor = encoder.comp_info[i].v_samp_factor = 1;
    jpeg_start_compress(&encoder, TRUE);
    while (encoder.next_scanline < encoder.image_height) {
        JSAMPROW row = &pixels[static_cast<std::size_t>(encoder.next_scanline) * width * 3];
        jpeg_write_scanlines(&encoder, &row, 1);
    }
    jpeg_finish_compress(&encoder);
    jpeg_destroy_compress(&encoder);
    return std::fclose(out) == 0;
}

// A raised grey button face, 20 x 20, with a mark drawn by `mark` (true where it is).
Painter face(const std::function<bool(int, int)>& mark, Colour markColour) {
    return [=](int x, int y) -> Colour {
        if (x == 0 || y == 0) return kLight;
        if (x == 19 || y == 19) return kShade;
        return mark(x, y) ? markColour : kFace;
    };
}

bool hollowSquare(int x, int y) {
    const bool inside = x >= 6 && x <= 13 && y >= 6 && y <= 13;
    const bool hole = x >= 8 && x <= 11 && y >= 8 && y <= 11;
    return inside && !hole;
}

// A triangle pointing right: its left edge at x 7, its tip at x 14, y 10.
bool triangle(int x, int y) {
    return x >= 7 && std::abs(y - 10) <= (14 - x) * 5 / 7;
}

bool cross(int x, int y) {
    return x >= 5 && x <= 14 && y >= 5 && y <= 14 &&
           (std::abs(x - y) <= 1 || std::abs(x + y - 19) <= 1);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_pictures FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    // A flat light-grey texture: a faint regular grain.
    const Painter background = [](int x, int y) -> Colour {
        const unsigned grain = ((x * 7 + y * 13) % 5) * 2;
        const unsigned level = 0xCC + grain;
        return level << 16 | level << 8 | level;
    };
    const bool ok = write(folder + "/background.jpg", 20, 19, background) &&
                    write(folder + "/light.jpg", 6, 6, [](int, int) { return kRed; }) &&
                    write(folder + "/stop.jpg", 20, 20, face(hollowSquare, kMark)) &&
                    write(folder + "/stop-red.jpg", 20, 20, face(hollowSquare, kRed)) &&
                    write(folder + "/play.jpg", 20, 20, face(triangle, kMark)) &&
                    write(folder + "/play-red.jpg", 20, 20, face(triangle, kRed)) &&
                    write(folder + "/close.jpg", 20, 20, face(cross, kMark));
    if (!ok) std::fprintf(stderr, "make_pictures: cannot write into %s\n", folder.c_str());
    return ok ? 0 : 1;
}
