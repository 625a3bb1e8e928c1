#include "device/protocol.h"

#include "command/reader.h"
#include "command/sendfile.h"
#include "common/seam.h"
#include "common/settings.h"
#include "image/dib.h"
#include "module/newtft.h"
#include "panel/models.h"
#include "panel/zr_tft.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {
constexpr uint8_t ESC = 0x1B;
constexpr char rawBitmapPosition[] = "#BM0,0,"; // a stream without prefix lands at 0,0
constexpr size_t bmpSizeFieldEnd = 6;           // "BM" + 32-bit file size
constexpr uint32_t bmpPixelOffsetEnd = 14;      // the file header, which names the pixel offset
constexpr uint32_t smallestBitmap = 14 + 40;
constexpr int touchMarkRed = 0xF800, touchMarkGreen = 0x07E0, touchMarkWhite = 0xFFFF;
// The longest part of a stored row that a row of the widest panel reads.
constexpr size_t rowBufferBytes = 1536;
// A row is drawn in parts as its bytes arrive, so that the panel has little
// left to do when the last byte is in; a part opens its own address window,
// which costs about as much bus time as a few pixels.
constexpr int32_t minRowPartPixels = 32;

enum class Stream {
    LineStart,    // nothing of the next unit yet
    Line,         // a command line up to its LF
    RawBitmapB,   // a "B" at the start of a line: a bitmap stream if "M" follows
    BitmapPrefix, // "#BM" and its position, looking for the bitmap's "BM"
    BitmapHeader, // the BMP's headers and palette, up to its pixel rows
    BitmapRows,   // the pixel rows and whatever follows them, counted by the size field
    SkipLine,     // the rest of a line that is not executed
};

// A bitmap stream being drawn: only its headers and one row are ever held.
struct BitmapStream {
    int16_t x = 0, y = 0;
    uint32_t fileSize = 0;
    uint32_t received = 0; // bytes of the file image so far, "BM" included
    uint32_t pixelOffset = 0;
    bool drawable = false;
    BitmapRows rows{};
    uint32_t partRow = UINT32_MAX; // stored row being drawn in parts
    int32_t drawnPixels = 0;       // of partRow, from its left edge as shown
};
// The used part of the stored row being received.
uint8_t rowBuffer[rowBufferBytes];

// All of the link's state, in one place that deviceStart resets.
struct Device {
    DeviceSetup setup;
    Stream stream = Stream::LineStart;
    std::string unit;          // the command, or the bitmap's prefix and headers
    size_t syntheticBytes = 0; // position text added in front of a bitmap stream without one
    size_t imageAt = 0;        // where the bitmap's "BM" stands in unit
    BitmapStream bitmap;
    int pwm = -1;
    int unitsRun = 0;
    bool demoWasOn = false;
    uint64_t lastDemoStepMs = 0;
};
Device device;

