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

#include "fuzz_board.h"
#include "fuzz_start.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    HeadlessOptions options;
    options.model = 1 + data[0] % 6;
    options.angle = (data[0] >> 3 & 3) * 90;
    fuzzStart(options);
    setBoardFollowing({(data[0] & 0x20) != 0, (data[0] & 0x40) != 0, (data[0] & 0x80) != 0});
    installSerialBackend(fuzzboard::backend);
    COMopen(1, boardBaud);
    picoPort = 1;
    fuzzboard::sent.assign(data + 1, data + size);
    for (size_t rounds = 0; fuzzboard::sent.size() >= statusBlockBytes && rounds <= size; ++rounds)
        readBoardInput();
    if (fuzzboard::sent.size() >= statusBlockBytes) std::abort(); // a full block was left unread
    if (!modelInfo(Module) || Angle % 90 || Angle < 0 || Angle > 270) std::abort();
    COMclose();
    return 0;
}
