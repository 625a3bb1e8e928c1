// A software stand-in for the window's paint handler: paints the module
// picture and the panel into an RGBA image the way the window shows them.
#pragma once
#include <cstdint>
#include <vector>

struct WindowImage {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba; // top row first, 4 bytes per pixel
};

// The whole client area at ZoomWindow. At zoom 1 both bitmaps are copied
// exactly; when enlarged, panel pixels become sharp blocks and the module
// picture is smoothed (bilinear between pixel centres, like HALFTONE
// stretching). With outline set, everything outside the module's outline has
// alpha 0 and the key entry shows shapeColour at the edges, as when the window
// is cut; otherwise every pixel is opaque. 0 when there is no picture.
int composeWindow(int outline, WindowImage* image);
