// The board simulator's logic: a board running the module firmware, fed the
// PC's byte stream in whatever pieces it arrives, drawing on its own emulated
// panel with the board's own link logic (device/) and the project's core. Time comes
// in as milliseconds from the caller, so the logic runs the same in a test.
#pragma once
#include "device/protocol.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// One line of a touch script: at atMs after the connection, report event at (x, y).
struct TouchStep {
    uint32_t atMs;
    uint8_t event;
    uint16_t x, y;
};

struct BoardConfig {
    int firmwareVersion = 100; // version x 100, 0..255
    int model = 1;             // 1..6
    int angle = 0;             // 0, 90, 180, 270
    int touch = 0;             // touch panel fitted
    int pico2 = 0;             // RP2350 board instead of RP2040
    int demoSeconds = 0;       // > 0: the board steps its start screens by itself
    int switchEveryMs = 0;     // > 0: the board turns its module (then the next model) this often
    std::vector<TouchStep> touchScript;
    bool verbose = false; // events to stderr
};

// Powers the board up: a black panel (or the first start screen when it steps
// its demo), the configured model, orientation and touch option, an empty stream.
void boardStart(const BoardConfig& config);
// Bytes from the PC, in any split.
void boardFeed(const uint8_t* data, size_t length);
// A PC opened the port (the touch script starts over) or closed it (a
// half-received command or bitmap is dropped).
void boardConnected(uint64_t nowMs);
void boardDisconnected();
// Timed work: demo stepping and the touch script. Reports are made only
// while a PC is connected.
void boardTick(uint64_t nowMs);

// Bytes for the PC, taken out by the caller.
std::vector<uint8_t> boardTakeReplies();
// Every byte the board took as commands or bitmaps (not the query and PWM
// messages), for comparing with what the PC meant to send.
std::vector<uint8_t> boardTakeRecorded();

// The status block as the board reports it now.
void boardStatusBlock(uint8_t kind, uint8_t block[4]);
// Last PWM value the PC sent; -1 before the first.
int boardPwm();
// Number of command lines and bitmaps executed so far.
int boardUnitsRun();
const BoardConfig& boardConfig();
