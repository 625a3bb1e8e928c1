// libFuzzer target for what comes back from a board: arbitrary bytes read
// as status blocks, screen numbers and touch reports, and handled on a
// headless panel. Checks besides the sanitizers: the whole input is taken
// (nothing waits forever in the queue) and the settings stay in range.
// Built by fuzz/CMakeLists.txt when the compiler is clang.
//
//   ninja -C build-clang fuzz_status_blocks
//   build-clang/fuzz/fuzz_status_blocks -max_len=4096 -max_total_time=300
#include "board/picolink.h"
#include "board/seriowin.h"
#include "board/statusblock.h"
#include "common/settings.h"
#include "headless/headless.h"
#include "panel/models.h"

#include <cstdlib>
#include <cstring>
#include <deque>

namespace {
std::deque<uint8_t> input;
uint32_t nowMs = 0;

int openPort(int, int, intptr_t* handle) {
    *handle = 1;
    return 1;
}
void closePort(intptr_t) {}
int waiting(intptr_t) {
    return int(input.size());
}
int readBytes(intptr_t, void* buffer, int count) {
    int n = 0;
    for (; n < count && !input.empty(); ++n) {
        static_cast<uint8_t*>(buffer)[n] = input.front();
        input.pop_front();
    }
    return n;
}
int writeBytes(intptr_t, const void*, int count) {
    return count;
}
uint32_t milliseconds() {
    return nowMs;
}
void sleepMs(int ms) {
    nowMs += uint32_t(ms); // time passes without waiting
}
void portName(int port, char* out, int size) {
    std::snprintf(out, size_t(size), "COM%d", port);
}
const SerialBackend queueBackend{openPort,   closePort,    waiting, readBytes,
                                 writeBytes, milliseconds, sleepMs, portName};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    HeadlessOptions options;
    options.model = 1 + data[0] % 6;
    options.angle = (data[0] >> 3 & 3) * 90;
    headlessStart(options);
    setBoardFollowing({(data[0] & 0x20) != 0, (data[0] & 0x40) != 0, (data[0] & 0x80) != 0});
    installSerialBackend(queueBackend);
    COMopen(1, boardBaud);
    picoPort = 1;
    input.assign(data + 1, data + size);
    for (size_t rounds = 0; input.size() >= statusBlockBytes && rounds <= size; ++rounds)
        readBoardInput();
    if (input.size() >= statusBlockBytes) std::abort(); // a full block was left unread
    if (!modelInfo(Module) || Angle % 90 || Angle < 0 || Angle > 270) std::abort();
    COMclose();
    return 0;
}
