// The simulated module rebuilt as the window rebuilds it, for tests.
#pragma once
#include "common/seam.h"
#include "common/settings.h"
#include "module/newtft.h"
#include "panel/models.h"
#include "panel/zr_tft.h"

#include <cstdlib>
#include <vector>

// Builds model/touch/angle from nothing (fresh state, panel black); with kept,
// as NewTFTFrom builds it.
inline void startModule(int model, int touch, int angle, const KeptModulePicture* kept = nullptr) {
    resetWindowSeam();
    resetSettings();
    resetPanelState();
    FreeTFT();
    Module = model;
    Touch = touch;
    Angle = angle;
    if (kept)
        NewTFTFrom(*kept);
    else
        NewTFT(0);
}

// Changes the settings the way the menu or the board does, then rebuilds.
inline void switchModule(int model, int touch, int angle) {
    Module = model;
    Touch = touch;
    Angle = angle;
    NewTFT(0);
}

// The stored picture of a model, unpacked: a whole BMP file.
inline std::vector<uint8_t> unpackedPicture(int model, int touch) {
    ModulePicture picture{};
    if (!modulePicture(model, touch, &picture)) return {};
    uint8_t* block =
        AllocAndUncompress(picture.packed, picture.packedLength, picture.unpackedLength);
    if (!block) return {};
    std::vector<uint8_t> file(block, block + picture.unpackedLength);
    std::free(block);
    return file;
}

// The panel in viewer coordinates, top row first.
inline uint16_t panelAt(int x, int y) {
    return panelPixelsTopDown()[size_t(y) * TFTwidth + x];
}
