// PNG reader against libpng: PngSuite, pictures written here, and broken files.
#include "image/dib.h"
#include "image/png_internal.h"
#include "image/readers_util.h"
#include "image/rgb565.h"
#include "support/image_bytes.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <csetjmp>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

using namespace readers_test;
using namespace imagebytes;

namespace {

// Raw rows with a filter byte 0 in front of each.
Bytes unfilteredRows(const Bytes& packed, size_t rowBytes) {
    const size_t rows = packed.size() / rowBytes;
    Bytes raw(rows * (rowBytes + 1), 0);
    for (size_t r = 0; r < rows; ++r)
        std::copy_n(packed.begin() + r * rowBytes, rowBytes, raw.begin() + r * (rowBytes + 1) + 1);
    return raw;
}

struct Picture {
    int w = 0, h = 0, depth = 8, type = 0;
    Bytes rows; // packed, PNG byte order, no filter bytes
    Bytes plte; // red, green, blue
    Bytes trns;
    size_t rowBytes() const {
        int ch = type == 2 ? 3 : type == 4 ? 2 : type == 6 ? 4 : 1;
        return size_t((w * depth + 7) / 8) * ch;
    }
};

Picture randomPicture(int w, int h, int depth, int type, unsigned seed) {
    Picture p;
    p.w = w;
    p.h = h;
    p.depth = depth;
    p.type = type;
    std::mt19937 rng(seed);
    p.rows.resize(p.rowBytes() * h);
    for (auto& b : p.rows) b = uint8_t(rng());
    if (type == 3) {
        int n = 1 << depth;
        for (int i = 0; i < n * 3; i++) p.plte.push_back(uint8_t(rng()));
        // Keep indices inside the palette for bit depths where it is full anyway.
    }
    return p;
}

// Writes through libpng (its own filters, optional Adam7, small IDAT chunks).
bool writeWithLibpng(const std::string& path, const Picture& p, bool interlace,
                     size_t idatSize = 8192) {
    remove(path.c_str()); // see writeTemp
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_compression_buffer_size(png, idatSize);
    png_set_IHDR(png, info, p.w, p.h, p.depth, p.type,
                 interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, 0, PNG_ALL_FILTERS);
    std::vector<png_color> pal;
    for (size_t i = 0; i + 2 < p.plte.size(); i += 3)
        pal.push_back(png_color{p.plte[i], p.plte[i + 1], p.plte[i + 2]});
    if (!pal.empty()) png_set_PLTE(png, info, pal.data(), int(pal.size()));
    if (!p.trns.empty() && p.type == 3)
        png_set_tRNS(png, info, p.trns.data(), int(p.trns.size()), nullptr);
    png_write_info(png, info);
    std::vector<png_bytep> rows(p.h);
    Bytes copy = p.rows;
    for (int y = 0; y < p.h; y++) rows[y] = copy.data() + y * p.rowBytes();
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    fclose(f);
    return true;
}

// libpng's reading, reduced as our reader reduces: 16-bit samples to their
// high byte, everything expanded to RGBA.
struct Oracle {
    int w = 0, h = 0, type = 0, depth = 0;
    Bytes rgba;
    bool hasGreyKey = false;
    int greyKeyHigh = 0;
};

bool readWithLibpng(const std::string& path, Oracle* o) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_read_info(png, info);
    o->w = int(png_get_image_width(png, info));
    o->h = int(png_get_image_height(png, info));
    o->type = png_get_color_type(png, info);
    o->depth = png_get_bit_depth(png, info);
    png_color_16p key = nullptr;
    if (o->type == 0 && png_get_tRNS(png, info, nullptr, nullptr, &key) && key) {
        o->hasGreyKey = true;
        o->greyKeyHigh = o->depth == 16 ? key->gray >> 8 : key->gray;
    }
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    o->rgba.assign(size_t(o->w) * o->h * 4, 0);
    std::vector<png_bytep> rows(o->h);
    for (int y = 0; y < o->h; y++) rows[y] = o->rgba.data() + size_t(y) * o->w * 4;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    fclose(f);
    return true;
}

