// Fills on the 3.5" panel (320 x 480) through the command interpreter, each
// beside memset of the same bytes in the same run: a full-panel "#DF" against
// one memset of the frame memory, and a file of 10000 random "#FA" rectangles
// against a memset of each rectangle's rows.
#include "command/sendfile.h"
#include "panel/zr_tft.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {
constexpr int panelModel = 5;

struct Rect {
    int x1, y1, x2, y2;
};

std::vector<uint16_t>& panelMemory() {
    static std::vector<uint16_t> pixels;
    return pixels;
}

void startPanel() {
    resetPanelState();
    TFTinit(panelModel);
    setTFTangle(0);
    panelMemory().assign(size_t(TFTwidth) * TFTheight, 0);
    setFrameMem(panelMemory().data(), uint32_t(panelMemory().size()));
}

// 10000 rectangles anywhere on the panel, corners in any order, as the
// interpreter clips them (the peer writes exactly the same pixels).
const std::vector<Rect>& randomRects() {
    static std::vector<Rect> rects = [] {
        std::mt19937 random(20240611);
        std::uniform_int_distribution<int> x(0, 319), y(0, 479);
        std::vector<Rect> list;
        for (int i = 0; i < 10000; ++i) {
            int a = x(random), b = x(random), c = y(random), d = y(random);
            list.push_back({std::min(a, b), std::min(c, d), std::max(a, b), std::max(c, d)});
        }
        return list;
    }();
    return rects;
}

const std::string& randomRectFile() {
    static std::string text = [] {
        std::string t;
        char line[64];
        int n = 0;
        for (const Rect& r : randomRects()) {
            std::snprintf(line, sizeof line, "#FA %d,%d,%d,%d,%d,%d,%d\n", n % 256, (n * 7) % 256,
                          (n * 13) % 256, r.x1, r.y1, r.x2, r.y2);
            t += line;
            ++n;
        }
        return t;
    }();
    return text;
}

int64_t randomRectBytes() {
    int64_t bytes = 0;
    for (const Rect& r : randomRects()) bytes += int64_t(r.x2 - r.x1 + 1) * (r.y2 - r.y1 + 1) * 2;
    return bytes;
}

void BM_FullPanelFill_Interpreter(benchmark::State& state) {
    startPanel();
    int colour = 0;
    char command[32];
    for (auto _ : state) {
        std::snprintf(command, sizeof command, "#DF %d,0,0", colour++ & 0xFF);
        TFTcommandOut(command);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(panelMemory().size()) * 2);
    resetPanelState();
}
BENCHMARK(BM_FullPanelFill_Interpreter);

void BM_FullPanelFill_Memset(benchmark::State& state) {
    startPanel();
    int colour = 0;
    for (auto _ : state) {
        std::memset(panelMemory().data(), colour++ & 0xFF, panelMemory().size() * 2);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(panelMemory().size()) * 2);
    resetPanelState();
}
BENCHMARK(BM_FullPanelFill_Memset);

void BM_RandomRects_Interpreter(benchmark::State& state) {
    startPanel();
    const std::string& text = randomRectFile();
    for (auto _ : state) {
        TFTcommandOut(text.c_str(), text.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * randomRectBytes());
    resetPanelState();
}
BENCHMARK(BM_RandomRects_Interpreter)->Unit(benchmark::kMillisecond);

void BM_RandomRects_Memset(benchmark::State& state) {
    startPanel();
    uint8_t* memory = reinterpret_cast<uint8_t*>(panelMemory().data());
    const size_t width = size_t(TFTwidth);
    int n = 0;
    for (auto _ : state) {
        for (const Rect& r : randomRects()) {
            size_t rowBytes = size_t(r.x2 - r.x1 + 1) * 2;
            for (int y = r.y1; y <= r.y2; ++y)
                std::memset(memory + 2 * (width * size_t(TFTheight - 1 - y) + size_t(r.x1)),
                            n & 0xFF, rowBytes);
            ++n;
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * randomRectBytes());
    resetPanelState();
}
BENCHMARK(BM_RandomRects_Memset)->Unit(benchmark::kMillisecond);
} // namespace
