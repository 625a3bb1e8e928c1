// The BMP reader against Jason Summers' BMP Suite: good files must look like
// the suite's reference renderings (decoded with libpng), broken ones must be
// refused or loaded without touching memory outside the picture.
#include <gtest/gtest.h>

#include "image/dib.h"

#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string kSuite = VANTORIX_TESTDATA_DIR "/bmpsuite";

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

struct Png {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
    Rgb at(int x, int y) const {
        const uint8_t* p = &rgba[(size_t(y) * width + x) * 4];
        return {p[0], p[1], p[2]};
    }
};

bool readPng(const std::string& path, Png* out) {
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGBA;
    out->width = int(image.width);
    out->height = int(image.height);
    out->rgba.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, out->rgba.data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    return true;
}

int paletteIndex(const DIB& d, int x, int y) {
    const uint8_t* row = d.bits + size_t(DIBHeight(&d) - 1 - y) * d.lineBytes;
    switch (DIBBitCount(&d)) {
    case 1:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4:
        return (x & 1) ? (row[x >> 1] & 15) : (row[x >> 1] >> 4);
    default:
        return row[x];
    }
}

// Colour of the pixel at (x, y), y counted from the top as on screen.
Rgb colourAt(const DIB& d, int x, int y) {
    const uint8_t* row = d.bits + size_t(DIBHeight(&d) - 1 - y) * d.lineBytes;
    if (DIBBitCount(&d) <= 8) {
        const uint8_t* e = d.palette + 4 * paletteIndex(d, x, y);
        return {e[2], e[1], e[0]};
    }
    if (DIBBitCount(&d) == 16) {
        const int v = rdLE16(row + 2 * x);
        return {v >> 11, (v >> 5) & 63, v & 31};
    }
    const uint8_t* p = row + size_t(x) * (DIBBitCount(&d) / 8);
    return {p[2], p[1], p[0]};
}

Rgb to565(Rgb c) {
    return {c.r >> 3, c.g >> 2, c.b >> 3};
}

struct Loaded {
    MultiDIB* list = new MultiDIB();
    int ok = 0;
    explicit Loaded(const std::string& path) { ok = LoadDIB(list, path.c_str()); }
    ~Loaded() {
        MultiDibFree(list);
        delete list;
    }
    const DIB& pic() const { return list->slot[1]; }
};

// Everything a later stage relies on: a consistent block and no palette
// index that points past the palette.
void expectUsable(const Loaded& l, const std::string& name) {
    ASSERT_EQ(l.list->count, 1) << name;
    const DIB& d = l.pic();
    ASSERT_NE(d.mem, nullptr) << name;
    EXPECT_GT(DIBWidth(&d), 0) << name;
    EXPECT_GT(DIBHeight(&d), 0) << name;
    EXPECT_EQ(rdLE32(d.bmih + BI_COMPRESSION) == 3 ? 16 : 0, DIBBitCount(&d) == 16 ? 16 : 0)
        << name;
    EXPECT_EQ(d.memSize, uint32_t(d.bits - d.mem) + uint32_t(d.lineBytes) * DIBHeight(&d)) << name;
    EXPECT_TRUE(DIBBitCount(&d) == 1 || DIBBitCount(&d) == 4 || DIBBitCount(&d) == 8 ||
                DIBBitCount(&d) == 16 || DIBBitCount(&d) == 24)
        << name << " has depth " << DIBBitCount(&d);
    if (DIBBitCount(&d) <= 8) {
        int highest = 0;
        for (int y = 0; y < DIBHeight(&d); ++y)
            for (int x = 0; x < DIBWidth(&d); ++x)
                highest = std::max(highest, paletteIndex(d, x, y));
        EXPECT_LT(highest, d.numColors) << name;
        EXPECT_LE(d.numColors, 1 << DIBBitCount(&d)) << name;
    }
}

// Counts pixels that differ from the reference at the precision kept.
int mismatches(const DIB& d, const Png& ref, std::string* first) {
    int bad = 0;
    for (int y = 0; y < ref.height; ++y) {
        for (int x = 0; x < ref.width; ++x) {
            Rgb got = colourAt(d, x, y);
            Rgb want = DIBBitCount(&d) == 16 ? to565(ref.at(x, y)) : ref.at(x, y);
            if (got == want) continue;
            if (bad++ == 0) {
                std::ostringstream where;
                where << "(" << x << "," << y << ") got " << got.r << "," << got.g << "," << got.b
                      << " want " << want.r << "," << want.g << "," << want.b;
                *first = where.str();
            }
        }
    }
    return bad;
}

void expectLooksLike(const std::string& file, const std::string& reference) {
    SCOPED_TRACE(file);
    Loaded l(kSuite + "/" + file);
    ASSERT_EQ(l.ok, 1);
    expectUsable(l, file);
    Png ref;
    ASSERT_TRUE(readPng(kSuite + "/reference/" + reference, &ref)) << reference;
    ASSERT_EQ(DIBWidth(&l.pic()), ref.width);
    ASSERT_EQ(DIBHeight(&l.pic()), ref.height);
    std::string where;
    EXPECT_EQ(mismatches(l.pic(), ref, &where), 0) << "first at " << where;
}

