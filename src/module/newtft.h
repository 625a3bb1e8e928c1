// The module rebuild, shared by the Windows program and the headless runner.
#pragma once
#include "module/winbitmap.h"

#include <cstdint>
#include <vector>

// Rebuilds the simulated module for the current Module, Touch and Angle:
// moduleFile, the module picture with its panel area, the panel bitmap (new
// and black for a new model, turned with the view for a new orientation), the
// panel size, and the start screen shown. When the picture cannot be unpacked
// or is refused, the previous picture and panel stay. With resize set, the
// window fits itself to the module (ResizeTFT). Takes the panel lock.
void NewTFT(int resize);
// NewTFT(0) with the module picture copied from kept instead of unpacked and
// turned, when kept was made for the current Module, Touch and Angle (else
// just NewTFT(0)): a host that starts many runs from the same few settings, as
// the command fuzzer does, saves most of each start.
void NewTFTFrom(const KeptModulePicture& kept);
// Frees both bitmaps; the panel then draws nothing until the next NewTFT.
void FreeTFT();
// Copies the panel, top row first, as RGB565 values; width and height, when
// given, receive the size the copy was made at (read under the same lock).
std::vector<uint16_t> panelPixelsTopDown(int* width = nullptr, int* height = nullptr);
