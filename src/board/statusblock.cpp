#include "board/statusblock.h"

#include "board/picolink.h"
#include "board/seriowin.h"
#include "common/seam.h"
#include "common/settings.h"
#include "module/newtft.h"
#include "panel/models.h"
#include "panel/zr_tft.h"

#include <algorithm>
#include <mutex>

namespace {
constexpr uint8_t ESC = 0x1B;
constexpr int extraByteTicks = 2;
constexpr int quarterTurn = 90;
// A board that never stops sending must not keep the reader forever: one
// call handles at most what a full input queue can hold, and for no longer
// than one tick of the window's timer (10 of the layer's ticks), as a block
// that switches the model rebuilds the whole module.
constexpr int maxBlocksPerRead = 16384 / statusBlockBytes;
constexpr uint32_t maxReadTicks = 10;

constexpr uint16_t touchDownColour = 0xF800;
constexpr uint16_t touchMoveColour = 0x07E0;
constexpr uint16_t touchUpColour = 0xFFFF;
constexpr int touchDown = 1, touchMove = 2, touchUp = 4;

BoardFollowing following;
uint8_t lastBlock[statusBlockBytes] = {};
int lastWarnedConfiguration = -1;

int ownConfiguration() {
    return (Touch << touchShift) | ((Angle / quarterTurn) << orientationShift) | Module;
}

void warnKept(int model, int angle, int touch) {
    if (following.keepModel && model != Module)
        reportWarning("the board shows model %d; keeping model %d", model, int(Module));
    if (following.keepAngle && angle != Angle)
        reportWarning("the board shows %d degrees; keeping %d degrees", angle, int(Angle));
    if (following.keepTouch && touch != Touch)
        reportWarning("the board reports touch %s; keeping touch %s", touch ? "on" : "off",
                      Touch ? "on" : "off");
}

void followConfiguration(int configuration) {
    if (configuration == ownConfiguration() || !(configuration & followBits)) return;
    int model = configuration & followBits;
    if (!modelInfo(model)) return;
    int angle = ((configuration >> orientationShift) & 3) * quarterTurn;
    int touch = configuration >> touchShift;
    if (configuration != lastWarnedConfiguration) {
        lastWarnedConfiguration = configuration;
        warnKept(model, angle, touch);
    }
    int newModel = following.keepModel ? int(Module) : model;
    int newAngle = following.keepAngle ? int(Angle) : angle;
    int newTouch = following.keepTouch ? int(Touch) : touch;
    if (newModel == Module && newAngle == Angle && newTouch == Touch) return;
    Module = newModel;
    Angle = newAngle;
    Touch = newTouch;
    connectionChanged(); // the title shows model and touch option
    CheckMenuTFT();
    NewTFT(1);
}

void showBoardScreen() {
    int n = COMread(extraByteTicks);
    Screen(unsigned(n)); // -1 when nothing came: draws nothing
    RedrawAA();
    Demo = (n >= 1 && n <= 3) ? 1 : 0;
    CheckMenuFile();
}

int clampTouch(int value, int limit) {
    if (value < 1) value = 1;
    if (value >= limit - 1) value = limit - 1;
    return value;
}

void drawTouch() {
    uint8_t report[touchReportBytes];
    if (COMrdblk(report, touchReportBytes, extraByteTicks) == touchReportBytes) {
        PanelGuard guard(panelLock());
        int x = clampTouch(report[1] | (report[2] << 8), TFTwidth);
        int y = clampTouch(report[3] | (report[4] << 8), TFTheight);
        int16_t x1 = int16_t(x - 1), y1 = int16_t(y - 1), x2 = int16_t(x + 1), y2 = int16_t(y + 1);
        switch (report[0]) {
        case touchDown:
            TFTfill(touchDownColour, x1, y1, x2, y2);
            break;
        case touchMove:
            TFTfill(touchMoveColour, x1, y1, x2, y2);
            break;
        case touchUp:
            TFTfill(touchUpColour, int16_t(x), int16_t(y), int16_t(x), int16_t(y));
            break;
        default:
            break;
        }
    }
    RedrawAA();
}
} // namespace

const uint8_t* lastStatusBlock() {
    return lastBlock;
}

void resetBoardInput() {
    setBoardFollowing({});
    std::fill(lastBlock, lastBlock + statusBlockBytes, 0);
}

void setBoardFollowing(const BoardFollowing& keep) {
    following = keep;
    lastWarnedConfiguration = -1;
}

void handleStatusBlock(const uint8_t block[statusBlockBytes]) {
    // The settings it follows, the rebuild, the screens and the touch marks
    // all belong to the panel lock; holding it across the block keeps a
    // command of the worker from seeing half a switch.
    PanelGuard guard(panelLock());
    if (block[0] != ESC) {
        COMbufclear(); // out of step: the next block starts afresh
        return;
    }
    std::copy(block, block + statusBlockBytes, lastBlock);
    picoFW = block[2];
    picoType = (block[3] & processorBit) ? 2 : 1;
    followConfiguration(block[3] & ~processorBit);
    if (block[1] == statusKindScreen) showBoardScreen();
    if (block[1] == statusKindTouch) drawTouch();
}

int readBoardInput() {
    const uint32_t start = clockhs();
    int handled = 0;
    while (handled < maxBlocksPerRead && clockhs() - start < maxReadTicks &&
           COMinbufferanz() >= statusBlockBytes) {
        uint8_t block[statusBlockBytes];
        if (COMrdblk(block, statusBlockBytes, 0) != statusBlockBytes) break;
        handleStatusBlock(block);
        ++handled;
    }
    return handled;
}
