#include "command/seam.h"

#include <cstdarg>
#include <cstdio>

int picoPort = 0;

namespace {
Seam hooks{};
}

void installSeam(const Seam& seam) {
    hooks = seam;
}
void resetSeam() {
    hooks = Seam{};
    picoPort = 0;
}

void RedrawAA() {
    if (hooks.redrawPanel) hooks.redrawPanel();
}
void CheckMenuFile() {
    if (hooks.checkMenuFile) hooks.checkMenuFile();
}
void CheckMenuTFT() {
    if (hooks.checkMenuTFT) hooks.checkMenuTFT();
}
void NewTFT(int resize) {
    if (hooks.newTFT) hooks.newTFT(resize);
}

void printMessage(const char* format, ...) {
    if (!hooks.logLine) return;
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    hooks.logLine(line);
}

int COMwrblk(const void* data, int length) {
    return hooks.writeBlock ? hooks.writeBlock(data, length) : -1;
}

int sendbuffer(const void* data, int length) {
    return hooks.sendBuffer ? hooks.sendBuffer(data, length) : 0;
}
