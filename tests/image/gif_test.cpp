// GIF reader: files written here by a small LZW encoder, decoded and composed.
#include "image/dib.h"
#include "image/gif_internal.h"
#include "image/readers_util.h"
#include "support/image_bytes.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <unordered_map>
#include <vector>

using namespace readers_test;

namespace {

struct BitWriter {
    Bytes out;
    uint32_t acc = 0;
    int n = 0;
    void put(int code, int size) {
        acc |= uint32_t(code) << n;
        n += size;
        while (n >= 8) {
            out.push_back(uint8_t(acc));
            acc >>= 8;
            n -= 8;
        }
    }
    Bytes finish() {
        if (n > 0) out.push_back(uint8_t(acc));
        return out;
    }
};

// GIF LZW as the usual encoders write it; `clearWhenFull` false keeps a full
// table (the deferred clear that the format allows).
Bytes lzw(const Bytes& px, int m, bool clearWhenFull = true) {
    BitWriter w;
    const int clear = 1 << m, end = clear + 1;
    int next = end + 1, size = m + 1;
    std::unordered_map<int, int> dict;
    w.put(clear, size);
    if (!px.empty()) {
        int prefix = px[0];
        for (size_t i = 1; i < px.size(); i++) {
            int key = (prefix << 8) | px[i];
            auto it = dict.find(key);
            if (it != dict.end()) {
                prefix = it->second;
                continue;
            }
            w.put(prefix, size);
            if (next >= 4095 && clearWhenFull) {
                w.put(clear, size);
                dict.clear();
                next = end + 1;
                size = m + 1;
            } else if (next < 4096) {
                dict[key] = next++;
                if (next > (1 << size) && size < 12) size++;
            }
            prefix = px[i];
        }
        w.put(prefix, size);
    }
    w.put(end, size);
    return w.finish();
}

void putSubBlocks(Bytes& f, const Bytes& data) {
    for (size_t o = 0; o < data.size(); o += 255) {
        size_t n = std::min<size_t>(255, data.size() - o);
        f.push_back(uint8_t(n));
        f.insert(f.end(), data.begin() + o, data.begin() + o + n);
    }
    f.push_back(0);
}

int tableBits(size_t entries) {
    int b = 0;
    while ((2u << b) < entries) b++;
    return b;
}

void putTable(Bytes& f, Bytes rgb) {
    size_t entries = rgb.size() / 3;
    size_t full = size_t(2) << tableBits(entries);
    rgb.resize(full * 3, 0);
    f.insert(f.end(), rgb.begin(), rgb.end());
}

struct Frame {
    int left = 0, top = 0, w = 0, h = 0;
    Bytes px;    // picture order, row by row
    Bytes local; // red, green, blue; empty: global table
    bool interlace = false;
    int delay = -1; // no graphic control extension when negative
    int disposal = 0, transparent = -1;
    int minCode = 0; // 0: from the table size
    Bytes raw;       // replaces the encoded data when not empty
};

Bytes gifFile(int W, int H, const Bytes& global, int bg, const std::vector<Frame>& frames,
              const char* sig = "GIF89a") {
    Bytes f(sig, sig + 6);
    imagebytes::putLE16(f, W);
    imagebytes::putLE16(f, H);
    f.push_back(uint8_t(global.empty() ? 0 : 0x80 | tableBits(global.size() / 3)));
    f.push_back(uint8_t(bg));
    f.push_back(0);
    if (!global.empty()) putTable(f, global);
    for (const Frame& fr : frames) {
        if (fr.delay >= 0) {
            Bytes gce = {0x21,
                         0xF9,
                         4,
                         uint8_t((fr.disposal << 2) | (fr.transparent >= 0 ? 1 : 0)),
                         uint8_t(fr.delay),
                         uint8_t(fr.delay >> 8),
                         uint8_t(fr.transparent >= 0 ? fr.transparent : 0),
                         0};
            f.insert(f.end(), gce.begin(), gce.end());
        }
        f.push_back(0x2C);
        imagebytes::putLE16(f, fr.left);
        imagebytes::putLE16(f, fr.top);
        imagebytes::putLE16(f, fr.w);
        imagebytes::putLE16(f, fr.h);
        size_t entries = (fr.local.empty() ? global.size() : fr.local.size()) / 3;
        f.push_back(uint8_t((fr.local.empty() ? 0 : 0x80 | tableBits(entries)) |
                            (fr.interlace ? 0x40 : 0)));
        if (!fr.local.empty()) putTable(f, fr.local);
        int m = fr.minCode ? fr.minCode : std::max(2, tableBits(entries) + 1);
        f.push_back(uint8_t(m));
        Bytes order;
        if (fr.interlace) {
            const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
            for (int p = 0; p < 4; p++)
                for (int y = start[p]; y < fr.h; y += step[p])
                    order.insert(order.end(), fr.px.begin() + y * fr.w,
                                 fr.px.begin() + (y + 1) * fr.w);
        } else {
            order = fr.px;
        }
        putSubBlocks(f, fr.raw.empty() ? lzw(order, m) : fr.raw);
    }
    f.push_back(0x3B);
    return f;
}

Frame solid(int left, int top, int w, int h, int index) {
    Frame f;
    f.left = left;
    f.top = top;
    f.w = w;
    f.h = h;
    f.px.assign(size_t(w) * h, uint8_t(index));
    return f;
}

int loadGif(const Bytes& file, List& list, const char* name = "t.gif") {
    std::string path = writeTemp(name, file);
    return LoadDIB(list.get(), path.c_str());
}

void expectPixel(const DIB& d, int x, int y, int r, int g, int b) {
    uint8_t c[3];
    pixelBGR(d, x, y, c);
    EXPECT_EQ(c[2], r) << x << "," << y;
    EXPECT_EQ(c[1], g) << x << "," << y;
    EXPECT_EQ(c[0], b) << x << "," << y;
}

// Each index i of the test palette is (i, 255 - i, 3 * i mod 256).
Bytes rampTable(int n) {
    Bytes t;
    for (int i = 0; i < n; i++) {
        t.push_back(uint8_t(i));
        t.push_back(uint8_t(255 - i));
        t.push_back(uint8_t(3 * i));
    }
    return t;
}

void expectFrameEquals(const DIB& d, const Frame& fr) {
    ASSERT_EQ(DIBWidth(&d), fr.w);
    ASSERT_EQ(DIBHeight(&d), fr.h);
    int bad = 0;
    for (int y = 0; y < fr.h && bad < 5; y++)
        for (int x = 0; x < fr.w && bad < 5; x++) {
            int i = fr.px[size_t(y) * fr.w + x];
            uint8_t c[3];
            pixelBGR(d, x, y, c);
            if (c[2] != i || c[1] != 255 - i || c[0] != uint8_t(3 * i)) {
                bad++;
                ADD_FAILURE() << "pixel " << x << "," << y << " index " << i;
            }
        }
}

} // namespace

