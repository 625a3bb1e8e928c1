#include "command/check.h"

#include "board/uf2format.h"
#include "command/commands.h"
#include "command/reader.h"
#include "file/wholefile.h"
#include "image/dib.h"
#include "panel/fonts.h"
#include "panel/models.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

const char* const checkKinds[] = {
    "unknown-command",   // a "#" or ESC command that no command answers to
    "missing-parameter", // fewer numbers than the command reads (they read as 0), or no text
    "trailing-text",     // text behind the last parameter, a second command in particular
    "stray-text",        // text outside any command or comment
    "negative-number",   // a "-" before a number: it is a separator, so -5 reads as 5
    "overflow",          // a number that does not fit 16 bits and is cut
    "colour-range",      // a colour value outside 0..255
    "unclosed-quote",    // a quoted text that ends at a tab or the line end
    "long-text",         // a text or picture name over 255 bytes, which is cut
    "missing-picture",   // a bitmap command that finds no picture
    "runaway-bitmap",    // a bitmap command whose search for a picture crosses line ends
    "bad-picture",       // a picture file that cannot be read, or is refused, with the reason
    "bad-bitmap",        // an inline bitmap whose size field is too small or runs past the file
    "angle",             // an orientation other than 0, 90, 180 and 270, which does nothing
    "font",              // a font number outside the font table, or a zoom outside 1..4
    "empty-fill",        // a fill that draws nothing: it ends before it starts or lies outside
    "screen",            // a screen number that draws nothing
    "nul-byte",          // a NUL byte, where the interpreter stops
    "bad-uf2",           // a UF2 file that holds no complete firmware for either board
    "unreadable",        // a FILE that cannot be read or is of no kind the runner handles
};
const int checkKindCount = int(sizeof checkKinds / sizeof checkKinds[0]);

int isCheckKind(const char* name) {
    for (const char* kind : checkKinds)
        if (std::strcmp(kind, name) == 0) return 1;
    return 0;
}

