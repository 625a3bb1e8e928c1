#include "boardsim/boardsim.h"

#include "command/reader.h"
#include "command/sendfile.h"
#include "common/settings.h"
#include "headless/headless.h"
#include "image/dib.h"
#include "module/newtft.h"
#include "panel/models.h"
#include "panel/zr_tft.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

namespace {
constexpr uint8_t ESC = 0x1B;
constexpr char rawBitmapPosition[] = "#BM0,0,"; // a stream without prefix lands at 0,0
constexpr size_t bmpSizeFieldEnd = 6;           // "BM" + 32-bit file size
constexpr uint32_t smallestBitmap = 14 + 40;
constexpr int touchMarkRed = 0xF800, touchMarkGreen = 0x07E0, touchMarkWhite = 0xFFFF;

enum class Stream {
    LineStart,    // nothing of the next unit yet
    Line,         // a command line up to its LF
    RawBitmapB,   // a "B" at the start of a line: a bitmap stream if "M" follows
    BitmapPrefix, // "#BM" and its position, looking for the bitmap's "BM"
    BitmapImage,  // the BMP file image, counted by its size field
    SkipLine,     // the rest of a line that is not executed
};

// All of the simulated board's state, in one place that boardStart resets.
struct Board {
    BoardConfig config;
    Stream stream = Stream::LineStart;
    std::string unit;          // the bytes of the command or bitmap being received
    size_t syntheticBytes = 0; // position text added in front of a bitmap stream without one
    size_t imageAt = 0;        // where the bitmap's "BM" stands in unit
    std::vector<uint8_t> replies;
    std::vector<uint8_t> recorded;
    int pwm = -1;
    int unitsRun = 0;
    bool connected = false;
    uint64_t connectedAtMs = 0;
    size_t nextTouch = 0;
    bool demoWasOn = false;
    uint64_t lastDemoStepMs = 0;
    uint64_t lastSwitchMs = 0;
};
Board board;

void logEvent(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logEvent(const char* format, ...) {
    if (!board.config.verbose) return;
    va_list args;
    va_start(args, format);
    std::fputs("vantorix-board: ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    va_end(args);
}

// Letters of a command compare with bit 5 cleared, as the interpreter does.
bool isLetter(char c, char upper) {
    return (static_cast<unsigned char>(c) & 0xDF) == static_cast<unsigned char>(upper);
}

void record(const char* data, size_t length) {
    board.recorded.insert(board.recorded.end(), data, data + length);
}

void recordUnit() {
    if (board.unit.size() > board.syntheticBytes)
        record(board.unit.data() + board.syntheticBytes, board.unit.size() - board.syntheticBytes);
}

void clearUnit(Stream next) {
    board.unit.clear();
    board.syntheticBytes = 0;
    board.imageAt = 0;
    board.stream = next;
}

void sendStatus(uint8_t kind, const uint8_t* extra, size_t extraLength) {
    if (!board.connected) return; // nobody would read it; a later PC would get it stale
    uint8_t block[4];
    boardStatusBlock(kind, block);
    board.replies.insert(board.replies.end(), block, block + 4);
    board.replies.insert(board.replies.end(), extra, extra + extraLength);
}

// The core runs the unit as the PC's interpreter ran it; its terminating NUL
// comes from the string.
void runUnit() {
    TFTcommandOut(board.unit.c_str(), board.unit.size());
    ++board.unitsRun;
}

void finishLine() {
    const std::string& line = board.unit;
    if (line[0] == char(ESC) && line.size() > 1 && line[1] == '?') {
        logEvent("status query");
        sendStatus(statusKindQuery, nullptr, 0);
    } else if (line[0] == char(ESC) && line.size() > 1 && isLetter(line[1], 'P')) {
        const char* p = line.c_str() + 2;
        board.pwm = getnextvalue(&p);
        logEvent("PWM %d", board.pwm);
    } else {
        recordUnit();
        // Only lines that begin with a command run; a "#BM" never gets here,
        // so a file name sent to the board is never opened on this machine.
        if (line[0] == '#' || line[0] == char(ESC)) runUnit();
    }
    clearUnit(Stream::LineStart);
}

void feedByte(uint8_t byte);

// The unit is not a bitmap: it is dropped up to `stop`, and the bytes behind
// it are read again as the rest of a line that is skipped.
void abandonBitmap(size_t stop) {
    std::string tail = board.unit.substr(stop + 1);
    board.unit.resize(stop + 1);
    recordUnit();
    logEvent("a bitmap command without a bitmap is skipped");
    clearUnit(Stream::SkipLine);
    for (char c : tail) feedByte(uint8_t(c));
}

enum class PrefixScan { NeedMore, Found, NotBitmap };

// Reads the position the way the interpreter does and then looks for what
// follows it; `at` receives where the search stopped.
PrefixScan scanBitmapPrefix(size_t& at) {
    const char* text = board.unit.c_str();
    const char* end = text + board.unit.size();
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

void continueBitmapPrefix() {
    size_t at = 0;
    switch (scanBitmapPrefix(at)) {
    case PrefixScan::NeedMore:
        if (board.unit.size() > boardMaxBitmapPrefix) abandonBitmap(board.unit.size() - 1);
        return;
    case PrefixScan::NotBitmap:
        abandonBitmap(at);
        return;
    case PrefixScan::Found:
        board.imageAt = at;
        board.stream = Stream::BitmapImage;
        return;
    }
}

uint32_t bitmapFileSize() {
    return rdLE32(reinterpret_cast<const uint8_t*>(board.unit.data()) + board.imageAt + 2);
}

void finishBitmap() {
    recordUnit();
    runUnit();
    clearUnit(Stream::LineStart);
}

// Takes as many bytes as the bitmap still needs; returns how many it took.
size_t feedBitmapImage(const uint8_t* data, size_t length) {
    size_t have = board.unit.size() - board.imageAt;
    if (have < bmpSizeFieldEnd) {
        size_t take = std::min(length, bmpSizeFieldEnd - have);
        board.unit.append(reinterpret_cast<const char*>(data), take);
        if (have + take == bmpSizeFieldEnd) {
            uint32_t size = bitmapFileSize();
            if (size < smallestBitmap || size > boardMaxBitmap) {
                abandonBitmap(board.imageAt);
                return take;
            }
            board.unit.reserve(board.imageAt + size + 1);
        }
        return take;
    }
    size_t need = board.imageAt + bitmapFileSize() - board.unit.size();
    size_t take = std::min(length, need);
    board.unit.append(reinterpret_cast<const char*>(data), take);
    if (take == need) finishBitmap();
    return take;
}

void startUnit(uint8_t byte) {
    if (byte == '\n') {
        record("\n", 1);
        return;
    }
    board.unit.push_back(char(byte));
    board.stream = byte == 'B' ? Stream::RawBitmapB : Stream::Line;
}

void continueLine(uint8_t byte) {
    if (board.unit.size() < boardMaxLine) board.unit.push_back(char(byte));
    if (byte == '\n') {
        if (board.unit.back() != '\n') board.unit.back() = '\n'; // a cut line still ends here
        finishLine();
        return;
    }
    const std::string& u = board.unit;
    if (u.size() == 3 && u[0] == '#' && isLetter(u[1], 'B') && isLetter(u[2], 'M'))
        board.stream = Stream::BitmapPrefix;
}

void continueRawBitmap(uint8_t byte) {
    if (byte == 'M') {
        board.unit = std::string(rawBitmapPosition) + "BM";
        board.syntheticBytes = sizeof rawBitmapPosition - 1;
        board.imageAt = board.syntheticBytes;
        board.stream = Stream::BitmapImage;
        return;
    }
    board.stream = Stream::Line;
    continueLine(byte);
}

void feedByte(uint8_t byte) {
    switch (board.stream) {
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
        board.unit.push_back(char(byte));
        continueBitmapPrefix();
        break;
    case Stream::BitmapImage:
        feedBitmapImage(&byte, 1);
        break;
    case Stream::SkipLine:
        record(reinterpret_cast<const char*>(&byte), 1);
        if (byte == '\n') board.stream = Stream::LineStart;
        break;
    }
}

// ---- timed work ----
void drawTouchMark(const TouchStep& step) {
    PanelGuard guard(panelLock());
    int x = step.x, y = step.y;
    // The same marks and clamping as the PC's panel, so that both stay equal.
    if (x < 1) x = 1;
    if (y < 1) y = 1;
    if (x >= TFTwidth - 1) x = TFTwidth - 1;
    if (y >= TFTheight - 1) y = TFTheight - 1;
    if (step.event == 1 || step.event == 2) {
        uint16_t colour = step.event == 1 ? touchMarkRed : touchMarkGreen;
        TFTfill(colour, int16_t(x - 1), int16_t(y - 1), int16_t(x + 1), int16_t(y + 1));
    } else if (step.event == 4) {
        TFTfill(touchMarkWhite, int16_t(x), int16_t(y), int16_t(x), int16_t(y));
    }
}

void runTouchScript(uint64_t nowMs) {
    const std::vector<TouchStep>& script = board.config.touchScript;
    while (board.connected && board.nextTouch < script.size() &&
           nowMs - board.connectedAtMs >= script[board.nextTouch].atMs) {
        const TouchStep& step = script[board.nextTouch++];
        drawTouchMark(step);
        uint8_t report[5] = {step.event, uint8_t(step.x), uint8_t(step.x >> 8), uint8_t(step.y),
                             uint8_t(step.y >> 8)};
        logEvent("touch %d at %d,%d", step.event, step.x, step.y);
        sendStatus(statusKindTouch, report, sizeof report);
    }
}

bool demoSteps() {
    return board.config.demoSeconds > 0 && Demo && demoScreen >= 1 && demoScreen <= 3;
}

void stepDemo(uint64_t nowMs) {
    bool on = demoSteps();
    if (on && !board.demoWasOn) board.lastDemoStepMs = nowMs; // a full period on each screen
    board.demoWasOn = on;
    if (!on || nowMs - board.lastDemoStepMs < uint64_t(board.config.demoSeconds) * 1000) return;
    board.lastDemoStepMs = nowMs;
    demoScreen = demoScreen % 3 + 1;
    {
        PanelGuard guard(panelLock());
        Screen(unsigned(demoScreen));
    }
    uint8_t screen = uint8_t(demoScreen);
    logEvent("start screen %d", demoScreen);
    sendStatus(statusKindScreen, &screen, 1);
}

// A module that changes under the PC's feet: a quarter turn each time, and
// after a full turn the next model. The panel is rebuilt as the PC rebuilds
// its own when it follows, and the new configuration is reported.
void switchModule(uint64_t nowMs) {
    if (board.config.switchEveryMs <= 0 || !board.connected) return;
    if (nowMs - board.lastSwitchMs < uint64_t(board.config.switchEveryMs)) return;
    board.lastSwitchMs = nowMs;
    {
        PanelGuard guard(panelLock());
        Angle = (Angle + 90) % 360;
        if (Angle == 0) Module = Module % modelCount + 1;
        if (!modelInfo(Module)->hasTouchOption) Touch = 0;
        NewTFT(0);
    }
    logEvent("switched to model %d at %d degrees", int(Module), int(Angle));
    sendStatus(statusKindQuery, nullptr, 0);
}
} // namespace

void boardStart(const BoardConfig& config) {
    board = Board{};
    board.config = config;
    HeadlessOptions panel;
    panel.model = config.model;
    panel.angle = config.angle;
    panel.touch = config.touch;
    headlessStart(panel); // no board bytes: the simulator forwards nothing
    if (config.demoSeconds > 0) {
        PanelGuard guard(panelLock());
        demoScreen = 1;
        Demo = 1;
        Screen(1);
    }
}

void boardFeed(const uint8_t* data, size_t length) {
    size_t i = 0;
    while (i < length) {
        if (board.stream == Stream::BitmapImage)
            i += feedBitmapImage(data + i, length - i);
        else
            feedByte(data[i++]);
    }
}

void boardConnected(uint64_t nowMs) {
    board.connected = true;
    board.connectedAtMs = nowMs;
    board.lastSwitchMs = nowMs;
    board.nextTouch = 0;
    logEvent("connected");
}

void boardDisconnected() {
    if (!board.unit.empty()) {
        recordUnit();
        logEvent("connection closed in the middle of a command; it is dropped");
    }
    clearUnit(Stream::LineStart);
    board.connected = false;
    board.replies.clear();
    logEvent("disconnected");
}

void boardTick(uint64_t nowMs) {
    switchModule(nowMs);
    stepDemo(nowMs);
    runTouchScript(nowMs);
}

std::vector<uint8_t> boardTakeReplies() {
    std::vector<uint8_t> out;
    out.swap(board.replies);
    return out;
}

std::vector<uint8_t> boardTakeRecorded() {
    std::vector<uint8_t> out;
    out.swap(board.recorded);
    return out;
}

void boardStatusBlock(uint8_t kind, uint8_t block[4]) {
    int quarterTurns = (Angle / 90) & 3;
    block[0] = statusLead;
    block[1] = kind;
    block[2] = uint8_t(board.config.firmwareVersion);
    block[3] = uint8_t((Touch ? configTouchBit : 0) | (quarterTurns << configAngleShift) |
                       (board.config.pico2 ? configProcessorBit : 0) | (Module & configModelMask));
}

int boardPwm() {
    return board.pwm;
}

int boardUnitsRun() {
    return board.unitsRun;
}

const BoardConfig& boardConfig() {
    return board.config;
}
