#pragma once
#include "module/compose.h"

#include <cstdint>
#include <string>
#include <vector>

// Writes top-down RGB565 pixels as an 8-bit RGB PNG; each channel is widened
// by bit replication so that the RGB565 value can be recovered exactly.
// Returns an empty string on success, else what went wrong. The PNG writers
// write where they are told; file/output.h decides where that is.
std::string writePanelPng(const char* path, const std::vector<uint16_t>& pixels, int width,
                          int height);

// The 8-bit channels of one RGB565 value, widened by bit replication.
void expandRgb565(uint16_t pixel, uint8_t rgb[3]);

// Writes 8-bit RGB (3 channels) or RGBA (4) pixels, top row first, as a PNG.
std::string writePng(const char* path, const std::vector<uint8_t>& bytes, int width, int height,
                     int channels);
// The window as composed: RGBA when cut to the outline (transparent outside),
// else RGB.
std::string writeWindowPng(const char* path, const WindowImage& image, bool outline);
