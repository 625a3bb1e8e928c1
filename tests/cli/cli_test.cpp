#include "cli/options.h"
#include "headless/panelpng.h"
#include "support/bmp_writer.h"
#include "support/cli_run.h"

#include <gtest/gtest.h>
#include <png.h>

#include "panel/zr_tft.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

namespace fs = std::filesystem;

using namespace clitest;

TEST(CliEndToEnd, CommandFileToPanelPngPixelByPixel) {
    TempDir dir;
    std::string commands = dir.write("draw.TXT", "#DF 0,0,255\n#FA 255,0,0,0,0,9,4\n#DO 90\n"
                                                 "#FA $12,$34,$56,470,310,479,319\n");
    std::string png = dir.file("out.png");
    CliRun run = runCli("-m KP350 -a 0 " + commands + " -o " + png);
    ASSERT_EQ(run.status, 0) << run.err;
    PngImage image;
    ASSERT_TRUE(readPng(png, image));
    ASSERT_EQ(image.width, 480);
    ASSERT_EQ(image.height, 320);
    // The red 10x5 block at the top-left turned clockwise to the top-right.
    EXPECT_EQ(image.rgb565At(479, 0), 0xF800);
    EXPECT_EQ(image.rgb565At(475, 9), 0xF800);
    EXPECT_EQ(image.rgb565At(474, 0), 0x001F);
    EXPECT_EQ(image.rgb565At(479, 10), 0x001F);
    EXPECT_EQ(image.rgb565At(479, 319), rgb565(0x12, 0x34, 0x56));
    // Bit replication: full-scale channels become 255, not 248.
    const uint8_t* corner = &image.rgb[(size_t(0) * 480 + 479) * 3];
    EXPECT_EQ(corner[0], 255);
    EXPECT_EQ(corner[1], 0);
}

TEST(CliEndToEnd, PanelSizeFollowsModelAndAngle) {
    TempDir dir;
    std::string commands = dir.write("empty.txt", "; nothing\n");
    const struct {
        const char* model;
        int angle, width, height;
    } cases[] = {{"1", 0, 80, 160},        {"KP096", 270, 160, 80}, {"kp150", 90, 240, 240},
                 {"KP200", 180, 240, 320}, {"4", 90, 320, 240},     {"KP240", 0, 240, 320}};
    for (const auto& c : cases) {
        std::string png = dir.file("size.png");
        CliRun run = runCli(std::string("--model ") + c.model + " --angle " +
                            std::to_string(c.angle) + " " + commands + " --panel-png " + png);
        ASSERT_EQ(run.status, 0) << run.err;
        PngImage image;
        ASSERT_TRUE(readPng(png, image));
        EXPECT_EQ(image.width, c.width) << c.model << " " << c.angle;
        EXPECT_EQ(image.height, c.height) << c.model << " " << c.angle;
    }
}

TEST(CliEndToEnd, ExitStatusesAndMessages) {
    TempDir dir;
    std::string good = dir.write("good.txt", "#DF 0,255,0\n");
    EXPECT_EQ(runCli("").status, 2);
    CliRun badModel = runCli("-m KP999 " + good);
    EXPECT_EQ(badModel.status, 2);
    EXPECT_NE(badModel.err.find("--help"), std::string::npos);
    EXPECT_EQ(runCli("-a 45 " + good).status, 2);
    EXPECT_EQ(runCli("--bogus " + good).status, 2);
    EXPECT_EQ(runCli("--help").status, 0);

    // A missing and a refused file: named, the others still run, the PNG still written.
    std::string png = dir.file("partial.png");
    CliRun partial = runCli(dir.file("missing.txt") + " " + dir.write("notes.doc", "x") + " " +
                            good + " -o " + png);
    EXPECT_EQ(partial.status, 1);
    EXPECT_NE(partial.err.find("missing.txt"), std::string::npos);
    EXPECT_NE(partial.err.find("notes.doc"), std::string::npos);
    PngImage image;
    ASSERT_TRUE(readPng(png, image));
    EXPECT_EQ(image.rgb565At(0, 0), 0x07E0);

    CliRun touch = runCli("-m KP240 -t " + good);
    EXPECT_EQ(touch.status, 0);
    EXPECT_NE(touch.err.find("warning"), std::string::npos);
}

