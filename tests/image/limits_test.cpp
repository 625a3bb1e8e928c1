// The one pixel limit of all readers, and the reasons they give for a refusal.
#include "image/dib.h"
#include "support/image_bytes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <jpeglib.h>
#include <memory>
#include <string>

using namespace imagebytes;

namespace {

struct ListDeleter {
    void operator()(MultiDIB* list) const {
        MultiDibFree(list);
        free(list);
    }
};
using List = std::unique_ptr<MultiDIB, ListDeleter>;
List newList() {
    return List(static_cast<MultiDIB*>(calloc(1, sizeof(MultiDIB))));
}

int load(const List& list, const Bytes& data, const char* name) {
    return LoadDIBmemory(list.get(), data.data(), data.size(), name);
}

// A small baseline JPEG whose frame header then claims width x height.
Bytes jpegClaiming(uint16_t width, uint16_t height) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = 8;
    c.image_height = 8;
    c.input_components = 1;
    c.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&c);
    jpeg_start_compress(&c, TRUE);
    JSAMPLE row[8] = {};
    JSAMPROW rows[1] = {row};
    while (c.next_scanline < 8) jpeg_write_scanlines(&c, rows, 1);
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes file(out, out + size);
    free(out);
    for (size_t i = 0; i + 9 < file.size(); ++i)
        if (file[i] == 0xFF && file[i + 1] == 0xC0) {
            file[i + 5] = uint8_t(height >> 8);
            file[i + 6] = uint8_t(height);
            file[i + 7] = uint8_t(width >> 8);
            file[i + 8] = uint8_t(width);
            break;
        }
    return file;
}

// An 8-bit RLE picture that codes only its bottom left pixel (index 1).
Bytes rle8Claiming(int32_t width, int32_t height) {
    const Bytes stream = {1, 1, 0, 1};
    Bytes f = {'B', 'M'};
    const uint32_t offset = 14 + 40 + 2 * 4;
    putLE32(f, offset + uint32_t(stream.size()));
    putLE32(f, 0);
    putLE32(f, offset);
    for (uint32_t v : {40u, uint32_t(width), uint32_t(height)}) putLE32(f, v);
    putLE16(f, 1);
    putLE16(f, 8);
    for (uint32_t v : {1u, uint32_t(stream.size()), 2835u, 2835u, 2u, 0u}) putLE32(f, v);
    for (uint32_t v : {0x000000u, 0xFFFFFFu}) putLE32(f, v);
    f.insert(f.end(), stream.begin(), stream.end());
    return f;
}

// A GIF whose images (all black, one code each) have the given sizes.
Bytes gifWithImages(std::initializer_list<std::pair<uint16_t, uint16_t>> sizes) {
    Bytes f = {'G', 'I', 'F', '8', '9', 'a'};
    putLE16(f, 1);
    putLE16(f, 1);
    f.insert(f.end(), {0x80, 0, 0, 0, 0, 0, 255, 255, 255});
    for (auto [w, h] : sizes) {
        f.push_back(0x2C);
        putLE16(f, 0);
        putLE16(f, 0);
        putLE16(f, w);
        putLE16(f, h);
        // Code size 2: clear, end.
        f.insert(f.end(), {0, 2, 1, 0x2C, 0});
    }
    f.push_back(0x3B);
    return f;
}

// The header alone claims the size.
Bytes pngClaiming(uint32_t width, uint32_t height) {
    return pngFile({pngChunk("IHDR", pngHeader(width, height, 16, 6)), pngChunk("IEND", {})});
}

Bytes greyPng(uint32_t width, uint32_t height) {
    Bytes raw(size_t(width + 1) * height, 0);
    for (uint32_t y = 0; y < height; ++y)
        memset(&raw[size_t(width + 1) * y + 1], int(y + 1), width);
    return pngFile({pngChunk("IHDR", pngHeader(width, height, 8, 0)),
                    pngChunk("IDAT", deflateBytes(raw)), pngChunk("IEND", {})});
}

} // namespace

TEST(PixelLimit, EveryReaderRefusesMoreBeforeAllocating) {
    List list = newList();
    struct Case {
        const char* what;
        Bytes file;
        const char* name;
    };
    const Case cases[] = {
        {"JPEG of 31488 x 10752", jpegClaiming(31488, 10752), "a.jpg"},
        {"JPEG of 18000 x 18000", jpegClaiming(18000, 18000), "a.jpg"},
        {"PNG of 4097 x 4096", pngClaiming(4097, 4096), "a.png"},
        {"RLE8 BMP of 16384 x 16384", rle8Claiming(16384, 16384), "a.bmp"},
        {"RLE8 BMP one row over", rle8Claiming(65536, 257), "a.bmp"},
        {"GIF whose first image is too large", gifWithImages({{4097, 4096}}), "a.gif"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(load(list, c.file, c.name), 0) << c.what;
        EXPECT_EQ(GetDIBError(), DIB_ERR_TOO_LARGE) << c.what;
    }
    EXPECT_NE(std::string(DIBErrorText(DIB_ERR_TOO_LARGE)).find("16777216"), std::string::npos);
}

TEST(PixelLimit, LongThinPicturesWithinTheCountLoad) {
    List list = newList();
    ASSERT_EQ(load(list, rle8Claiming(65536, 256), "a.bmp"), 1);
    const DIB& rle = list->slot[1];
    EXPECT_EQ(DIBWidth(&rle), 65536);
    EXPECT_EQ(DIBHeight(&rle), 256);
    EXPECT_EQ(rle.bits[0], 1);
    EXPECT_EQ(rle.bits[1], 0);

    ASSERT_EQ(load(list, greyPng(70000, 2), "a.png"), 1);
    EXPECT_EQ(DIBWidth(&list->slot[1]), 70000);
    EXPECT_EQ(list->slot[1].bits[69999], 2); // bottom row

    // Reading stops at the image that would pass the limit; what came before stays.
    ASSERT_EQ(load(list, gifWithImages({{2, 2}, {4097, 4096}}), "a.gif"), 1);
    EXPECT_EQ(list->count, 1);
    EXPECT_EQ(DIBWidth(&list->slot[1]), 2);
}

TEST(PixelLimit, RefusalsNameTheirReason) {
    List list = newList();
    EXPECT_EQ(LoadDIB(list.get(), "/nonexistent/folder/p.png"), 0);
    EXPECT_EQ(GetDIBError(), DIB_ERR_MISSING);
    EXPECT_EQ(load(list, greyPng(2, 2), "p.tiff"), 0);
    EXPECT_EQ(GetDIBError(), DIB_ERR_UNSUPPORTED);
    Bytes cut = greyPng(5, 5);
    cut.resize(cut.size() - 20);
    EXPECT_EQ(load(list, cut, "p.png"), 0);
    EXPECT_EQ(GetDIBError(), DIB_ERR_DAMAGED);
    EXPECT_EQ(load(list, greyPng(5, 5), "p.png"), 1);
    EXPECT_EQ(GetDIBError(), DIB_OK);
}