TEST(GifReader, StillPicturesDecodeExactly) {
    std::mt19937 rng(5);
    List list = newList();
    Frame small = solid(0, 0, 10, 10, 0);
    for (auto& p : small.px) p = uint8_t(rng() % 4);
    ASSERT_EQ(loadGif(gifFile(10, 10, rampTable(4), 0, {small}), list), 1);
    EXPECT_EQ(list->count, 1);
    EXPECT_EQ(list->first, 1);
    EXPECT_EQ(list->current, 0);
    EXPECT_LE(DIBBitCount(&slotAt(list, 1)), 4);
    expectFrameEquals(slotAt(list, 1), small);

    // 256 colours with long repeated strings: codes grow to 12 bits and the
    // table is cleared and refilled many times.
    Frame big = solid(0, 0, 301, 157, 0);
    for (int y = 0; y < big.h; y++)
        for (int x = 0; x < big.w; x++)
            big.px[size_t(y) * big.w + x] = uint8_t(rng() % 9 == 0 ? rng() : (x / 7 + y / 5 * 3));
    ASSERT_EQ(loadGif(gifFile(301, 157, rampTable(256), 0, {big}), list), 1);
    expectFrameEquals(slotAt(list, 1), big);

    // A table that fills up and is never cleared, and one long single-colour run
    // (every new code is the one just being defined).
    Frame noise = solid(0, 0, 257, 64, 0);
    for (auto& p : noise.px) p = uint8_t(rng());
    Bytes file = gifFile(257, 64, rampTable(256), 0, {noise});
    Frame kept = noise;
    kept.raw = lzw(noise.px, 8, false);
    ASSERT_EQ(loadGif(gifFile(257, 64, rampTable(256), 0, {kept}), list), 1);
    expectFrameEquals(slotAt(list, 1), noise);
    Frame run = solid(0, 0, 1000, 3, 1);
    ASSERT_EQ(loadGif(gifFile(1000, 3, rampTable(2), 0, {run}), list), 1);
    expectFrameEquals(slotAt(list, 1), run);
}

