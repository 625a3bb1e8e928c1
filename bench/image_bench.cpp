// Colour-depth conversion and averaging resize on the sizes the panels see,
// each beside a plain peer in the same run: a straight RGB565 loop for the
// dithered conversions and stb's box filter for the resize.
#include "image/dib.h"

#include <benchmark/benchmark.h>

#include <cstdio>

#include <string>

#include <filesystem>

#include <cstdlib>
#include <cstring>

#if __has_include(<stb/stb_image_resize.h>)
#include <stb/stb_image_resize.h>
#define HAVE_STB_RESIZE 1
#endif

namespace {

uint32_t rowBytes24(int w) {
    return uint32_t(((w * 24 + 31) / 32) * 4);
}

// A photo-like 24-bit picture: smooth gradients, a few edges and some noise.
DIB photo(int w, int h) {
    uint32_t line = rowBytes24(w), size = 40 + line * uint32_t(h);
    uint8_t* m = static_cast<uint8_t*>(calloc(1, size));
    wrLE32(m + BI_SIZE, 40);
    wrLE32(m + BI_WIDTH, uint32_t(w));
    wrLE32(m + BI_HEIGHT, uint32_t(h));
    wrLE16(m + BI_PLANES, 1);
    wrLE16(m + BI_BITCOUNT, 24);
    wrLE32(m + BI_SIZEIMAGE, line * uint32_t(h));
    uint32_t noise = 12345;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            noise = noise * 1103515245u + 12345u;
            uint8_t* p = m + 40 + size_t(y) * line + 3 * size_t(x);
            int n = int(noise >> 28);
            p[0] = uint8_t((x * 255 / w + n) & 0xFF);
            p[1] = uint8_t(((y * 255 / h) ^ (x & 0x3F)) + (x > w / 2 ? 40 : 0));
            p[2] = uint8_t((((x + y) * 200) / (w + h) + n) & 0xFF);
        }
    DIB d{};
    d.mem = m;
    d.memSize = size;
    d.numColors = 16777216;
    d.lineBytes = int32_t(line);
    d.bmih = m;
    d.palette = m + 40;
    d.bits = m + 40;
    return d;
}

// A fresh copy for each iteration: the conversions replace the block.
DIB copyOf(const DIB& s) {
    DIB d = s;
    d.mem = static_cast<uint8_t*>(malloc(s.memSize));
    memcpy(d.mem, s.mem, s.memSize);
    d.bmih = d.mem;
    d.palette = d.mem + (s.palette - s.mem);
    d.bits = d.mem + (s.bits - s.mem);
    return d;
}

const DIB& photo480() {
    static DIB d = photo(480, 320);
    return d;
}

const DIB& photo480as16() {
    static DIB d = [] {
        DIB c = copyOf(photo480());
        ChangeDIBto16Bit(&c, 1);
        return c;
    }();
    return d;
}

void BM_To16Bit_Dither_Vantorix(benchmark::State& state) {
    for (auto _ : state) {
        DIB d = copyOf(photo480());
        int ok = ChangeDIBto16Bit(&d, 1);
        benchmark::DoNotOptimize(ok);
        free(d.mem);
    }
}
BENCHMARK(BM_To16Bit_Dither_Vantorix)->Unit(benchmark::kMillisecond);

void BM_To16Bit_Plain_Vantorix(benchmark::State& state) {
    for (auto _ : state) {
        DIB d = copyOf(photo480());
        int ok = ChangeDIBto16Bit(&d, 0);
        benchmark::DoNotOptimize(ok);
        free(d.mem);
    }
}
BENCHMARK(BM_To16Bit_Plain_Vantorix)->Unit(benchmark::kMillisecond);