// Our picture equals libpng's, with alpha below 128 meaning "the transparent colour".
void expectSameAsLibpng(const std::string& path) {
    SCOPED_TRACE(path);
    Oracle o;
    ASSERT_TRUE(readWithLibpng(path, &o));
    List list = newList();
    ASSERT_EQ(LoadDIB(list.get(), path.c_str()), 1);
    const DIB& d = slotAt(list, 1);
    ASSERT_NE(d.mem, nullptr);
    ASSERT_EQ(DIBWidth(&d), o.w);
    ASSERT_EQ(DIBHeight(&d), o.h);
    int bad = 0;
    for (int y = 0; y < o.h && bad < 5; y++)
        for (int x = 0; x < o.w && bad < 5; x++) {
            const uint8_t* ref = o.rgba.data() + (size_t(y) * o.w + x) * 4;
            uint8_t c[3];
            pixelBGR(d, x, y, c);
            bool ok;
            if (ref[3] < 128) {
                ok = list->hasTransparent && memcmp(c, list->transparent, 3) == 0;
            } else {
                ok = c[0] == ref[2] && c[1] == ref[1] && c[2] == ref[0];
                // A 16-bit grey key is matched on the high byte alone.
                if (!ok && o.hasGreyKey && o.depth == 16 && ref[0] == o.greyKeyHigh)
                    ok = memcmp(c, list->transparent, 3) == 0;
            }
            if (!ok) {
                bad++;
                ADD_FAILURE() << "pixel " << x << "," << y << " ours " << int(c[2]) << ","
                              << int(c[1]) << "," << int(c[0]) << " libpng " << int(ref[0]) << ","
                              << int(ref[1]) << "," << int(ref[2]) << " alpha " << int(ref[3]);
            }
        }
}

// An 8-bit RGBA picture of px (red, green, blue, alpha), w pixels a row.
std::string rgbaFile(const char* name, const Bytes& px, int w) {
    const int h = int(px.size() / 4) / w;
    return writeTemp(name, pngFile({pngChunk("IHDR", pngHeader(w, h, 8, 6)),
                                    pngChunk("IDAT", deflateBytes(unfilteredRows(px, w * 4u))),
                                    pngChunk("IEND", {})}));
}

uint16_t rgb565Of(const uint8_t* bgr) {
    return rgb565(bgr[2], bgr[1], bgr[0]);
}

int load(const Bytes& file, const char* name, List& list) {
    std::string path = writeTemp(name, file);
    return LoadDIB(list.get(), path.c_str());
}

} // namespace

TEST(PngReader, PngSuiteMatchesLibpngAndRefusesBrokenFiles) {
    namespace fs = std::filesystem;
    fs::path dir = fs::path(VANTORIX_TESTDATA_DIR) / "pngsuite" / "png";
    if (!fs::is_directory(dir)) GTEST_SKIP() << "PngSuite not found at " << dir;
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().extension() == ".png") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    ASSERT_GT(files.size(), 150u);
    int good = 0, broken = 0;
    for (const fs::path& f : files) {
        if (f.filename().string()[0] == 'x') {
            List list = newList();
            EXPECT_EQ(LoadDIB(list.get(), f.string().c_str()), 0) << f;
            EXPECT_EQ(slotAt(list, 1).mem, nullptr) << f;
            broken++;
        } else {
            expectSameAsLibpng(f.string());
            good++;
        }
    }
    EXPECT_EQ(broken, 14);
    EXPECT_GT(good, 140);
}

TEST(PngReader, EveryTypeAndDepthInterlacedOrNotAtSmallSizes) {
    const int combos[][2] = {{1, 0}, {2, 0}, {4, 0}, {8, 0}, {16, 0}, {8, 2}, {16, 2}, {1, 3},
                             {2, 3}, {4, 3}, {8, 3}, {8, 4}, {16, 4}, {8, 6}, {16, 6}};
    unsigned seed = 1;
    for (const auto& c : combos)
        for (int w : {1, 2, 3, 5, 8, 9, 17})
            for (int h : {1, 2, 4, 7, 9}) {
                Picture p = randomPicture(w, h, c[0], c[1], seed++);
                std::string a = tempPath("plain.png"), b = tempPath("adam7.png");
                ASSERT_TRUE(writeWithLibpng(a, p, false));
                ASSERT_TRUE(writeWithLibpng(b, p, true));
                expectSameAsLibpng(a);
                expectSameAsLibpng(b);
                if (HasFailure()) return;
            }
}

