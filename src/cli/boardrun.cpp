#include "cli/boardrun.h"

#include "board/discovery.h"
#include "board/picolink.h"
#include "board/seriowin.h"
#include "board/statusblock.h"
#include "common/settings.h"
#include "panel/models.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

namespace {
constexpr auto tick = std::chrono::milliseconds(100);
constexpr auto settleStep = std::chrono::milliseconds(5);
// After the last file the board may still be sending a report it made while
// drawing; the simulator's answer comes within one of its 10 ms polls and a
// board's within a USB frame or two, so its reports count until it has been
// quiet this long (and never longer than the cap).
constexpr auto quietEnough = std::chrono::milliseconds(30);
constexpr auto settleCap = std::chrono::seconds(2);

// The reader thread sleeps a tick between reads; stopping it wakes it at once.
std::thread reader;
std::mutex readerLock; // owns readerStop
std::condition_variable readerWake;
bool readerStop = false;

void warn(const std::string& text) {
    std::fprintf(stderr, "vantorix-cli: warning: %s\n", text.c_str());
}

void readEveryTick() {
    std::unique_lock<std::mutex> lock(readerLock);
    while (!readerWake.wait_for(lock, tick, [] { return readerStop; })) {
        lock.unlock();
        if (picoPort) readBoardInput();
        lock.lock();
    }
}

BoardStart connectDevice(const std::string& device) {
    int port = COMregisterDevice(device.c_str());
    int result = port ? openPicoPort(port) : -1;
    if (result == 1) return BoardStart::connected;
    std::fprintf(stderr, "vantorix-cli: %s: %s\n", device.c_str(),
                 result < 0 ? "cannot open the board's port" : "the board does not answer");
    return BoardStart::failed;
}
} // namespace

BoardStart startBoard(const CliOptions& options) {
    if (options.port == "none") return BoardStart::none;
    installSerialBackend(systemSerialBackend());
    installDiscoverySystem(systemDiscovery());
    if (!options.bootDrive.empty()) setBootFolder(options.bootDrive.c_str());
    PWM = options.pwm;
    // A board being configured is told the module; nothing of it is followed or kept.
    if (options.configureBoard)
        setBoardFollowing({});
    else
        setBoardFollowing({options.modelGiven, options.angleGiven, options.touchGiven});
    if (options.port == "auto") {
        openPicoCOM();
        if (!picoPort) {
            if (!options.status) warn("no board found; running on the panel alone");
            return BoardStart::none;
        }
    } else if (connectDevice(options.port) != BoardStart::connected) {
        return BoardStart::failed;
    }
    readBoardInput(); // the answer to the query: the board's model and orientation
    return BoardStart::connected;
}

void startBoardReader() {
    {
        std::lock_guard<std::mutex> guard(readerLock);
        readerStop = false;
    }
    reader = std::thread(readEveryTick);
}

bool boardReaderRuns() {
    return reader.joinable();
}

void stopBoardReader() {
    if (!reader.joinable()) return;
    {
        std::lock_guard<std::mutex> guard(readerLock);
        readerStop = true;
    }
    readerWake.notify_all();
    reader.join();
}

void finishBoard() {
    stopBoardReader();
    auto start = std::chrono::steady_clock::now();
    auto lastReport = start;
    while (picoPort) {
        auto now = std::chrono::steady_clock::now();
        if (readBoardInput()) lastReport = now;
        if (now - lastReport >= quietEnough || now - start >= settleCap) break;
        std::this_thread::sleep_for(settleStep);
    }
    if (picoPort || boardLinkLost()) closePicoCOM();
}

int configureBoard(BoardStart board, const CliOptions& options) {
    if (board != BoardStart::connected) {
        std::fputs("vantorix-cli: no board found\n", stderr);
        return 1;
    }
    char message[32];
    int length = std::snprintf(message, sizeof message,
                               "\x1b"
                               "C%d,%d,%d\n",
                               options.model, options.touch ? 1 : 0, options.angle);
    int answered = COMwrblk(message, length) ? 0 : -1;
    auto start = std::chrono::steady_clock::now();
    while (answered == 0 && std::chrono::steady_clock::now() - start < settleCap) {
        answered = readBoardInput();
        std::this_thread::sleep_for(settleStep);
    }
    if (answered <= 0) {
        std::fputs("vantorix-cli: the board did not answer the configuration\n", stderr);
        finishBoard();
        return 1;
    }
    std::fputs(boardStatusText().c_str(), stdout);
    int taken = (lastStatusBlock()[3] & followBits) == options.model;
    finishBoard();
    if (!taken) std::fputs("vantorix-cli: the board did not take the configuration\n", stderr);
    return taken ? 0 : 1;
}

std::string boardStatusText() {
    const uint8_t* block = lastStatusBlock();
    if (!block[0]) return {}; // nothing it sent began as a status block does
    int configuration = block[3];
    int model = configuration & followBits;
    const ModelInfo* info = modelInfo(model);
    char text[512];
    std::snprintf(text, sizeof text,
                  "firmware: %4.2f%s\nprocessor: %s\nmodel: %d%s%s\norientation: %d\ntouch: %s\n",
                  block[2] / 100.0, block[2] >= 200 ? " (Talvoren)" : "",
                  (configuration & processorBit) ? "RP2350" : "RP2040", model, info ? " " : "",
                  info         ? info->name
                  : model == 0 ? " (not configured)"
                               : "",
                  ((configuration >> orientationShift) & 3) * 90,
                  (configuration >> touchShift) ? "on" : "off");
    return text;
}
