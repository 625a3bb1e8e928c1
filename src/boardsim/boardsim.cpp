#include "boardsim/boardsim.h"

#include "common/settings.h"
#include "headless/headless.h"
#include "module/newtft.h"
#include "panel/models.h"
#include "panel/zr_tft.h"

#include <cstdio>
#include <string>

namespace {
// What the simulator adds around the board's link logic: the connection,
// the touch script, the module that keeps switching, and the byte queues.
struct Board {
    BoardConfig config;
    std::vector<uint8_t> replies;
    std::vector<uint8_t> recorded;
    bool connected = false;
    uint64_t connectedAtMs = 0;
    size_t nextTouch = 0;
    uint64_t lastSwitchMs = 0;
};
Board board;

void logLine(const char* line) {
    if (board.config.verbose) std::fprintf(stderr, "vantorix-board: %s\n", line);
}

void reply(const uint8_t* bytes, size_t length) {
    // Nobody would read it while no PC is there; a later PC would get it stale.
    if (board.connected) board.replies.insert(board.replies.end(), bytes, bytes + length);
}

void record(const uint8_t* bytes, size_t length) {
    board.recorded.insert(board.recorded.end(), bytes, bytes + length);
}

void runTouchScript(uint64_t nowMs) {
    const std::vector<TouchStep>& script = board.config.touchScript;
    while (board.connected && board.nextTouch < script.size() &&
           nowMs - board.connectedAtMs >= script[board.nextTouch].atMs) {
        const TouchStep& step = script[board.nextTouch++];
        deviceTouch(step.event, step.x, step.y);
    }
}

// A module that changes under the PC's feet: a quarter turn each time, and
// after a full turn the next model. The panel is rebuilt as the PC rebuilds
// its own when it follows, and the new configuration is reported.
void switchModule(uint64_t nowMs) {
    if (board.config.switchEveryMs <= 0 || !board.connected) return;
    if (nowMs - board.lastSwitchMs < uint64_t(board.config.switchEveryMs)) return;
    board.lastSwitchMs = nowMs;
    {
        PanelGuard guard(panelLock());
        Angle = (Angle + 90) % 360;
        if (Angle == 0) Module = Module % modelCount + 1;
        if (!modelInfo(Module)->hasTouchOption) Touch = 0;
        NewTFT(0);
    }
    char line[64];
    std::snprintf(line, sizeof line, "switched to model %d at %d degrees", int(Module), int(Angle));
    logLine(line);
    deviceReport(statusKindQuery, nullptr, 0);
}
} // namespace

void boardStart(const BoardConfig& config) {
    board = Board{};
    board.config = config;
    DeviceSetup setup;
    setup.firmwareVersion = config.firmwareVersion;
    setup.pico2 = config.pico2;
    setup.demoSeconds = config.demoSeconds;
    setup.reply = reply;
    setup.record = record;
    setup.log = logLine;
    deviceStart(setup);
    HeadlessOptions panel;
    panel.model = config.model;
    panel.angle = config.angle;
    panel.touch = config.touch;
    headlessStart(panel); // no board bytes: the simulator forwards nothing
    if (config.demoSeconds > 0) {
        PanelGuard guard(panelLock());
        demoScreen = 1;
        Demo = 1;
        Screen(1);
    }
}

void boardFeed(const uint8_t* data, size_t length) {
    deviceFeed(data, length);
}

void boardConnected(uint64_t nowMs) {
    board.connected = true;
    board.connectedAtMs = nowMs;
    board.lastSwitchMs = nowMs;
    board.nextTouch = 0;
    logLine("connected");
}

void boardDisconnected() {
    deviceDropUnit();
    board.connected = false;
    board.replies.clear();
    logLine("disconnected");
}

void boardTick(uint64_t nowMs) {
    switchModule(nowMs);
    deviceTick(nowMs);
    runTouchScript(nowMs);
}

std::vector<uint8_t> boardTakeReplies() {
    std::vector<uint8_t> out;
    out.swap(board.replies);
    return out;
}

std::vector<uint8_t> boardTakeRecorded() {
    std::vector<uint8_t> out;
    out.swap(board.recorded);
    return out;
}

void boardStatusBlock(uint8_t kind, uint8_t block[4]) {
    deviceStatusBlock(kind, block);
}

int boardPwm() {
    return devicePwm();
}

int boardUnitsRun() {
    return deviceUnitsRun();
}

const BoardConfig& boardConfig() {
    return board.config;
}
