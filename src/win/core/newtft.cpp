#include "win/core/newtft.h"

#include "command/seam.h"
#include "command/settings.h"
#include "panel/zr_tft.h"

#include <mutex>

DIB panelDIB{};

namespace {
constexpr int fullTurn = 360;

void attachFrame() {
    uint32_t pixels = panelDIB.mem ? uint32_t(panelDIB.lineBytes / 2) * uint32_t(TFTheight) : 0;
    setFrameMem(reinterpret_cast<uint16_t*>(panelDIB.bits), pixels);
}

// A new model gets a new panel, all black, in the 0 degree orientation.
bool newPanelForModel() {
    TFTinit(int16_t(Module));
    setTFTangle(0);
    if (NewDIB(&panelDIB, TFTwidth, TFTheight, 16, nullptr)) return true;
    setFrameMem(nullptr, 0); // out of memory: the panel draws nothing
    return false;
}
} // namespace

void NewTFT(int resize) {
    std::lock_guard<std::recursive_mutex> guard(panelLock());
    bool rebuilt = true;
    if (Module != TFTmodel || !panelDIB.mem) rebuilt = newPanelForModel();
    int turn = ((Angle - TFTangle) % fullTurn + fullTurn) % fullTurn;
    // A failed turn keeps the old bitmap: the panel then stays as it was.
    if (rebuilt && turn && !RotateDIB(&panelDIB, turn)) rebuilt = false;
    if (rebuilt) {
        TFTinit(int16_t(Module));
        setTFTangle(int16_t(Angle));
        attachFrame();
        if (demoScreen) {
            Screen(unsigned(demoScreen));
            RedrawAA();
        }
    }
    if (resize) ResizeTFT();
}

void FreeTFT() {
    std::lock_guard<std::recursive_mutex> guard(panelLock());
    setFrameMem(nullptr, 0);
    FreeDIB(&panelDIB);
}

std::vector<uint16_t> panelPixelsTopDown() {
    std::lock_guard<std::recursive_mutex> guard(panelLock());
    std::vector<uint16_t> pixels;
    if (!frameMem || TFTwidth <= 0 || TFTheight <= 0) return pixels;
    pixels.reserve(size_t(TFTwidth) * TFTheight);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(frameMem);
    for (int y = 0; y < TFTheight; ++y) {
        const uint8_t* row = bytes + size_t(TFTheight - 1 - y) * TFTwidth * 2;
        for (int x = 0; x < TFTwidth; ++x)
            pixels.push_back(uint16_t(row[2 * x] | (row[2 * x + 1] << 8)));
    }
    return pixels;
}
