// Pictures through the runner: drawing, --decode, --prepare and the stream.
#include "support/bmp_writer.h"
#include "support/cli_run.h"

#include <gtest/gtest.h>

using namespace clitest;

namespace {
std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
uint32_t le32(const std::string& b, size_t at) {
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 |
           uint32_t(uint8_t(b[at + 2])) << 16 | uint32_t(uint8_t(b[at + 3])) << 24;
}
uint16_t le16(const std::string& b, size_t at) {
    return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8);
}

// A PNG written by libpng: a gradient with a blue square in its middle.
std::string writePng(const std::string& path, int width, int height) {
    std::vector<uint8_t> rgb(size_t(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
            bool square = std::abs(x - width / 2) < 8 && std::abs(y - height / 2) < 8;
            p[0] = square ? 0 : uint8_t(x * 255 / width);
            p[1] = square ? 0 : uint8_t(y * 255 / height);
            p[2] = square ? 255 : 64;
        }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(width);
    image.height = png_uint_32(height);
    image.format = PNG_FORMAT_RGB;
    png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr);
    return path;
}
} // namespace

TEST(CliPictures, PictureFileIsDrawnAtTheDropPositionKeptInside) {
    TempDir dir;
    std::string bmp = dir.file("band.bmp");
    writeFile(bmp, makeBmp24(100, 50, [](int, int) { return 0xFF0000u; }));
    std::string png = dir.file("panel.png");
    CliRun run = runCli("-m KP150 --at 200,20 " + bmp + " -o " + png);
    ASSERT_EQ(run.status, 0) << run.err;
    PngImage panel;
    ASSERT_TRUE(readPng(png, panel));
    EXPECT_EQ(panel.rgb565At(140, 20), 0xF800) << "moved left to x = 240 - 100";
    EXPECT_EQ(panel.rgb565At(239, 69), 0xF800);
    EXPECT_EQ(panel.rgb565At(139, 20), 0x0000);
    EXPECT_EQ(panel.rgb565At(140, 70), 0x0000);
}

TEST(CliPictures, PreparedFileIsExactlyWhatTheBoardReceives) {
    TempDir dir;
    std::string big = dir.file("big.bmp");
    writeFile(big,
              makeBmp24(640, 480, [](int x, int y) { return uint32_t(x << 16 | y << 8 | 0x80); }));
    std::string prepared = dir.file("prepared.bmp");
    CliRun prepare = runCli("-m KP200 --prepare " + big + " " + prepared);
    ASSERT_EQ(prepare.status, 0) << prepare.err;
    std::string image = readAll(prepared);
    ASSERT_GE(image.size(), 54u);
    EXPECT_EQ(image.substr(0, 2), "BM");
    EXPECT_EQ(le32(image, 18), 240u) << "640x480 fitted into 240x320";
    EXPECT_EQ(le32(image, 22), 180u);
    EXPECT_EQ(le16(image, 28), 16);
    EXPECT_EQ(le32(image, 30), 3u) << "RGB565 bit fields";
    EXPECT_EQ(image.size(), 14 + 40 + 12 + 240 * 180 * 2u);
    EXPECT_EQ(le32(image, 2), image.size());

    std::string board = dir.file("board.bin");
    CliRun send = runCli("-m KP200 -b " + board + " " + big);
    ASSERT_EQ(send.status, 0) << send.err;
    EXPECT_TRUE(readAll(board) == image) << "at 0,0 the stream is the prepared image alone";

    std::string landscape = dir.file("landscape.bmp");
    ASSERT_EQ(runCli("-m KP350 -a 90 --prepare " + big + " " + landscape).status, 0);
    std::string wide = readAll(landscape);
    ASSERT_GE(wide.size(), 54u);
    EXPECT_EQ(le32(wide, 18), 426u) << "640 x 320 / 480, truncated";
    EXPECT_EQ(le32(wide, 22), 320u);
    EXPECT_EQ(le16(wide, 28), 8) << "426x320 at 16 bits exceeds the transfer limit";
}

TEST(CliPictures, DecodeWritesThePictureAsLoaded) {
    TempDir dir;
    std::string png = writePng(dir.file("square.png"), 40, 30);
    std::string out = dir.file("square.bmp");
    CliRun run = runCli("--decode " + png + " " + out);
    ASSERT_EQ(run.status, 0) << run.err;
    std::string bmp = readAll(out);
    ASSERT_GE(bmp.size(), 54u + 40 * 3 * 30);
    EXPECT_EQ(le32(bmp, 18), 40u);
    EXPECT_EQ(le32(bmp, 22), 30u);
    EXPECT_EQ(le16(bmp, 28), 24);
    // Bottom-up rows: the centre pixel (20, 15) is the blue square.
    uint32_t offset = le32(bmp, 10), rowBytes = 40 * 3;
    size_t centre = offset + size_t(30 - 1 - 15) * rowBytes + 20 * 3;
    EXPECT_EQ(uint8_t(bmp[centre]), 255);
    EXPECT_EQ(uint8_t(bmp[centre + 1]), 0);
    EXPECT_EQ(uint8_t(bmp[centre + 2]), 0);
    size_t corner = offset + size_t(30 - 1) * rowBytes; // top-left pixel
    EXPECT_EQ(uint8_t(bmp[corner]), 64);
}

TEST(CliPictures, UnreadablePicturesAndFirmwareAreRefusedByName) {
    TempDir dir;
    std::string fake = dir.write("fake.png", "not a picture at all");
    CliRun decode = runCli("--decode " + fake + " " + dir.file("x.bmp"));
    EXPECT_EQ(decode.status, 1);
    EXPECT_NE(decode.err.find("fake.png"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir.file("x.bmp")));

    CliRun prepare = runCli("--prepare " + dir.file("missing.gif") + " " + dir.file("y.bmp"));
    EXPECT_EQ(prepare.status, 1);
    EXPECT_NE(prepare.err.find("missing.gif"), std::string::npos);

    CliRun draw = runCli(fake + " " + dir.write("fw.UF2", "UF2"));
    EXPECT_EQ(draw.status, 1);
    EXPECT_NE(draw.err.find("fake.png"), std::string::npos);
    EXPECT_NE(draw.err.find("fw.UF2"), std::string::npos);

    EXPECT_EQ(runCli("--decode onlyone.png").status, 2);
}

TEST(CliPictures, RefusedPicturesSayWhy) {
    TempDir dir;
    std::string fake = dir.write("fake.png", "not a picture at all");
    EXPECT_NE(runCli("--decode " + fake + " " + dir.file("x.bmp")).err.find("unsupported"),
              std::string::npos);
    CliRun missing = runCli("--prepare " + dir.file("missing.gif") + " " + dir.file("y.bmp"));
    EXPECT_NE(missing.err.find("no such file"), std::string::npos) << missing.err;

    // A long, thin picture within the pixel limit loads; one beyond it is named too large.
    std::vector<uint8_t> thin = makeBmp24(65535, 1, [](int x, int) { return uint32_t(x); });
    writeFile(dir.file("thin.bmp"), thin);
    CliRun loaded = runCli("--decode " + dir.file("thin.bmp") + " " + dir.file("t.bmp"));
    EXPECT_EQ(loaded.status, 0) << loaded.err;
    std::vector<uint8_t> big = makeBmp24(1, 1, [](int, int) { return 0u; });
    putLE(big, 18, 5000, 4);
    putLE(big, 22, 5000, 4);
    writeFile(dir.file("big.bmp"), big);
    CliRun refused = runCli("--prepare " + dir.file("big.bmp") + " " + dir.file("b.bmp"));
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("too large"), std::string::npos) << refused.err;
}