TEST(GifReader, InterlacedRowsLandInPlaceForEveryHeight) {
    List list = newList();
    for (int h = 1; h <= 17; h++) {
        Frame f = solid(0, 0, 3, h, 0);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < 3; x++) f.px[size_t(y) * 3 + x] = uint8_t(y * 3 + x);
        f.interlace = true;
        ASSERT_EQ(loadGif(gifFile(3, h, rampTable(64), 0, {f}), list), 1) << h;
        expectFrameEquals(slotAt(list, 1), f);
    }
}

TEST(GifReader, SignaturesAndMissingTables) {
    Frame f = solid(0, 0, 2, 2, 1);
    List list = newList();
    EXPECT_EQ(loadGif(gifFile(2, 2, rampTable(2), 0, {f}, "GIF87a"), list), 1);
    EXPECT_EQ(loadGif(gifFile(2, 2, rampTable(2), 0, {f}, "GIF88a"), list), 0);
    EXPECT_EQ(list->count, 0);
    EXPECT_EQ(loadGif(gifFile(2, 2, {}, 0, {f}), list), 0) << "no colour table at all";
    EXPECT_EQ(loadGif(gifFile(2, 2, rampTable(2), 0, {}), list), 0) << "no image";
    Frame local = f;
    local.local = rampTable(4);
    ASSERT_EQ(loadGif(gifFile(2, 2, {}, 0, {local}), list), 1) << "a local table is enough";
    expectPixel(slotAt(list, 1), 1, 1, 1, 254, 3);
}

TEST(GifReader, AnimationDelaysAndComposition) {
    // Palette: 0 blue background, 1 red, 2 green, 3 white.
    Bytes pal = {0, 0, 255, 255, 0, 0, 0, 255, 0, 255, 255, 255};
    std::vector<Frame> frames = {solid(0, 0, 4, 4, 1), solid(1, 1, 2, 2, 2), solid(0, 0, 1, 1, 3),
                                 solid(3, 3, 1, 1, 3)};
    const int delays[4] = {0, 50, 15, 16};
    for (int k = 0; k < 4; k++) frames[k].delay = delays[k];
    frames[1].disposal = 2; // restore to background after frame 1
    frames[2].disposal = 3; // restore to what was there before frame 2
    List list = newList();
    ASSERT_EQ(loadGif(gifFile(4, 4, pal, 0, frames), list), 1);
    ASSERT_EQ(list->count, 4);
    EXPECT_EQ(list->first, 1);
    const int tenths[4] = {1, 5, 1, 2};
    for (int k = 0; k < 4; k++) EXPECT_EQ(list->frameDelay[1 + k], tenths[k]) << k;
    EXPECT_EQ(list->delay, 1);
    for (int k = 0; k < 4; k++) {
        EXPECT_EQ(DIBWidth(&slotAt(list, 1 + k)), 4);
        EXPECT_EQ(DIBHeight(&slotAt(list, 1 + k)), 4);
    }
    expectPixel(slotAt(list, 1), 2, 2, 255, 0, 0);
    expectPixel(slotAt(list, 2), 2, 2, 0, 255, 0);
    expectPixel(slotAt(list, 2), 0, 0, 255, 0, 0);
    // Frame 1's rectangle went back to the background before frame 2.
    expectPixel(slotAt(list, 3), 2, 2, 0, 0, 255);
    expectPixel(slotAt(list, 3), 0, 0, 255, 255, 255);
    expectPixel(slotAt(list, 3), 3, 3, 255, 0, 0);
    // Frame 3 starts from the picture before frame 2 was drawn.
    expectPixel(slotAt(list, 4), 0, 0, 255, 0, 0);
    expectPixel(slotAt(list, 4), 3, 3, 255, 255, 255);
    expectPixel(slotAt(list, 4), 2, 2, 0, 0, 255);

    // Disposal 3 on the first frame: frame 1 starts from the background.
    std::vector<Frame> back = {solid(0, 0, 4, 4, 1), solid(0, 0, 1, 1, 2)};
    back[0].delay = back[1].delay = 0;
    back[0].disposal = 3;
    ASSERT_EQ(loadGif(gifFile(4, 4, pal, 0, back), list), 1);
    expectPixel(slotAt(list, 2), 3, 3, 0, 0, 255);
    expectPixel(slotAt(list, 2), 0, 0, 0, 255, 0);
}

