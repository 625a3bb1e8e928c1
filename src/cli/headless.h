// The headless host: a frame memory for the emulated panel, and the seam
// filled the way a window would fill it, without a window.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct HeadlessOptions {
    int model = 1;
    int touch = 0;
    int angle = 0;
    bool verbose = false;                       // job log lines to stderr
    std::vector<uint8_t>* boardBytes = nullptr; // when set, acts as a connected board
};

// Builds the module as a new one starts: all pixels black, the given angle.
void headlessStart(const HeadlessOptions& options);
// The module rebuild: a new model gets a new black panel, an orientation
// change turns what is drawn with the view (clockwise for +90 degrees).
void headlessNewTFT(int resize);
// Copies the panel, top row first, as RGB565 values.
std::vector<uint16_t> panelPixelsTopDown();
