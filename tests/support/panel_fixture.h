// A real frame memory for the panel driver, sized for the current panel.
#pragma once
#include "panel/zr_tft.h"

#include <cstdint>
#include <vector>

struct PanelFixture {
    std::vector<uint16_t> pixels;
    uint16_t fill;

    // A fresh driver for the model at the angle, every pixel `fill` (black
    // unless a test wants to see which pixels a drawing touched).
    PanelFixture(int model, int angle, uint16_t fillColour = 0) : fill(fillColour) {
        resetPanelState();
        TFTinit(int16_t(model));
        setTFTangle(int16_t(angle));
        pixels.assign(size_t(TFTwidth) * TFTheight, fill);
        setFrameMem(pixels.data(), uint32_t(pixels.size()));
    }
    ~PanelFixture() { resetPanelState(); }

    // Viewer coordinates: (0, 0) top-left; rows are stored bottom-up.
    uint16_t at(int x, int y) const { return pixels[size_t(TFTheight - 1 - y) * TFTwidth + x]; }

    // Number of pixels that differ from colour inside the rectangle (inclusive).
    int countOther(uint16_t colour, int x1, int y1, int x2, int y2) const {
        int other = 0;
        for (int y = y1; y <= y2; ++y)
            for (int x = x1; x <= x2; ++x) other += at(x, y) != colour;
        return other;
    }
    // Pixels that no longer hold the fill colour.
    int changed() const { return int(pixels.size()) - countColour(fill); }
    int countColour(uint16_t colour) const {
        int n = 0;
        for (uint16_t p : pixels) n += p == colour;
        return n;
    }
};
