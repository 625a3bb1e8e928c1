// libFuzzer target for the board simulator's reading of the PC's stream:
// arbitrary bytes (command lines, bitmap streams, garbage) fed in arbitrary
// pieces. Besides the sanitizers it checks that the split does not matter:
// the same bytes fed in one piece must leave the same panel and take the
// same bytes. Built by fuzz/CMakeLists.txt when the compiler is clang.
//
//   cmake -S . -B build-clang -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang
//   ninja -C build-clang fuzz_board_stream
//   mkdir -p corpus && cp examples/*.txt corpus/
//   build-clang/fuzz/fuzz_board_stream -max_len=65536 -max_total_time=300 corpus
#include "boardsim/boardsim.h"
#include "module/newtft.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <vector>

namespace {
struct Outcome {
    std::vector<uint16_t> panel;
    std::vector<uint8_t> recorded;
    std::vector<uint8_t> replies;
};

Outcome run(const BoardConfig& config, const std::vector<std::vector<uint8_t>>& pieces) {
    boardStart(config);
    boardConnected(0);
    for (const std::vector<uint8_t>& piece : pieces) boardFeed(piece.data(), piece.size());
    return {panelPixelsTopDown(), boardTakeRecorded(), boardTakeReplies()};
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    BoardConfig config;
    config.model = 1; // the smallest panel: the stream reading is the same for all
    config.angle = 90 * input.ConsumeIntegralInRange<int>(0, 3);
    std::vector<std::vector<uint8_t>> pieces;
    std::vector<uint8_t> whole;
    while (input.remaining_bytes() > 0) {
        size_t length = input.ConsumeIntegralInRange<size_t>(1, 600);
        pieces.push_back(input.ConsumeBytes<uint8_t>(length));
        whole.insert(whole.end(), pieces.back().begin(), pieces.back().end());
    }
    Outcome split = run(config, pieces);
    Outcome together = run(config, {whole});
    if (split.panel != together.panel || split.recorded != together.recorded ||
        split.replies != together.replies)
        std::abort();
    if (split.recorded.size() > whole.size()) std::abort();
    return 0;
}