void logEvent(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logEvent(const char* format, ...) {
    if (!device.setup.log) return;
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    device.setup.log(line);
}

// Letters of a command compare with bit 5 cleared, as the interpreter does.
bool isLetter(char c, char upper) {
    return (static_cast<unsigned char>(c) & 0xDF) == static_cast<unsigned char>(upper);
}

void record(const void* data, size_t length) {
    if (device.setup.record && length)
        device.setup.record(static_cast<const uint8_t*>(data), length);
}

void recordUnit() {
    if (device.unit.size() > device.syntheticBytes)
        record(device.unit.data() + device.syntheticBytes,
               device.unit.size() - device.syntheticBytes);
}

void clearUnit(Stream next) {
    device.unit.clear();
    device.syntheticBytes = 0;
    device.imageAt = 0;
    device.stream = next;
}

// The core runs the unit as the PC's interpreter ran it; its terminating NUL
// comes from the string.
void runUnit() {
    TFTcommandOut(device.unit.c_str(), device.unit.size());
    ++device.unitsRun;
}

bool isQuarterTurn(int angle) {
    return angle == 0 || angle == 90 || angle == 180 || angle == 270;
}

// ESC "C" model, touch, angle: the module the board drives from now on.
void takeConfiguration(const char* p) {
    int model = getnextvalue(&p);
    int touch = getnextvalue(&p) != 0;
    int angle = getnextvalue(&p);
    const ModelInfo* info = modelInfo(model);
    if (!info || !isQuarterTurn(angle)) {
        logEvent("configuration refused: model %d at %d degrees", model, angle);
    } else {
        {
            PanelGuard guard(panelLock());
            Module = model;
            Touch = info->hasTouchOption ? touch : 0;
            Angle = angle;
            NewTFT(0);
        }
        logEvent("configured: model %d, touch %d, %d degrees", model, int(Touch), angle);
        if (device.setup.configured) device.setup.configured();
    }
    deviceReport(statusKindQuery, nullptr, 0);
}

// The letter after an ESC that starts the line, or 0.
char escapeLetter(const std::string& line) {
    return line.size() > 1 && line[0] == char(ESC) ? line[1] : 0;
}

void finishLine() {
    const std::string& line = device.unit;
    const char escape = escapeLetter(line);
    if (escape == '?') {
        logEvent("status query");
        deviceReport(statusKindQuery, nullptr, 0);
    } else if (isLetter(escape, 'P')) {
        const char* p = line.c_str() + 2;
        device.pwm = getnextvalue(&p);
        logEvent("PWM %d", device.pwm);
        if (device.setup.pwm) device.setup.pwm(device.pwm);
    } else if (escape == configureLetter) {
        takeConfiguration(line.c_str() + 2);
    } else {
        recordUnit();
        // The emulated panel has no backlight; the board's is driven here.
        if (line.size() > 3 && line[0] == '#' && isLetter(line[1], 'L') && isLetter(line[2], 'B') &&
            device.setup.pwm) {
            const char* p = line.c_str() + 3;
            device.setup.pwm(getnextvalue(&p));
        }
        // Only lines that begin with a command run; a "#BM" never gets here,
        // so a file name sent to the board is never opened on the board.
        if (line[0] == '#' || line[0] == char(ESC)) runUnit();
    }
    clearUnit(Stream::LineStart);
}

void feedByte(uint8_t byte);

// The unit is not a bitmap: it is dropped up to `stop`, and the bytes behind
// it are read again as the rest of a line that is skipped.
void abandonBitmap(size_t stop) {
    std::string tail = device.unit.substr(stop + 1);
    device.unit.resize(stop + 1);
    recordUnit();
    logEvent("a bitmap command without a bitmap is skipped");
    clearUnit(Stream::SkipLine);
    for (char c : tail) feedByte(uint8_t(c));
}

enum class PrefixScan { NeedMore, Found, NotBitmap };

// Reads the position the way the interpreter does and then looks for what
// follows it; `at` receives where the search stopped.
PrefixScan scanBitmapPrefix(size_t& at) {
    const char* text = device.unit.c_str();
    const char* end = text + device.unit.size();
    const char* p = text + 3;
    getnextvalue(&p);
    getnextvalue(&p);
    while (p < end && *p != 0 && *p != 'B' && *p != '"' && *p != '\'' && *p != ';') ++p;
    if (p >= end) return PrefixScan::NeedMore;
    at = size_t(p - text);
    if (*p != 'B') return PrefixScan::NotBitmap;
    if (p + 1 >= end) return PrefixScan::NeedMore;
    return p[1] == 'M' ? PrefixScan::Found : PrefixScan::NotBitmap;
}

void startBitmapImage(size_t at) {
    device.imageAt = at;
    device.bitmap = BitmapStream{};
    const char* p = device.unit.c_str() + 3;
    device.bitmap.x = getnextvalue(&p);
    device.bitmap.y = getnextvalue(&p);
    device.bitmap.received = uint32_t(device.unit.size() - at);
    device.stream = Stream::BitmapHeader;
}

void continueBitmapPrefix() {
    size_t at = 0;
    switch (scanBitmapPrefix(at)) {
    case PrefixScan::NeedMore:
        if (device.unit.size() > boardMaxBitmapPrefix) abandonBitmap(device.unit.size() - 1);
        return;
    case PrefixScan::NotBitmap:
        abandonBitmap(at);
        return;
    case PrefixScan::Found:
        startBitmapImage(at);
        return;
    }
}

const uint8_t* imageBytes() {
    return reinterpret_cast<const uint8_t*>(device.unit.data()) + device.imageAt;
}

// The bitmap is complete: what the interpreter does after drawing one.
void finishBitmap() {
    ++device.unitsRun;
    RedrawAA();
    Demo = 0;
    CheckMenuFile();
    clearUnit(Stream::LineStart);
}

// The headers are in: the picture is placed and its palette loaded, or, if
// the driver would not draw it, its bytes are only counted.
void beginBitmapRows() {
    BitmapStream& b = device.bitmap;
    b.pixelOffset = rdLE32(imageBytes() + 10);
    b.drawable = TFTbitmapRowsBegin(b.x, b.y, imageBytes(), b.received, &b.rows) &&
                 b.rows.width > 0 && b.rows.rowUseBytes <= rowBufferBytes;
    device.stream = Stream::BitmapRows;
}

// Takes header bytes up to the pixel rows; returns how many it took.
size_t feedBitmapHeader(const uint8_t* data, size_t length) {
    BitmapStream& b = device.bitmap;
    uint32_t want = b.received < bmpSizeFieldEnd     ? uint32_t(bmpSizeFieldEnd)
                    : b.received < bmpPixelOffsetEnd ? bmpPixelOffsetEnd
                                                     : std::max(smallestBitmap, b.pixelOffset);
    size_t take = std::min(length, size_t(want - b.received));
    device.unit.append(reinterpret_cast<const char*>(data), take);
    b.received += uint32_t(take);
    if (b.received < want) return take;
    if (want == bmpSizeFieldEnd) {
        b.fileSize = rdLE32(imageBytes() + 2);
        if (b.fileSize < smallestBitmap || b.fileSize > boardMaxBitmap) {
            abandonBitmap(device.imageAt);
            return take;
        }
    } else if (want == bmpPixelOffsetEnd) {
        b.pixelOffset = rdLE32(imageBytes() + 10);
        // Headers too long to hold, or pixels said to start outside the
        // file: counted, not drawn.
        if (b.pixelOffset > boardMaxBitmapHeader || b.pixelOffset > b.fileSize) {
            recordUnit();
            device.stream = Stream::BitmapRows;
        }
    } else {
        recordUnit();
        beginBitmapRows();
    }
    if (device.stream == Stream::BitmapRows && b.received >= b.fileSize) finishBitmap();
    return take;
}

// Draws the pixels of the stored row whose bytes are in (`filled` bytes of
// its used part), once enough wait or the row is complete.
void drawArrivedPixels(uint32_t stored, uint32_t filled) {
    BitmapStream& b = device.bitmap;
    const BitmapRows& r = b.rows;
    if (stored != b.partRow) {
        b.partRow = stored;
        b.drawnPixels = 0;
    }
    int32_t arrived = int32_t(uint64_t(filled) * 8 / uint32_t(r.bits)) - r.firstInByte;
    if (arrived > r.width) arrived = r.width;
    if (arrived <= b.drawnPixels) return;
    if (arrived < r.width && arrived - b.drawnPixels < minRowPartPixels) return;
    TFTbitmapRowPart(r, stored, rowBuffer, b.drawnPixels, arrived);
    b.drawnPixels = arrived;
}

// Copies the used part of each stored row out of the data and draws its
// pixels as they arrive.
void collectRows(const uint8_t* data, size_t length, uint32_t at) {
    const BitmapRows& r = device.bitmap.rows;
    const uint32_t first = device.bitmap.pixelOffset;
    const uint64_t end = uint64_t(first) + uint64_t(r.rowBytes) * uint64_t(r.imageHeight);
    for (size_t i = 0; i < length;) {
        uint64_t position = uint64_t(at) + i;
        if (position < first) {
            i += size_t(std::min<uint64_t>(first - position, length - i));
            continue;
        }
        if (position >= end) return;
        uint32_t stored = uint32_t((position - first) / r.rowBytes);
        uint32_t inRow = uint32_t((position - first) % r.rowBytes);
        uint32_t useEnd = r.rowSkipBytes + r.rowUseBytes;
        if (inRow < r.rowSkipBytes || inRow >= useEnd) {
            uint32_t skip = inRow < r.rowSkipBytes ? r.rowSkipBytes - inRow : r.rowBytes - inRow;
            i += size_t(std::min<uint64_t>(skip, length - i));
            continue;
        }
        size_t copy = std::min<size_t>(useEnd - inRow, length - i);
        std::memcpy(rowBuffer + (inRow - r.rowSkipBytes), data + i, copy);
        i += copy;
        drawArrivedPixels(stored, uint32_t(inRow + copy - r.rowSkipBytes));
    }
}

size_t feedBitmapRows(const uint8_t* data, size_t length) {
    BitmapStream& b = device.bitmap;
    size_t take = std::min(length, size_t(b.fileSize - b.received));
    record(data, take);
    if (b.drawable) collectRows(data, take, b.received);
    b.received += uint32_t(take);
    if (b.received == b.fileSize) finishBitmap();
    return take;
}

void startUnit(uint8_t byte) {
    if (byte == '\n') {
        record("\n", 1);
        return;
    }
    device.unit.push_back(char(byte));
    device.stream = byte == 'B' ? Stream::RawBitmapB : Stream::Line;
}

void continueLine(uint8_t byte) {
    if (device.unit.size() < boardMaxLine) device.unit.push_back(char(byte));
    if (byte == '\n') {
        if (device.unit.back() != '\n') device.unit.back() = '\n'; // a cut line still ends here
        finishLine();
        return;
    }
    const std::string& u = device.unit;
    if (u.size() == 3 && u[0] == '#' && isLetter(u[1], 'B') && isLetter(u[2], 'M'))
        device.stream = Stream::BitmapPrefix;
}

void continueRawBitmap(uint8_t byte) {
    if (byte == 'M') {
        device.unit = std::string(rawBitmapPosition) + "BM";
        device.syntheticBytes = sizeof rawBitmapPosition - 1;
        startBitmapImage(device.syntheticBytes);
        return;
    }
    device.stream = Stream::Line;
    continueLine(byte);
}

void feedByte(uint8_t byte) {
    switch (device.stream) {
    case Stream::LineStart:
        startUnit(byte);
        break;
    case Stream::Line:
        continueLine(byte);
        break;
    case Stream::RawBitmapB:
        continueRawBitmap(byte);
        break;
    case Stream::BitmapPrefix:
        device.unit.push_back(char(byte));
        continueBitmapPrefix();
        break;
    case Stream::BitmapHeader:
        feedBitmapHeader(&byte, 1);
        break;
    case Stream::BitmapRows:
        feedBitmapRows(&byte, 1);
        break;
    case Stream::SkipLine:
        record(&byte, 1);
        if (byte == '\n') device.stream = Stream::LineStart;
        break;
    }
}

void drawTouchMark(uint8_t event, int x, int y) {
    PanelGuard guard(panelLock());
    // The same marks and clamping as the PC's panel, so that both stay equal.
    if (x < 1) x = 1;
    if (y < 1) y = 1;
    if (x >= TFTwidth - 1) x = TFTwidth - 1;
    if (y >= TFTheight - 1) y = TFTheight - 1;
    if (event == 1 || event == 2) {
        uint16_t colour = event == 1 ? touchMarkRed : touchMarkGreen;
        TFTfill(colour, int16_t(x - 1), int16_t(y - 1), int16_t(x + 1), int16_t(y + 1));
    } else if (event == 4) {
        TFTfill(touchMarkWhite, int16_t(x), int16_t(y), int16_t(x), int16_t(y));
    }
}

bool demoSteps() {
    return device.setup.demoSeconds > 0 && Demo && demoScreen >= 1 && demoScreen <= 3;
}
} // namespace