TEST(CliEndToEnd, BoardBytesAndVerboseLog) {
    TempDir dir;
    std::string commands = dir.write("send.txt", "#DC\n; comment\n#DF 1,2,3 ; trailing\n");
    std::string bytes = dir.file("board.bin");
    CliRun run = runCli("-v -b " + bytes + " " + commands);
    ASSERT_EQ(run.status, 0);
    std::ifstream in(bytes, std::ios::binary);
    std::string received((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(received, "#DC\n#DF 1,2,3\n");
    EXPECT_NE(run.err.find("open command file send.txt"), std::string::npos);
    EXPECT_NE(run.err.find("#DF 1,2,3\r\n"), std::string::npos);
}

TEST(CliEndToEnd, NothingToRecordGivesAnEmptyBytesFile) {
    TempDir dir;
    const char* const texts[] = {"", "#", "\x1b", "#TP 1,1,\""};
    for (const char* text : texts) {
        std::string bytes = dir.file("board.bin");
        CliRun run = runCli("-b " + bytes + " " + dir.write("quiet.txt", text));
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(fs::exists(bytes));
        EXPECT_EQ(fs::file_size(bytes), 0u);
        fs::remove(bytes);
    }
}

TEST(CliEndToEnd, CommandFilesThatAreNotRegularFilesAreRefused) {
    TempDir dir;
    fs::create_directory(dir.file("d.txt"));
    ASSERT_EQ(::mkfifo(dir.file("pipe.txt").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(dir.file("pipe.bmp").c_str(), 0600), 0); // must not hang either
    CliRun run =
        runCli(dir.file("d.txt") + " " + dir.file("pipe.txt") + " " + dir.file("pipe.bmp"));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("d.txt: is a directory"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("pipe.txt: is not a regular file"), std::string::npos) << run.err;
}

TEST(CliEndToEnd, PicturesThatFailInsideCommandFilesAreReported) {
    TempDir dir;
    dir.write("broken.bmp", "BM not really");
    std::string commands =
        dir.write("pictures.txt", "#BM 0,0,\"missing.bmp\"\n#BM 0,0,'broken.bmp'\n#DF 0,255,0\n"
                                  "#BM 0,0,'two',10,'lines.bmp'\n");
    std::string png = dir.file("out.png");
    CliRun run = runCli(commands + " -o " + png);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("missing.bmp: no such file"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("broken.bmp: damaged"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("two?lines.bmp: no such file"), std::string::npos) << run.err;
    PngImage image;
    ASSERT_TRUE(readPng(png, image));
    EXPECT_EQ(image.rgb565At(0, 0), 0x07E0) << "the commands after the pictures still ran";
}

TEST(CliOptions, ParsesEveryFormAndRejectsMistakes) {
    CliOptions o;
    EXPECT_EQ(
        parseCliArguments(
            {"--model=KP280", "-t", "--angle=270", "-o", "x.png", "a.txt", "--", "-odd.txt"}, o),
        "");
    EXPECT_EQ(o.model, 4);
    EXPECT_TRUE(o.touch);
    EXPECT_EQ(o.angle, 270);
    EXPECT_EQ(o.panelPng, "x.png");
    ASSERT_EQ(o.files.size(), 2u);
    EXPECT_EQ(o.files[1], "-odd.txt");

    CliOptions conversion;
    EXPECT_EQ(
        parseCliArguments({"--decode", "in.png", "out.bmp", "c.txt", "--at", "-5,3"}, conversion),
        "");
    EXPECT_EQ(conversion.decodeIn, "in.png");
    EXPECT_EQ(conversion.decodeOut, "out.bmp");
    EXPECT_EQ(conversion.files, std::vector<std::string>{"c.txt"});
    EXPECT_EQ(conversion.atX, -5);

    const struct {
        std::vector<std::string> args;
        const char* saying;
    } mistakes[] = {{{"a.txt", "-m"}, "--model"},
                    {{"-v"}, "no file given"},
                    {{"-o", "", "a.txt"}, "--panel-png: needs a file name"},
                    {{"-b", "", "a.txt"}, "--board-bytes: needs a file name"},
                    {{"--decode", "", "o.bmp"}, "input file name is empty"},
                    {{"--decode", "in.bmp", ""}, "output file name is empty"},
                    {{"--prepare", "in.bmp"}, "needs an input and an output file"},
                    {{""}, "file name is empty"}};
    for (const auto& mistake : mistakes) {
        CliOptions options;
        EXPECT_NE(parseCliArguments(mistake.args, options).find(mistake.saying), std::string::npos)
            << mistake.saying;
    }
}

TEST(PanelPng, BitReplicationRecoversEveryRgb565Value) {
    for (uint32_t v = 0; v <= 0xFFFF; ++v) {
        uint8_t rgb[3];
        expandRgb565(uint16_t(v), rgb);
        uint16_t back = uint16_t(((rgb[0] >> 3) << 11) | ((rgb[1] >> 2) << 5) | (rgb[2] >> 3));
        ASSERT_EQ(back, v);
    }
    uint8_t white[3];
    expandRgb565(0xFFFF, white);
    EXPECT_EQ(white[0] + white[1] + white[2], 3 * 255);
}

TEST(CliEndToEnd, OutputsFollowLinksFeedPipesAndSurviveFailedWrites) {
    TempDir dir;
    std::string commands = dir.write("fill.txt", "#DF 255,0,0\n");
    fs::create_symlink("panel.png", dir.file("latest.png"));
    int bytes = openPipeReader(dir.file("bytes.pipe"));
    ASSERT_GE(bytes, 0);
    CliRun run = runCli("-m 1 " + commands + " -o " + dir.file("latest.png") + " -b " +
                        dir.file("bytes.pipe"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(drainPipe(bytes), "#DF 255,0,0\n");
    EXPECT_TRUE(fs::is_symlink(dir.file("latest.png")));
    PngImage panel;
    ASSERT_TRUE(readPng(dir.file("panel.png"), panel));
    EXPECT_EQ(panel.rgb565At(0, 0), 0xF800);

    // The file-size limit stops the write: the old file stays whole.
    std::string picture = dir.file("big.bmp");
    writeFile(picture, makeBmp24(200, 200, [](int, int) { return 0x00FF00u; }));
    std::string old = dir.write("old.bmp", "keep");
    CliRun cut = runCli("-m 5 --prepare " + picture + " " + old, "trap '' XFSZ; ulimit -f 40; ");
    EXPECT_EQ(cut.status, 1);
    EXPECT_NE(cut.err.find(old + ": write error"), std::string::npos) << cut.err;
    EXPECT_EQ(slurp(old), "keep");
}
