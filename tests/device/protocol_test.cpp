// The board's link logic: bitmap streams drawn row by row as they arrive
// must leave the panel as TFTbitmap leaves it, whatever the split, the depth
// and the clipping; the configuration message and record.
#include "device/configrecord.h"
#include "device/protocol.h"

#include "common/settings.h"
#include "headless/headless.h"
#include "panel/zr_tft.h"
#include "support/bmp_writer.h"
#include "support/panel_fixture.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {
std::vector<uint8_t> replies;
int configuredCalls = 0;

DeviceSetup testSetup() {
    replies.clear();
    configuredCalls = 0;
    DeviceSetup setup;
    setup.firmwareVersion = 110;
    setup.reply = [](const uint8_t* bytes, size_t length) {
        replies.insert(replies.end(), bytes, bytes + length);
    };
    setup.configured = [] { ++configuredCalls; };
    return setup;
}

// A picture of the depth with a different colour in (nearly) every pixel.
std::vector<uint8_t> pictureOfDepth(int bits, int width, int height) {
    BmpFile f;
    f.width = width;
    f.height = height;
    f.bits = uint16_t(bits);
    if (bits <= 8) {
        std::vector<uint8_t> palette;
        for (int k = 0; k < (1 << bits); ++k)
            palette.insert(palette.end(), {uint8_t(k * 37), uint8_t(k * 11), uint8_t(255 - k), 0});
        f.palette = palette;
    }
    if (bits == 16) {
        f.compression = 3;
        f.masks = {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0};
    }
    size_t rowBytes = size_t((width * bits + 31) / 32 * 4);
    f.pixels.resize(rowBytes * size_t(height));
    for (size_t i = 0; i < f.pixels.size(); ++i) f.pixels[i] = uint8_t(i * 7 + i / rowBytes);
    return f.build();
}

std::vector<uint16_t> drawnByTFTbitmap(const std::vector<uint8_t>& bmp, int x, int y) {
    PanelFixture panel(1, 0, 0x1234);
    TFTbitmap(int16_t(x), int16_t(y), bmp.data(), 0, 0);
    return panel.pixels;
}

std::vector<uint16_t> drawnByStream(const std::vector<uint8_t>& bmp, int x, int y, size_t cut) {
    PanelFixture panel(1, 0, 0x1234);
    deviceStart(testSetup());
    // The command language has no minus sign: negative places come as 16-bit values.
    std::string prefix =
        "#BM" + std::to_string(uint16_t(x)) + "," + std::to_string(uint16_t(y)) + ",";
    std::vector<uint8_t> stream(prefix.begin(), prefix.end());
    stream.insert(stream.end(), bmp.begin(), bmp.end());
    cut = std::min(cut, stream.size());
    deviceFeed(stream.data(), cut);
    // The rest in pieces smaller than a row, as USB packets cut a wide one.
    constexpr size_t piece = 23;
    for (size_t at = cut; at < stream.size(); at += piece)
        deviceFeed(stream.data() + at, std::min(piece, stream.size() - at));
    EXPECT_FALSE(deviceInUnit());
    return panel.pixels;
}
} // namespace

TEST(DeviceBitmapStream, DrawsWhatTFTbitmapDrawsForEveryDepthPlaceAndSplit) {
    // Model 1 is 80 x 160: places inside, clipped right and bottom, and beyond.
    const int places[][2] = {{3, 5}, {70, 150}, {0, 0}, {79, 159}, {80, 0}, {-5, -3}};
    // The wide picture's rows arrive in several pieces and are drawn in parts.
    const int sizes[][2] = {{19, 13}, {75, 3}};
    for (int bits : {1, 4, 8, 16, 24}) {
        for (const auto& size : sizes) {
            std::vector<uint8_t> bmp = pictureOfDepth(bits, size[0], size[1]);
            for (const auto& at : places) {
                std::vector<uint16_t> expected = drawnByTFTbitmap(bmp, at[0], at[1]);
                for (size_t cut = 0; cut <= bmp.size() + 8; cut += (bits == 24 ? 1 : 5))
                    ASSERT_EQ(drawnByStream(bmp, at[0], at[1], cut), expected)
                        << bits << " bits, " << size[0] << " wide, at " << at[0] << "," << at[1]
                        << " cut at " << cut;
            }
        }
    }
}

