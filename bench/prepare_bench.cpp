// Loading and fitting big pictures, beside stb as the peer in the same run.
#include "command/bitmapload.h"
#include "headless/headless.h"
#include "image/dib.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#if __has_include(<stb/stb_image.h>)
#include <stb/stb_image.h>
#include <stb/stb_image_resize.h>
#define HAVE_STB 1
#endif

namespace {
// A 4000 x 3000 24-bit photo-like picture, written once per run.
const std::string& bigPicture() {
    static std::string path;
    if (!path.empty()) return path;
    path = (std::filesystem::temp_directory_path() / "vantorix_bench_4000x3000.bmp").string();
    const int width = 4000, height = 3000, rowBytes = width * 3;
    std::vector<uint8_t> file(54 + size_t(rowBytes) * height);
    auto put = [&](size_t at, uint32_t v, int n) {
        for (int i = 0; i < n; ++i) file[at + i] = uint8_t(v >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put(2, uint32_t(file.size()), 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, width, 4);
    put(22, height, 4);
    put(26, 1, 2);
    put(28, 24, 2);
    uint32_t noise = 12345;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            noise = noise * 1103515245u + 12345u;
            uint8_t* p = &file[54 + size_t(y) * rowBytes + 3 * size_t(x)];
            p[0] = uint8_t((x * 255 / width + (noise >> 28)) & 0xFF);
            p[1] = uint8_t((y * 255 / height) ^ (x & 0x3F));
            p[2] = uint8_t(((x + y) / 27) & 0xFF);
        }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    return path;
}

void BM_LoadBmp_Vantorix(benchmark::State& state) {
    const std::string& path = bigPicture();
    static MultiDIB list;
    for (auto _ : state) {
        int ok = LoadDIB(&list, path.c_str());
        benchmark::DoNotOptimize(ok);
        MultiDibFree(&list);
        if (!ok) state.SkipWithError("LoadDIB failed");
    }
}
BENCHMARK(BM_LoadBmp_Vantorix)->Unit(benchmark::kMillisecond);

void BM_FitToPanel_Vantorix(benchmark::State& state) {
    const std::string& path = bigPicture();
    HeadlessOptions options;
    options.model = 5; // 320 x 480
    headlessStart(options);
    for (auto _ : state) {
        uint32_t size = 0;
        uint8_t* image = prepareBitmapImage(path.c_str(), &size);
        if (!image) state.SkipWithError("prepareBitmapImage failed");
        benchmark::DoNotOptimize(image);
        std::free(image);
    }
}
BENCHMARK(BM_FitToPanel_Vantorix)->Unit(benchmark::kMillisecond);

#ifdef HAVE_STB
void BM_LoadBmp_Stb(benchmark::State& state) {
    const std::string& path = bigPicture();
    for (auto _ : state) {
        int w, h, n;
        unsigned char* pixels = stbi_load(path.c_str(), &w, &h, &n, 3);
        benchmark::DoNotOptimize(pixels);
        stbi_image_free(pixels);
    }
}
BENCHMARK(BM_LoadBmp_Stb)->Unit(benchmark::kMillisecond);

// The peer for fitting: stb loads and scales to the same size (no dithering).
void BM_FitToPanel_Stb(benchmark::State& state) {
    const std::string& path = bigPicture();
    std::vector<unsigned char> out(320 * 240 * 3);
    for (auto _ : state) {
        int w, h, n;
        unsigned char* pixels = stbi_load(path.c_str(), &w, &h, &n, 3);
        stbir_resize_uint8(pixels, w, h, 0, out.data(), 320, 240, 0, 3);
        benchmark::DoNotOptimize(out.data());
        stbi_image_free(pixels);
    }
}
BENCHMARK(BM_FitToPanel_Stb)->Unit(benchmark::kMillisecond);
#endif
} // namespace
