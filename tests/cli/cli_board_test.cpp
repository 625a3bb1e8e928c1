// The runner with a board on a real pseudo-terminal (a peer played in the test).
#include "support/bmp_writer.h"
#include "support/cli_run.h"
#include "support/pty_peer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace clitest;

namespace {
const std::string query = "\x1b?\n";

std::string text(const std::vector<uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

struct RunnerWithBoard : ::testing::Test {
    ptypeer::PtyPeer peer;
    TempDir dir;
    std::string commands;
    void SetUp() override {
        ASSERT_TRUE(peer.ready());
        commands = dir.write("draw.txt", "#DF 0,0,255\n#FA 255,0,0,0,0,9,4\n\x1b"
                                         "D0\n#TP 2,20,\"Hi\"\n");
    }
};

TEST_F(RunnerWithBoard, TheBoardGetsExactlyTheBytesFileAfterQueryAndPwm) {
    peer.start();
    CliRun alone = runCli(commands + " -b " + dir.file("alone.bin"));
    ASSERT_EQ(alone.status, 0) << alone.err;
    CliRun run =
        runCli("-p " + peer.slavePath() + " --pwm 40 " + commands + " -b " + dir.file("with.bin"));
    ASSERT_EQ(run.status, 0) << run.err;
    std::string recorded = slurp(dir.file("with.bin"));
    EXPECT_EQ(recorded, slurp(dir.file("alone.bin")));
    const std::string expected = query + "\x1bP40\n" + recorded;
    peer.waitFor(expected.size()); // the runner may be gone before the peer has read it all
    EXPECT_EQ(text(peer.received()), expected);
}

TEST_F(RunnerWithBoard, StatusPrintsWhatTheBoardReports) {
    peer.reply = {0x1B, 'V', 105, 0x80 | 0x20 | 0x10 | 3};
    peer.start();
    CliRun run = runCli("--status -p " + peer.slavePath());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "firmware: 1.05\nprocessor: RP2350\nmodel: 3 KP200\norientation: 90\n"
                       "touch: on\n");

    ptypeer::PtyPeer stranger;
    ASSERT_TRUE(stranger.ready());
    stranger.reply = {'O', 'K', '\r', '\n'};
    stranger.start();
    CliRun odd = runCli("--status -p " + stranger.slavePath());
    EXPECT_EQ(odd.status, 1);
    EXPECT_EQ(odd.out, "");
    EXPECT_NE(odd.err.find("the board's answer is not a status block"), std::string::npos)
        << odd.err;
}

TEST_F(RunnerWithBoard, ItFollowsTheBoardUnlessTheSettingWasGiven) {
    peer.reply = {0x1B, 'V', 105, 0x22}; // model 2 at 90 degrees
    peer.start();
    CliRun run = runCli("-p " + peer.slavePath() + " " + commands + " -o " + dir.file("f.png"));
    ASSERT_EQ(run.status, 0) << run.err;
    PngImage followed;
    ASSERT_TRUE(readPng(dir.file("f.png"), followed));
    EXPECT_EQ(followed.width, 240);

    run = runCli("-m 1 -p " + peer.slavePath() + " " + commands + " -o " + dir.file("k.png"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("warning: the board shows model 2; keeping model 1"), std::string::npos)
        << run.err;
    PngImage kept;
    ASSERT_TRUE(readPng(dir.file("k.png"), kept));
    EXPECT_EQ(kept.width, 160) << "model 1, turned to 90 degrees as the board is";
}

TEST_F(RunnerWithBoard, TouchReportsAfterGarbageAreDrawn) {
    // Garbage right after the answer is thrown away; the touch report that
    // comes later still counts.
    peer.reply = {0x1B, 'V', 105, 0x01, 'j', 'u', 'n', 'k'};
    peer.start();
    std::thread later([this] {
        peer.waitFor(30);
        peer.send({0x1B, 'T', 105, 0x01, 1, 50, 0, 100, 0});
    });
    CliRun run = runCli("-p " + peer.slavePath() + " " + commands + " -o " + dir.file("t.png"));
    later.join();
    ASSERT_EQ(run.status, 0) << run.err;
    PngImage image;
    ASSERT_TRUE(readPng(dir.file("t.png"), image));
    EXPECT_EQ(image.rgb565At(51, 101), 0xF800);
    EXPECT_EQ(image.rgb565At(52, 101), 0x001F);
}

TEST_F(RunnerWithBoard, DevicesThatFailStopTheRunBeforeAnyFile) {
    peer.reply.clear();
    peer.start();
    std::string png = dir.file("none.png");
    CliRun silent = runCli("-p " + peer.slavePath() + " " + commands + " -o " + png);
    EXPECT_EQ(silent.status, 1);
    EXPECT_NE(silent.err.find(peer.slavePath() + ": the board does not answer"), std::string::npos)
        << silent.err;
    CliRun missing = runCli("-p " + dir.file("ttyNONE") + " " + commands + " -o " + png);
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("ttyNONE: cannot open"), std::string::npos) << missing.err;
    EXPECT_FALSE(std::filesystem::exists(png));
}

TEST_F(RunnerWithBoard, ABoardThatVanishesInABitmapLeavesThePanelWhole) {
    std::string picture = dir.file("big.bmp");
    writeFile(picture, makeBmp24(320, 480, [](int x, int) { return x < 160 ? 0x00FF00u : 0u; }));
    peer.vanishAfter = 5000;
    peer.start();
    std::string png = dir.file("v.png");
    CliRun run =
        runCli("-m 5 -p " + peer.slavePath() + " " + picture + " " + commands + " -o " + png);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("stopped taking data"), std::string::npos) << run.err;
    PngImage image;
    ASSERT_TRUE(readPng(png, image));
    EXPECT_EQ(image.rgb565At(0, 0), 0xF800) << "the rest ran on the panel";
}

TEST(RunnerPortOptions, AutoWithoutABoardRunsAloneAndNoneNeedsNoBoard) {
    TempDir dir;
    std::string commands = dir.write("a.txt", "#DF 255,0,0\n");
    CliRun run = runCli("-p auto " + commands + " -b " + dir.file("auto.bin"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("no board found"), std::string::npos);
    EXPECT_EQ(slurp(dir.file("auto.bin")), "#DF 255,0,0\n") << "the same bytes as without a board";
    EXPECT_EQ(runCli("--status -p none").status, 2);
    EXPECT_EQ(runCli("--status " + commands).status, 2);
    EXPECT_EQ(runCli("--pwm 101 " + commands).status, 2);
    EXPECT_EQ(runCli("--status").status, 1) << "no board to ask";
}
} // namespace