TEST(GifReader, AnimationsWithMoreColoursThanOnePaletteKeepThemAll) {
    // Two frames whose local tables hold 256 colours each, none shared.
    Frame first = solid(0, 0, 16, 16, 0), second = solid(0, 0, 16, 16, 0);
    for (int i = 0; i < 256; i++) first.px[i] = second.px[i] = uint8_t(i);
    first.local = rampTable(256);
    second.local = rampTable(256);
    for (size_t i = 2; i < second.local.size(); i += 3) second.local[i] ^= 1;
    first.delay = second.delay = 0;
    List list = newList();
    ASSERT_EQ(loadGif(gifFile(16, 16, {}, 0, {first, second}), list), 1);
    ASSERT_EQ(list->count, 2);
    EXPECT_EQ(DIBBitCount(&slotAt(list, 1)), 24);
    expectFrameEquals(slotAt(list, 1), first);
    expectPixel(slotAt(list, 2), 5, 0, 5, 250, 14);
    expectPixel(slotAt(list, 2), 15, 15, 255, 0, 252);
}

TEST(GifReader, TransparencyKeepsWhatLiesBelowAndPicksADistinctColour) {
    // Black transparent entry beside (red 1, green 2, blue 4): equal at 0xF8
    // masks, so one step away: blue 8, green 0x18, red 0x38.
    Bytes pal = {0, 0, 0, 1, 2, 4};
    Frame f0 = solid(0, 0, 3, 1, 1);
    f0.px[1] = 0;
    f0.delay = 0;
    f0.transparent = 0;
    List list = newList();
    ASSERT_EQ(loadGif(gifFile(3, 1, pal, 1, {f0}), list), 1);
    EXPECT_EQ(list->hasTransparent, 1);
    EXPECT_EQ(list->transparent[0], 8);
    EXPECT_EQ(list->transparent[1], 0x18);
    EXPECT_EQ(list->transparent[2], 0x38);
    EXPECT_EQ(list->fileTransparent[0] | list->fileTransparent[1] | list->fileTransparent[2], 0);
    expectPixel(slotAt(list, 1), 1, 0, 0x38, 0x18, 8);
    expectPixel(slotAt(list, 1), 0, 0, 1, 2, 4);

    // In an animation, transparent pixels of later frames show the frame below.
    Bytes pal2 = {0, 0, 0, 200, 0, 0, 0, 200, 0, 0, 0, 200};
    Frame a = solid(0, 0, 2, 1, 1), b = solid(0, 0, 2, 1, 2);
    a.delay = b.delay = 10;
    b.px[0] = 3;
    b.transparent = 3;
    ASSERT_EQ(loadGif(gifFile(2, 1, pal2, 0, {a, b}), list), 1);
    EXPECT_EQ(list->hasTransparent, 0);
    expectPixel(slotAt(list, 2), 0, 0, 200, 0, 0);
    expectPixel(slotAt(list, 2), 1, 0, 0, 200, 0);

    // All 32 candidates taken: the search still ends, with the file's colour.
    Bytes crowded;
    for (int k = 0; k < 32; k++) {
        crowded.push_back(uint8_t(0x38 * k));
        crowded.push_back(uint8_t(0x18 * k));
        crowded.push_back(uint8_t(8 * k));
    }
    crowded.insert(crowded.end(), {0, 0, 0});
    Frame c = solid(0, 0, 2, 1, 5);
    c.delay = 0;
    c.transparent = 0;
    ASSERT_EQ(loadGif(gifFile(2, 1, crowded, 0, {c}), list), 1);
    EXPECT_EQ(list->hasTransparent, 1);
    EXPECT_EQ(list->transparent[0] | list->transparent[1] | list->transparent[2], 0);
}

