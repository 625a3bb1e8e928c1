#include "board/picolink.h"
#include "command/bitmapload.h"
#include "command/sendfile.h"
#include "common/seam.h"
#include "common/settings.h"
#include "headless/headless.h"
#include "job/sendjob.h"
#include "panel/zr_tft.h"
#include "support/bmp_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {
std::vector<std::string> reports;

struct BitmapLoadTest : ::testing::Test {
    std::vector<uint8_t> board;
    fs::path dir;

    void SetUp() override {
        dir = fs::temp_directory_path() / ("vantorix_bitmapload_" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override {
        headlessStart({});
        fs::remove_all(dir);
    }
    void start(int model, int angle, bool connected) {
        board.clear();
        reports.clear();
        HeadlessOptions options;
        options.model = model;
        options.angle = angle;
        options.boardBytes = connected ? &board : nullptr;
        headlessStart(options);
        WindowSeam seam{};
        seam.logLine = [](const char* line) {
            reports.push_back(line);
            return 1;
        };
        installWindowSeam(seam);
    }
    std::string picture(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::string path = (dir / name).string();
        writeFile(path, bytes);
        return path;
    }
    bool reported(const std::string& line) const {
        for (const std::string& r : reports)
            if (r == line) return true;
        return false;
    }
    uint16_t at(int x, int y) const { return panelPixelsTopDown()[size_t(y) * TFTwidth + x]; }
};

uint32_t gradient(int x, int y) {
    return uint32_t((x * 255 / 239) << 16 | (y % 256) << 8 | 0x40);
}
} // namespace

TEST_F(BitmapLoadTest, PictureOfPanelSizeBecomesSixteenBitsWithoutResize) {
    start(3, 0, true);
    std::string path = picture("exact.bmp", makeBmp24(240, 320, gradient));
    BitmapLoad(path.c_str(), 0, 0, 1);
    EXPECT_TRUE(reported("Open image 'exact.bmp'\r\n"));
    EXPECT_TRUE(reported("Change colordepth 24 bit -> 16 bit\r\n"));
    for (const std::string& r : reports) EXPECT_EQ(r.find("Resize"), std::string::npos) << r;
    uint32_t total = 14 + 40 + 12 + 153600;
    EXPECT_TRUE(reported("Send bitmap with " + std::to_string(total) + " bytes\r\n"));
    ASSERT_EQ(board.size(), total);
    EXPECT_EQ(board[0], 'B') << "at 0,0 the stream starts with the image itself";
    EXPECT_EQ(board[1], 'M');
    // The panel shows what was sent: the first pixel of the top row.
    uint32_t topLeft = rdLE32(&board[10]) + 153600 - 480;
    EXPECT_EQ(at(0, 0), uint16_t(board[topLeft] | board[topLeft + 1] << 8));
}

TEST_F(BitmapLoadTest, LandscapeFullPanelPictureGoesToEightBitsWithOneReport) {
    start(5, 90, true);
    std::string path = picture("wide.bmp", makeBmp24(480, 320, gradient));
    BitmapLoad(path.c_str(), 0, 0, 1);
    EXPECT_TRUE(reported("Change colordepth 24 bit -> 8 bit\r\n"));
    int depthReports = 0;
    for (const std::string& r : reports) depthReports += r.rfind("Change colordepth", 0) == 0;
    EXPECT_EQ(depthReports, 1);
    ASSERT_GE(board.size(), 54u);
    EXPECT_EQ(rdLE16(&board[28]), 8);
    EXPECT_EQ(board.size(), 14 + 40 + 1024 + 480 * 320u);
}

TEST_F(BitmapLoadTest, LargePictureIsScaledDownKeepingItsAspect) {
    start(3, 0, false);
    std::string path = picture("big.bmp", makeBmp24(640, 480, gradient));
    BitmapLoad(path.c_str(), 0, 0, 1);
    EXPECT_TRUE(reported("Resize 640x480 -> 240x180\r\n"));
    for (const std::string& r : reports) EXPECT_EQ(r.find("Send bitmap"), std::string::npos);
    EXPECT_TRUE(board.empty()) << "no board connected: drawn only";
}

TEST_F(BitmapLoadTest, EightBitPicturePassesUnchangedWithPositionPrefix) {
    start(2, 0, true);
    auto bytes = makeBmp8(100, 100, [](int x, int y) { return uint8_t(x + y); });
    std::string path = picture("grey.bmp", bytes);
    BitmapLoad(path.c_str(), 5, 0, 0);
    EXPECT_TRUE(reported("Send bitmap with 11078 bytes\r\n"));
    for (const std::string& r : reports) EXPECT_EQ(r.find("colordepth"), std::string::npos) << r;
    std::string prefix = "#BM5,0,";
    ASSERT_EQ(board.size(), prefix.size() + 11078);
    EXPECT_EQ(std::string(board.begin(), board.begin() + 7), prefix);
    // Palette and rows go out unchanged (the loader may spell out biClrUsed).
    auto mismatch = std::mismatch(bytes.begin() + 54, bytes.end(), board.begin() + 7 + 54);
    EXPECT_TRUE(mismatch.first == bytes.end())
        << "the picture goes out as the file had it; first difference at byte "
        << (mismatch.first - bytes.begin());
    EXPECT_EQ(at(5, 0), rgb565(0, 0, 0));
    EXPECT_EQ(at(5 + 99, 99), rgb565(198, 198, 198));
}

TEST_F(BitmapLoadTest, KeepInsideMovesThePictureOntoThePanel) {
    start(2, 0, true);
    std::string path = picture("w200.bmp", makeBmp24(200, 10, [](int, int) { return 0xFF0000u; }));
    BitmapLoad(path.c_str(), 100, 0, 1);
    EXPECT_EQ(std::string(board.begin(), board.begin() + 8), "#BM40,0,");
    EXPECT_EQ(at(40, 0), 0xF800);
    EXPECT_EQ(at(39, 0), 0x0000);

    board.clear();
    std::string full = picture("w240.bmp", makeBmp24(240, 10, [](int, int) { return 0x00FF00u; }));
    BitmapLoad(full.c_str(), 77, 3, 1);
    EXPECT_EQ(std::string(board.begin(), board.begin() + 7), "#BM0,3,");
}

TEST_F(BitmapLoadTest, NegativePositionsReachTheBoardAsTheSameNumbers) {
    start(2, 0, true);
    std::string path = picture("small.bmp", makeBmp24(10, 10, [](int, int) { return 0x0000FFu; }));
    BitmapLoad(path.c_str(), -3, 0, 0);
    EXPECT_EQ(std::string(board.begin(), board.begin() + 11), "#BM$FFFD,0,");
    EXPECT_EQ(at(6, 0), 0x001F);
    EXPECT_EQ(at(7, 0), 0x0000);
}

TEST_F(BitmapLoadTest, UnreadableFilesDoNothingAndSayNothing) {
    start(2, 0, true);
    std::string broken = picture("broken.bmp", {'B', 'M', 1, 2, 3});
    BitmapLoad(broken.c_str(), 0, 0, 1);
    BitmapLoad((dir / "missing.bmp").string().c_str(), 0, 0, 1);
    EXPECT_TRUE(reports.empty());
    EXPECT_TRUE(board.empty());
    EXPECT_EQ(imageList.count, 0);
}

TEST_F(BitmapLoadTest, BitmapCommandLoadsNamesFromTheCommandFolder) {
    start(2, 0, true);
    picture("red.bmp", makeBmp24(4, 4, [](int, int) { return 0xFF0000u; }));
    std::string folder = dir.string() + "/";
    std::snprintf(cmdDir, sizeof cmdDir, "%s", folder.c_str());
    std::string text = "#BM 8,9,\"red.bmp\"\n";
    TFTcommandOut(text.c_str());
    EXPECT_EQ(at(8, 9), 0xF800);
    EXPECT_EQ(at(11, 12), 0xF800);
    ASSERT_GE(board.size(), 7u);
    EXPECT_EQ(std::string(board.begin(), board.begin() + 7), "#BM8,9,")
        << "the file's picture is sent, not the command text";
}