void deviceStart(const DeviceSetup& setup) {
    device = Device{};
    device.setup = setup;
}

void deviceFeed(const uint8_t* data, size_t length) {
    size_t i = 0;
    while (i < length) {
        if (device.stream == Stream::BitmapRows)
            i += feedBitmapRows(data + i, length - i);
        else if (device.stream == Stream::BitmapHeader)
            i += feedBitmapHeader(data + i, length - i);
        else
            feedByte(data[i++]);
    }
}

void deviceDropUnit() {
    if (device.stream == Stream::BitmapPrefix || device.stream == Stream::Line ||
        device.stream == Stream::RawBitmapB || device.stream == Stream::BitmapHeader)
        recordUnit();
    if (device.stream != Stream::LineStart && device.stream != Stream::SkipLine)
        logEvent("connection closed in the middle of a command; it is dropped");
    clearUnit(Stream::LineStart);
}

int deviceInUnit() {
    return device.stream != Stream::LineStart;
}

void deviceStatusBlock(uint8_t kind, uint8_t block[4]) {
    int quarterTurns = (Angle / 90) & 3;
    block[0] = statusLead;
    block[1] = kind;
    block[2] = uint8_t(device.setup.firmwareVersion);
    block[3] = uint8_t((Touch ? configTouchBit : 0) | (quarterTurns << configAngleShift) |
                       (device.setup.pico2 ? configProcessorBit : 0) | (Module & configModelMask));
}

