// What comes back from the board: 4-byte status blocks, after kind "S" one
// screen number, after kind "T" a 5-byte touch report. The window's tick and
// the runner read them the same way.
//
// Threads: the thread that owns the port reads and handles them; its follow
// state and the last block are that thread's own. Handling a block holds the
// panel lock (Module, Angle, Touch are written under it, the module is
// rebuilt, screens and touch marks drawn), so the window thread only calls
// readBoardInput once it holds the lock (windowTick tries it).
#pragma once
#include <cstdint>

constexpr int statusBlockBytes = 4;
constexpr uint8_t statusKindScreen = 'S';
constexpr uint8_t statusKindTouch = 'T';
constexpr int touchReportBytes = 5;
constexpr int followBits = 0x0F;    // configuration: the model number
constexpr int processorBit = 0x10;  // configuration: RP2350 board
constexpr int orientationShift = 5; // configuration: quarter turns in bits 6-5
constexpr int touchShift = 7;       // configuration: touch panel on

// What the board's configuration may change. A setting the user fixed (the
// runner's -m, -a, -t) is kept, with a warning when the board reports another.
struct BoardFollowing {
    bool keepModel = false;
    bool keepAngle = false;
    bool keepTouch = false;
};
void setBoardFollowing(const BoardFollowing& following);
// Follows everything again and forgets the last block.
void resetBoardInput();

// Handles one status block; reads the bytes that follow kinds "S" and "T"
// from the port (2 ticks at most).
void handleStatusBlock(const uint8_t block[statusBlockBytes]);
// Step 3 of the tick: reads and handles status blocks as long as at least
// 4 bytes wait, up to 4096 blocks and a tick's time (the rest waits for the
// next call). Returns the number of blocks handled.
int readBoardInput();
// The last status block handled that began with ESC (all 0 before the first).
const uint8_t* lastStatusBlock();
