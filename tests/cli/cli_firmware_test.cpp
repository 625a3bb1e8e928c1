// Firmware through the runner: the board simulator on a pseudo-terminal, a
// temporary folder as its boot drive.
#include "support/board_sim.h"
#include "support/cli_run.h"
#include "support/uf2_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <string>

using namespace clitest;
namespace fs = std::filesystem;

namespace {
struct FirmwareRun : ::testing::Test {
    TempDir dir;
    std::string drive = dir.file("drive"), firmware = dir.file("fw"), link = dir.file("port");
    std::vector<uint8_t> image = makeUf2(uf2FamilyRP2040, 40);
    void SetUp() override {
        fs::create_directories(drive);
        fs::create_directories(firmware);
    }
    std::string writeFirmware(const std::string& name, const std::vector<uint8_t>& bytes) {
        return dir.write("fw/" + name, std::string(bytes.begin(), bytes.end()));
    }
    // A board sitting in its boot loader: its drive and nothing else.
    void showEmptyBoard() { dir.write("drive/INFO_UF2.TXT", "Board-ID: RPI-RP2\n"); }
};

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}
} // namespace

TEST_F(FirmwareRun, UpdateReachesARunningBoardByteForByte) {
    writeFirmware("vantorix_Pico_V1.10.uf2", image);
    writeFirmware("vantorix_Pico_V1.02.uf2", makeUf2(uf2FamilyRP2040, 2));
    std::string taken = dir.file("taken");
    fs::create_directories(taken);
    boardtest::BoardSimProcess board;
    ASSERT_TRUE(board.start(
        {"--fw", "1.00", "--boot-drive", drive, "--keep-firmware", taken, "--link", link}));
    std::string options = "-p " + link + " --boot-drive " + drive + " --firmware-dir " + firmware;
    CliRun run = runCli(options + " --update -v");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(has(run.err, "found RP2040 Pico vantorix V1.00\nnew vantorix firmware V1.10"));
    EXPECT_TRUE(has(run.err, "Set Picoboard in Programming mode\r\nCopy Firmware "
                             "'vantorix_Pico_V1.10.uf2' (20480 Bytes)  -->  Picoboard '" +
                                 drive + "'\r\nProgramming... please wait\r\nPicoboard Reset..."))
        << run.err;

    // The board takes the file once it has stopped growing and comes back.
    ASSERT_FALSE(board.nextPath(10000).empty());
    EXPECT_EQ(slurp(fs::path(taken) / "vantorix_Pico_V1.10.uf2"),
              std::string(image.begin(), image.end()));
    CliRun status = runCli("--status -p " + link);
    EXPECT_TRUE(has(status.out, "firmware: 1.10")) << status.out << status.err;
    CliRun again = runCli(options + " --update -v");
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_FALSE(has(again.err, "Programming mode")) << again.err;
}

TEST_F(FirmwareRun, ABoardThatNeverShowsItsDrive) {
    boardtest::BoardSimProcess board;
    ASSERT_TRUE(board.start({"--link", link}));
    CliRun run = runCli("-p " + link + " --boot-drive " + drive + " -v " +
                        writeFirmware("vantorix_Pico_V1.10.uf2", image));
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(has(run.err, "Set Picoboard in Programming mode\r\n")) << run.err;
    EXPECT_FALSE(has(run.err, "Copy Firmware")) << run.err;
    EXPECT_TRUE(has(run.err, "boot drive did not appear")) << run.err;
}