#define SKIP_WITHOUT_SUITE()                                                                       \
    if (!fs::is_directory(kSuite + "/g")) GTEST_SKIP() << "no BMP Suite at " << kSuite

TEST(BmpSuite, GoodPaletteAnd24BitFilesMatchReference) {
    SKIP_WITHOUT_SUITE();
    const char* table[][2] = {
        {"g/pal4.bmp", "pal4.png"},
        {"g/pal4gs.bmp", "pal4gs.png"},
        {"g/pal4rle.bmp", "pal4.png"},
        {"g/pal8.bmp", "pal8.png"},
        {"g/pal8-0.bmp", "pal8.png"},
        {"g/pal8gs.bmp", "pal8gs.png"},
        {"g/pal8rle.bmp", "pal8.png"},
        {"g/pal8w126.bmp", "pal8w126.png"},
        {"g/pal8w125.bmp", "pal8w125.png"},
        {"g/pal8w124.bmp", "pal8w124.png"},
        {"g/pal8topdown.bmp", "pal8.png"},
        {"g/pal8nonsquare.bmp", "pal8nonsquare-e.png"},
        {"g/pal8os2.bmp", "pal8.png"},
        {"g/pal8v4.bmp", "pal8.png"},
        {"g/pal8v5.bmp", "pal8.png"},
        {"g/rgb24.bmp", "rgb24.png"},
        {"g/rgb24pal.bmp", "rgb24.png"},
        {"g/pal1.bmp", "pal1.png"},
        {"g/pal1wb.bmp", "pal1.png"},
        // Both colours are equally bright, so the 1-bit rule keeps its palette.
        {"g/pal1bg.bmp", "pal1bg.png"},
    };
    for (auto& row : table) expectLooksLike(row[0], row[1]);
}

// These go through the colour-depth conversions (16 bits to RGB565, 32 bits
// to 24 bits).
TEST(BmpSuite, GoodDeepFilesMatchReference) {
    SKIP_WITHOUT_SUITE();
    const char* table[][2] = {
        {"g/rgb16.bmp", "rgb16.png"},         {"g/rgb16bfdef.bmp", "rgb16.png"},
        {"g/rgb16-565.bmp", "rgb16-565.png"}, {"g/rgb16-565pal.bmp", "rgb16-565.png"},
        {"g/rgb32.bmp", "rgb24.png"},         {"g/rgb32bfdef.bmp", "rgb24.png"},
        {"g/rgb32bf.bmp", "rgb24.png"},
    };
    for (auto& row : table) expectLooksLike(row[0], row[1]);
    Loaded l(kSuite + "/g/rgb32.bmp");
    EXPECT_EQ(l.list->hasTransparent, 0); // its fourth bytes are all zero
}

// Unusual files that this reader understands.
TEST(BmpSuite, QuestionableFilesThatLoadMatchReference) {
    SKIP_WITHOUT_SUITE();
    const char* table[][2] = {
        {"q/pal8offs.bmp", "pal8.png"},       {"q/pal8oversizepal.bmp", "pal8.png"},
        {"q/pal8os2sp.bmp", "pal8.png"},      {"q/pal8os2v2.bmp", "pal8.png"},
        {"q/rgb24largepal.bmp", "rgb24.png"}, {"q/rgb24prof.bmp", "rgb24.png"},
        {"q/rgb32h52.bmp", "rgb24.png"},      {"q/rgb32-xbgr.bmp", "rgb24.png"},
        {"q/rgb16-231.bmp", "rgb16-231.png"},
    };
    for (auto& row : table) expectLooksLike(row[0], row[1]);
}

TEST(BmpSuite, BrokenFilesAreRefusedOrLoadedSafely) {
    SKIP_WITHOUT_SUITE();
    // Files whose headers can't be believed are refused outright.
    for (const char* name :
         {"b/badbitcount.bmp", "b/badfilesize.bmp", "b/badheadersize.bmp", "b/badplanes.bmp",
          "b/badwidth.bmp", "b/reallybig.bmp", "b/rletopdown.bmp", "b/shortfile.bmp"}) {
        Loaded l(kSuite + "/" + name);
        EXPECT_EQ(l.ok, 0) << name;
        EXPECT_EQ(l.list->count, 0) << name;
    }
    // Out-of-range indices get palette entries instead of reads past it.
    Loaded bad(kSuite + "/b/pal8badindex.bmp");
    ASSERT_EQ(bad.ok, 1);
    EXPECT_EQ(bad.pic().numColors, 256);

    int files = 0, loaded = 0;
    for (const char* dir : {"b", "q", "x", "g"}) {
        if (!fs::is_directory(kSuite + "/" + dir)) continue;
        for (const auto& entry : fs::directory_iterator(kSuite + "/" + dir)) {
            const std::string path = entry.path().string();
            Loaded l(path);
            ++files;
            if (!l.ok) {
                EXPECT_EQ(l.list->count, 0) << path;
                EXPECT_EQ(l.list->slot[1].mem, nullptr) << path;
                continue;
            }
            ++loaded;
            expectUsable(l, path);
        }
    }
    EXPECT_GT(files, 80);
    EXPECT_GT(loaded, 50);
}

} // namespace
