// The PNG, GIF and JPEG readers beside their usual peers on the same files:
// libpng's simplified API, giflib's DGifSlurp and libjpeg-turbo used directly.
// Each pair reads the same large picture from the same file.
#include "image/dib.h"
#include "image/gif_internal.h"

#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <unistd.h>

#if __has_include(<gif_lib.h>)
#include <gif_lib.h>
#define HAVE_GIFLIB_HEADER 1
#endif

namespace {

constexpr int kW = 1600, kH = 1200;

std::string benchPath(const char* name) {
    return "/tmp/vantorix_readers_bench_" + std::to_string(getpid()) + "_" + name;
}

struct Files {
    std::vector<std::string> made;
    ~Files() {
        for (const std::string& p : made) remove(p.c_str());
    }
};
Files files;

// Photo-like samples: gradients, edges and a little noise.
uint8_t sample(int x, int y, int c, uint32_t& noise) {
    noise = noise * 1103515245u + 12345u;
    int n = int(noise >> 29);
    switch (c) {
    case 0:
        return uint8_t(x * 255 / kW + n);
    case 1:
        return uint8_t(((y * 255 / kH) ^ (x & 0x3F)) + (x > kW / 2 ? 40 : 0));
    case 2:
        return uint8_t(((x + y) * 200) / (kW + kH) + n);
    default:
        return uint8_t((x / 40 + y / 40) % 5 == 0 ? 0 : 255); // alpha
    }
}

std::string writePng(const char* name, int type, bool interlace) {
    std::string path = benchPath(name);
    FILE* f = fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_IHDR(png, info, kW, kH, 8, type, interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    int ch = type == 2 ? 3 : type == 6 ? 4 : 1;
    png_color pal[256];
    if (type == 3) {
        for (int i = 0; i < 256; i++)
            pal[i] = png_color{uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)};
        png_set_PLTE(png, info, pal, 256);
    }
    png_write_info(png, info);
    if (interlace) png_set_interlace_handling(png);
    std::vector<uint8_t> pixels(size_t(kW) * kH * ch);
    uint32_t noise = 7;
    for (int y = 0; y < kH; y++)
        for (int x = 0; x < kW; x++)
            for (int c = 0; c < ch; c++)
                pixels[(size_t(y) * kW + x) * ch + c] =
                    ch == 1 ? uint8_t((x / 3 + y / 5) ^ (noise & 3)) : sample(x, y, c, noise);
    std::vector<png_bytep> rows(kH);
    for (int y = 0; y < kH; y++) rows[y] = pixels.data() + size_t(y) * kW * ch;
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    fclose(f);
    files.made.push_back(path);
    return path;
}

std::string writeJpeg(const char* name) {
    std::string path = benchPath(name);
    FILE* f = fopen(path.c_str(), "wb");
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = kW;
    c.image_height = kH;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 85, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row(size_t(kW) * 3);
    uint32_t noise = 3;
    while (c.next_scanline < c.image_height) {
        for (int x = 0; x < kW; x++)
            for (int k = 0; k < 3; k++)
                row[size_t(x) * 3 + k] = sample(x, int(c.next_scanline), k, noise);
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    fclose(f);
    files.made.push_back(path);
    return path;
}

void ourLoad(benchmark::State& state, const std::string& path) {
    MultiDIB* list = static_cast<MultiDIB*>(calloc(1, sizeof(MultiDIB)));
    for (auto _ : state) {
        if (!LoadDIB(list, path.c_str())) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(list->slot[1].bits);
        MultiDibFree(list);
    }
    free(list);
}

struct PngCase {
    const char* name;
    int type;
    bool interlace;
    uint32_t format;
};
const PngCase kPng[] = {
    {"rgb.png", 2, false, PNG_FORMAT_BGR},
    {"rgba.png", 6, false, PNG_FORMAT_BGRA},
    {"grey.png", 0, false, PNG_FORMAT_GRAY},
    {"palette.png", 3, false, PNG_FORMAT_BGR | PNG_FORMAT_FLAG_COLORMAP},
    {"rgb_adam7.png", 2, true, PNG_FORMAT_BGR},
};

const std::string& pngFile(int i) {
    static std::string paths[5];
    if (paths[i].empty()) paths[i] = writePng(kPng[i].name, kPng[i].type, kPng[i].interlace);
    return paths[i];
}

void BM_LoadPNG(benchmark::State& state) {
    ourLoad(state, pngFile(int(state.range(0))));
    state.SetLabel(kPng[state.range(0)].name);
}

void BM_LibpngSimplified(benchmark::State& state) {
    const PngCase& c = kPng[state.range(0)];
    const std::string& path = pngFile(int(state.range(0)));
    for (auto _ : state) {
        png_image image;
        memset(&image, 0, sizeof image);
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_file(&image, path.c_str())) {
            state.SkipWithError("libpng failed");
            break;
        }
        image.format = c.format;
        std::vector<uint8_t> buffer(PNG_IMAGE_SIZE(image));
        std::vector<uint8_t> colormap(PNG_IMAGE_COLORMAP_SIZE(image) + 1);
        // Rows bottom-up like a DIB: a negative stride.
        png_image_finish_read(&image, nullptr, buffer.data(), -int(PNG_IMAGE_ROW_STRIDE(image)),
                              (c.format & PNG_FORMAT_FLAG_COLORMAP) ? colormap.data() : nullptr);
        benchmark::DoNotOptimize(buffer.data());
        png_image_free(&image);
    }
    state.SetLabel(c.name);
}

const std::string& jpegFile() {
    static std::string path = writeJpeg("photo.jpg");
    return path;
}

void BM_LoadJPG(benchmark::State& state) {
    ourLoad(state, jpegFile());
}

void BM_LibjpegDirect(benchmark::State& state) {
    const std::string& path = jpegFile();
    for (auto _ : state) {
        FILE* f = fopen(path.c_str(), "rb");
        jpeg_decompress_struct d;
        jpeg_error_mgr err;
        d.err = jpeg_std_error(&err);
        jpeg_create_decompress(&d);
        jpeg_stdio_src(&d, f);
        jpeg_read_header(&d, TRUE);
        d.out_color_space = JCS_EXT_BGR;
        jpeg_start_decompress(&d);
        size_t stride = (size_t(d.output_width) * 3 + 3) & ~size_t(3);
        std::vector<uint8_t> pixels(stride * d.output_height);
        while (d.output_scanline < d.output_height) {
            JSAMPROW row = pixels.data() + (d.output_height - 1 - d.output_scanline) * stride;
            jpeg_read_scanlines(&d, &row, 1);
        }
        jpeg_finish_decompress(&d);
        jpeg_destroy_decompress(&d);
        fclose(f);
        benchmark::DoNotOptimize(pixels.data());
    }
}

BENCHMARK(BM_LoadPNG)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibpngSimplified)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadJPG)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibjpegDirect)->Unit(benchmark::kMillisecond);

