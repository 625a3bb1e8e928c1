// The command table and the walk over a command text. The interpreter runs
// what the walk finds and the checker inspects it, so the two always agree
// on where a command, its parameters and its line end.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

constexpr char commandEscape = 0x1B;

enum class CommandId {
    demoScreen,
    startScreen,
    backlight,
    displayClear,
    displayFill,
    displayOrientation,
    fillArea,
    textColour,
    textFont,
    textStart,
    textLine,
    textPosition,
    bitmap,
};
constexpr int commandCount = int(CommandId::bitmap) + 1;

struct CommandRow {
    char form; // '#' or ESC
    char letters[3];
    CommandId id;
    // What the command reads, in order: 'c' a colour component, 'n' any
    // other number, 't' a text, 'b' an inline bitmap or a quoted file name.
    const char* parameters;
};

// The row for a command's letters (compared with bit 5 cleared, so lower
// case names the same command), or null when no command answers to them.
const CommandRow* findCommand(char form, const char* letters, int letterCount);

struct CommandScan {
    const char* start; // the "#" or ESC of the command
    const char* p;     // scan pointer
    const char* end;   // the terminating NUL
};

// Called with the scan standing behind a command's letters; it reads the
// parameters. row is null for letters no command answers to.
using CommandVisit = void (*)(CommandScan& scan, const CommandRow* row, void* context);

// Walks [text, end) as the interpreter runs it: every "#" with two letters
// and every ESC with one goes to visit, and the rest of its line is skipped;
// ";" skips a comment line; any other byte is skipped alone. Returns where
// the walk ended: end, a NUL byte before it, or a "#" or ESC whose letters
// run into the end of the text.
const char* walkCommands(const char* text, const char* end, CommandVisit visit, void* context);

// A BMP file is at least its file and information headers long.
constexpr uint32_t smallestBmpFile = 14 + 40;
// The bitmap command's search for its picture: from p, across line ends, to
// the first NUL, "B", quote or ";".
const char* bitmapSearchEnd(const char* p);
// The file size of an inline bitmap, from the size field of its file header
// (the six bytes from bmp on must be readable).
uint32_t inlineBitmapSize(const char* bmp);
// The path the bitmap command loads for name: the name itself when it holds
// a backslash or is absolute, else folder + name; cut at 255 bytes like
// every name buffer.
std::string bitmapFilePath(const char* folder, const char* name);
