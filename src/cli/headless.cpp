#include "cli/headless.h"

#include "command/seam.h"
#include "command/settings.h"
#include "panel/zr_tft.h"

#include <cstdio>

namespace {
std::vector<uint16_t> frame;
HeadlessOptions current;

void attachFrame(std::vector<uint16_t>&& pixels) {
    frame = std::move(pixels);
    setFrameMem(frame.data(), uint32_t(frame.size()));
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

std::vector<uint16_t> rotateFrameClockwise(const std::vector<uint16_t>& source, int width,
                                           int height, int quarterTurns) {
    std::vector<uint16_t> result = source;
    for (int turn = 0; turn < (quarterTurns & 3); ++turn) {
        // In viewer coordinates: new(x, y) = old(y, oldHeight - 1 - x).
        std::vector<uint16_t> turned(result.size());
        int newWidth = height, newHeight = width;
        for (int y = 0; y < newHeight; ++y)
            for (int x = 0; x < newWidth; ++x) {
                int oldX = y, oldY = height - 1 - x;
                turned[size_t(newHeight - 1 - y) * newWidth + x] =
                    result[size_t(height - 1 - oldY) * width + oldX];
            }
        result.swap(turned);
        std::swap(width, height);
    }
    return result;
}

void headlessNewTFT(int /*resize*/) {
    std::lock_guard<std::recursive_mutex> guard(panelLock());
    if (Module != TFTmodel || frame.empty()) {
        TFTinit(int16_t(Module));
        setTFTangle(0);
        attachFrame(std::vector<uint16_t>(size_t(TFTwidth) * TFTheight, 0));
    }
    int turns = ((Angle - TFTangle) / 90 + 4) & 3;
    attachFrame(rotateFrameClockwise(frame, TFTwidth, TFTheight, turns));
    TFTinit(int16_t(Module));
    setTFTangle(int16_t(Angle));
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
    frame.clear();
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
