#include "Image.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace framework {

namespace {

// libjpeg reports errors by calling error_exit, which must not return: jump back out.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf escape;
};

[[noreturn]] void escapeOnError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->escape, 1);
}

void silently(j_common_ptr) {}

} // namespace

Image decodeJpeg(const std::uint8_t* data, std::size_t size) {
    Image image;
    if (data == nullptr || size == 0) return image;
    jpeg_decompress_struct decoder{};
    ErrorManager errors{};
    decoder.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = escapeOnError;
    errors.base.output_message = silently;
    if (setjmp(errors.escape) != 0) {
        jpeg_destroy_decompress(&decoder);
        return Image{};
    }
    jpeg_create_decompress(&decoder);
    jpeg_mem_src(&decoder, data, static_cast<unsigned long>(size));
    jpeg_read_header(&decoder, TRUE);
    decoder.out_color_space = JCS_RGB;
    jpeg_start_decompress(&decoder);
    image.width = static_cast<int>(decoder.output_width);
    image.height = static_cast<int>(decoder.output_height);
    image.rgb.resize(static_cast<std::size_t>(image.width) * image.height * 3);
    while (decoder.output_scanline < decoder.output_height) {
        JSAMPROW row =
            &image.rgb[static_cast<std::size_t>(decoder.output_scanline) * image.width * 3];
        jpeg_read_scanlines(&decoder, &row, 1);
    }
    jpeg_finish_decompress(&decoder);
    jpeg_destroy_decompress(&decoder);
    return image;
}

} // namespace framework