TEST(DeviceBitmapStream, AStoppedStreamIsDroppedAndGarbageNeverHurts) {
    PanelFixture panel(1, 0);
    deviceStart(testSetup());
    std::vector<uint8_t> bmp = pictureOfDepth(24, 40, 40);
    std::string prefix = "#BM0,0,";
    deviceFeed(reinterpret_cast<const uint8_t*>(prefix.data()), prefix.size());
    deviceFeed(bmp.data(), bmp.size() / 2);
    EXPECT_TRUE(deviceInUnit());
    deviceDropUnit();
    EXPECT_FALSE(deviceInUnit());
    const char fill[] = "#DF 255,0,0\n";
    deviceFeed(reinterpret_cast<const uint8_t*>(fill), sizeof fill - 1);
    EXPECT_EQ(panel.countColour(0xF800), int(panel.pixels.size()));

    std::mt19937 random(7);
    std::vector<uint8_t> garbage(20000);
    for (uint8_t& b : garbage)
        b = uint8_t(random() % 5 == 0 ? "#BM\n\x1b"[random() % 5] : random());
    deviceFeed(garbage.data(), garbage.size());
    deviceDropUnit();
    const char query[] = "\x1b?\n";
    replies.clear();
    deviceFeed(reinterpret_cast<const uint8_t*>(query), 3);
    ASSERT_EQ(replies.size(), 4u);
    EXPECT_EQ(replies[2], 110);
}

TEST(DeviceConfiguration, TheMessageSetsTheModuleAndIsAnswered) {
    HeadlessOptions start;
    headlessStart(start);
    deviceStart(testSetup());
    const char configure[] = "\x1b"
                             "C5,1,90\n";
    deviceFeed(reinterpret_cast<const uint8_t*>(configure), sizeof configure - 1);
    ASSERT_EQ(replies.size(), 4u);
    EXPECT_EQ(replies[3], 0x80 | (1 << 5) | 5);
    EXPECT_EQ(configuredCalls, 1);
    EXPECT_EQ(TFTwidth, 480);

    replies.clear();
    const char refused[] = "\x1b"
                           "C9,0,45\n";
    deviceFeed(reinterpret_cast<const uint8_t*>(refused), sizeof refused - 1);
    ASSERT_EQ(replies.size(), 4u);
    EXPECT_EQ(replies[3] & configModelMask, 5);
    EXPECT_EQ(configuredCalls, 1);
    resetSettings();
}

TEST(DeviceConfiguration, TheRecordKeepsWhatWasStoredAndRefusesAnythingElse) {
    uint8_t record[configRecordBytes];
    encodeConfigRecord({6, 0, 270}, record);
    ModuleConfiguration back{};
    ASSERT_TRUE(decodeConfigRecord(record, sizeof record, &back));
    EXPECT_EQ(back.model, 6);
    EXPECT_EQ(back.angle, 270);

    uint8_t erased[configRecordBytes];
    std::fill(std::begin(erased), std::end(erased), 0xFF);
    EXPECT_FALSE(decodeConfigRecord(erased, sizeof erased, &back));
    for (size_t i = 0; i < configRecordBytes; ++i) {
        uint8_t damaged[configRecordBytes];
        std::copy(std::begin(record), std::end(record), damaged);
        damaged[i] ^= 0x04;
        EXPECT_FALSE(decodeConfigRecord(damaged, sizeof damaged, &back)) << "byte " << i;
    }
    EXPECT_FALSE(decodeConfigRecord(record, configRecordBytes - 1, &back));
}
