// The simulated board fed the PC's byte stream in-process: its panel must
// equal the PC's panel however the stream is split.
#include "boardsim/boardsim.h"
#include "boardsim/options.h"
#include "command/bitmapload.h"
#include "command/sendfile.h"
#include "headless/headless.h"
#include "panel/zr_tft.h"
#include "support/bmp_writer.h"
#include "support/cli_run.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

namespace {
using Bytes = std::vector<uint8_t>;

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What a PC with the model sends for `run`, and the panel it shows afterwards.
struct PcRun {
    Bytes wire;
    std::vector<uint16_t> panel;
};

PcRun runOnPc(int model, int angle, const std::function<void()>& run) {
    PcRun pc;
    HeadlessOptions options;
    options.model = model;
    options.angle = angle;
    options.boardBytes = &pc.wire;
    headlessStart(options);
    run();
    pc.panel = panelPixelsTopDown();
    return pc;
}

BoardConfig boardWith(int model, int angle) {
    BoardConfig config;
    config.model = model;
    config.angle = angle;
    config.firmwareVersion = 105;
    return config;
}

// Feeds the bytes in pieces of the lengths `pieceLength` gives.
void feedInPieces(const Bytes& bytes, const std::function<size_t()>& pieceLength) {
    for (size_t at = 0; at < bytes.size();) {
        size_t n = std::min(pieceLength(), bytes.size() - at);
        boardFeed(bytes.data() + at, n);
        at += n;
    }
}

class BoardStreamTest : public ::testing::Test {
  protected:
    clitest::TempDir dir;

