// vantorix-cli --check and --expect as a user meets them: the lines, the
// summary, the exit status, and the pictures compared and drawn.
#include "support/cli_run.h"

#include <gtest/gtest.h>

using namespace clitest;

TEST(CliCheck, ReportsLikeACompilerAndExitsByWhatItFound) {
    TempDir dir;
    std::string file = dir.write("hello.txt", "#ZZ 1,2\n#FA 1,2\n#TP 10,10,\"open\n");
    CliRun run = runCli("--check " + file);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, file +
                           ":1:1: warning: unknown command \"#ZZ\"; its line is skipped "
                           "[unknown-command]\n" +
                           file +
                           ":2:8: warning: \"#FA\" has 2 of its 7 numbers; the missing "
                           "ones read as 0 [missing-parameter]\n" +
                           file +
                           ":3:11: warning: the quote opened here is not closed: the text "
                           "ends at the line end [unclosed-quote]\n");
    EXPECT_EQ(run.err, "3 warnings in 1 file\n");

    run = runCli("--check -W no-unknown-command -Wno-missing-parameter -W no-unclosed-quote " +
                 file + " " + dir.write("clean.txt", "#DC\n"));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out + run.err, "");

    run = runCli("--check " + dir.file("gone.txt") + " " + file + " -W no-unknown-command");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find(dir.file("gone.txt") + ": warning: no such file [unreadable]"),
              std::string::npos);
    EXPECT_EQ(run.err, "3 warnings in 2 files\n");

    EXPECT_EQ(runCli("--check " + file + " -W no-such-kind").status, 2);
    EXPECT_EQ(runCli(file + " -W no-font").status, 2);
    EXPECT_EQ(runCli("--check --watch " + file).status, 2);
}

TEST(CliCheck, OrientationFromTheCommandLineCounts) {
    TempDir dir;
    std::string file = dir.write("wide.txt", "#FA 1,2,3, 400,0, 470,10\n");
    EXPECT_EQ(runCli("--check -m KP350 " + file).status, 1); // 320 wide upright
    EXPECT_EQ(runCli("--check -m KP350 -a 90 " + file).status, 0);
}

TEST(CliCheck, ARunFollowsTheCheckWhenItHasOutputs) {
    TempDir dir;
    std::string file = dir.write("red.txt", "#DF 255,0,0 #DC\n");
    CliRun run = runCli("--check " + file + " -o " + dir.file("red.png"));
    EXPECT_EQ(run.status, 1);
    PngImage png;
    ASSERT_TRUE(readPng(dir.file("red.png"), png));
    EXPECT_EQ(png.rgb565At(0, 0), 0xF800);
}

namespace {
// A panel PNG known to be right: red, one run drawing it.
struct Expected : ::testing::Test {
    TempDir dir;
    std::string red = dir.write("red.txt", "#DF 255,0,0\n");
    std::string dotted = dir.write("dot.txt", "#DF 255,0,0\n#FA 0,255,0, 3,4, 3,4\n");
    std::string expected = dir.file("expected.png");
    std::string diff = dir.file("diff.png");
    void SetUp() override { ASSERT_EQ(runCli(red + " -o " + expected).status, 0); }
};
} // namespace

TEST_F(Expected, OnePixelOffIsCountedBoxedAndDrawn) {
    CliRun run = runCli(dotted + " --expect " + expected + " --diff " + diff);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "vantorix-cli: " + expected +
                           ": the panel differs in 1 pixel, within x 3..3, y 4..4\n");
    PngImage picture, original;
    ASSERT_TRUE(readPng(diff, picture));
    ASSERT_TRUE(readPng(expected, original));
    EXPECT_EQ(picture.rgb565At(3, 4), 0xF81F);
    EXPECT_NE(picture.rgb565At(0, 0), original.rgb565At(0, 0)); // dimmed
    EXPECT_NE(picture.rgb565At(0, 0), 0xF81F);

    run = runCli(red + " --expect " + expected + " --diff " + diff);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(fs::exists(diff)) << "a diff from an earlier run stays";
}

TEST_F(Expected, AnotherSizeOrNoPictureFails) {
    CliRun run = runCli("-a 90 " + red + " --expect " + expected);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("80x160"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("160x80"), std::string::npos) << run.err;
    EXPECT_EQ(runCli(red + " --expect " + dir.file("none.png")).status, 1);
    EXPECT_EQ(runCli(red + " --expect " + red).status, 1); // not a PNG
}

TEST_F(Expected, UpdateWritesWhatTheRunShows) {
    EXPECT_EQ(runCli(dotted + " --expect " + expected + " --update-expected").status, 0);
    EXPECT_EQ(runCli(dotted + " --expect " + expected).status, 0);
    std::string window = dir.file("window.png");
    EXPECT_EQ(runCli(dotted + " --expect-window " + window + " --update-expected").status, 0);
    CliRun run = runCli(red + " --expect-window " + window + " --diff-window " + diff);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(fs::exists(diff));
    EXPECT_EQ(runCli(red + " --expect " + expected + " --diff " + expected).status, 2);
}
