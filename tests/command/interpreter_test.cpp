#include "board/picolink.h"
#include "command/sendfile.h"
#include "common/seam.h"
#include "common/settings.h"
#include "headless/headless.h"
#include "panel/zr_tft.h"
#include "support/bmp_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
// A headless module with a connected board whose received bytes are kept.
struct Interpreter : ::testing::Test {
    std::vector<uint8_t> board;
    void SetUp() override { start(1, 0); }
    void TearDown() override { headlessStart({}); }

    void start(int model, int angle) {
        board.clear();
        HeadlessOptions options;
        options.model = model;
        options.angle = angle;
        options.boardBytes = &board;
        headlessStart(options);
    }
    std::string received() const { return std::string(board.begin(), board.end()); }
    uint16_t at(int x, int y) const { return panelPixelsTopDown()[size_t(y) * TFTwidth + x]; }
    void run(const std::string& text) { TFTcommandOut(text.c_str(), text.size()); }
};

int redraws = 0, fileMenuChecks = 0, tftMenuChecks = 0;
std::vector<std::string> logLines;
} // namespace

TEST_F(Interpreter, FillsDrawAndForwardAsWritten) {
    run("#df 255,0,0\n");
    EXPECT_EQ(at(0, 0), 0xF800);
    EXPECT_EQ(at(79, 159), 0xF800);
    EXPECT_EQ(received(), "#df 255,0,0\n") << "lower-case letters forwarded as written";

    board.clear();
    run("#DF 255,0,0 ; red\r\n#FA $00,%11111100,0, 2,3, 4,5\r\n");
    EXPECT_EQ(received(), "#DF 255,0,0\n#FA $00,%11111100,0, 2,3, 4,5\n");
    EXPECT_EQ(at(2, 3), 0x07E0);
    EXPECT_EQ(at(4, 5), 0x07E0);
    EXPECT_EQ(at(5, 5), 0xF800);

    board.clear();
    run("#DC\n");
    EXPECT_EQ(at(40, 80), 0x0000);
    EXPECT_EQ(received(), "#DC\n");
}

TEST_F(Interpreter, ColourPackingFollowsTheFirmware) {
    run("#DF $12,$34,$56\n");
    EXPECT_EQ(at(0, 0), rgb565(0x12, 0x34, 0x56));
    run("#DF 0,0,$FFFF\n");
    EXPECT_EQ(at(0, 0), 0xFFFF) << "a negative blue shifts in ones";
}

TEST_F(Interpreter, OnlyTheFirstCommandOfALineRuns) {
    run("#DF 0,0,255 #DF 255,0,0\n;#DF 0,255,0\nfree text #XY 1,2\n");
    EXPECT_EQ(at(0, 0), 0x001F);
    EXPECT_EQ(received(), "#DF 0,0,255\n")
        << "comments, free text and unknown commands send nothing";
}

TEST_F(Interpreter, MissingParametersReadAsZero) {
    run("#DF 255,255,255\n#FA 255,0,0,5,5\n");
    EXPECT_EQ(at(0, 0), 0xFFFF) << "x2 = y2 = 0 lies before the start: nothing drawn";
    EXPECT_EQ(at(5, 5), 0xFFFF);
    run("#FA 255,0,0\n");
    EXPECT_EQ(at(0, 0), 0xF800) << "a 1x1 rectangle at the origin";
    EXPECT_EQ(at(1, 0), 0xFFFF);
}

TEST_F(Interpreter, OrientationRotatesOnceAndForwardsOnce) {
    start(5, 0);
    run("#FA 255,0,0,0,0,9,0\n");
    board.clear();
    run("#DO 90\n#DO 90\n");
    EXPECT_EQ(TFTwidth, 480);
    EXPECT_EQ(TFTheight, 320);
    EXPECT_EQ(Angle, 90);
    EXPECT_EQ(received(), "#DO 90\n") << "the unchanged second angle is not sent";
    // The top row turned clockwise with the view: it is now the right column.
    EXPECT_EQ(at(479, 0), 0xF800);
    EXPECT_EQ(at(479, 9), 0xF800);
    EXPECT_EQ(at(479, 10), 0x0000);
    run("#DO 45\n");
    EXPECT_EQ(Angle, 90) << "not a quarter turn: ignored";
    EXPECT_EQ(received(), "#DO 90\n");
    run("#DO 0\n");
    EXPECT_EQ(at(0, 0), 0xF800);
    EXPECT_EQ(at(9, 0), 0xF800);
}