TEST_F(FirmwareRun, EmptyBoardFailuresAreReported) {
    std::string file = writeFirmware("vantorix_Pico_V1.10.uf2", image);
    CliRun nothing = runCli("--boot-drive " + drive + " " + file);
    EXPECT_EQ(nothing.status, 1);
    EXPECT_TRUE(has(nothing.err, "no board and no boot drive")) << nothing.err;

    showEmptyBoard();
    fs::create_directory(fs::path(drive) / "vantorix_Pico_V1.10.uf2");
    CliRun blocked = runCli("--boot-drive " + drive + " " + file);
    EXPECT_EQ(blocked.status, 1);
    EXPECT_TRUE(has(blocked.err, "cannot be created")) << blocked.err;
    fs::remove(fs::path(drive) / "vantorix_Pico_V1.10.uf2");
    // Pipes are never opened: they would wait for a partner for ever.
    ASSERT_EQ(::mkfifo((fs::path(drive) / "vantorix_Pico_V1.10.uf2").c_str(), 0600), 0);
    EXPECT_TRUE(has(runCli("--boot-drive " + drive + " " + file).err, "cannot be created"));
    fs::remove(fs::path(drive) / "vantorix_Pico_V1.10.uf2");
    fs::remove(fs::path(drive) / "INFO_UF2.TXT");
    ASSERT_EQ(::mkfifo((fs::path(drive) / "INFO_UF2.TXT").c_str(), 0600), 0);
    EXPECT_TRUE(has(runCli("--boot-drive " + drive + " " + file).err, "no boot drive"));
    fs::remove(fs::path(drive) / "INFO_UF2.TXT");
    showEmptyBoard();

    // The file-size limit stops the copy after 40 blocks of 512 bytes.
    std::string big = writeFirmware("big.uf2", makeUf2(uf2FamilyRP2040, 200));
    CliRun cut = runCli("--boot-drive " + drive + " -v " + big, "trap '' XFSZ; ulimit -f 40; ");
    EXPECT_EQ(cut.status, 1);
    EXPECT_TRUE(has(cut.err, "Write error on the boot drive after 20480 of 102400 Bytes\r\n"))
        << cut.err;
    EXPECT_FALSE(has(cut.err, "Programming...")) << cut.err;

    // --update programs the empty board; without it the question is answered no.
    EXPECT_EQ(runCli("--boot-drive " + drive + " --firmware-dir " + firmware).status, 2);
    CliRun declined = runCli("--ask --boot-drive " + drive + " --firmware-dir " + firmware);
    EXPECT_EQ(declined.status, 0) << declined.err;
    EXPECT_FALSE(fs::exists(fs::path(drive) / "vantorix_Pico_V1.10.uf2"));
    CliRun programmed = runCli("--update --boot-drive " + drive + " --firmware-dir " + firmware);
    EXPECT_EQ(programmed.status, 0) << programmed.err;
    EXPECT_EQ(slurp(fs::path(drive) / "vantorix_Pico_V1.10.uf2"),
              std::string(image.begin(), image.end()));
}

TEST(RunnerSendJobs, RefusedNamesAreNamedOnStderr) {
    TempDir dir;
    fs::create_directory(dir.path / "pictures.png");
    std::string folder = dir.file("pictures.png"), bare = dir.write("notes", "#DC\n");
    for (const std::string& name : {folder, bare, dir.path.string()}) {
        CliRun run = runCli("'" + name + "'");
        EXPECT_EQ(run.status, 1) << name;
        EXPECT_TRUE(has(run.err, name + ": ")) << run.err;
    }
}

TEST(RunnerSendJobs, AQuoteIsCutOffOnlyWhenNoFileHasItInItsName) {
    TempDir dir;
    dir.write("'red.txt", "#DF 255,0,0\n");
    dir.write("red.txt", "#DF 0,255,0\n");
    dir.write("blue.txt", "#DF 0,0,255\n");
    const std::string inDir = "cd " + dir.path.string() + " && ";
    PngImage panel;
    ASSERT_EQ(runCli("\"'red.txt\" -o q.png", inDir).status, 0);
    ASSERT_TRUE(readPng(dir.file("q.png"), panel));
    EXPECT_EQ(panel.rgb565At(0, 0), 0xF800) << "the file named with its quote ran";
    ASSERT_EQ(runCli("\"'blue.txt'\" -o q.png", inDir).status, 0);
    ASSERT_TRUE(readPng(dir.file("q.png"), panel));
    EXPECT_EQ(panel.rgb565At(0, 0), 0x001F);
}
