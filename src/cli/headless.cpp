#include "cli/headless.h"

#include "command/seam.h"
#include "command/settings.h"
#include "image/dib.h"
#include "panel/zr_tft.h"

#include <cstdio>

namespace {
// The panel bitmap: a 16-bit bottom-up DIB whose pixel rows are the frame memory.
DIB panelDIB{};
HeadlessOptions current;

void attachFrame() {
    uint32_t pixels = panelDIB.mem ? uint32_t(panelDIB.lineBytes / 2) * uint32_t(TFTheight) : 0;
    setFrameMem(reinterpret_cast<uint16_t*>(panelDIB.bits), pixels);
}

void logToStderr(const char* line) {
    if (current.verbose) std::fputs(line, stderr);
}

int captureBoardBytes(const void* data, int length) {
    if (!current.boardBytes || length < 0) return -1;
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    current.boardBytes->insert(current.boardBytes->end(), bytes, bytes + length);
    return length;
}

int captureBoardBuffer(const void* data, int length) {
    return captureBoardBytes(data, length) == length ? 1 : 0;
}
} // namespace

void headlessNewTFT(int /*resize*/) {
    std::lock_guard<std::recursive_mutex> guard(panelLock());
    if (Module != TFTmodel || !panelDIB.mem) {
        // A new model gets a new panel, all black, in the 0 degree orientation.
        TFTinit(int16_t(Module));
        setTFTangle(0);
        if (!NewDIB(&panelDIB, TFTwidth, TFTheight, 16, nullptr)) {
            setFrameMem(nullptr, 0); // out of memory: the panel draws nothing
            return;
        }
    }
    int turn = ((Angle - TFTangle) % 360 + 360) % 360;
    // A failed turn keeps the old bitmap: the panel then stays as it was.
    if (turn && !RotateDIB(&panelDIB, turn)) return;
    TFTinit(int16_t(Module));
    setTFTangle(int16_t(Angle));
    attachFrame();
    if (demoScreen) {
        Screen(unsigned(demoScreen));
        RedrawAA();
    }
}

void headlessStart(const HeadlessOptions& options) {
    current = options;
    resetSeam();
    resetSettings();
    resetPanelState();
    FreeDIB(&panelDIB);
    Module = options.model;
    Touch = options.touch;
    Angle = options.angle;
    Seam seam{};
    seam.newTFT = headlessNewTFT;
    seam.logLine = logToStderr;
    seam.writeBlock = captureBoardBytes;
    seam.sendBuffer = captureBoardBuffer;
    installSeam(seam);
    if (options.boardBytes) picoPort = 1;
    headlessNewTFT(0);
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