    // A command file, a 16-bit picture at 0,0 (no prefix), an 8-bit one at
    // 5,7 (with prefix) and an inline bitmap, as the PC's core sends them.
    PcRun pcSession(int model, int angle) {
        std::string picture16 = dir.file("photo.bmp"), picture8 = dir.file("grey.bmp");
        writeFile(picture16,
                  makeBmp24(90, 50, [](int x, int y) { return x * 0x020301 + y * 0x000405; }));
        writeFile(picture8, makeBmp8(33, 21, [](int x, int y) { return uint8_t(x * 7 + y); }));
        Bytes inlineBmp = makeBmp24(6, 4, [](int x, int y) { return 0x10FF00u + uint32_t(x * y); });
        std::string inlineCommand = "#bm 3 , 4\r\n" +
                                    std::string(inlineBmp.begin(), inlineBmp.end()) +
                                    " tail\n#TP 1,1,\"after\"\n";
        std::string commands = readText(std::string(VANTORIX_SOURCE_DIR) + "/examples/hello.txt");
        return runOnPc(model, angle, [&] {
            TFTcommandOut(commands.c_str(), commands.size());
            showImageFile(picture16.c_str(), 0, 0, 0);
            showImageFile(picture8.c_str(), 5, 7, 0);
            TFTcommandOut(inlineCommand.c_str(), inlineCommand.size());
        });
    }
};

TEST_F(BoardStreamTest, PanelEqualsThePcsWhateverTheSplit) {
    PcRun pc = pcSession(5, 90);
    ASSERT_GT(pc.wire.size(), 5000u);
    std::mt19937 random(7);
    std::vector<std::pair<const char*, std::function<size_t()>>> splits{
        {"one byte at a time", [] { return size_t(1); }},
        {"random pieces", [&] { return size_t(random() % 700 + 1); }},
        {"all at once", [&] { return pc.wire.size(); }},
    };
    for (auto& [name, pieceLength] : splits) {
        SCOPED_TRACE(name);
        boardStart(boardWith(5, 90));
        feedInPieces(pc.wire, pieceLength);
        EXPECT_TRUE(panelPixelsTopDown() == pc.panel) << "the board's panel differs";
        EXPECT_EQ(boardTakeRecorded(), pc.wire);
    }
}

void feedText(const std::string& text) {
    boardFeed(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

Bytes statusBlock(uint8_t kind, uint8_t version, uint8_t config) {
    return {0x1B, kind, version, config};
}

TEST(BoardMessages, QueryAnswersWithTheBoardsStateAndPwmIsKept) {
    BoardConfig config = boardWith(3, 90);
    config.touch = 1;
    config.pico2 = 1;
    boardStart(config);
    boardConnected(0);
    feedText("\x1b?\n\x1bP95\n");
    EXPECT_EQ(boardTakeReplies(), statusBlock('?', 105, 0x80 | 0x20 | 0x10 | 3));
    EXPECT_EQ(boardPwm(), 95);
    // The board follows its own orientation command.
    feedText("#DO 180\n\x1b?\n");
    EXPECT_EQ(boardTakeReplies(), statusBlock('?', 105, 0x80 | 0x40 | 0x10 | 3));
    EXPECT_EQ(boardTakeRecorded(), Bytes({'#', 'D', 'O', ' ', '1', '8', '0', '\n'}));
}

// Damaged streams: whatever the board makes of them, the split must not matter.
TEST_F(BoardStreamTest, DamagedStreamsGiveTheSameResultInAnySplit) {
    Bytes wire = pcSession(1, 0).wire;
    std::mt19937 random(11);
    for (int round = 0; round < 20; ++round) {
        Bytes damaged = wire;
        for (int flips = 0; flips < 8; ++flips)
            damaged[random() % damaged.size()] = uint8_t(random());
        boardStart(boardWith(1, 0));
        boardFeed(damaged.data(), damaged.size());
        std::vector<uint16_t> together = panelPixelsTopDown();
        Bytes taken = boardTakeRecorded();
        boardStart(boardWith(1, 0));
        feedInPieces(damaged, [&] { return size_t(random() % 300 + 1); });
        ASSERT_TRUE(panelPixelsTopDown() == together) << "round " << round;
        ASSERT_EQ(boardTakeRecorded(), taken) << "round " << round;
    }
}

TEST_F(BoardStreamTest, FileNamesAreNeverOpenedAndBrokenBitmapsResync) {
    std::string picture = dir.file("red.bmp");
    writeFile(picture, makeBmp24(8, 8, [](int, int) { return 0xFF0000u; }));
    boardStart(boardWith(1, 0));
    // A file name, a bitmap whose size field is too small, garbage and a
    // bitmap command without a bitmap: none draws, and the next lines run.
    Bytes tooSmall{'B', 'M', 10, 0, 0, 0};
    feedText("#BM 0,0,\"" + picture + "\"\n");
    boardFeed(tooSmall.data(), tooSmall.size());
    feedText("\n\x01garbage\n#BM 1,2 ; no bitmap\n#FA 0,0,255, 2,2, 3,3\n");
    std::vector<uint16_t> panel = panelPixelsTopDown();
    ASSERT_EQ(panel.size(), size_t(80 * 160));
    EXPECT_EQ(panel[0], 0);               // nothing of the picture at 0,0
    EXPECT_EQ(panel[2 * 80 + 2], 0x001F); // the fill after them
    EXPECT_EQ(std::count(panel.begin(), panel.end(), 0x001F), 4);
}

TEST(BoardReports, DemoSteppingReportsScreensButNotThePcsScreenCommands) {
    BoardConfig config = boardWith(2, 0);
    config.demoSeconds = 2;
    boardStart(config);
    boardConnected(0);
    boardTick(0);
    boardTick(1999);
    EXPECT_TRUE(boardTakeReplies().empty());
    boardTick(2000);
    Bytes screen2 = statusBlock('S', 105, 2);
    screen2.push_back(2);
    EXPECT_EQ(boardTakeReplies(), screen2);
    feedText("\x1bS3\n"); // the PC's own screen command: no echo
    boardTick(2500);
    EXPECT_TRUE(boardTakeReplies().empty());
    feedText("#DC\n"); // drawing ends the demo mode
    boardTick(9000);
    EXPECT_TRUE(boardTakeReplies().empty());
}

TEST(BoardReports, TouchScriptReportsFromTheConnectionAndMarksThePanel) {
    BoardConfig config = boardWith(1, 0);
    config.touchScript = {{100, 1, 0, 5}, {300, 4, 400, 2}};
    boardStart(config);
    boardTick(5000); // nobody connected: nothing happens
    boardConnected(1000);
    boardTick(1099);
    EXPECT_TRUE(boardTakeReplies().empty());
    boardTick(1300);
    Bytes expected = statusBlock('T', 105, 1);
    Bytes touch1{1, 0, 0, 5, 0}, touch2{4, 0x90, 0x01, 2, 0};
    expected.insert(expected.end(), touch1.begin(), touch1.end());
    Bytes second = statusBlock('T', 105, 1);
    expected.insert(expected.end(), second.begin(), second.end());
    expected.insert(expected.end(), touch2.begin(), touch2.end());
    EXPECT_EQ(boardTakeReplies(), expected);
    std::vector<uint16_t> panel = panelPixelsTopDown();
    EXPECT_EQ(panel[4 * 80 + 0], 0xF800);  // x 0 is clamped to 1: square from x 0
    EXPECT_EQ(panel[2 * 80 + 79], 0xFFFF); // x 400 is clamped to the last column
}
TEST(BoardOptionsTest, FillTheConfigurationAndRefuseWhatNoBoardCouldBe) {
    BoardOptions options;
    EXPECT_EQ(
        parseBoardArguments(
            {"--fw", "1.10", "-m", "KP350", "-a", "90", "-t", "--pico2", "--demo", "3"}, options),
        "");
    EXPECT_EQ(options.config.firmwareVersion, 110);
    EXPECT_EQ(options.config.model, 5);
    EXPECT_EQ(options.config.angle, 90);
    EXPECT_EQ(options.config.touch + options.config.pico2, 2);
    EXPECT_EQ(options.config.demoSeconds, 3);
    for (std::vector<std::string> bad : {std::vector<std::string>{"--fw", "2.56"},
                                         {"--fw", "1.x"},
                                         {"-m", "KP240", "-t"},
                                         {"-a", "45"},
                                         {"--touch-script", "/nonexistent/touch.txt"},
                                         {"extra"}}) {
        BoardOptions refused;
        EXPECT_NE(parseBoardArguments(bad, refused), "") << bad[0];
    }
    std::vector<TouchStep> steps;
    EXPECT_EQ(parseTouchScript("; comment\n200, 1, 5, 6\n\n100 2 7 8\n", steps), "");
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0].atMs, 100u); // in time order
    EXPECT_EQ(steps[1].y, 6);
    EXPECT_NE(parseTouchScript("10 1 2\n", steps).find("line 1"), std::string::npos);
    EXPECT_NE(parseTouchScript("10 1 2 70000\n", steps), "");
}
} // namespace
