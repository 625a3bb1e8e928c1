// Command interpreter: "#" + two letters or ESC + one letter, then parameters.
#include "command/sendfile.h"

#include "board/picolink.h"
#include "board/seriowin.h"
#include "command/commands.h"
#include "command/reader.h"
#include "common/seam.h"
#include "common/settings.h"
#include "module/newtft.h"
#include "panel/zr_tft.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

char cmdDir[256] = "";

namespace {
using Scan = CommandScan;

uint16_t readColour(Scan& s) {
    int r = getnextvalue(&s.p);
    int g = getnextvalue(&s.p);
    int b = getnextvalue(&s.p);
    return rgb565(r, g, b);
}

void redrawWithDemo(int demo) {
    RedrawAA();
    Demo = demo;
    CheckMenuFile();
}

void forward(const Scan& s) {
    TFTcommandSend(s.start, s.p);
}

// ---- "#" rows ----
void commandBacklight(Scan& s) {
    getnextvalue(&s.p); // the emulated panel has no backlight
    forward(s);
}

void commandDisplayClear(Scan& s) {
    TFTclear(0);
    redrawWithDemo(0);
    forward(s);
}

void commandDisplayFill(Scan& s) {
    TFTclear(readColour(s));
    redrawWithDemo(0);
    forward(s);
}

bool isQuarterTurn(int angle) {
    return angle == 0 || angle == 90 || angle == 180 || angle == 270;
}

// Angles other than quarter turns are treated like an unchanged angle: the
// panel cannot take them and the module file names have no place for them.
void commandDisplayOrientation(Scan& s) {
    int16_t angle = getnextvalue(&s.p);
    if (!isQuarterTurn(angle) || angle == Angle) return;
    Angle = angle;
    CheckMenuTFT();
    NewTFT(1);
    setTFTangle(angle);
    forward(s);
}

void commandFillArea(Scan& s) {
    uint16_t colour = readColour(s);
    int16_t x1 = getnextvalue(&s.p);
    int16_t y1 = getnextvalue(&s.p);
    int16_t x2 = getnextvalue(&s.p);
    int16_t y2 = getnextvalue(&s.p);
    TFTfill(colour, x1, y1, x2, y2);
    redrawWithDemo(0);
    forward(s);
}

void commandTextColour(Scan& s) {
    uint16_t foreground = readColour(s);
    uint16_t background = readColour(s);
    setTFTcolor(foreground, background);
    forward(s);
}

void commandTextFont(Scan& s) {
    int16_t font = getnextvalue(&s.p);
    int16_t zx = getnextvalue(&s.p);
    int16_t zy = getnextvalue(&s.p);
    setTFTfont(font, zx, zy);
    forward(s);
}

void commandTextStart(Scan& s) {
    int16_t x = getnextvalue(&s.p);
    int16_t y = getnextvalue(&s.p);
    int16_t h = getnextvalue(&s.p);
    setTFTtextXYH(x, y, h);
    forward(s);
}

void drawTextCommand(Scan& s, int16_t x, int16_t y) {
    char text[256];
    if (getString(&s.p, text, sizeof text) == 0) return;
    TFTtext(x, y, text);
    redrawWithDemo(0);
    forward(s);
}

void commandTextLine(Scan& s) {
    drawTextCommand(s, -1, -1);
}

void commandTextPosition(Scan& s) {
    int16_t x = getnextvalue(&s.p);
    int16_t y = getnextvalue(&s.p);
    drawTextCommand(s, x, y);
}

void drawInlineBitmap(Scan& s, int16_t x, int16_t y) {
    size_t remaining = size_t(s.end - s.p);
    if (remaining < 6) return;
    const uint8_t* bmp = reinterpret_cast<const uint8_t*>(s.p);
    uint32_t size = inlineBitmapSize(s.p);
    if (size > remaining) {
        // The bitmap is cut short: its bytes reach to the end of the text, so
        // nothing after it could be a command. Draw and send nothing.
        s.p = s.end;
        return;
    }
    if (size < smallestBmpFile) return; // not a bitmap; the line is skipped
    TFTbitmap(x, y, bmp, 0, 0);
    RedrawAA();
    s.p += size;
    if (picoPort) sendbuffer(s.start, uint32_t(s.p - s.start));
}

void loadBitmapFile(Scan& s, int16_t x, int16_t y) {
    char name[256];
    if (getString(&s.p, name, sizeof name) == 0) return;
    BitmapLoad(bitmapFilePath(cmdDir, name).c_str(), x, y, 0);
}

void commandBitmap(Scan& s) {
    int16_t x = getnextvalue(&s.p);
    int16_t y = getnextvalue(&s.p);
    s.p = bitmapSearchEnd(s.p);
    if (s.p[0] == 'B' && s.p[1] == 'M')
        drawInlineBitmap(s, x, y);
    else if (*s.p == '"' || *s.p == '\'')
        loadBitmapFile(s, x, y);
    redrawWithDemo(0);
}

// ---- ESC rows ----
void commandDemoScreen(Scan& s) {
    int16_t n = getnextvalue(&s.p);
    demoScreen = n;
    Screen(unsigned(n));
    redrawWithDemo(n != 0);
    forward(s);
}

void commandStartScreen(Scan& s) {
    int16_t n = getnextvalue(&s.p);
    Screen(unsigned(n));
    redrawWithDemo(0);
    forward(s);
}

// In the order of CommandId.
void (*const commandHandlers[])(Scan&) = {
    commandDemoScreen,  commandStartScreen,        commandBacklight, commandDisplayClear,
    commandDisplayFill, commandDisplayOrientation, commandFillArea,  commandTextColour,
    commandTextFont,    commandTextStart,          commandTextLine,  commandTextPosition,
    commandBitmap,
};
static_assert(sizeof commandHandlers / sizeof commandHandlers[0] == commandCount);

void runCommand(Scan& s, const CommandRow* row, void*) {
    if (!row) return;
    PanelGuard guard(panelLock());
    commandHandlers[int(row->id)](s);
}

void runCommands(const char* text, const char* end) {
    walkCommands(text, end, runCommand, nullptr);
}
} // namespace

void TFTcommandOut(const char* text) {
    runCommands(text, text + std::strlen(text));
}

void TFTcommandOut(const char* text, size_t length) {
    runCommands(text, text + length);
}

void TFTcommand(const char* format, ...) {
    char buffer[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    TFTcommandOut(buffer);
}

void TFTcommandSend(const char* start, const char* end) {
    if (!picoPort) return;
    std::string command(start, size_t(end - start));
    command += '\n';
    if (!COMwrblk(command.data(), int(command.size()))) {
        boardLinkFailed();
        return;
    }
    command.pop_back();
    printMessage("%s\r\n", command.c_str());
}
