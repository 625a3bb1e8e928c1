// Writes the large pictures that scripts/bench-whole.sh reads with the runner
// and with its peers: PNG in five kinds, an animated GIF, baseline and
// progressive JPEG, a 24-bit BMP and a smaller one for the board, all
// photo-like (gradients, edges, noise) so that the compressed files are of a
// realistic size.
//
//   bench_makepictures FOLDER
#include <cstdint>
#include <cstdio>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>
#include <string>
#include <vector>

namespace {
constexpr int photoWidth = 4000, photoHeight = 3000;
constexpr int gifWidth = 480, gifHeight = 320, gifFrames = 100;
constexpr int jpegQuality = 90;
// The picture sent to the board: 320 x 360 pixels of RGB565 on the KP350.
constexpr int streamWidth = 320, streamHeight = 360;
constexpr int gifTransparentIndex = 255;

// One sample of channel c (0 red, 1 green, 2 blue, 3 alpha) at x, y.
int photoSample(int x, int y, int c, uint32_t& noise) {
    noise = noise * 1103515245u + 12345u;
    const int grain = int(noise >> 29);
    switch (c) {
    case 0:
        return x * 255 / photoWidth + grain;
    case 1:
        return ((y * 255 / photoHeight) ^ (x & 0x3F)) + (x > photoWidth / 2 ? 40 : 0);
    case 2:
        return ((x + y) * 200) / (photoWidth + photoHeight) + grain;
    default:
        return (x / 40 + y / 40) % 5 == 0 ? 0 : 255;
    }
}

// The photo as rows of `channels` samples of `bytesPerSample` bytes each.
std::vector<uint8_t> photo(int channels, int bytesPerSample) {
    std::vector<uint8_t> pixels(size_t(photoWidth) * photoHeight * channels * bytesPerSample);
    uint32_t noise = 7;
    size_t at = 0;
    for (int y = 0; y < photoHeight; y++)
        for (int x = 0; x < photoWidth; x++)
            for (int c = 0; c < channels; c++) {
                const int v = channels == 1 ? (x / 3 + y / 5) ^ int(noise++ & 3)
                                            : photoSample(x, y, c, noise);
                pixels[at++] = uint8_t(v);
                if (bytesPerSample == 2) pixels[at++] = uint8_t(v * 37 + x);
            }
    return pixels;
}

bool writePng(const std::string& path, int colorType, int depth, bool interlace) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, photoWidth, photoHeight, depth, colorType,
                 interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    const int channels = colorType == PNG_COLOR_TYPE_RGB    ? 3
                         : colorType == PNG_COLOR_TYPE_RGBA ? 4
                                                            : 1;
    png_color palette[256];
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        for (int i = 0; i < 256; i++)
            palette[i] = png_color{uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)};
        png_set_PLTE(png, info, palette, 256);
    }
    png_write_info(png, info);
    if (interlace) png_set_interlace_handling(png);
    std::vector<uint8_t> pixels = photo(channels, depth / 8);
    std::vector<png_bytep> rows(photoHeight);
    for (int y = 0; y < photoHeight; y++)
        rows[y] = pixels.data() + size_t(y) * photoWidth * channels * (depth / 8);
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

bool writeJpeg(const std::string& path, bool progressive) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    jpeg_compress_struct c;
    jpeg_error_mgr errors;
    c.err = jpeg_std_error(&errors);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, file);
    c.image_width = photoWidth;
    c.image_height = photoHeight;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, jpegQuality, TRUE);
    if (progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> pixels = photo(3, 1);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = pixels.data() + size_t(c.next_scanline) * photoWidth * 3;
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return std::fclose(file) == 0;
}

void putLE(std::vector<uint8_t>& bytes, uint32_t value, int count) {
    for (int i = 0; i < count; i++) bytes.push_back(uint8_t(value >> (8 * i)));
}

