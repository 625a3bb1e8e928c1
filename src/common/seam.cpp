#include "common/seam.h"

#include <cstdarg>
#include <cstdio>

namespace {
WindowSeam hooks{};

int call(int (*hook)()) {
    return hook ? hook() : 1;
}

constexpr int messageBufferSize = 256;

// Reports are single lines, but they quote names from command files, which
// may hold line ends and other control characters: those become '?'.
void keepOnOneLine(char* line) {
    for (char* c = line; *c; ++c)
        if (static_cast<unsigned char>(*c) < 0x20 || *c == 0x7F) *c = '?';
}

// Formats one line (cut at the buffer) and hands it to the hook, if any.
void deliverLine(int (*hook)(const char*), bool oneLine, const char* format, va_list args) {
    if (!hook) return;
    char line[messageBufferSize];
    std::vsnprintf(line, sizeof line, format, args);
    if (oneLine) keepOnOneLine(line);
    hook(line);
}
} // namespace

void installWindowSeam(const WindowSeam& seam) {
    hooks = seam;
}
WindowSeam installedWindowSeam() {
    return hooks;
}
void resetWindowSeam() {
    hooks = WindowSeam{};
}

int RedrawAA() {
    return call(hooks.redrawPanel);
}
int CheckMenuFile() {
    return call(hooks.checkMenuFile);
}
int CheckMenuTFT() {
    return call(hooks.checkMenuTFT);
}
int ResizeTFT() {
    return call(hooks.resizeTFT);
}
int connectionChanged() {
    return call(hooks.connectionChanged);
}
int transferStart(uint32_t bytes) {
    return hooks.transferStart ? hooks.transferStart(bytes) : 1;
}
int transferProgress(int position) {
    return hooks.transferProgress ? hooks.transferProgress(position) : 1;
}

void printMessage(const char* format, ...) {
    va_list args;
    va_start(args, format);
    deliverLine(hooks.logLine, false, format, args);
    va_end(args);
}

void reportError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    deliverLine(hooks.reportError, true, format, args);
    va_end(args);
}

void reportWarning(const char* format, ...) {
    va_list args;
    va_start(args, format);
    deliverLine(hooks.reportWarning, true, format, args);
    va_end(args);
}
