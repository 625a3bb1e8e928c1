// The runner as an install lays it out: a copy in a prefix of its own (bin/,
// with share/vantorix/ beside it) finds the firmware files and the starter
// module files there, wherever the prefix is.
#include "support/board_sim.h"
#include "support/cli_run.h"
#include "support/uf2_writer.h"

#include <gtest/gtest.h>

namespace {
using namespace clitest;

struct InstalledRunner : ::testing::Test {
    TempDir prefix;
    std::string runner = prefix.file("bin/vantorix-cli");
    fs::path shared = prefix.path / "share/vantorix";
    void SetUp() override {
        fs::create_directories(prefix.path / "bin");
        fs::create_directories(shared / "starter");
        fs::copy_file(VANTORIX_CLI_PATH, runner);
    }
    void putFile(const fs::path& path, const std::string& content) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
    }
    void putFirmware(const fs::path& path) {
        std::vector<uint8_t> image = makeUf2(uf2FamilyRP2040, 2);
        putFile(path, std::string(image.begin(), image.end()));
    }
    // The version of the firmware file offered to a board with V1.00 (the
    // question is answered no: --ask without a terminal).
    std::string offeredTo(const std::string& port, const std::string& options = "") {
        CliRun run = runProgram(runner, "-p " + port + " --ask -v " + options + " </dev/null");
        const std::string lead = "new vantorix firmware V";
        size_t at = run.err.find(lead);
        return at == std::string::npos ? "none" : run.err.substr(at + lead.size(), 4);
    }
    // Runs the module file of the KP150 at 90 degrees for two seconds, with
    // ENV before the runner, and returns the panel's first pixel.
    uint16_t watchModuleFile(const std::string& env, CliRun& run) {
        const std::string png = prefix.file("panel.png");
        fs::remove(png);
        run = runProgram(runner, "--watch -m 2 -a 90 -o " + png,
                         "env -u XDG_DATA_HOME " + env + " timeout -s INT 2 ");
        PngImage panel;
        return readPng(png, panel) ? panel.rgb565At(0, 0) : 1;
    }
};

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}
} // namespace

TEST_F(InstalledRunner, FirmwareComesFromTheFirstFolderThatHoldsOneForTheBoard) {
    std::string port = prefix.file("port");
    boardtest::BoardSimProcess board;
    ASSERT_TRUE(board.start({"--fw", "1.00", "--link", port}));
    EXPECT_EQ(offeredTo(port), "none");
    putFirmware(shared / "vantorix_Pico_V1.10.uf2");
    EXPECT_EQ(offeredTo(port), "1.10");
    // The runner's own folder comes first, even with an older file.
    putFirmware(prefix.path / "bin/vantorix_Pico_V1.05.uf2");
    EXPECT_EQ(offeredTo(port), "1.05");
    putFirmware(prefix.path / "fw/vantorix_Pico_V1.02.uf2");
    EXPECT_EQ(offeredTo(port, "--firmware-dir " + prefix.file("fw")), "1.02");
    // A folder with files for the other board only is passed over.
    fs::remove(prefix.path / "bin/vantorix_Pico_V1.05.uf2");
    putFirmware(prefix.path / "bin/vantorix_Pico2_V1.50.uf2");
    EXPECT_EQ(offeredTo(port), "1.10");
}

TEST_F(InstalledRunner, TheFirstWatchBringsTheStartersAndNeverReplacesAUsersFile) {
    putFile(shared / "starter/KP150_90.txt", "#DF0,0,255\n");
    putFile(shared / "starter/KP150_0.txt", "#DF255,0,0\n");
    const fs::path home = prefix.path / "home", userFolder = home / ".local/share/vantorix";
    CliRun run;
    EXPECT_EQ(watchModuleFile("HOME=" + home.string(), run), 0x001F) << run.err;
    EXPECT_TRUE(has(run.err, "starter module files copied to " + userFolder.string() + "/"))
        << run.err;
    EXPECT_TRUE(fs::exists(userFolder / "KP150_0.txt"));

    // The user edits one file and deletes another: both stay as the user left them.
    putFile(userFolder / "KP150_90.txt", "#DF0,255,0\n");
    fs::remove(userFolder / "KP150_0.txt");
    EXPECT_EQ(watchModuleFile("HOME=" + home.string(), run), 0x07E0) << run.err;
    EXPECT_FALSE(fs::exists(userFolder / "KP150_0.txt"));
    EXPECT_FALSE(has(run.err, "copied")) << run.err;

    // An absolute XDG_DATA_HOME names the folder; a relative one is ignored.
    const fs::path data = prefix.path / "data";
    EXPECT_EQ(watchModuleFile("HOME=" + home.string() + " XDG_DATA_HOME=" + data.string(), run),
              0x001F);
    EXPECT_EQ(slurp(data / "vantorix/KP150_90.txt"), "#DF0,0,255\n");
    EXPECT_EQ(watchModuleFile("HOME=" + home.string() + " XDG_DATA_HOME=data", run), 0x07E0);
}