#ifdef HAVE_GIFLIB_HEADER
// giflib is opened at run time, so the benchmark program needs no link to it;
// without the library the GIF pair is skipped.
struct Giflib {
    void* handle = nullptr;
    decltype(&EGifOpenFileName) openOut = nullptr;
    decltype(&EGifSpew) spew = nullptr;
    decltype(&GifMakeMapObject) makeMap = nullptr;
    decltype(&GifFreeMapObject) freeMap = nullptr;
    decltype(&GifMakeSavedImage) makeSaved = nullptr;
    decltype(&DGifOpenFileName) openIn = nullptr;
    decltype(&DGifSlurp) slurp = nullptr;
    decltype(&DGifCloseFile) closeIn = nullptr;
    bool ok() const { return slurp != nullptr; }
};

const Giflib& giflib() {
    static Giflib g = [] {
        Giflib l;
        l.handle = dlopen("libgif.so.7", RTLD_NOW);
        if (!l.handle) return l;
        l.openOut = reinterpret_cast<decltype(l.openOut)>(dlsym(l.handle, "EGifOpenFileName"));
        l.spew = reinterpret_cast<decltype(l.spew)>(dlsym(l.handle, "EGifSpew"));
        l.makeMap = reinterpret_cast<decltype(l.makeMap)>(dlsym(l.handle, "GifMakeMapObject"));
        l.freeMap = reinterpret_cast<decltype(l.freeMap)>(dlsym(l.handle, "GifFreeMapObject"));
        l.makeSaved = reinterpret_cast<decltype(l.makeSaved)>(dlsym(l.handle, "GifMakeSavedImage"));
        l.openIn = reinterpret_cast<decltype(l.openIn)>(dlsym(l.handle, "DGifOpenFileName"));
        l.closeIn = reinterpret_cast<decltype(l.closeIn)>(dlsym(l.handle, "DGifCloseFile"));
        if (l.openOut && l.spew && l.makeMap && l.freeMap && l.makeSaved && l.openIn && l.closeIn)
            l.slurp = reinterpret_cast<decltype(l.slurp)>(dlsym(l.handle, "DGifSlurp"));
        return l;
    }();
    return g;
}

