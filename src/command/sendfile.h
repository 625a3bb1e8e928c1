// The command interpreter: runs command text on the emulated panel and
// forwards every command to the board while one is connected.
#pragma once
#include <cstddef>
#include <cstdint>

// The folder of the command file being run, with its final separator: set by
// the send-file worker before it runs a file, put in front of bitmap file
// names that name no folder of their own.
extern char cmdDir[256];

// Runs every command of a NUL-terminated text.
void TFTcommandOut(const char* text);
// Same for a text of known length (text[length] must be NUL); inline bitmaps
// may hold NUL bytes, and their size fields are checked against the length.
void TFTcommandOut(const char* text, size_t length);
// Formats into a 256-byte buffer (longer results are cut) and runs it.
void TFTcommand(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Forwards the command [start, end) plus one line feed; logs it.
void TFTcommandSend(const char* start, const char* end);

// Loads an image file, fits and converts it, draws and sends it.
void BitmapLoad(const char* fileName, int x, int y, int keepInside);