TEST(PngReader, SeveralIdatChunksDecodeLikeOne) {
    Picture p = randomPicture(300, 40, 8, 2, 77);
    std::string one = tempPath("one.png"), many = tempPath("many.png");
    ASSERT_TRUE(writeWithLibpng(one, p, false, 1 << 20));
    ASSERT_TRUE(writeWithLibpng(many, p, true, 97));
    Bytes manyBytes = readAll(many);
    int idats = 0;
    for (size_t i = 0; i + 4 < manyBytes.size(); i++)
        if (memcmp(&manyBytes[i], "IDAT", 4) == 0) idats++;
    EXPECT_GT(idats, 50);
    List a = newList(), b = newList();
    ASSERT_EQ(LoadDIB(a.get(), one.c_str()), 1);
    ASSERT_EQ(LoadDIB(b.get(), many.c_str()), 1);
    ASSERT_EQ(slotAt(a, 1).memSize, slotAt(b, 1).memSize);
    EXPECT_EQ(memcmp(slotAt(a, 1).mem, slotAt(b, 1).mem, slotAt(a, 1).memSize), 0);
    expectSameAsLibpng(many);
}

TEST(PngReader, ChunkCrcsAreCheckedEverywhere) {
    Bytes rows = unfilteredRows(Bytes(4, 0x80), 2);
    Bytes idat = deflateBytes(rows);
    List list = newList();
    EXPECT_EQ(load(pngFile({pngChunk("IHDR", pngHeader(2, 2, 8, 0)), pngChunk("IDAT", idat),
                            pngChunk("IEND", {})}),
                   "ok.png", list),
              1);
    EXPECT_EQ(load(pngFile({pngChunk("IHDR", pngHeader(2, 2, 8, 0), true), pngChunk("IDAT", idat),
                            pngChunk("IEND", {})}),
                   "badihdr.png", list),
              0);
    Bytes text = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'x'};
    EXPECT_EQ(load(pngFile({pngChunk("IHDR", pngHeader(2, 2, 8, 0)), pngChunk("tEXt", text, true),
                            pngChunk("IDAT", idat), pngChunk("IEND", {})}),
                   "badtext.png", list),
              0);
    EXPECT_EQ(slotAt(list, 1).mem, nullptr);
}

TEST(PngReader, AlphaBecomesOneTransparentColourAtTheThreshold) {
    // 3 x 2 RGBA: corners transparent, alpha 127 transparent, 128 kept.
    Bytes px = {10, 20, 30, 0,   40, 50, 60, 127, 70, 80, 90, 0,
                1,  2,  3,  128, 4,  5,  6,  255, 7,  8,  9,  0};
    List list = newList();
    ASSERT_EQ(load(pngFile({pngChunk("IHDR", pngHeader(3, 2, 8, 6)),
                            pngChunk("IDAT", deflateBytes(unfilteredRows(px, 12))),
                            pngChunk("IEND", {})}),
                   "rgba.png", list),
              1);
    const DIB& d = slotAt(list, 1);
    ASSERT_EQ(DIBBitCount(&d), 24);
    ASSERT_EQ(list->hasTransparent, 1);
    uint8_t c[3];
    for (auto [x, y] : {std::pair{0, 0}, {1, 0}, {2, 0}, {2, 1}}) {
        pixelBGR(d, x, y, c);
        EXPECT_EQ(memcmp(c, list->transparent, 3), 0) << x << "," << y;
    }
    pixelBGR(d, 0, 1, c);
    EXPECT_EQ(c[0], 3);
    EXPECT_EQ(c[2], 1);
    pixelBGR(d, 1, 1, c);
    EXPECT_EQ(c[0], 6);
    EXPECT_EQ(c[2], 4);
    // The transparent colour differs from the kept ones at RGB565 precision.
    EXPECT_FALSE((list->transparent[2] & 0xF8) == 0 && (list->transparent[1] & 0xFC) == 0);
}

