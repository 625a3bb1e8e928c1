// The board link's throughput: a 230 KB bitmap stream sent with sendbuffer
// to vantorix-board on a pseudo-terminal (which reads and draws it), beside a
// raw write of the same bytes into a pseudo-terminal whose master is drained.
// The ratio of the two times is what the link costs over the bare pty.
#include "board/picolink.h"
#include "board/seriowin.h"
#include "command/bitmapload.h"
#include "headless/headless.h"
#include "support/bmp_writer.h"
#include "support/board_sim.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {
// The stream the runner sends for a 320 x 360 picture on the KP350: 230400
// bytes of 16-bit pixels plus the headers.
std::vector<uint8_t> bitmapStream() {
    HeadlessOptions options;
    options.model = 5;
    headlessStart(options);
    std::string path = (std::filesystem::temp_directory_path() /
                        ("vantorix_link_bench_" + std::to_string(::getpid()) + ".bmp"))
                           .string();
    writeFile(path, makeBmp24(320, 360, [](int x, int y) { return uint32_t(x * 977 + y * 131); }));
    uint32_t size = 0;
    uint8_t* image = prepareBitmapImage(path.c_str(), &size);
    std::filesystem::remove(path);
    std::vector<uint8_t> stream(image, image + size);
    std::free(image);
    return stream;
}

void BM_BitmapThroughTheLinkToTheSimulator(benchmark::State& state) {
    std::vector<uint8_t> stream = bitmapStream();
    boardtest::BoardSimProcess board;
    if (!board.start({"-m", "5"})) {
        state.SkipWithError("vantorix-board did not start");
        return;
    }
    installSerialBackend(systemSerialBackend());
    if (openPicoPort(COMregisterDevice(board.path().c_str())) != 1) {
        state.SkipWithError("the simulator did not answer");
        return;
    }
    for (auto _ : state) {
        if (sendbuffer(stream.data(), uint32_t(stream.size())) != stream.size()) {
            state.SkipWithError("the link failed");
            break;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(stream.size()));
    closePicoCOM();
    resetSerialLayer();
}

void BM_RawWriteIntoAPseudoTerminal(benchmark::State& state) {
    std::vector<uint8_t> stream = bitmapStream();
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    termios raw{};
    tcgetattr(master, &raw);
    cfmakeraw(&raw); // the board side reads bytes, not lines
    tcsetattr(master, TCSANOW, &raw);
    int slave = boardtest::openBoardPort(ptsname(master));
    std::atomic<bool> done{false};
    std::thread drain([&] {
        uint8_t chunk[4096];
        while (!done) {
            pollfd in{master, POLLIN, 0};
            if (poll(&in, 1, 10) > 0 && read(master, chunk, sizeof chunk) < 0) break;
        }
    });
    for (auto _ : state) boardtest::writeAll(slave, stream.data(), stream.size());
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(stream.size()));
    done = true;
    drain.join();
    close(slave);
    close(master);
}
} // namespace

BENCHMARK(BM_BitmapThroughTheLinkToTheSimulator)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RawWriteIntoAPseudoTerminal)->Unit(benchmark::kMillisecond)->UseRealTime();
