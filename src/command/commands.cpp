#include "command/commands.h"

#include "command/reader.h"

#include <cstring>

namespace {
const CommandRow commandTable[] = {
    {commandEscape, "D", CommandId::demoScreen, "n"},
    {commandEscape, "S", CommandId::startScreen, "n"},
    {'#', "LB", CommandId::backlight, "n"},
    {'#', "DC", CommandId::displayClear, ""},
    {'#', "DF", CommandId::displayFill, "ccc"},
    {'#', "DO", CommandId::displayOrientation, "n"},
    {'#', "FA", CommandId::fillArea, "cccnnnn"},
    {'#', "TC", CommandId::textColour, "cccccc"},
    {'#', "TF", CommandId::textFont, "nnn"},
    {'#', "TS", CommandId::textStart, "nnn"},
    {'#', "TL", CommandId::textLine, "t"},
    {'#', "TP", CommandId::textPosition, "nnt"},
    {'#', "BM", CommandId::bitmap, "nnb"},
};
static_assert(sizeof commandTable / sizeof commandTable[0] == commandCount);

char commandLetter(char c) {
    return static_cast<char>(static_cast<unsigned char>(c) & 0xDF);
}

bool isBitmapSearchStop(char c) {
    return c == 0 || c == 'B' || c == '"' || c == '\'' || c == ';';
}

bool hasBackslashOrIsAbsolute(const char* name) {
    return std::strchr(name, '\\') != nullptr || name[0] == '/';
}

// Every name buffer holds 256 bytes with its NUL.
constexpr size_t longestName = 255;
} // namespace

const CommandRow* findCommand(char form, const char* letters, int letterCount) {
    for (const CommandRow& row : commandTable) {
        if (row.form != form) continue;
        bool same = true;
        for (int i = 0; i < letterCount; ++i)
            same = same && commandLetter(letters[i]) == row.letters[i];
        if (same) return &row;
    }
    return nullptr;
}

const char* walkCommands(const char* text, const char* end, CommandVisit visit, void* context) {
    CommandScan s{text, text, end};
    while (s.p < end && *s.p) {
        s.start = s.p;
        char c = *s.p++;
        int letterCount = c == commandEscape ? 1 : c == '#' ? 2 : 0;
        if (letterCount > 0) {
            // Letters that run into the end of the text name no command.
            if (!s.p[0] || (letterCount == 2 && !s.p[1])) return s.start;
            const char* letters = s.p;
            s.p += letterCount;
            visit(s, findCommand(c, letters, letterCount), context);
            nextline(&s.p);
        } else if (c == ';') {
            nextline(&s.p);
        }
    }
    return s.p;
}

const char* bitmapSearchEnd(const char* p) {
    while (!isBitmapSearchStop(*p)) ++p;
    return p;
}

uint32_t inlineBitmapSize(const char* bmp) {
    const uint8_t* b = reinterpret_cast<const uint8_t*>(bmp);
    return uint32_t(b[2]) | (uint32_t(b[3]) << 8) | (uint32_t(b[4]) << 16) | (uint32_t(b[5]) << 24);
}

std::string bitmapFilePath(const char* folder, const char* name) {
    std::string path = hasBackslashOrIsAbsolute(name) ? name : std::string(folder) + name;
    if (path.size() > longestName) path.resize(longestName);
    return path;
}