TEST(PngReader, TransparentColourIsNoneThePictureHoldsShownOrHidden) {
    // The first two colours a transparent one is looked for among: the first
    // shown, the second under a transparent pixel, so the third is taken.
    static UsedColors set;
    uint8_t first[3], second[3];
    ASSERT_EQ(PickUnusedColor(&set, first), 1);
    set.used[rgb565(first[2], first[1], first[0])] = 1;
    ASSERT_EQ(PickUnusedColor(&set, second), 1);
    const std::string path = rgbaFile(
        "taken.png",
        {first[2], first[1], first[0], 255, second[2], second[1], second[0], 0, 9, 9, 9, 0}, 3);
    expectSameAsLibpng(path);
    List list = newList();
    ASSERT_EQ(LoadDIB(list.get(), path.c_str()), 1);
    ASSERT_EQ(list->hasTransparent, 1);
    EXPECT_NE(rgb565Of(list->transparent), rgb565Of(first));
    EXPECT_NE(rgb565Of(list->transparent), rgb565Of(second));
}

TEST(PngReader, WithEveryColourTakenTransparentPixelsKeepTheirOwn) {
    // One pixel of each RGB565 value; the black one is transparent.
    Bytes px;
    for (uint32_t v = 0; v < 65536; v++)
        px.insert(px.end(), {uint8_t(v >> 11 << 3), uint8_t((v >> 5 & 63) << 2),
                             uint8_t((v & 31) << 3), uint8_t(v ? 255 : 0)});
    List list = newList();
    ASSERT_EQ(LoadDIB(list.get(), rgbaFile("full.png", px, 256).c_str()), 1);
    EXPECT_EQ(list->hasTransparent, 0);
    uint8_t c[3];
    pixelBGR(slotAt(list, 1), 0, 0, c);
    EXPECT_EQ(c[0] | c[1] | c[2], 0);
}

TEST(PngReader, GreyDepthsBecomePalettesOfEvenSteps) {
    List list = newList();
    // 16-bit grey: 8 bits, the high byte of each sample.
    Bytes g16 = {0x12, 0x34, 0xAB, 0xCD};
    ASSERT_EQ(load(pngFile({pngChunk("IHDR", pngHeader(2, 1, 16, 0)),
                            pngChunk("IDAT", deflateBytes(unfilteredRows(g16, 4))),
                            pngChunk("IEND", {})}),
                   "g16.png", list),
              1);
    DIB copy = slotAt(list, 1);
    const DIB* d = &copy;
    EXPECT_EQ(DIBBitCount(d), 8);
    EXPECT_EQ(d->numColors, 256);
    EXPECT_EQ(d->bits[0], 0x12);
    EXPECT_EQ(d->bits[1], 0xAB);
    EXPECT_EQ(d->palette[0xAB * 4], 0xAB);

    // 2-bit grey: 4 bits with levels 0, 85, 170, 255.
    Bytes g2 = {0x1B}; // 0 1 2 3
    ASSERT_EQ(
        load(pngFile({pngChunk("IHDR", pngHeader(4, 1, 2, 0)),
                      pngChunk("IDAT", deflateBytes(unfilteredRows(g2, 1))), pngChunk("IEND", {})}),
             "g2.png", list),
        1);
    copy = slotAt(list, 1);
    EXPECT_EQ(DIBBitCount(d), 4);
    EXPECT_EQ(d->numColors, 4);
    const int levels[4] = {0, 85, 170, 255};
    for (int i = 0; i < 4; i++) EXPECT_EQ(d->palette[i * 4 + 1], levels[i]);
    EXPECT_EQ(d->bits[0], 0x01);
    EXPECT_EQ(d->bits[1], 0x23);

    // A grey key of 0 paints black pure green and reports that green.
    Bytes g8 = {0, 200};
    ASSERT_EQ(
        load(pngFile({pngChunk("IHDR", pngHeader(2, 1, 8, 0)), pngChunk("tRNS", {0, 0}),
                      pngChunk("IDAT", deflateBytes(unfilteredRows(g8, 2))), pngChunk("IEND", {})}),
             "gkey.png", list),
        1);
    uint8_t c[3];
    pixelBGR(slotAt(list, 1), 0, 0, c);
    EXPECT_EQ(c[0], 0);
    EXPECT_EQ(c[1], 255);
    EXPECT_EQ(c[2], 0);
    EXPECT_EQ(list->hasTransparent, 1);
    EXPECT_EQ(memcmp(c, list->transparent, 3), 0);
    pixelBGR(slotAt(list, 1), 1, 0, c);
    EXPECT_EQ(c[1], 200);
}