namespace {
constexpr int longestText = 255;   // the interpreter's text buffers hold 256 bytes
constexpr int largestColour = 255; // colour components are meant as 0..255
constexpr int largestZoom = 4;     // zoom values outside 1..4 keep the zoom
constexpr int demoOff = 0;         // ESC "D" 0 ends the demo mode, drawing nothing
constexpr int markerScreen = 255;  // the screen numbers that draw: 1, 2, 3 and 255
constexpr int excerptLength = 24;  // bytes of skipped text a message quotes
constexpr uint32_t largest16Bits = 0xFFFF;
constexpr int32_t largestPositive = 0x7FFF;
const char utf8ByteOrderMark[] = "\xEF\xBB\xBF";

struct Checker {
    const char* text;
    const char* end;
    std::string folder;
    int width, height; // the panel in the current orientation
    int model;
    const char* scanFrom;   // where the search for stray text goes on
    bool skipTrailingCheck; // the command's line is skipped by design
    std::vector<CheckFinding> findings;
    // Where line and column were last counted, so counting goes on from there.
    const char* countedTo;
    int countedLine;
    const char* countedLineStart;
};

std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string formatText(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

void addFinding(Checker& c, const char* at, const char* kind, std::string message) {
    if (at < c.countedTo) {
        c.countedTo = c.countedLineStart = c.text;
        c.countedLine = 1;
    }
    for (const char* p = c.countedTo; p < at; ++p) {
        if (*p != '\n') continue;
        ++c.countedLine;
        c.countedLineStart = p + 1;
    }
    c.countedTo = at;
    c.findings.push_back(
        {c.countedLine, int(at - c.countedLineStart) + 1, kind, std::move(message)});
}

// Byte offsets as messages print them: files are far below 4 GB.
unsigned long offsetOf(const Checker& c, const char* at) {
    return (unsigned long)(at - c.text);
}

// Control bytes shown as \xNN, so that every finding stays on one line.
std::string printable(const char* from, size_t length) {
    std::string text;
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(from[i]);
        text += c < 0x20 || c == 0x7F ? formatText("\\x%02X", c) : std::string(1, char(c));
    }
    return text;
}

// The command as written and quoted: "#FA" with its own letters, or "ESC S".
std::string commandName(const CommandScan& s) {
    if (*s.start == commandEscape) return "\"ESC " + printable(s.start + 1, 1) + '"';
    return '"' + printable(s.start, 3) + '"';
}

// Up to the line end, at most excerptLength bytes, for a message.
std::string excerpt(const char* from) {
    size_t length = 0;
    while (length < excerptLength && from[length] && from[length] != '\n' && from[length] != '\r')
        ++length;
    return printable(from, length);
}

void setOrientation(Checker& c, int angle) {
    const ModelInfo* info = modelInfo(c.model);
    const bool landscape = angle == 90 || angle == 270;
    c.width = landscape ? info->height : info->width;
    c.height = landscape ? info->width : info->height;
}

bool startsNumber(char c) {
    return c == '$' || c == '%' || (c >= '0' && c <= '9');
}

// The value the digits of [start, end) stand for before the cut to 16 bits,
// held at a bound far above it.
uint64_t writtenValue(const char* start, const char* end) {
    const int base = *start == '$' ? 16 : *start == '%' ? 2 : 10;
    if (base != 10) ++start;
    uint64_t value = 0;
    for (const char* p = start; p < end && value <= UINT32_MAX; ++p) {
        const char digit = char(std::tolower(static_cast<unsigned char>(*p)));
        value = value * uint64_t(base) + uint64_t(digit <= '9' ? digit - '0' : digit - 'a' + 10);
    }
    return value;
}

// The form of one number the reader took from [start, end).
void checkNumberForm(Checker& c, const char* start, const char* end, int16_t value) {
    if (start > c.text && start[-1] == '-')
        addFinding(c, start - 1, "negative-number",
                   formatText("\"-\" is a separator, so \"-%.*s\" reads as %d; write a negative "
                              "number in hexadecimal ($FFFF is -1)",
                              int(end - start), start, value));
    const uint64_t written = writtenValue(start, end);
    const bool decimal = startsNumber(*start) && *start != '$' && *start != '%';
    const uint64_t limit = decimal ? uint64_t(largestPositive) : largest16Bits;
    if (written > limit)
        addFinding(c, start, "overflow",
                   formatText("%.*s does not fit a 16-bit number and reads as %d", int(end - start),
                              start, value));
}

struct Number {
    const char* start;
    bool present;
    int16_t value;
};

Number readNumber(Checker& c, CommandScan& s) {
    nextchar(&s.p);
    Number number{s.p, startsNumber(*s.p), 0};
    number.value = getvalue(&s.p);
    if (number.present) checkNumberForm(c, number.start, s.p, number.value);
    return number;
}

// Reads a text argument as getString does, checking its pieces; returns its bytes.
std::string readText(Checker& c, CommandScan& s) {
    std::string text;
    TextPiece piece;
    while (nextTextPiece(&s.p, &piece)) {
        if (!piece.quote) {
            checkNumberForm(c, piece.start, piece.end, piece.value);
            text += char(piece.value & 0xFF);
            continue;
        }
        if (!piece.closed) {
            const char* stop = *piece.end == '\t' ? "a tab" : "the line end";
            addFinding(
                c, piece.start, "unclosed-quote",
                formatText("the quote opened here is not closed: the text ends at %s", stop));
        }
        const char* textEnd = piece.closed ? piece.end - 1 : piece.end;
        text.append(piece.start + 1, textEnd);
    }
    return text;
}

void checkTextLength(Checker& c, const CommandScan& s, const char* at, const std::string& text,
                     const char* what) {
    if (text.size() > size_t(longestText))
        addFinding(c, at, "long-text",
                   formatText("%s of %s has %lu bytes; only the first %d are kept", what,
                              commandName(s).c_str(), (unsigned long)text.size(), longestText));
}

void checkPictureFile(Checker& c, const char* at, const std::string& path) {
    auto list = std::make_unique<MultiDIB>();
    if (LoadDIB(list.get(), path.c_str())) {
        MultiDibFree(list.get());
        return;
    }
    // A quoted name may run across a line end: the finding stays on one line.
    addFinding(c, at, "bad-picture",
               printable(path.data(), path.size()) + ": " + DIBErrorText(GetDIBError()));
}

void checkInlineBitmap(Checker& c, CommandScan& s) {
    const size_t remaining = size_t(s.end - s.p);
    const unsigned long offset = offsetOf(c, s.p);
    if (remaining < 6) {
        addFinding(c, s.p, "bad-bitmap",
                   formatText("the inline bitmap at byte offset %lu ends before its size field; "
                              "nothing is drawn",
                              offset));
        c.skipTrailingCheck = true;
        return;
    }
    const uint32_t size = inlineBitmapSize(s.p);
    if (size > remaining) {
        addFinding(c, s.p, "bad-bitmap",
                   formatText("the inline bitmap at byte offset %lu says it has %u bytes, but "
                              "only %lu remain; nothing is drawn and nothing after it runs",
                              offset, unsigned(size), (unsigned long)remaining));
        s.p = s.end;
        return;
    }
    if (size < smallestBmpFile) {
        addFinding(c, s.p, "bad-bitmap",
                   formatText("the inline bitmap at byte offset %lu says it has %u bytes, too few "
                              "for a BMP file; the line is skipped",
                              offset, unsigned(size)));
        c.skipTrailingCheck = true;
        return;
    }
    s.p += size;
}

void checkBitmap(Checker& c, CommandScan& s) {
    const char* searchStart = s.p;
    s.p = bitmapSearchEnd(s.p);
    const long lineEnds = std::count(searchStart, s.p, '\n');
    if (lineEnds > 0)
        addFinding(c, s.start, "runaway-bitmap",
                   formatText("%s has no picture on its line; its search for one runs on over "
                              "%ld line end%s and skips every command on the way",
                              commandName(s).c_str(), lineEnds, lineEnds == 1 ? "" : "s"));
    if (s.p[0] == 'B' && s.p[1] == 'M') {
        checkInlineBitmap(c, s);
    } else if (*s.p == '"' || *s.p == '\'') {
        const char* nameStart = s.p;
        std::string name = readText(c, s);
        checkTextLength(c, s, nameStart, name, "the picture name");
        if (name.empty()) {
            addFinding(c, nameStart, "missing-picture",
                       formatText("%s has an empty picture name; nothing is drawn",
                                  commandName(s).c_str()));
        } else {
            name.resize(std::min(name.size(), size_t(longestText)));
            checkPictureFile(c, nameStart, bitmapFilePath(c.folder.c_str(), name.c_str()));
        }
    } else if (lineEnds == 0) {
        addFinding(c, s.p, "missing-picture",
                   formatText("%s has no picture (an inline bitmap or a quoted file name); "
                              "nothing is drawn",
                              commandName(s).c_str()));
    }
}

bool isQuarterTurn(int angle) {
    return angle == 0 || angle == 90 || angle == 180 || angle == 270;
}

void checkFill(Checker& c, const CommandScan& s, const Number* n) {
    const Number &x1 = n[3], &y1 = n[4], &x2 = n[5], &y2 = n[6];
    if (!y2.present) return; // numbers go missing from the end; that is reported already
    std::string why;
    const Number* at = &x1;
    if (x1.value >= c.width || y1.value >= c.height) {
        at = x1.value >= c.width ? &x1 : &y1;
        why = formatText("it starts at or past the %s edge of the %dx%d panel",
                         at == &x1 ? "right" : "bottom", c.width, c.height);
    } else if (x2.value < std::max<int>(x1.value, 0) || y2.value < std::max<int>(y1.value, 0)) {
        at = x2.value < std::max<int>(x1.value, 0) ? &x2 : &y2;
        why = at->value < 0 ? "it lies left of or above the panel" : "it ends before it starts";
    }
    if (!why.empty())
        addFinding(c, at->start, "empty-fill",
                   formatText("%s draws nothing: %s", commandName(s).c_str(), why.c_str()));
}

void checkFont(Checker& c, const Number* n) {
    if (n[0].present && !embeddedFont(n[0].value))
        addFinding(c, n[0].start, "font",
                   formatText("there is no font %d (1, 2, 3, 8, 10, 14, 16, 20, 22, 24, 26, 32, "
                              "40, 48, 60); the font stays as it was",
                              n[0].value));
    for (int i = 1; i <= 2; ++i)
        if (n[i].present && (n[i].value < 1 || n[i].value > largestZoom))
            addFinding(c, n[i].start, "font",
                       formatText("zoom %d is outside 1..%d; the zoom stays as it was", n[i].value,
                                  largestZoom));
}

void checkScreen(Checker& c, const CommandScan& s, const Number& n, bool demo) {
    const int v = n.value;
    if (!n.present || v == 1 || v == 2 || v == 3 || v == markerScreen || (demo && v == demoOff))
        return;
    addFinding(c, n.start, "screen",
               formatText("%s with %d draws nothing: the screens are 1, 2, 3 and 255%s",
                          commandName(s).c_str(), v, demo ? " (0 ends the demo mode)" : ""));
}

// The checks of one command's values, once all its numbers are read.
void checkValues(Checker& c, const CommandScan& s, CommandId id, const Number* n) {
    switch (id) {
    case CommandId::demoScreen:
    case CommandId::startScreen:
        checkScreen(c, s, n[0], id == CommandId::demoScreen);
        break;
    case CommandId::displayOrientation:
        if (!isQuarterTurn(n[0].value))
            addFinding(
                c, n[0].start, "angle",
                formatText("%s with %d does nothing: the orientations are 0, 90, 180 and 270",
                           commandName(s).c_str(), n[0].value));
        else
            setOrientation(c, n[0].value);
        break;
    case CommandId::fillArea:
        checkFill(c, s, n);
        break;
    case CommandId::textFont:
        checkFont(c, n);
        break;
    default:
        break;
    }
}

void checkParameters(Checker& c, CommandScan& s, const CommandRow& row) {
    constexpr int mostNumbers = 8;
    Number numbers[mostNumbers] = {};
    int count = 0, present = 0;
    const char* firstMissing = nullptr;
    for (const char* role = row.parameters; *role; ++role) {
        if (*role == 't') {
            const char* textStart = s.p;
            nextchar(&textStart); // where its first piece stands
            const std::string text = readText(c, s);
            if (text.empty())
                addFinding(c, s.p, "missing-parameter",
                           formatText("%s has no text; it draws nothing and is not sent",
                                      commandName(s).c_str()));
            checkTextLength(c, s, textStart, text, "the text");
            continue;
        }
        if (*role == 'b') {
            checkBitmap(c, s);
            continue;
        }
        Number& n = numbers[count++];
        n = readNumber(c, s);
        if (n.present)
            ++present;
        else if (!firstMissing)
            firstMissing = n.start;
        if (*role == 'c' && n.present && (n.value < 0 || n.value > largestColour))
            addFinding(c, n.start, "colour-range",
                       formatText("colour value %d is outside 0..%d", n.value, largestColour));
    }
    if (firstMissing)
        addFinding(c, firstMissing, "missing-parameter",
                   formatText("%s has %d of its %d numbers; the missing ones read as 0",
                              commandName(s).c_str(), present, count));
    checkValues(c, s, row.id, numbers);
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// What stands behind the command's last parameter on its line is skipped.
void checkTrailing(Checker& c, const CommandScan& s) {
    const char* p = s.p;
    while (isBlank(*p) || *p == ',') ++p;
    if (!*p || *p == '\n' || *p == ';') return;
    if (*p == '#' || *p == commandEscape)
        addFinding(
            c, p, "trailing-text",
            formatText("a second command on the line is skipped: \"%s\"", excerpt(p).c_str()));
    else
        addFinding(c, p, "trailing-text",
                   formatText("\"%s\" behind the last parameter of %s is skipped",
                              excerpt(p).c_str(), commandName(s).c_str()));
}

// Bytes the walk skips between commands: blanks, line ends and comments are
// meant to be skipped; anything else is reported once per line.
void checkStrayText(Checker& c, const char* from, const char* to) {
    if (from == c.text && std::strncmp(from, utf8ByteOrderMark, 3) == 0 && to - from >= 3)
        from += 3;
    for (const char* p = from; p < to; ++p) {
        if (isBlank(*p) || *p == '\n') continue;
        if (*p != ';')
            addFinding(
                c, p, "stray-text",
                formatText("\"%s\" stands outside any command and is skipped", excerpt(p).c_str()));
        while (p < to && *p != '\n') ++p;
    }
}

void visitCommand(CommandScan& s, const CommandRow* row, void* context) {
    Checker& c = *static_cast<Checker*>(context);
    checkStrayText(c, c.scanFrom, s.start);
    c.skipTrailingCheck = false;
    if (!row) {
        addFinding(c, s.start, "unknown-command",
                   formatText("unknown command %s; its line is skipped", commandName(s).c_str()));
    } else {
        checkParameters(c, s, *row);
        if (!c.skipTrailingCheck) checkTrailing(c, s);
    }
    const char* next = s.p;
    nextline(&next);
    c.scanFrom = next;
}

std::string folderOf(const char* path) {
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\') name = p + 1;
    return std::string(path, name);
}

bool hasExtension(const char* path, const char* wanted) {
    const char* dot = std::strrchr(path, '.');
    if (!dot || std::strlen(dot) != std::strlen(wanted)) return false;
    for (size_t i = 0; dot[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(dot[i])) != wanted[i]) return false;
    return true;
}

CheckFinding fileFinding(const char* kind, std::string message) {
    return CheckFinding{0, 0, kind, std::move(message)};
}

std::vector<CheckFinding> checkPicture(const char* path) {
    auto list = std::make_unique<MultiDIB>();
    if (LoadDIB(list.get(), path)) {
        MultiDibFree(list.get());
        return {};
    }
    const int error = GetDIBError();
    const bool unreadable = error == DIB_ERR_MISSING || error == DIB_ERR_DIRECTORY ||
                            error == DIB_ERR_NOT_FILE || error == DIB_ERR_DENIED ||
                            error == DIB_ERR_READ;
    return {fileFinding(unreadable ? "unreadable" : "bad-picture", DIBErrorText(error))};
}

std::vector<CheckFinding> checkUf2(const WholeFile& file) {
    const size_t size = file.size;
    if (size == 0 || size % uf2BlockSize != 0)
        return {fileFinding("bad-uf2", formatText("%lu bytes are not whole 512-byte UF2 blocks",
                                                  (unsigned long)size))};
    for (size_t at = 0; at < size; at += uf2BlockSize)
        if (!uf2BlockIsSound(file.data + at))
            return {fileFinding("bad-uf2", formatText("the block at byte offset %lu is no UF2 "
                                                      "block (magic numbers or payload size)",
                                                      (unsigned long)at))};
    if (judgeUf2(file.data, size, 0, false) != Uf2Verdict::Taken &&
        judgeUf2(file.data, size, 1, false) != Uf2Verdict::Taken)
        return {fileFinding("bad-uf2", "the blocks make no complete firmware for an RP2040 or "
                                       "RP2350 board (family or numbering)")};
    return {};
}
} // namespace

std::vector<CheckFinding> checkCommandText(const char* text, size_t length,
                                           const std::string& folder, CheckPanel panel) {
    Checker c{};
    c.text = c.scanFrom = c.countedTo = c.countedLineStart = text;
    c.end = text + length;
    c.countedLine = 1;
    c.folder = folder;
    c.model = modelInfo(panel.model) ? panel.model : 1;
    setOrientation(c, panel.angle);
    const char* stop = walkCommands(text, c.end, visitCommand, &c);
    checkStrayText(c, c.scanFrom, stop);
    if (stop < c.end) {
        const char* nul = static_cast<const char*>(std::memchr(stop, 0, size_t(c.end - stop)));
        if (nul)
            addFinding(c, nul, "nul-byte",
                       formatText("a NUL byte: the interpreter stops here, so the %lu bytes after "
                                  "it never run",
                                  (unsigned long)(c.end - nul - 1)));
        else
            addFinding(c, stop, "unknown-command", "the file ends inside the command's letters");
    }
    return c.findings;
}

std::vector<CheckFinding> checkFile(const char* path, CheckPanel panel) {
    if (hasExtension(path, ".bmp") || hasExtension(path, ".png") || hasExtension(path, ".jpg") ||
        hasExtension(path, ".gif"))
        return checkPicture(path);
    const bool firmware = hasExtension(path, ".uf2");
    if (!firmware && !hasExtension(path, ".txt"))
        return {fileFinding("unreadable", "not a command, picture or firmware file (.txt, .bmp, "
                                          ".png, .jpg, .gif, .uf2)")};
    WholeFile file{};
    if (!ReadWholeFile(path, commandFileMaxBytes, &file))
        return {fileFinding("unreadable", WholeFileErrorText(file.error))};
    std::vector<CheckFinding> findings =
        firmware ? checkUf2(file)
                 : checkCommandText(reinterpret_cast<const char*>(file.data), file.size,
                                    folderOf(path), panel);
    std::free(file.data);
    return findings;
}
