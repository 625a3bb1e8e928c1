#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Writes top-down RGB565 pixels as an 8-bit RGB PNG; each channel is widened
// by bit replication so that the RGB565 value can be recovered exactly.
// Returns an empty string on success, else what went wrong.
std::string writePanelPng(const char* path, const std::vector<uint16_t>& pixels, int width,
                          int height);

// The 8-bit channels of one RGB565 value, widened by bit replication.
void expandRgb565(uint16_t pixel, uint8_t rgb[3]);