TEST(PngReader, OneBitPalettesStayOneBitOnlyForBlackAndWhite) {
    Bytes rows = unfilteredRows({0xA0}, 1); // 1 0 1 0
    Bytes idat = deflateBytes(rows);
    List list = newList();
    ASSERT_EQ(load(pngFile({pngChunk("IHDR", pngHeader(4, 1, 1, 3)),
                            pngChunk("PLTE", {255, 255, 255, 0, 0, 0}), pngChunk("IDAT", idat),
                            pngChunk("IEND", {})}),
                   "wb.png", list),
              1);
    EXPECT_EQ(DIBBitCount(&slotAt(list, 1)), 1);
    EXPECT_EQ(slotAt(list, 1).palette[0], 255);
    EXPECT_EQ(slotAt(list, 1).bits[0], 0xA0);

    ASSERT_EQ(load(pngFile({pngChunk("IHDR", pngHeader(4, 1, 1, 3)),
                            pngChunk("PLTE", {255, 0, 0, 0, 0, 255}), pngChunk("IDAT", idat),
                            pngChunk("IEND", {})}),
                   "rb.png", list),
              1);
    const DIB& d = slotAt(list, 1);
    EXPECT_EQ(DIBBitCount(&d), 4);
    EXPECT_EQ(d.numColors, 2);
    EXPECT_EQ(rdLE32(d.bmih + BI_CLRUSED), 2u);
    EXPECT_EQ(d.bits[0], 0x10);
    EXPECT_EQ(d.bits[1], 0x10);

    // A palette entry with low alpha: a redirected index needs 4 bits, and the
    // transparent pixels carry exactly the reported colour.
    ASSERT_EQ(load(pngFile({pngChunk("IHDR", pngHeader(4, 1, 1, 3)),
                            pngChunk("PLTE", {255, 255, 255, 0, 0, 0}), pngChunk("tRNS", {255, 10}),
                            pngChunk("IDAT", idat), pngChunk("IEND", {})}),
                   "wbt.png", list),
              1);
    EXPECT_EQ(list->hasTransparent, 1);
    uint8_t c[3];
    pixelBGR(slotAt(list, 1), 0, 0, c);
    EXPECT_EQ(memcmp(c, list->transparent, 3), 0);
    pixelBGR(slotAt(list, 1), 1, 0, c);
    EXPECT_EQ(c[0], 255);
}

TEST(PngReader, RefusesWhatItCannotReadSafely) {
    Bytes px(6, 7);
    Bytes idat = deflateBytes(unfilteredRows(px, 6));
    Bytes end = pngChunk("IEND", {});
    List list = newList();
    struct Case {
        const char* name;
        Bytes file;
    } cases[] = {
        {"ihdr_late",
         pngFile({pngChunk("tEXt", {'a', 0, 'b'}), pngChunk("IHDR", pngHeader(2, 1, 8, 2)),
                  pngChunk("IDAT", idat), end})},
        {"two_ihdr",
         pngFile({pngChunk("IHDR", pngHeader(2, 1, 8, 2)), pngChunk("IHDR", pngHeader(2, 1, 8, 2)),
                  pngChunk("IDAT", idat), end})},
        {"no_plte",
         pngFile({pngChunk("IHDR", pngHeader(6, 1, 8, 3)), pngChunk("IDAT", idat), end})},
        {"plte_too_big", pngFile({pngChunk("IHDR", pngHeader(6, 1, 1, 3)),
                                  pngChunk("PLTE", Bytes(9, 1)), pngChunk("IDAT", idat), end})},
        {"plte_odd", pngFile({pngChunk("IHDR", pngHeader(6, 1, 8, 3)),
                              pngChunk("PLTE", Bytes(7, 1)), pngChunk("IDAT", idat), end})},
        {"rgb_depth4",
         pngFile({pngChunk("IHDR", pngHeader(2, 1, 4, 2)), pngChunk("IDAT", idat), end})},
        {"palette_depth16", pngFile({pngChunk("IHDR", pngHeader(2, 1, 16, 3)),
                                     pngChunk("PLTE", Bytes(6, 1)), pngChunk("IDAT", idat), end})},
        {"zero_width",
         pngFile({pngChunk("IHDR", pngHeader(0, 1, 8, 2)), pngChunk("IDAT", idat), end})},
        {"huge", pngFile({pngChunk("IHDR", pngHeader(1u << 24, 1u << 24, 8, 6)),
                          pngChunk("IDAT", idat), end})},
        {"huge_claim",
         pngFile({pngChunk("IHDR", pngHeader(20000, 20000, 8, 6)), pngChunk("IDAT", idat), end})},
        {"short_data",
         pngFile({pngChunk("IHDR", pngHeader(2, 2, 8, 2)), pngChunk("IDAT", idat), end})},
        {"long_data",
         pngFile({pngChunk("IHDR", pngHeader(1, 1, 8, 2)), pngChunk("IDAT", idat), end})},
        {"no_idat", pngFile({pngChunk("IHDR", pngHeader(2, 1, 8, 2)), end})},
        {"no_iend", pngFile({pngChunk("IHDR", pngHeader(2, 1, 8, 2)), pngChunk("IDAT", idat)})},
        {"bad_ihdr_len", pngFile({pngChunk("IHDR", Bytes(12, 1)), pngChunk("IDAT", idat), end})},
        {"interlace2",
         pngFile({pngChunk("IHDR", pngHeader(2, 1, 8, 2, 2)), pngChunk("IDAT", idat), end})},
        {"empty", Bytes()},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(load(c.file, (std::string(c.name) + ".png").c_str(), list), 0) << c.name;
        EXPECT_EQ(slotAt(list, 1).mem, nullptr) << c.name;
    }
    // Every truncation of a good file is refused.
    Bytes good = pngFile({pngChunk("IHDR", pngHeader(2, 1, 8, 2)), pngChunk("IDAT", idat), end});
    ASSERT_EQ(load(good, "good.png", list), 1);
    for (size_t n = 0; n < good.size(); n++)
        EXPECT_EQ(load(Bytes(good.begin(), good.begin() + n), "cut.png", list), 0) << n;
    EXPECT_EQ(LoadDIB(list.get(), tempPath("does_not_exist.png").c_str()), 0);
}

