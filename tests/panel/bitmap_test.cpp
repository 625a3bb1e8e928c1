// Bitmap drawing on a real frame memory: conversions, skips, clipping, the
// formats that are refused, hostile headers, and the BMP Suite against its
// reference renderings.
#include <gtest/gtest.h>

#include <png.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/dib.h"
#include "panel/zr_tft.h"
#include "support/panel_fixture.h"

namespace {

constexpr uint16_t sentinel = 0x1234;

// A panel of model/angle with its own frame memory, filled with the sentinel.
struct Panel : PanelFixture {
    Panel(int16_t model, int16_t angle) : PanelFixture(model, angle, sentinel) {}
};

// A BMP file image built field by field; `gap` junk bytes lie between the
// information header and the palette, so a palette read from the wrong place shows.
struct Bmp {
    std::vector<uint8_t> data;
    int w, h, bits;
    uint32_t rowBytes, offset;
    Bmp(int width, int height, int bitsPerPixel, uint32_t compression = 0, uint32_t coloursUsed = 0,
        uint32_t paletteEntries = 0, uint32_t gap = 0, uint32_t infoSize = 40)
        : w(width), h(height), bits(bitsPerPixel) {
        int32_t absH = height < 0 ? -height : height;
        rowBytes = uint32_t((int64_t(width) * bits + 31) / 32 * 4);
        uint32_t masks = (bits == 16 && compression == 3 && infoSize == 40) ? 12 : 0;
        offset = 14 + infoSize + masks + gap + 4 * paletteEntries;
        data.assign(offset + rowBytes * uint32_t(absH), 0);
        data[0] = 'B', data[1] = 'M';
        wrLE32(&data[2], uint32_t(data.size()));
        wrLE32(&data[10], offset);
        wrLE32(&data[14], infoSize);
        wrLE32(&data[18], uint32_t(width));
        wrLE32(&data[22], uint32_t(height));
        wrLE16(&data[26], 1);
        wrLE16(&data[28], uint16_t(bits));
        wrLE32(&data[30], compression);
        wrLE32(&data[46], coloursUsed);
        for (uint32_t i = 0; i < gap; ++i) data[14 + infoSize + masks + i] = 0xEE;
    }
    // Palette entry i (of the palette that ends at the pixel data, n entries).
    void palette(uint32_t n, uint32_t i, uint8_t r, uint8_t g, uint8_t b) {
        uint8_t* p = &data[offset - 4 * n + 4 * i];
        p[0] = b, p[1] = g, p[2] = r;
    }
    // Byte k of image row y (0 = top row; rows are stored bottom-up).
    uint8_t& byte(int y, size_t k) { return data[offset + uint32_t(h - 1 - y) * rowBytes + k]; }
    void put24(int x, int y, uint8_t r, uint8_t g, uint8_t b) {
        byte(y, 3 * size_t(x)) = b, byte(y, 3 * size_t(x) + 1) = g, byte(y, 3 * size_t(x) + 2) = r;
    }
    const uint8_t* file() const { return data.data(); }
};

// A 24-bit picture whose every pixel tells where it came from.
Bmp numbered24(int w, int h) {
    Bmp b(w, h, 24);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b.put24(x, y, uint8_t(x * 8), uint8_t(y * 4), 0x80);
    return b;
}
uint16_t numbered(int x, int y) {
    return rgb565(x * 8, y * 4, 0x80);
}

TEST(Bitmap, EveryAcceptedDepthConvertsExactly) {
    Panel panel(2, 0); // 240 x 240

    Bmp rgb(2, 2, 24);
    rgb.put24(0, 0, 0x56, 0x34, 0x12);
    rgb.put24(1, 1, 0xFF, 0xFF, 0xFF);
    TFTbitmap(0, 0, rgb.file(), 0, 0);
    EXPECT_EQ(panel.at(0, 0), 0x51A2);
    EXPECT_EQ(panel.at(1, 1), 0xFFFF);
    EXPECT_EQ(panel.at(1, 0), 0x0000);
    EXPECT_EQ(panel.at(2, 0), sentinel);

    Bmp bf(3, 1, 16, 3); // bit fields: the value is taken as RGB565 as it stands
    wrLE16(&bf.byte(0, 0), 0xBEEF);
    wrLE16(&bf.byte(0, 2), 0x0001);
    wrLE16(&bf.byte(0, 4), 0xF800);
    TFTbitmap(10, 0, bf.file(), 0, 0);
    EXPECT_EQ(panel.at(10, 0), 0xBEEF);
    EXPECT_EQ(panel.at(11, 0), 0x0001);
    EXPECT_EQ(panel.at(12, 0), 0xF800);

    Bmp v2(1, 1, 16, 3, 0, 0, 0, 52); // 52-byte header with the masks inside it
    wrLE16(&v2.byte(0, 0), 0x07E0);
    TFTbitmap(20, 0, v2.file(), 0, 0);
    EXPECT_EQ(panel.at(20, 0), 0x07E0);

    Bmp p8(3, 1, 8, 0, 0, 256);
    p8.palette(256, 0, 0, 0, 0);
    p8.palette(256, 7, 0x56, 0x34, 0x12);
    p8.palette(256, 255, 0xFF, 0x00, 0xFF);
    p8.byte(0, 0) = 7, p8.byte(0, 1) = 255, p8.byte(0, 2) = 0;
    TFTbitmap(30, 0, p8.file(), 0, 0);
    EXPECT_EQ(panel.at(30, 0), 0x51A2);
    EXPECT_EQ(panel.at(31, 0), 0xF81F);
    EXPECT_EQ(panel.at(32, 0), 0x0000);

    Bmp p4(3, 1, 4, 0, 0, 16); // high nibble first
    p4.palette(16, 0x1, 0xFF, 0, 0);
    p4.palette(16, 0x2, 0, 0xFF, 0);
    p4.palette(16, 0xF, 0, 0, 0xFF);
    p4.byte(0, 0) = 0x12, p4.byte(0, 1) = 0xF0;
    TFTbitmap(40, 0, p4.file(), 0, 0);
    EXPECT_EQ(panel.at(40, 0), 0xF800);
    EXPECT_EQ(panel.at(41, 0), 0x07E0);
    EXPECT_EQ(panel.at(42, 0), 0x001F);

    Bmp p1(10, 2, 1, 0, 0, 2); // most significant bit is the leftmost pixel
    p1.palette(2, 0, 0, 0, 0);
    p1.palette(2, 1, 0xFF, 0xFF, 0xFF);
    p1.byte(0, 0) = 0x81, p1.byte(0, 1) = 0x40; // top row: pixels 0, 7, 9
    p1.byte(1, 0) = 0x40;                       // bottom row: pixel 1
    TFTbitmap(50, 0, p1.file(), 0, 0);
    for (int x = 0; x < 10; ++x) {
        EXPECT_EQ(panel.at(50 + x, 0), (x == 0 || x == 7 || x == 9) ? 0xFFFF : 0x0000) << x;
        EXPECT_EQ(panel.at(50 + x, 1), x == 1 ? 0xFFFF : 0x0000) << x;
    }
}

TEST(Bitmap, ShortPaletteIsReadFromTheBytesBeforeThePixels) {
    Panel panel(2, 0);
    // colours used 16 on 8 bits: 64 palette bytes end at the pixel data; the
    // 0xEE bytes before them are header padding, not palette
    Bmp b(2, 1, 8, 0, 16, 16, 40);
    b.palette(16, 0, 0x56, 0x34, 0x12);
    b.palette(16, 15, 0x00, 0x00, 0xFF);
    b.byte(0, 0) = 0, b.byte(0, 1) = 15;
    bmpPalette[16] = 0xABCD;
    TFTbitmap(0, 0, b.file(), 0, 0);
    EXPECT_EQ(panel.at(0, 0), 0x51A2);
    EXPECT_EQ(panel.at(1, 0), 0x001F);
    EXPECT_EQ(bmpPalette[16], 0xABCD); // only the declared entries are loaded

    Bmp one(1, 1, 1, 0, 0, 2, 8); // 1 bit, count 0 means 2 entries
    one.palette(2, 1, 0xFF, 0, 0);
    one.byte(0, 0) = 0x80;
    TFTbitmap(5, 0, one.file(), 0, 0);
    EXPECT_EQ(panel.at(5, 0), 0xF800);
}

TEST(Bitmap, SkipsPickTheWindowOfThePicture) {
    Panel panel(2, 0);
    Bmp b = numbered24(10, 10);
    TFTbitmap(0, 0, b.file(), 3, 4);
    EXPECT_EQ(panel.at(0, 0), numbered(3, 4));
    EXPECT_EQ(panel.at(6, 5), numbered(9, 9));
    EXPECT_EQ(panel.at(7, 0), sentinel);
    EXPECT_EQ(panel.at(0, 6), sentinel);
    EXPECT_EQ(panel.changed(), 7 * 6);

    // A picture 0x44 rows taller than the panel: skipping 0x44 rows shows the bottom.
    Panel wide(1, 90); // 160 x 80
    Bmp tall = numbered24(20, 80 + 0x44);
    TFTbitmap(0, 0, tall.file(), 0, 0x44);
    EXPECT_EQ(wide.at(0, 0), numbered(0, 0x44));
    EXPECT_EQ(wide.at(19, 79), numbered(19, 80 + 0x43));

    // The left skip of packed pixels is taken in whole bytes, as on the module.
    Panel p(2, 0);
    Bmp mono(16, 1, 1, 0, 0, 2);
    mono.palette(2, 1, 0xFF, 0xFF, 0xFF);
    mono.byte(0, 0) = 0x80, mono.byte(0, 1) = 0x80; // pixels 0 and 8
    TFTbitmap(0, 0, mono.file(), 8, 0);
    EXPECT_EQ(p.at(0, 0), 0xFFFF);
    EXPECT_EQ(p.at(1, 0), 0x0000);
    EXPECT_EQ(p.changed(), 8);
    TFTbitmap(0, 1, mono.file(), 3, 0); // rounds down to byte 0; 13 pixels wide
    EXPECT_EQ(p.at(0, 1), 0xFFFF);
    EXPECT_EQ(p.at(8, 1), 0xFFFF);
    EXPECT_EQ(p.at(13, 1), sentinel);
}

TEST(Bitmap, ClipsAtTheRightAndBottomEdges) {
    Panel panel(2, 0); // 240 wide
    Bmp b = numbered24(10, 10);
    TFTbitmap(235, 0, b.file(), 0, 0);
    EXPECT_EQ(panel.at(235, 0), numbered(0, 0));
    EXPECT_EQ(panel.at(239, 9), numbered(4, 9));
    EXPECT_EQ(panel.at(0, 1), sentinel); // nothing wrapped into the next row
    EXPECT_EQ(panel.changed(), 5 * 10);

    Panel bottom(2, 0);
    TFTbitmap(0, 239, b.file(), 0, 0); // the last row: exactly one row, the image's top
    EXPECT_EQ(bottom.at(0, 239), numbered(0, 0));
    EXPECT_EQ(bottom.changed(), 10);

    Panel off(2, 0);
    TFTbitmap(240, 0, b.file(), 0, 0);
    TFTbitmap(0, 240, b.file(), 0, 0);
    EXPECT_EQ(off.changed(), 0);
}

TEST(Bitmap, RefusesFormatsWithoutConversion) {
    Panel panel(2, 0);
    Bmp rgb555(2, 2, 16, 0); // 16 bits without bit fields
    Bmp rgb32(2, 2, 32, 0);
    Bmp rgb32bf(2, 2, 32, 3);
    Bmp pal2(4, 2, 2, 0, 0, 4);
    Bmp rle8(2, 2, 8, 1, 0, 256);
    Bmp p8bf(2, 2, 8, 3, 0, 256);
    Bmp rgb24bf(2, 2, 24, 3);
    Bmp notBm = numbered24(2, 2);
    notBm.data[1] = 'A';
    for (const Bmp* b : {&rgb555, &rgb32, &rgb32bf, &pal2, &rle8, &p8bf, &rgb24bf, &notBm}) {
        TFTbitmap(0, 0, b->file(), 0, 0);
        EXPECT_EQ(panel.changed(), 0) << b->bits;
    }
}

// Hostile headers: the buffer is exactly the size field long, so an ASan
// build catches any read past it.
TEST(Bitmap, HostileHeadersStayInsideTheirBuffers) {
    Panel panel(2, 0);
    auto nothing = [&](const Bmp& b, const char* what) {
        std::vector<uint8_t> exact(b.data.begin(), b.data.begin() + rdLE32(&b.data[2]));
        TFTbitmap(0, 0, exact.data(), 0, 0);
        EXPECT_EQ(panel.changed(), 0) << what;
    };
    Bmp bigPalette(2, 2, 8, 0, 300, 300);
    nothing(bigPalette, "300 palette entries");
    Bmp cutCount(2, 2, 8, 0, 0x10000 + 4, 4); // the count is cut to 16 bits: 4 entries
    cutCount.palette(4, 3, 0xFF, 0, 0);
    cutCount.byte(0, 0) = 3;
    TFTbitmap(0, 0, cutCount.file(), 0, 0);
    EXPECT_EQ(panel.at(0, 0), 0xF800);
    std::fill(panel.pixels.begin(), panel.pixels.end(), sentinel);

    Bmp topDown(2, -2, 24);
    nothing(topDown, "top-down");
    Bmp zeroW(0, 2, 24), zeroH(2, 0, 24);
    nothing(zeroW, "zero width");
    nothing(zeroH, "zero height");

    Bmp shortFile = numbered24(4, 4);
    wrLE32(&shortFile.data[2], uint32_t(shortFile.data.size() - 1));
    nothing(shortFile, "size below headers + rows");
    Bmp tiny = numbered24(4, 4);
    wrLE32(&tiny.data[2], 20);
    nothing(tiny, "size below the headers");
    Bmp farPixels = numbered24(4, 4);
    wrLE32(&farPixels.data[10], 0x7FFFFFF0);
    nothing(farPixels, "pixel offset beyond the file");
    Bmp palInHeader(2, 2, 8, 0, 0, 16); // 256 entries implied, only 16 stored
    nothing(palInHeader, "palette reaching into the headers");
    Bmp shortInfo = numbered24(2, 2);
    wrLE32(&shortInfo.data[14], 12);
    nothing(shortInfo, "12-byte information header");
    Bmp hugeRows = numbered24(2, 2);
    wrLE32(&hugeRows.data[18], 0x7FFFFFFF);
    wrLE32(&hugeRows.data[22], 0x7FFFFFFF);
    nothing(hugeRows, "rows that cannot fit");

    Bmp b = numbered24(10, 10);
    TFTbitmap(0, 0, b.file(), 10, 0);
    TFTbitmap(0, 0, b.file(), 0, 10);
    TFTbitmap(0, 0, b.file(), 30000, 30000);
    TFTbitmap(0, 0, b.file(), -1, 0);
    TFTbitmap(0, 0, b.file(), 0, -5);
    TFTbitmap(-10, 0, b.file(), 0, 0);
    TFTbitmap(0, -10, b.file(), 0, 0);
    TFTbitmap(-32768, -32768, b.file(), 0, 0);
    EXPECT_EQ(panel.changed(), 0);
    TFTbitmap(0, 0, nullptr, 0, 0);

    // Negative positions are clipped exactly at the left and top edges.
    TFTbitmap(-2, -3, b.file(), 0, 0);
    EXPECT_EQ(panel.at(0, 0), numbered(2, 3));
    EXPECT_EQ(panel.at(7, 6), numbered(9, 9));
    EXPECT_EQ(panel.changed(), 8 * 7);

    // Wider than lineBuf: only what the panel shows is converted.
    Panel land(5, 90); // 480 x 320
    Bmp wide = numbered24(1000, 2);
    TFTbitmap(0, 0, wide.file(), 0, 0);
    EXPECT_EQ(land.at(479, 1), numbered(479, 1));
    EXPECT_EQ(land.changed(), 480 * 2);
}

TEST(Bitmap, RowConversionStaysInsideTheCurrentPicture) {
    Panel panel(2, 0);
    Bmp b = numbered24(4, 1);
    TFTbitmap(0, 0, b.file(), 0, 0);
    ASSERT_EQ(bmpCurrent, b.file());
    memset(lineBuf, 0, sizeof lineBuf);
    BMPdat2Linebuf(b.file() + b.offset, 4);
    EXPECT_EQ(rdLE16(lineBuf),
              uint16_t((numbered(0, 0) >> 8) | (numbered(0, 0) << 8))); // high byte first
    memset(lineBuf, 0x5A, sizeof lineBuf);
    BMPdat2Linebuf(b.file() + b.offset, 5); // one pixel past the row data
    BMPdat2Linebuf(b.file(), 1);            // not pixel data
    EXPECT_EQ(lineBuf[0], 0x5A);
}

// ---- BMP Suite against its reference renderings ----

std::string suite(const std::string& name) {
    return std::string(VANTORIX_TESTDATA_DIR) + "/bmpsuite/" + name;
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The file as TFTbitmap's callers hand it over: a buffer of exactly the
// size-field length (missing bytes zero).
std::vector<uint8_t> asCallerPasses(const std::vector<uint8_t>& file) {
    if (file.size() < 6) return file;
    uint32_t size = std::min<uint32_t>(rdLE32(&file[2]), 64u << 20);
    std::vector<uint8_t> exact(size, 0);
    std::copy_n(file.begin(), std::min<size_t>(size, file.size()), exact.begin());
    return exact;
}

TEST(Bitmap, BmpSuiteMatchesTheReferenceRenderings) {
    if (!std::filesystem::exists(suite("g"))) GTEST_SKIP() << "BMP Suite not present";
    const std::pair<const char*, const char*> cases[] = {
        {"pal1", "pal1"},
        {"pal1wb", "pal1"},
        {"pal1bg", "pal1bg"},
        {"pal4", "pal4"},
        {"pal4gs", "pal4gs"},
        {"pal8", "pal8"},
        {"pal8-0", "pal8"},
        {"pal8gs", "pal8gs"},
        {"pal8v4", "pal8"},
        {"pal8v5", "pal8"},
        {"pal8w124", "pal8w124"},
        {"pal8w125", "pal8w125"},
        {"pal8w126", "pal8w126"},
        {"rgb24", "rgb24"},
        {"rgb24pal", "rgb24"},
        {"rgb16-565", "rgb16-565"},
        {"rgb16-565pal", "rgb16-565"},
    };
    for (const auto& [bmpName, refName] : cases) {
        png_image ref{};
        ref.version = PNG_IMAGE_VERSION;
        std::string refPath = suite("reference/") + refName + ".png";
        ASSERT_TRUE(png_image_begin_read_from_file(&ref, refPath.c_str())) << refPath;
        ref.format = PNG_FORMAT_RGB;
        std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(ref));
        ASSERT_TRUE(png_image_finish_read(&ref, nullptr, rgb.data(), 0, nullptr)) << refPath;

        Panel panel(5, 90); // 480 x 320: every picture fits
        std::vector<uint8_t> file = asCallerPasses(readFile(suite("g/") + bmpName + ".bmp"));
        TFTbitmap(0, 0, file.data(), 0, 0);
        int mismatches = 0;
        for (uint32_t y = 0; y < ref.height; ++y)
            for (uint32_t x = 0; x < ref.width; ++x) {
                const uint8_t* p = &rgb[(y * ref.width + x) * 3];
                mismatches += panel.at(int(x), int(y)) != rgb565(p[0], p[1], p[2]);
            }
        EXPECT_EQ(mismatches, 0) << bmpName;
        EXPECT_EQ(panel.changed() > 0, true) << bmpName;
        EXPECT_EQ(panel.at(int(ref.width), 0), sentinel) << bmpName;
    }
}

TEST(Bitmap, BmpSuiteFormatsWithoutConversionAndBrokenFilesDrawSafely) {
    if (!std::filesystem::exists(suite("g"))) GTEST_SKIP() << "BMP Suite not present";
    for (const char* name : {"g/rgb16", "g/rgb32", "g/rgb32bf", "g/pal8rle", "g/pal4rle",
                             "g/pal8topdown", "g/pal8os2", "q/pal2", "q/rgb24jpeg", "q/rgb24png"}) {
        Panel panel(5, 90);
        std::vector<uint8_t> file = asCallerPasses(readFile(suite(name) + ".bmp"));
        TFTbitmap(0, 0, file.data(), 0, 0);
        EXPECT_EQ(panel.changed(), 0) << name;
    }
    int files = 0;
    for (const char* dir : {"b", "q", "x"})
        for (const auto& entry : std::filesystem::directory_iterator(suite(dir))) {
            std::vector<uint8_t> file = asCallerPasses(readFile(entry.path().string()));
            if (file.size() < 6) continue; // not even a size field to go by
            Panel panel(5, 0);
            TFTbitmap(-7, 3, file.data(), 0, 0);
            TFTbitmap(10, 10, file.data(), 9, 1);
            ++files;
        }
    EXPECT_GT(files, 50);
}

} // namespace
