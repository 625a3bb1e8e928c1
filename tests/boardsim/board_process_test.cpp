// vantorix-board as a process on a real pseudo-terminal.
#include "support/board_sim.h"
#include "support/cli_run.h"
#include "support/uf2_writer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {
using boardtest::BoardSimProcess;
using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

Bytes readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Bytes query(int port) {
    boardtest::writeAll(port, "\x1b?\n", 3);
    return boardtest::readBytes(port, 4, 2000);
}

TEST(BoardProcess, AnswersTheQueryAndDrawsWhatTheRunnerDraws) {
    clitest::TempDir dir;
    std::string wire = dir.file("wire.bin"), runnerPng = dir.file("runner.png");
    std::string picture = dir.file("pic.bmp");
    writeFile(picture,
              makeBmp24(40, 30, [](int x, int y) { return 0x30A000u + uint32_t(x * 3 + y); }));
    std::string example = std::string(VANTORIX_SOURCE_DIR) + "/examples/hello.txt";
    ASSERT_EQ(clitest::runCli("-m 4 -a 270 -b " + wire + " -o " + runnerPng + " " + example +
                              " --at 12,9 " + picture)
                  .status,
              0);

    BoardSimProcess board;
    std::string boardPng = dir.file("board.png"), record = dir.file("record.bin");
    ASSERT_TRUE(board.start({"--fw", "1.07", "-m", "KP280", "-a", "270", "--pico2", "--link",
                             dir.file("port"), "--panel-png", boardPng, "--record", record}));
    EXPECT_EQ(fs::read_symlink(dir.file("port")).string(), board.path());
    int port = boardtest::openBoardPort(dir.file("port"));
    ASSERT_GE(port, 0);
    EXPECT_EQ(query(port), Bytes({0x1B, '?', 107, 0x60 | 0x10 | 4}));
    Bytes bytes = readAll(wire);
    ASSERT_TRUE(boardtest::writeAll(port, "\x1bP95\n", 5));
    ASSERT_TRUE(boardtest::writeAll(port, bytes.data(), bytes.size()));
    close(port); // what came before the close is still read
    ASSERT_TRUE(boardtest::waitFor([&] { return readAll(record).size() >= bytes.size(); }, 5000));
    EXPECT_EQ(board.stop(), 0);
    EXPECT_EQ(readAll(record), bytes);
    EXPECT_EQ(readAll(boardPng), readAll(runnerPng));
    EXPECT_FALSE(fs::is_symlink(dir.file("port"))) << "the link outlives the board";
}

TEST(BoardProcess, ReportsTouchesFromItsScriptAfterEachConnection) {
    clitest::TempDir dir;
    BoardSimProcess board;
    std::string png = dir.file("panel.png");
    ASSERT_TRUE(
        board.start({"--touch-script", dir.write("touch.txt", "# ms event x y\n50 2 300 7\n"), "-m",
                     "2", "-t", "--panel-png", png}));
    for (int connection = 0; connection < 2; ++connection) {
        int port = boardtest::openBoardPort(board.path());
        ASSERT_GE(port, 0);
        EXPECT_EQ(boardtest::readBytes(port, 9, 3000),
                  Bytes({0x1B, 'T', 100, 0x80 | 2, 2, 0x2C, 0x01, 7, 0}));
        close(port);
        boardtest::waitFor([] { return false; }, 100); // the board notices the close
    }
    board.signal(SIGUSR1); // a snapshot: the board marked the touch as the PC does
    clitest::PngImage panel;
    ASSERT_TRUE(boardtest::waitFor([&] { return clitest::readPng(png, panel); }, 3000));
    EXPECT_EQ(panel.rgb565At(238, 7), 0x07E0);
    EXPECT_EQ(panel.rgb565At(236, 7), 0);
}

// A boot-loader request leaves the bus; the boot drive refuses a broken UF2
// and takes one for its chip, and the board comes back with the new version.
TEST(BoardProcess, TakesNewFirmwareThroughItsBootDrive) {
    clitest::TempDir dir;
    std::string drive = dir.file("drive"), link = dir.file("port"), info = drive + "/INFO_UF2.TXT";
    fs::create_directories(drive);
    BoardSimProcess board;
    ASSERT_TRUE(board.start({"--fw", "1.00", "--boot-drive", drive, "--link", link}));
    int port = boardtest::openBoardPort(link, B1200);
    ASSERT_GE(port, 0);
    close(port);
    ASSERT_TRUE(boardtest::waitFor([&] { return fs::exists(info); }, 3000));
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    EXPECT_NE(readAll(info).size(), 0u);

    Bytes broken = makeUf2(uf2FamilyRP2040, 3);
    broken[uf2BlockSize + uf2OffsetMagic0] ^= 0xFF; // the second block's start magic
    writeFile(drive + "/vantorix_Pico_V1.20.uf2", broken);
    ASSERT_TRUE(
        boardtest::waitFor([&] { return !fs::exists(drive + "/vantorix_Pico_V1.20.uf2"); }, 3000));
    EXPECT_TRUE(fs::exists(info)) << "a refused file must leave the drive";
    writeFile(drive + "/vantorix_Pico2_V1.30.uf2", makeUf2(uf2FamilyRP2350ArmSecure, 3));
    ASSERT_TRUE(
        boardtest::waitFor([&] { return !fs::exists(drive + "/vantorix_Pico2_V1.30.uf2"); }, 3000));
    EXPECT_TRUE(fs::exists(info)) << "an RP2350 image must not program an RP2040";

    writeFile(drive + "/vantorix_Pico_V1.10.uf2", makeUf2(uf2FamilyRP2040, 3));
    std::string path = board.nextPath(5000);
    ASSERT_FALSE(path.empty());
    EXPECT_FALSE(fs::exists(info));
    EXPECT_FALSE(fs::exists(drive + "/vantorix_Pico_V1.10.uf2"));
    port = boardtest::openBoardPort(link);
    ASSERT_GE(port, 0);
    EXPECT_EQ(query(port), Bytes({0x1B, '?', 110, 1}));
    close(port);
}
} // namespace

TEST(BoardProcess, TakesTheRunnersConfigurationAndReportsIt) {
    clitest::TempDir dir;
    BoardSimProcess board;
    ASSERT_TRUE(board.start({"-m", "KP096", "--link", dir.file("port")}));
    std::string port = " -p " + dir.file("port");
    clitest::CliRun configured = clitest::runCli("--configure-board -m KP350 -t -a 90" + port);
    ASSERT_EQ(configured.status, 0) << configured.err;
    EXPECT_NE(configured.out.find("model: 5 KP350\norientation: 90\ntouch: on"), std::string::npos)
        << configured.out;
    EXPECT_NE(clitest::runCli("--status" + port).out.find("model: 5 KP350"), std::string::npos);
    EXPECT_EQ(clitest::runCli("--configure-board -a 90" + port).status, 2) << "no model given";
}