TEST(GifReader, BadDataIsClippedOrCut) {
    List list = newList();
    Bytes pal = rampTable(4);
    // A code far above the next free slot ends the image; what came before stays.
    Frame f = solid(0, 0, 3, 1, 0);
    BitWriter w;
    w.put(4, 3);
    w.put(2, 3);
    w.put(7, 3); // next free is 6
    w.put(1, 3);
    w.put(5, 3);
    f.raw = w.finish();
    ASSERT_EQ(loadGif(gifFile(3, 1, pal, 0, {f}), list), 1);
    expectPixel(slotAt(list, 1), 0, 0, 2, 253, 6);

    // Minimum code sizes outside 2..8: the image stays blank, the file still loads.
    for (int m : {1, 9, 12}) {
        Frame bad = solid(0, 0, 2, 2, 1);
        bad.minCode = m;
        bad.raw = {0x55, 0x55};
        ASSERT_EQ(loadGif(gifFile(2, 2, pal, 0, {bad, solid(0, 0, 2, 2, 1)}), list), 1) << m;
        expectPixel(slotAt(list, 1), 0, 0, 0, 255, 0);
        expectPixel(slotAt(list, 2), 0, 0, 1, 254, 3); // the next image reads normally
    }

    // Indices beyond the table become entry 0; a transparent index beyond it is none.
    Frame beyond = solid(0, 0, 2, 1, 9);
    beyond.minCode = 4;
    beyond.px[1] = 2;
    beyond.delay = 0;
    beyond.transparent = 7;
    ASSERT_EQ(loadGif(gifFile(2, 1, pal, 0, {beyond}), list), 1);
    EXPECT_EQ(list->hasTransparent, 0);
    expectPixel(slotAt(list, 1), 0, 0, 0, 255, 0);
    expectPixel(slotAt(list, 1), 1, 0, 2, 253, 6);

    // Frames partly outside the screen and wider than it are clipped; disposal 6
    // keeps the picture like "do not dispose".
    Frame wide = solid(2, 1, 9, 2, 3), dot = solid(0, 0, 1, 1, 2);
    wide.delay = dot.delay = 0;
    wide.disposal = 6;
    ASSERT_EQ(loadGif(gifFile(4, 3, pal, 1, {wide, dot}), list), 1);
    expectPixel(slotAt(list, 1), 1, 1, 1, 254, 3);
    expectPixel(slotAt(list, 1), 3, 2, 3, 252, 9);
    expectPixel(slotAt(list, 2), 3, 1, 3, 252, 9);
    expectPixel(slotAt(list, 2), 0, 0, 2, 253, 6);

    // Every truncation of an animation loads or fails cleanly.
    Bytes anim = gifFile(4, 3, pal, 1, {wide, dot, solid(1, 1, 2, 2, 2)});
    for (size_t n = 0; n < anim.size(); n++) {
        int r = loadGif(Bytes(anim.begin(), anim.begin() + n), list, "cut.gif");
        EXPECT_TRUE(r == 0 || r == 1);
        if (r)
            touchAll(slotAt(list, list->first));
        else
            EXPECT_EQ(list->count, 0);
    }
}
