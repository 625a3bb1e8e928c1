// The module rebuild, shared by the Windows program and the headless runner.
#pragma once
#include "image/dib.h"

#include <cstdint>
#include <vector>

// The panel bitmap: a 16-bit bottom-up DIB whose pixel rows are the frame
// memory of the emulated panel.
extern DIB panelDIB;

// Rebuilds the simulated module for the current Module, Touch and Angle:
// a new model gets a new black panel, an orientation change turns what is
// drawn with the view (clockwise for +90 degrees), the start screen shown is
// drawn again. With resize set, the window fits itself to the module
// (ResizeTFT). Takes the panel lock.
void NewTFT(int resize);
// Frees the panel bitmap; the panel then draws nothing until the next NewTFT.
void FreeTFT();
// Copies the panel, top row first, as RGB565 values.
std::vector<uint16_t> panelPixelsTopDown();