void deviceReport(uint8_t kind, const uint8_t* extra, size_t extraLength) {
    if (!device.setup.reply) return;
    uint8_t message[4 + 8];
    deviceStatusBlock(kind, message);
    extraLength = std::min(extraLength, sizeof message - 4);
    if (extraLength) std::memcpy(message + 4, extra, extraLength);
    device.setup.reply(message, 4 + extraLength);
}

void deviceTouch(uint8_t event, uint16_t x, uint16_t y) {
    drawTouchMark(event, x, y);
    uint8_t report[5] = {event, uint8_t(x), uint8_t(x >> 8), uint8_t(y), uint8_t(y >> 8)};
    logEvent("touch %d at %d,%d", event, x, y);
    deviceReport(statusKindTouch, report, sizeof report);
}

void deviceTick(uint64_t nowMs) {
    bool on = demoSteps();
    if (on && !device.demoWasOn) device.lastDemoStepMs = nowMs; // a full period on each screen
    device.demoWasOn = on;
    if (!on || nowMs - device.lastDemoStepMs < uint64_t(device.setup.demoSeconds) * 1000) return;
    device.lastDemoStepMs = nowMs;
    demoScreen = demoScreen % 3 + 1;
    {
        PanelGuard guard(panelLock());
        Screen(unsigned(demoScreen));
    }
    uint8_t screen = uint8_t(demoScreen);
    logEvent("start screen %d", int(demoScreen));
    deviceReport(statusKindScreen, &screen, 1);
}

int devicePwm() {
    return device.pwm;
}

int deviceUnitsRun() {
    return device.unitsRun;
}