// A still picture with a 256-entry table, or `frames` frames of it shifted.
std::string writeGif(const char* name, int frames) {
    const Giflib& g = giflib();
    std::string path = benchPath(name);
    int error = 0;
    GifFileType* out = g.openOut(path.c_str(), false, &error);
    if (!out) return std::string();
    out->SWidth = kW;
    out->SHeight = kH;
    out->SColorResolution = 8;
    out->SBackGroundColor = 0;
    GifColorType colours[256];
    for (int i = 0; i < 256; i++)
        colours[i] = GifColorType{uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)};
    out->SColorMap = g.makeMap(256, colours);
    std::vector<uint8_t> raster(size_t(kW) * kH);
    for (int k = 0; k < frames; k++) {
        uint32_t noise = 11 + k;
        for (int y = 0; y < kH; y++)
            for (int x = 0; x < kW; x++) {
                noise = noise * 1103515245u + 12345u;
                raster[size_t(y) * kW + x] =
                    uint8_t(((x + 4 * k) / 6 + y / 9) * 3 + ((noise >> 29) == 0));
            }
        SavedImage* img = g.makeSaved(out, nullptr);
        img->ImageDesc.Width = kW;
        img->ImageDesc.Height = kH;
        img->RasterBits = static_cast<GifByteType*>(malloc(raster.size()));
        memcpy(img->RasterBits, raster.data(), raster.size());
    }
    if (g.spew(out) == GIF_ERROR) return std::string();
    files.made.push_back(path);
    return path;
}

const std::string& gifFile() {
    static std::string path = writeGif("still.gif", 1);
    return path;
}

void BM_LoadGIF(benchmark::State& state) {
    if (!giflib().ok() || gifFile().empty()) {
        state.SkipWithError("giflib not available");
        return;
    }
    ourLoad(state, gifFile());
}

void BM_GiflibSlurp(benchmark::State& state) {
    const Giflib& g = giflib();
    if (!g.ok() || gifFile().empty()) {
        state.SkipWithError("giflib not available");
        return;
    }
    for (auto _ : state) {
        int error = 0;
        GifFileType* in = g.openIn(gifFile().c_str(), &error);
        if (!in || g.slurp(in) == GIF_ERROR) state.SkipWithError("giflib failed");
        if (in) {
            benchmark::DoNotOptimize(in->SavedImages);
            g.closeIn(in, &error);
        }
    }
}

// The decoding alone, without the palette reduction that LoadGIF ends with.
void BM_LoadGIFanimation(benchmark::State& state) {
    if (!giflib().ok() || gifFile().empty()) {
        state.SkipWithError("giflib not available");
        return;
    }
    GifAnimation* anim = static_cast<GifAnimation*>(calloc(1, sizeof(GifAnimation)));
    size_t size = 0;
    uint8_t* data = ReadImageFile(gifFile().c_str(), DIB_MAX_FILE_BYTES, &size);
    for (auto _ : state) {
        if (!LoadGIFanimation(data, size, anim)) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(anim->frame[0].bits);
        GifAnimationFree(anim);
        GifReset();
    }
    free(data);
    free(anim);
}

BENCHMARK(BM_LoadGIF)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadGIFanimation)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GiflibSlurp)->Unit(benchmark::kMillisecond);
#endif

} // namespace