TEST(PngReader, PaletteIndicesBeyondPlteBecomeBlackEntries) {
    Bytes px = {0, 1, 5, 200};
    List list = newList();
    ASSERT_EQ(
        load(pngFile({pngChunk("IHDR", pngHeader(4, 1, 8, 3)),
                      pngChunk("PLTE", {10, 20, 30, 40, 50, 60}),
                      pngChunk("IDAT", deflateBytes(unfilteredRows(px, 4))), pngChunk("IEND", {})}),
             "beyond.png", list),
        1);
    const DIB& d = slotAt(list, 1);
    EXPECT_EQ(d.numColors, 201);
    uint8_t c[3];
    pixelBGR(d, 1, 0, c);
    EXPECT_EQ(c[2], 40);
    pixelBGR(d, 3, 0, c);
    EXPECT_EQ(c[0] | c[1] | c[2], 0);
}

TEST(PngReader, FilterReconstructionMatchesTheDefinitions) {
    // One 3-byte-per-pixel row over a known prior row, each filter in turn.
    PngReset();
    png.bitDepth = 8;
    png.colorType = 2;
    const uint8_t prior[7] = {0, 100, 150, 200, 10, 20, 250};
    const uint8_t delta[6] = {5, 6, 7, 250, 251, 252};
    for (int f = 0; f < 5; f++) {
        uint8_t row[7] = {uint8_t(f)};
        memcpy(row + 1, delta, 6);
        png_filter_row(prior, row, 6);
        for (int i = 0; i < 6; i++) {
            int a = i >= 3 ? row[1 + i - 3] : 0, b = prior[1 + i],
                c = i >= 3 ? prior[1 + i - 3] : 0;
            int pred = 0;
            if (f == 1) pred = a;
            if (f == 2) pred = b;
            if (f == 3) pred = (a + b) / 2;
            if (f == 4) {
                int p = a + b - c, pa = abs(p - a), pb = abs(p - b), pc = abs(p - c);
                pred = (pa <= pb && pa <= pc) ? a : pb <= pc ? b : c;
            }
            EXPECT_EQ(row[1 + i], uint8_t(delta[i] + pred)) << "filter " << f << " byte " << i;
        }
    }
    uint8_t row[7] = {9, 1, 2, 3, 4, 5, 6};
    png_filter_row(prior, row, 6);
    EXPECT_EQ(row[1], 1) << "unknown filter types leave the row alone";
    PngReset();
}
