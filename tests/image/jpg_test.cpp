// JPEG reader against libjpeg-turbo's own decoding of files written here.
#include "image/dib.h"
#include "image/ijl.h"
#include "image/jpg_internal.h"
#include "image/readers_util.h"

#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <jpeglib.h>

using namespace readers_test;

namespace {

struct JpegSettings {
    int w = 16, h = 16;
    int components = 3;
    J_COLOR_SPACE in = JCS_RGB;
    int units = 0, xDensity = 1, yDensity = 1;
    bool progressive = false;
    bool jfif = true;
};

// Smooth content with some edges, so decoding differences would show.
Bytes makeSamples(const JpegSettings& s, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes px(size_t(s.w) * s.h * s.components);
    for (int y = 0; y < s.h; y++)
        for (int x = 0; x < s.w; x++)
            for (int c = 0; c < s.components; c++)
                px[(size_t(y) * s.w + x) * s.components + c] =
                    uint8_t((x * 7 + y * 3 + c * 50) ^ ((x / 8 + y / 8) % 2 ? 0x40 : 0)) +
                    uint8_t(rng() % 8);
    return px;
}

void writeJpeg(const std::string& path, const JpegSettings& s, const Bytes& px) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    remove(path.c_str()); // see writeTemp
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    jpeg_stdio_dest(&c, f);
    c.image_width = s.w;
    c.image_height = s.h;
    c.input_components = s.components;
    c.in_color_space = s.in;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    c.write_JFIF_header = s.jfif ? TRUE : FALSE;
    c.density_unit = uint8_t(s.units);
    c.X_density = uint16_t(s.xDensity);
    c.Y_density = uint16_t(s.yDensity);
    if (s.progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row =
            const_cast<JSAMPROW>(px.data() + size_t(c.next_scanline) * s.w * s.components);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    fclose(f);
}

// libjpeg-turbo's own decoding as blue, green, red, top row first.
Bytes referenceBGR(const std::string& path, int* w, int* h) {
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    FILE* f = fopen(path.c_str(), "rb");
    jpeg_stdio_src(&d, f);
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&d);
    *w = int(d.output_width);
    *h = int(d.output_height);
    Bytes out(size_t(*w) * *h * 3);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = out.data() + size_t(d.output_scanline) * *w * 3;
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    fclose(f);
    return out;
}

void expectSameAsLibjpeg(const std::string& path) {
    SCOPED_TRACE(path);
    int w = 0, h = 0;
    Bytes ref = referenceBGR(path, &w, &h);
    List list = newList();
    ASSERT_EQ(LoadDIB(list.get(), path.c_str()), 1);
    const DIB& d = slotAt(list, 1);
    ASSERT_EQ(DIBBitCount(&d), 24);
    ASSERT_EQ(DIBWidth(&d), w);
    ASSERT_EQ(DIBHeight(&d), h);
    ASSERT_EQ(d.lineBytes, (w * 3 + 3) & ~3);
    for (int y = 0; y < h; y++)
        ASSERT_EQ(memcmp(d.bits + size_t(h - 1 - y) * d.lineBytes, ref.data() + size_t(y) * w * 3,
                         size_t(w) * 3),
                  0)
            << "row " << y;
}

} // namespace

TEST(JpgReader, PixelsMatchLibjpegForColourGreyAndProgressive) {
    for (auto [w, h, prog] : {std::tuple{16, 16, false},
                              {101, 10, false},
                              {37, 53, true},
                              {1, 1, false},
                              {255, 3, true}}) {
        JpegSettings s;
        s.w = w;
        s.h = h;
        s.progressive = prog;
        std::string path = tempPath("colour.jpg");
        writeJpeg(path, s, makeSamples(s, unsigned(w * h)));
        expectSameAsLibjpeg(path);
    }
    JpegSettings grey;
    grey.w = 23;
    grey.h = 9;
    grey.components = 1;
    grey.in = JCS_GRAYSCALE;
    std::string path = tempPath("grey.JPG");
    writeJpeg(path, grey, makeSamples(grey, 3));
    expectSameAsLibjpeg(path);
    List list = newList();
    ASSERT_EQ(LoadDIB(list.get(), path.c_str()), 1);
    const DIB& d = slotAt(list, 1);
    for (int y = 0; y < grey.h; y++)
        for (int x = 0; x < grey.w; x++) {
            uint8_t c[3];
            pixelBGR(d, x, y, c);
            ASSERT_TRUE(c[0] == c[1] && c[1] == c[2]) << x << "," << y;
        }
}

