// libjpeg as each target builds it (Debian's package natively, our cross build of Debian's
// libjpeg-turbo source for Windows): a picture survives encoding and decoding in memory.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

TEST(Jpeg, EncodesAndDecodesAPictureInMemory) {
    constexpr int width = 20, height = 19;
    std::vector<unsigned char> pixels(width * height * 3);
    for (int i = 0; i < width * height; ++i) {
        pixels[i * 3 + 0] = 200; // a flat orange
        pixels[i * 3 + 1] = 100;
        pixels[i * 3 + 2] = 20;
    }

    jpeg_compress_struct encoder{};
    jpeg_error_mgr errors{};
    encoder.err = jpeg_std_error(&errors);
    jpeg_create_compress(&encoder);
    unsigned char* data = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&encoder, &data, &size);
    encoder.image_width = width;
    encoder.image_height = height;
    encoder.input_components = 3;
    encoder.in_color_space = JCS_RGB;
    jpeg_set_defaults(&encoder);
    jpeg_set_quality(&encoder, 95, TRUE);
    jpeg_start_compress(&encoder, TRUE);
    while (encoder.next_scanline < encoder.image_height) {
        JSAMPROW row = &pixels[encoder.next_scanline * width * 3];
        jpeg_write_scanlines(&encoder, &row, 1);
    }
    jpeg_finish_compress(&encoder);
    jpeg_destroy_compress(&encoder);
    ASSERT_GT(size, 0u);

    jpeg_decompress_struct decoder{};
    decoder.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&decoder);
    jpeg_mem_src(&decoder, data, size);
    ASSERT_EQ(jpeg_read_header(&decoder, TRUE), JPEG_HEADER_OK);
    jpeg_start_decompress(&decoder);
    EXPECT_EQ(decoder.output_width, static_cast<unsigned>(width));
    EXPECT_EQ(decoder.output_height, static_cast<unsigned>(height));
    ASSERT_EQ(decoder.output_components, 3);
    std::vector<unsigned char> row(width * 3);
    int rows = 0;
    while (decoder.output_scanline < decoder.output_height) {
        JSAMPROW line = row.data();
        jpeg_read_scanlines(&decoder, &line, 1);
        ++rows;
        for (int x = 0; x < width; ++x) {
            EXPECT_NEAR(row[x * 3 + 0], 200, 3);
            EXPECT_NEAR(row[x * 3 + 1], 100, 3);
            EXPECT_NEAR(row[x * 3 + 2], 20, 3);
        }
    }
    jpeg_finish_decompress(&decoder);
    jpeg_destroy_decompress(&decoder);
    std::free(data);
    EXPECT_EQ(rows, height);
}