TEST_F(Interpreter, TextCommandsForwardUpToWhereTheTextEnded) {
    run("#TL \"ab\"\r\n#TP 1,2,\"x\";comment\n#TL \"\"\n#TP 3,4,''\n");
    EXPECT_EQ(received(), "#TL \"ab\"\r\n#TP 1,2,\"x\"\n") << "CR kept; empty texts do nothing";
    board.clear();
    run("#TC 255,255,255,0,0,0\n#TF 16,1,1\n#TS 1,2,3\n#LB 100\n");
    EXPECT_EQ(received(), "#TC 255,255,255,0,0,0\n#TF 16,1,1\n#TS 1,2,3\n#LB 100\n");
    EXPECT_EQ(textX, 1);
    EXPECT_EQ(textY, 2);
    EXPECT_EQ(textH, 3);
    EXPECT_EQ(fgColor, 0xFFFF);
}

TEST_F(Interpreter, ScreenCommandsSetDemoStateAndForward) {
    const std::string escD = "\x1b"
                             "D2\n",
                      escD0 = "\x1b"
                              "d0\n",
                      escS = "\x1b"
                             "S1\n";
    run(escD);
    EXPECT_EQ(demoScreen, 2);
    EXPECT_EQ(Demo, 1);
    run(escS);
    EXPECT_EQ(demoScreen, 2) << "ESC S leaves the demo screen number";
    EXPECT_EQ(Demo, 0);
    run(escD0);
    EXPECT_EQ(demoScreen, 0);
    EXPECT_EQ(received(), escD + escS + escD0);
}

TEST_F(Interpreter, WindowAndLogHooksSeeEveryDrawingCommand) {
    redraws = fileMenuChecks = tftMenuChecks = 0;
    logLines.clear();
    WindowSeam seam{};
    seam.redrawPanel = [] { return ++redraws, 1; };
    seam.checkMenuFile = [] { return ++fileMenuChecks, 1; };
    seam.checkMenuTFT = [] { return ++tftMenuChecks, 1; };
    seam.logLine = [](const char* line) {
        logLines.push_back(line);
        return 1;
    };
    installWindowSeam(seam);
    Demo = 1;
    run("#DC\n#TC 1,2,3,4,5,6\n#DO 180\n");
    EXPECT_EQ(redraws, 1);
    EXPECT_EQ(fileMenuChecks, 1);
    EXPECT_EQ(tftMenuChecks, 1);
    EXPECT_EQ(Demo, 0);
    ASSERT_EQ(logLines.size(), 3u);
    EXPECT_EQ(logLines[0], "#DC\r\n");
    EXPECT_EQ(logLines[2], "#DO 180\r\n");

    picoPort = 0;
    logLines.clear();
    run("#DC\n");
    EXPECT_TRUE(logLines.empty()) << "no board, nothing forwarded or logged";
}

TEST_F(Interpreter, TruncatedCommandsAtTheEndOfTheTextStopSafely) {
    for (const char* tail : {"#", "#D", "\x1b", "#DF 255", "#TL \"abc", "#BM 1,2,", "#BM 1,2,B",
                             "#BM 1,2,BM", "#BM 1,2,BM\x10"}) {
        std::string text = tail; // exactly sized: ASan sees any read past the NUL
        run(text);
    }
    EXPECT_EQ(received(), "#DF 255\n#TL \"abc\n");
}

namespace {
// A 2 x 1 24-bit BMP file image: a blue pixel, then a red one.
std::string tinyBmp() {
    std::vector<uint8_t> b = makeBmp24(2, 1, [](int x, int) { return x ? 0xFF0000u : 0x0000FFu; });
    return std::string(b.begin(), b.end());
}
} // namespace

TEST_F(Interpreter, InlineBitmapIsForwardedAsOneRawBlock) {
    std::string bmp = tinyBmp();
    std::string command = "#BM 3,4,\r\n" + bmp;
    run(command + " trailing words\n#DC\n");
    EXPECT_EQ(received(), command + "#DC\n") << "prefix + bfSize bytes, no line feed added";

    board.clear();
    std::string cut = "#BM 0,0," + bmp.substr(0, bmp.size() - 1);
    run(cut);
    EXPECT_EQ(received(), "") << "a size field beyond the text sends nothing";
}

TEST_F(Interpreter, BitmapWithoutDataOrFileDoesNothing) {
    run("#BM 1,2 ; nothing\n#BM 1,2,Bx\n#BM 1,2,\"\"\n");
    EXPECT_EQ(received(), "");
}

TEST_F(Interpreter, FormattedCommandsAreCutAt255Bytes) {
    std::string longText(400, 'z');
    TFTcommand("#TL \"%s\"\n", longText.c_str());
    std::string expected = "#TL \"" + std::string(250, 'z') + "\n";
    EXPECT_EQ(received(), expected);
    board.clear();
    TFTcommand("%cS%d\n", 0x1B, 1);
    EXPECT_EQ(received(), "\x1bS1\n");
}