// Peer: the same copy, a new block and a straight reduction loop with nothing
// else around it -- the floor any 16-bit conversion can reach.
void BM_To16Bit_StraightLoop(benchmark::State& state) {
    const DIB& s = photo480();
    const int w = 480, h = 320;
    const uint32_t line16 = uint32_t(((w * 16 + 31) / 32) * 4);
    for (auto _ : state) {
        DIB d = copyOf(s);
        uint8_t* out = static_cast<uint8_t*>(calloc(1, 52 + size_t(line16) * h));
        for (int y = 0; y < h; y++) {
            const uint8_t* p = d.bits + size_t(y) * uint32_t(d.lineBytes);
            uint8_t* o = out + 52 + size_t(y) * line16;
            for (int x = 0; x < w; x++, p += 3)
                wrLE16(o + 2 * x, uint16_t(((p[2] >> 3) << 11) | ((p[1] >> 2) << 5) | (p[0] >> 3)));
        }
        benchmark::DoNotOptimize(out);
        free(out);
        free(d.mem);
    }
}
BENCHMARK(BM_To16Bit_StraightLoop)->Unit(benchmark::kMillisecond);

// The 8-bit path as the bitmap stream uses it: from the dithered RGB565
// picture, palette gathered at RGB565 precision.
void BM_To8Bit_Vantorix(benchmark::State& state) {
    for (auto _ : state) {
        DIB d = copyOf(photo480as16());
        int ok = ChangeDIBto8Bit(&d, 16);
        benchmark::DoNotOptimize(ok);
        free(d.mem);
    }
}
BENCHMARK(BM_To8Bit_Vantorix)->Unit(benchmark::kMillisecond);

// Peer: ImageMagick's convert reducing the same RGB565 picture to 256 colours
// with Floyd-Steinberg dithering, run as a process (its start-up included).
void BM_To8Bit_ImageMagickConvert(benchmark::State& state) {
    if (std::system("command -v convert >/dev/null 2>&1") != 0) {
        state.SkipWithError("ImageMagick's convert is not installed");
        return;
    }
    std::string dir = std::filesystem::temp_directory_path().string();
    std::string in = dir + "/vantorix_bench_rgb565.bmp", out = dir + "/vantorix_bench_8bit.bmp";
    const DIB& picture = photo480as16();
    FILE* f = fopen(in.c_str(), "wb");
    if (!f) {
        state.SkipWithError("cannot write the input picture");
        return;
    }
    uint8_t header[14] = {'B', 'M'};
    wrLE32(header + 2, 14 + picture.memSize);
    wrLE32(header + 10, 14 + picture.memSize - rdLE32(picture.bmih + BI_SIZEIMAGE));
    fwrite(header, 1, sizeof header, f);
    fwrite(picture.mem, 1, picture.memSize, f);
    fclose(f);
    std::string command =
        "convert " + in + " -dither FloydSteinberg -colors 256 BMP3:" + out + " >/dev/null 2>&1";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0) state.SkipWithError("convert failed");
}
BENCHMARK(BM_To8Bit_ImageMagickConvert)->Unit(benchmark::kMillisecond);

void BM_Halftone1920x1080To480x270_Vantorix(benchmark::State& state) {
    static DIB big = photo(1920, 1080);
    for (auto _ : state) {
        DIB d = copyOf(big);
        int ok = HalftoneResizeDIB(&d, 480, 270, 1);
        benchmark::DoNotOptimize(ok);
        free(d.mem);
    }
}
BENCHMARK(BM_Halftone1920x1080To480x270_Vantorix)->Unit(benchmark::kMillisecond);

#ifdef HAVE_STB_RESIZE
// Peer: stb's box filter on the same rows (linear colour space, no alpha),
// with the same per-iteration copy.
void BM_Box1920x1080To480x270_Stb(benchmark::State& state) {
    static DIB big = photo(1920, 1080);
    const uint32_t outLine = rowBytes24(480);
    for (auto _ : state) {
        DIB d = copyOf(big);
        uint8_t* out = static_cast<uint8_t*>(calloc(1, 40 + size_t(outLine) * 270));
        int ok = stbir_resize_uint8_generic(d.bits, 1920, 1080, d.lineBytes, out + 40, 480, 270,
                                            int(outLine), 3, STBIR_ALPHA_CHANNEL_NONE, 0,
                                            STBIR_EDGE_CLAMP, STBIR_FILTER_BOX,
                                            STBIR_COLORSPACE_LINEAR, nullptr);
        benchmark::DoNotOptimize(ok);
        free(out);
        free(d.mem);
    }
}
BENCHMARK(BM_Box1920x1080To480x270_Stb)->Unit(benchmark::kMillisecond);
#endif

} // namespace