TEST(JpgReader, LayoutAndDensity) {
    JpegSettings s;
    s.w = 101;
    s.h = 10;
    struct Case {
        int units, x, y, wantX, wantY;
    } cases[] = {{1, 300, 300, 11811, 11811}, {1, 96, 72, 3780, 2835}, {0, 1, 1, 2835, 2835},
                 {2, 40, 40, 4000, 4000},     {1, 0, 0, 2835, 2835},   {3, 300, 300, 2835, 2835}};
    for (const Case& c : cases) {
        s.units = c.units;
        s.xDensity = c.x;
        s.yDensity = c.y;
        std::string path = tempPath("density.jpg");
        writeJpeg(path, s, makeSamples(s, 9));
        uint8_t* mem = LoadJPGfile(path.c_str());
        ASSERT_NE(mem, nullptr);
        EXPECT_EQ(rdLE32(mem + BI_SIZE), 40u);
        EXPECT_EQ(rdLE32(mem + BI_WIDTH), 101u);
        EXPECT_EQ(rdLE32(mem + BI_HEIGHT), 10u);
        EXPECT_EQ(rdLE16(mem + BI_PLANES), 1);
        EXPECT_EQ(rdLE16(mem + BI_BITCOUNT), 24);
        EXPECT_EQ(rdLE32(mem + BI_COMPRESSION), 0u);
        EXPECT_EQ(rdLE32(mem + BI_SIZEIMAGE), 3040u);
        EXPECT_EQ(rdLE32(mem + BI_XPELS), uint32_t(c.wantX)) << c.units << " " << c.x;
        EXPECT_EQ(rdLE32(mem + BI_YPELS), uint32_t(c.wantY)) << c.units << " " << c.y;
        EXPECT_EQ(rdLE32(mem + BI_CLRUSED), 0u);
        // The padding byte of each 304-byte row stays zero.
        for (int y = 0; y < 10; y++) EXPECT_EQ(mem[40 + y * 304 + 303], 0);
        free(mem);
    }
    EXPECT_EQ(MulDiv32(300, 100, 2.54), 11811);
    EXPECT_EQ(MulDiv32(1, 1, 2), 1) << "halves round up";
    EXPECT_EQ(MulDiv32(5, 1, 4), 1);
    EXPECT_EQ(MulDiv32(7, 1, 4), 2);
}

TEST(JpgReader, CmykComesBackAsRgb) {
    // libjpeg writes CMYK with an Adobe marker; such files hold inverted inks
    // (255 = no ink), which is what we store here.
    JpegSettings s;
    s.w = 16;
    s.h = 8;
    s.components = 4;
    s.in = JCS_CMYK;
    s.jfif = false;
    Bytes px(size_t(s.w) * s.h * 4);
    for (int y = 0; y < s.h; y++)
        for (int x = 0; x < s.w; x++) {
            uint8_t* p = &px[(size_t(y) * s.w + x) * 4];
            bool left = x < 8;
            // Left: no ink at all (white). Right: full cyan, nothing else.
            p[0] = left ? 255 : 0;
            p[1] = 255;
            p[2] = 255;
            p[3] = 255;
        }
    std::string path = tempPath("cmyk.jpg");
    writeJpeg(path, s, px);
    List list = newList();
    ASSERT_EQ(LoadDIB(list.get(), path.c_str()), 1);
    const DIB& d = slotAt(list, 1);
    ASSERT_EQ(DIBBitCount(&d), 24);
    uint8_t c[3];
    pixelBGR(d, 2, 3, c);
    EXPECT_GE(c[0], 250);
    EXPECT_GE(c[1], 250);
    EXPECT_GE(c[2], 250);
    pixelBGR(d, 13, 3, c);
    EXPECT_LE(c[2], 5) << "cyan has no red";
    EXPECT_GE(c[1], 250);
    EXPECT_GE(c[0], 250);
}

TEST(JpgReader, BrokenAndForeignFiles) {
    List list = newList();
    EXPECT_EQ(LoadDIB(list.get(), tempPath("missing.jpg").c_str()), 0);
    EXPECT_EQ(LoadDIB(list.get(), writeTemp("text.jpg", Bytes(100, 'x')).c_str()), 0);
    EXPECT_EQ(LoadDIB(list.get(), writeTemp("empty.jpg", Bytes()).c_str()), 0);
    EXPECT_EQ(list->count, 0);

    JpegSettings s;
    s.w = 64;
    s.h = 64;
    std::string good = tempPath("good.jpg");
    writeJpeg(good, s, makeSamples(s, 4));
    Bytes file = readAll(good);
    // A file cut in its image data still loads: the decoded part is kept.
    Bytes cut(file.begin(), file.begin() + file.size() * 2 / 3);
    ASSERT_EQ(LoadDIB(list.get(), writeTemp("cut.jpg", cut).c_str()), 1);
    EXPECT_EQ(DIBWidth(&slotAt(list, 1)), 64);
    int w = 0, h = 0;
    Bytes ref = referenceBGR(good, &w, &h);
    EXPECT_EQ(
        memcmp(slotAt(list, 1).bits + size_t(63) * slotAt(list, 1).lineBytes, ref.data(), 64 * 3),
        0)
        << "the first row was decoded before the cut";
    // Cut inside the header: refused.
    Bytes head(file.begin(), file.begin() + 40);
    EXPECT_EQ(LoadDIB(list.get(), writeTemp("head.jpg", head).c_str()), 0);

    // The layer refuses a bitmap that does not fit the picture.
    JPEG_CORE_PROPERTIES jcp = {};
    ASSERT_EQ(ijlInit(&jcp), IJL_OK);
    jcp.JPGFile = good.c_str();
    ASSERT_EQ(ijlRead(&jcp, IJL_JFILE_READPARAMS), IJL_OK);
    EXPECT_EQ(jcp.JPGWidth, 64);
    EXPECT_EQ(jcp.JPGChannels, 3);
    Bytes small(64 * 3 * 10);
    jcp.DIBBytes = small.data();
    jcp.DIBWidth = 64;
    jcp.DIBHeight = -10;
    jcp.DIBChannels = 3;
    EXPECT_NE(ijlRead(&jcp, IJL_JFILE_READWHOLEIMAGE), IJL_OK);
    EXPECT_EQ(ijlFree(&jcp), IJL_OK);
    EXPECT_EQ(ijlRead(&jcp, IJL_JFILE_READPARAMS), IJL_BAD_HANDLE) << "after ijlFree";
}
