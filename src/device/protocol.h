// The board's side of the link, shared by the firmware and the board
// simulator: it reads the PC's byte stream in whatever pieces it arrives,
// runs command lines through the interpreter, draws bitmap streams row by row
// while they arrive (a full-panel picture is larger than the board's RAM),
// answers status queries, takes the PWM and configuration messages and makes
// the reports. The panel it draws on is whatever controller the panel driver
// has installed.
//
// Threads: one thread feeds the stream and calls every function here (the
// board's main loop, the simulator's serving thread); drawing takes the panel
// lock, so another thread may read the panel meanwhile.
#pragma once
#include "board/statusblock.h"

#include <cstddef>
#include <cstdint>

// Status block layout (board to PC); the kinds "S" and "T" are the reader's.
constexpr uint8_t statusLead = 0x1B;
constexpr uint8_t statusKindQuery = '?'; // answer to a query: nothing follows
constexpr uint8_t configTouchBit = 0x80;
constexpr int configAngleShift = 5;
constexpr uint8_t configProcessorBit = 0x10;
constexpr uint8_t configModelMask = 0x0F;

// The configuration message: ESC "C" model "," touch "," angle LF tells the
// board which module is attached; it answers with a status block.
constexpr char configureLetter = 'C';

// Longest command line kept; the rest of a longer line is dropped.
constexpr size_t boardMaxLine = 65536;
// Longest position text between "#BM" and the bitmap's "BM".
constexpr size_t boardMaxBitmapPrefix = 1024;
// Largest bitmap file image taken; a larger size field is not a bitmap.
constexpr uint32_t boardMaxBitmap = 8u << 20;
// Longest header (file and information headers, palette) a bitmap stream may
// have before its pixel rows; a longer one is skipped undrawn.
constexpr uint32_t boardMaxBitmapHeader = 2048;

// What the board is and how it reaches the outside; a hook left null does nothing.
struct DeviceSetup {
    int firmwareVersion = 100; // version x 100, 0..255
    int pico2 = 0;             // RP2350 board instead of RP2040
    int demoSeconds = 0;       // > 0: the demo mode steps the start screens this often
    void (*reply)(const uint8_t* bytes, size_t length) = nullptr; // to the PC
    // Every byte taken as commands or bitmaps (not the query, PWM and
    // configuration messages), in order.
    void (*record)(const uint8_t* bytes, size_t length) = nullptr;
    void (*pwm)(int value) = nullptr;
    void (*configured)() = nullptr; // Module, Touch and Angle were set by the PC
    void (*log)(const char* line) = nullptr;
};

// Starts reading afresh (no half-received unit); the panel is not touched.
void deviceStart(const DeviceSetup& setup);
// Bytes from the PC, in any split.
void deviceFeed(const uint8_t* data, size_t length);
// The PC went away: a half-received command or bitmap is dropped.
void deviceDropUnit();
// 1 while a command or bitmap is half received.
int deviceInUnit();

// The status block as the board reports it now (Module, Touch, Angle).
void deviceStatusBlock(uint8_t kind, uint8_t block[4]);
// A status block of the kind followed by extra bytes, through the reply hook.
void deviceReport(uint8_t kind, const uint8_t* extra, size_t extraLength);
// A touch event (1 down, 2 move, 4 up) at panel coordinates: the board marks
// it on the panel as the PC's window does and reports it.
void deviceTouch(uint8_t event, uint16_t x, uint16_t y);
// Timed work: the demo mode's stepping through the start screens, with an
// "S" report for each step.
void deviceTick(uint64_t nowMs);

// Last PWM value the PC sent; -1 before the first.
int devicePwm();
// Number of command lines and bitmaps executed so far.
int deviceUnitsRun();