bool writeBmp(const std::string& path, int width, int height) {
    const uint32_t lineBytes = (uint32_t(width) * 3 + 3) & ~3u;
    const uint32_t pixelBytes = lineBytes * uint32_t(height);
    std::vector<uint8_t> head;
    putLE(head, 0x4D42, 2);
    putLE(head, 54 + pixelBytes, 4);
    putLE(head, 0, 4);
    putLE(head, 54, 4);
    for (uint32_t field : {40u, uint32_t(width), uint32_t(height)}) putLE(head, field, 4);
    putLE(head, 1, 2);
    putLE(head, 24, 2);
    for (uint32_t field : {0u, pixelBytes, 2835u, 2835u, 0u, 0u}) putLE(head, field, 4);
    std::vector<uint8_t> row(lineBytes, 0);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = std::fwrite(head.data(), 1, head.size(), file) == head.size();
    uint32_t noise = 5;
    for (int y = height - 1; ok && y >= 0; y--) {
        for (int x = 0; x < width; x++)
            for (int c = 0; c < 3; c++) row[x * 3 + 2 - c] = uint8_t(photoSample(x, y, c, noise));
        ok = std::fwrite(row.data(), 1, lineBytes, file) == lineBytes;
    }
    return std::fclose(file) == 0 && ok;
}

// An animation whose frames after the first leave most pixels transparent,
// as optimizing GIF writers do, so that every frame is composed.
bool writeGif(const std::string& path) {
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    if (!gif) return false;
    GifColorType colors[256];
    for (int i = 0; i < 256; i++)
        colors[i] = GifColorType{uint8_t(i), uint8_t((i * 5) & 0xFF), uint8_t(255 - i)};
    ColorMapObject* map = GifMakeMapObject(256, colors);
    bool ok = EGifPutScreenDesc(gif, gifWidth, gifHeight, 8, 0, map) == GIF_OK;
    std::vector<GifPixelType> line(gifWidth);
    for (int frame = 0; ok && frame < gifFrames; frame++) {
        GraphicsControlBlock control{DISPOSE_DO_NOT, false, 4, gifTransparentIndex};
        GifByteType extension[4];
        EGifGCBToExtension(&control, extension);
        ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension) == GIF_OK &&
             EGifPutImageDesc(gif, 0, 0, gifWidth, gifHeight, false, nullptr) == GIF_OK;
        for (int y = 0; ok && y < gifHeight; y++) {
            for (int x = 0; x < gifWidth; x++) {
                const bool moving = ((x + frame * 4) / 32 + y / 32) % 3 == 0;
                line[x] = frame == 0 || moving ? GifPixelType((x + y + frame) % 255)
                                               : GifPixelType(gifTransparentIndex);
            }
            ok = EGifPutLine(gif, line.data(), gifWidth) == GIF_OK;
        }
    }
    GifFreeMapObject(map);
    return EGifCloseFile(gif, &error) == GIF_OK && ok;
}
} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_makepictures FOLDER\n");
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    const bool ok = writePng(folder + "rgb.png", PNG_COLOR_TYPE_RGB, 8, false) &&
                    writePng(folder + "rgba.png", PNG_COLOR_TYPE_RGBA, 8, false) &&
                    writePng(folder + "palette.png", PNG_COLOR_TYPE_PALETTE, 8, false) &&
                    writePng(folder + "adam7.png", PNG_COLOR_TYPE_RGB, 8, true) &&
                    writePng(folder + "rgb16.png", PNG_COLOR_TYPE_RGB, 16, false) &&
                    writeGif(folder + "anim.gif") && writeJpeg(folder + "baseline.jpg", false) &&
                    writeJpeg(folder + "progressive.jpg", true) &&
                    writeBmp(folder + "photo.bmp", photoWidth, photoHeight) &&
                    writeBmp(folder + "stream.bmp", streamWidth, streamHeight);
    if (!ok) std::fprintf(stderr, "bench_makepictures: cannot write the pictures in %s\n", argv[1]);
    return ok ? 0 : 1;
}
