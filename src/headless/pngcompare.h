// Pictures compared as the panel sees them: both packed to RGB565, so that a
// PNG another tool saved from the same panel compares equal.
#pragma once
#include "module/compose.h"

#include <cstdint>
#include <string>
#include <vector>

// One RGB565 value per pixel, top row first; every fully transparent pixel
// holds transparentPixel, which no RGB565 value equals.
struct Rgb565Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
};
constexpr uint32_t transparentPixel = 0x10000;

Rgb565Picture panelPicture(const std::vector<uint16_t>& pixels, int width, int height);
Rgb565Picture windowPicture(const WindowImage& image);
// Reads a PNG file (a regular file only). Returns an empty string, or why not.
std::string readRgb565Png(const char* path, Rgb565Picture* picture);

struct PictureDifference {
    bool sameSize;
    long pixels;                  // how many differ (same size only)
    int left, top, right, bottom; // their bounding box, inclusive
};
PictureDifference comparePictures(const Rgb565Picture& expected, const Rgb565Picture& actual);
// Writes the expected picture dimmed, with every pixel that differs in actual
// (of the same size) in a strong colour, as an RGB PNG.
std::string writeDifferencePng(const char* path, const Rgb565Picture& expected,
                               const Rgb565Picture& actual);
