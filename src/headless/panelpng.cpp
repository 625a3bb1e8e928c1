#include "headless/panelpng.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>

void expandRgb565(uint16_t pixel, uint8_t rgb[3]) {
    unsigned r5 = pixel >> 11, g6 = (pixel >> 5) & 0x3F, b5 = pixel & 0x1F;
    rgb[0] = uint8_t((r5 << 3) | (r5 >> 2));
    rgb[1] = uint8_t((g6 << 2) | (g6 >> 4));
    rgb[2] = uint8_t((b5 << 3) | (b5 >> 2));
}

namespace {
constexpr int fastCompression = 1; // zlib's fastest level
struct PngWriter {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngWriter() { png_destroy_write_struct(&png, &info); }
};

// The pixels as they lie in memory: channels bytes per pixel, of which the
// PNG keeps the first pngChannels (libpng drops a trailing alpha itself, row
// by row, so an opaque RGBA picture needs no RGB copy).
struct PixelRows {
    const uint8_t* bytes;
    int width, height, channels, pngChannels;
};

std::string encodeRows(PngWriter& writer, FILE* file, const PixelRows& rows) {
    if (setjmp(png_jmpbuf(writer.png))) return "the PNG encoder failed";
    png_init_io(writer.png, file);
    png_set_IHDR(writer.png, writer.info, png_uint_32(rows.width), png_uint_32(rows.height), 8,
                 rows.pngChannels == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // The runner rewrites these on every change: speed counts more than the
    // last bytes of size. One filter instead of trying all five per row.
    png_set_compression_level(writer.png, fastCompression);
    png_set_filter(writer.png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_write_info(writer.png, writer.info);
    if (rows.channels == 4 && rows.pngChannels == 3)
        png_set_filler(writer.png, 0, PNG_FILLER_AFTER);
    const size_t rowBytes = size_t(rows.width) * size_t(rows.channels);
    for (int y = 0; y < rows.height; ++y)
        png_write_row(writer.png, const_cast<png_bytep>(rows.bytes + size_t(y) * rowBytes));
    png_write_end(writer.png, writer.info);
    return {};
}

// bytes: the length of rows.bytes. Unless it is exactly the rows' size,
// nothing is written.
std::string writeRows(const char* path, const PixelRows& rows, size_t bytes) {
    if (rows.width <= 0 || rows.height <= 0 ||
        bytes != size_t(rows.width) * size_t(rows.height) * size_t(rows.channels))
        return "the picture has no pixels";
    FILE* file = std::fopen(path, "wb");
    if (!file) return std::string("cannot create: ") + std::strerror(errno);
    PngWriter writer;
    writer.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (writer.png) writer.info = png_create_info_struct(writer.png);
    std::string error = writer.info ? encodeRows(writer, file, rows) : "out of memory";
    if (std::fclose(file) != 0 && error.empty()) error = "write error";
    return error;
}
} // namespace

std::string writePanelPng(const char* path, const std::vector<uint16_t>& pixels, int width,
                          int height) {
    if (width <= 0 || height <= 0 || pixels.size() != size_t(width) * height)
        return "the panel has no pixels";
    std::vector<uint8_t> rgb(pixels.size() * 3);
    for (size_t i = 0; i < pixels.size(); ++i) expandRgb565(pixels[i], &rgb[3 * i]);
    return writePng(path, rgb, width, height, 3);
}

std::string writePng(const char* path, const std::vector<uint8_t>& bytes, int width, int height,
                     int channels) {
    return writeRows(path, PixelRows{bytes.data(), width, height, channels, channels},
                     bytes.size());
}

std::string writeWindowPng(const char* path, const WindowImage& image, bool outline) {
    return writeRows(path,
                     PixelRows{image.rgba.data(), image.width, image.height, 4, outline ? 4 : 3},
                     image.rgba.size());
}
