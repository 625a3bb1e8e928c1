#include "headless/pngcompare.h"

#include "file/wholefile.h"
#include "headless/panelpng.h"
#include "image/rgb565.h"

#include <png.h>

#include <algorithm>
#include <cstdlib>

namespace {
// Expected PNGs larger than this are no panel or window picture.
constexpr uint64_t largestPngFile = uint64_t(64) << 20;
// The colour of a differing pixel, and how the rest of the expected picture is dimmed.
constexpr uint8_t differenceColour[3] = {255, 0, 255};
constexpr int dimDivisor = 3;
constexpr int dimLift = 32;

uint32_t packRgba(const uint8_t* rgba) {
    if (rgba[3] == 0) return transparentPixel;
    return rgb565(rgba[0], rgba[1], rgba[2]);
}

Rgb565Picture packRgbaPixels(const std::vector<uint8_t>& rgba, int width, int height) {
    Rgb565Picture picture{width, height, std::vector<uint32_t>(size_t(width) * height)};
    for (size_t i = 0; i < picture.pixels.size(); ++i) picture.pixels[i] = packRgba(&rgba[4 * i]);
    return picture;
}
} // namespace

Rgb565Picture panelPicture(const std::vector<uint16_t>& pixels, int width, int height) {
    return Rgb565Picture{width, height, std::vector<uint32_t>(pixels.begin(), pixels.end())};
}

Rgb565Picture windowPicture(const WindowImage& image) {
    return packRgbaPixels(image.rgba, image.width, image.height);
}

std::string readRgb565Png(const char* path, Rgb565Picture* picture) {
    WholeFile file{};
    if (!ReadWholeFile(path, largestPngFile, &file)) return WholeFileErrorText(file.error);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    std::string error;
    if (png_image_begin_read_from_memory(&image, file.data, file.size)) {
        image.format = PNG_FORMAT_RGBA;
        std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(image));
        if (png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr))
            *picture = packRgbaPixels(rgba, int(image.width), int(image.height));
        else
            error = std::string("not a readable PNG file: ") + image.message;
    } else {
        error = std::string("not a readable PNG file: ") + image.message;
    }
    png_image_free(&image);
    std::free(file.data);
    return error;
}

PictureDifference comparePictures(const Rgb565Picture& expected, const Rgb565Picture& actual) {
    PictureDifference difference{expected.width == actual.width && expected.height == actual.height,
                                 0,
                                 actual.width,
                                 actual.height,
                                 -1,
                                 -1};
    if (!difference.sameSize) return difference;
    for (int y = 0; y < actual.height; ++y)
        for (int x = 0; x < actual.width; ++x) {
            const size_t i = size_t(y) * actual.width + x;
            if (expected.pixels[i] == actual.pixels[i]) continue;
            ++difference.pixels;
            difference.left = std::min(difference.left, x);
            difference.top = std::min(difference.top, y);
            difference.right = std::max(difference.right, x);
            difference.bottom = std::max(difference.bottom, y);
        }
    return difference;
}

std::string writeDifferencePng(const char* path, const Rgb565Picture& expected,
                               const Rgb565Picture& actual) {
    std::vector<uint8_t> rgb(expected.pixels.size() * 3);
    for (size_t i = 0; i < expected.pixels.size(); ++i) {
        uint8_t* out = &rgb[3 * i];
        if (expected.pixels[i] != actual.pixels[i]) {
            std::copy(differenceColour, differenceColour + 3, out);
            continue;
        }
        const uint32_t pixel = expected.pixels[i];
        expandRgb565(pixel == transparentPixel ? 0 : uint16_t(pixel), out);
        for (int c = 0; c < 3; ++c) out[c] = uint8_t(out[c] / dimDivisor + dimLift);
    }
    return writePng(path, rgb, expected.width, expected.height, 3);
}
