#include "support/cli_run.h"
#include "support/job_fixture.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fstream>

using namespace jobtest;
namespace fs = std::filesystem;

namespace {
std::string bytesOf(size_t size) {
    std::string data(size, 0);
    for (size_t i = 0; i < size; ++i) data[i] = char(i * 7 + i / 251);
    return data;
}

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FirmwareTest : public JobFixture {
  protected:
    clitest::TempDir firmware, drive;
    void SetUp() override {
        JobFixture::SetUp();
        std::snprintf(appDir, sizeof appDir, "%s/", firmware.path.c_str());
        root = drive.path.string();
        std::snprintf(picoDriveRoot, sizeof picoDriveRoot, "%s", root.c_str());
        FirmwareHooks hooks{};
        hooks.wait = [](int ms) {
            recorded.waits.push_back(ms);
            recorded.progressAtWait.push_back(recorded.progress.empty() ? -1
                                                                        : recorded.progress.back());
        };
        installFirmwareHooks(hooks);
    }
    std::string root;
};
} // namespace

TEST(FirmwareNames, VersionFromTheLastCapitalV) {
    EXPECT_EQ(firmwareVersionFromName("vantorix_Pico_V1.02.uf2"), 102);
    EXPECT_EQ(firmwareVersionFromName("vantorix_Pico_V1.10.uf2"), 110);
    EXPECT_EQ(firmwareVersionFromName("vantorix_Pico2_V2.uf2"), 200);
    EXPECT_EQ(firmwareVersionFromName("Vantorix_Pico_V0.99_V1.5.uf2"), 150);
    for (const char* none :
         {"vantorix_Pico_Vx.uf2", "vantorix_pico_v1.05.uf2", "vantorix_Pico_Vnan.uf2",
          "vantorix_Pico_Vinf.uf2", "vantorix_Pico_V-1.uf2", "vantorix_Pico_V1e30.uf2"})
        EXPECT_EQ(firmwareVersionFromName(none), 0) << none;
}

TEST_F(FirmwareTest, NewestFileOfEachType) {
    for (const char* name :
         {"vantorix_Pico_V1.10.uf2", "vantorix_Pico_V1.02.uf2", "vantorix_Pico2_V1.05.uf2",
          "vantorix_Pico_Vx.uf2", "other_V9.uf2", "vantorix_Pico_V9.txt"})
        firmware.write(name, "x");
    fs::create_directory(firmware.path / "vantorix_Pico_V5.00.uf2");
    getFWfile(1);
    getFWfile(2);
    EXPECT_EQ(fwVer2040, 110);
    EXPECT_EQ(std::string(fwPath2040), firmware.file("vantorix_Pico_V1.10.uf2"));
    EXPECT_EQ(fwVer2350, 105);
    EXPECT_EQ(std::string(fwPath2350), firmware.file("vantorix_Pico2_V1.05.uf2"));

    // Case does not matter for the pattern; of equal versions the first in
    // name order wins, whatever order the folder lists them in.
    firmware.write("VANTORIX_PICO2_V1.1.UF2", "x");
    firmware.write("vantorix_pico2_V1.10.uf2", "x");
    getFWfile(2);
    EXPECT_EQ(fwVer2350, 110);
    EXPECT_EQ(std::string(fwPath2350), firmware.file("VANTORIX_PICO2_V1.1.UF2"));

    // No file: version 0, the best file kept.
    std::snprintf(appDir, sizeof appDir, "%s/nothing/", firmware.path.c_str());
    getFWfile(1);
    EXPECT_EQ(fwVer2040, 0);
    EXPECT_EQ(std::string(fwPath2040), firmware.file("vantorix_Pico_V1.10.uf2"));
}

TEST_F(FirmwareTest, ModuleFileTimeInWindowsUnits) {
    GetAktModuleFileTime();
    EXPECT_EQ(moduleFileTime, 0u);
    std::string file = firmware.write("KP096_0.txt", "#DC\n");
    timespec times[2] = {{0, 0}, {1700000000, 123456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    std::snprintf(moduleFile, sizeof moduleFile, "%s", file.c_str());
    GetAktModuleFileTime();
    EXPECT_EQ(moduleFileTime, (1700000000ull + 11644473600ull) * 10000000ull + 1234567ull);
    fs::remove(file);
    GetAktModuleFileTime();
    EXPECT_EQ(moduleFileTime, 0u);
}

TEST(FirmwarePieces, PieceRule) {
    // Pieces of 512 while more than size / 512 bytes remain, then the rest;
    // never more than remains (16000 bytes end in 128, not in 512).
    struct Case {
        int size, fullPieces;
        std::vector<int> tail;
    } cases[] = {{65536, 128, {}}, {1048576, 2044, {2048}}, {16000, 31, {128}}, {100, 0, {100}}};
    for (const Case& c : cases) {
        std::vector<int> pieces;
        for (int remaining = c.size; remaining > 0; remaining -= pieces.back()) {
            pieces.push_back(firmwarePieceSize(remaining, c.size));
            ASSERT_GT(pieces.back(), 0);
            ASSERT_LE(pieces.back(), remaining);
        }
        int full = int(std::count(pieces.begin(), pieces.end(), uploadPieceBytes));
        EXPECT_EQ(full, c.fullPieces) << c.size;
        EXPECT_EQ(std::vector<int>(pieces.begin() + full, pieces.end()), c.tail) << c.size;
    }
}

TEST_F(FirmwareTest, UploadToABootDrive) {
    std::string data = bytesOf(65536);
    std::string file = firmware.write("vantorix_Pico_V1.05.uf2", data);
    picoDrive = bootFolderDrive;
    PicoFirmwareUpload(file.c_str());
    EXPECT_EQ(fwUploadResult, fwUploadDone);
    EXPECT_EQ(readAll(drive.path / "vantorix_Pico_V1.05.uf2"), data);
    EXPECT_EQ(recorded.rangeHigh, 512);
    EXPECT_EQ(recorded.shown, 1);
    ASSERT_EQ(recorded.progress.size(), 128u + 3u);
    for (int k = 1; k <= 128; ++k) EXPECT_EQ(recorded.progress[k - 1], k);
    EXPECT_EQ(recorded.waits, (std::vector<int>{100, 100, 100}));
    EXPECT_EQ(recorded.progressAtWait, (std::vector<int>{0, 170, 341}));
    std::vector<std::string> expected = {
        "Copy Firmware 'vantorix_Pico_V1.05.uf2' (65536 Bytes)  -->  Picoboard '" + root + "'\r\n",
        "Programming... please wait\r\n", "Picoboard Reset..."};
    EXPECT_EQ(recorded.log, expected);
    EXPECT_EQ(picoDrive, 0);
    EXPECT_EQ(fwCheck, 0);

    recorded = Recorded{};
    picoDrive = bootFolderDrive;
    PicoFirmwareUpload(firmware.write("small.uf2", bytesOf(16000)).c_str());
    EXPECT_EQ(fwUploadResult, fwUploadDone);
    EXPECT_TRUE(recorded.waits.empty());
}

TEST_F(FirmwareTest, UploadFailures) {
    std::string file = firmware.write("fw.uf2", bytesOf(1000));
    fwCheck = 1;
    PicoFirmwareUpload(file.c_str());
    EXPECT_EQ(fwUploadResult, fwUploadNoBoard);
    EXPECT_TRUE(recorded.log.empty());
    EXPECT_EQ(fwCheck, 1);

    // The board restarts but its drive never shows: 20 looks, one message.
    picoPort = 1;
    PicoFirmwareUpload(file.c_str());
    EXPECT_EQ(fwUploadResult, fwUploadNoDrive);
    EXPECT_EQ(recorded.log, std::vector<std::string>{"Set Picoboard in Programming mode\r\n"});
    EXPECT_EQ(recorded.waits, std::vector<int>(20, 200));
    EXPECT_EQ(fwCheck, 0);
    picoPort = 0;

    // A target that cannot be created: nothing copied, the drive forgotten.
    recorded = Recorded{};
    fs::create_directory(drive.path / "fw.uf2");
    picoDrive = bootFolderDrive;
    PicoFirmwareUpload(file.c_str());
    EXPECT_EQ(fwUploadResult, fwUploadTargetFailed);
    EXPECT_TRUE(recorded.log.empty());
    EXPECT_EQ(picoDrive, 0);

    // A target name beyond its 128 bytes is refused with a line, nothing written.
    std::string longName = std::string(128 - root.size() - 5, 'n') + ".uf2";
    file = firmware.write(longName, bytesOf(1000));
    picoDrive = bootFolderDrive;
    PicoFirmwareUpload(file.c_str());
    EXPECT_EQ(fwUploadResult, fwUploadNameTooLong);
    ASSERT_EQ(recorded.log.size(), 1u);
    EXPECT_NE(recorded.log[0].find(longName), std::string::npos);
    EXPECT_FALSE(fs::exists(drive.path / longName));
    std::string fitting = longName.substr(1);
    picoDrive = bootFolderDrive;
    PicoFirmwareUpload(firmware.write(fitting, bytesOf(1000)).c_str());
    EXPECT_EQ(fwUploadResult, fwUploadDone);
    EXPECT_TRUE(fs::exists(drive.path / fitting));

    // A write error (a file-size limit of 0): the copy stops and says so, no
    // programming wait.
    recorded = Recorded{};
    std::string full = firmware.write("full", bytesOf(1000));
    rlimit unlimited{}, none{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &unlimited), 0);
    none.rlim_max = unlimited.rlim_max;
    std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &none);
    picoDrive = bootFolderDrive;
    PicoFirmwareUpload(full.c_str());
    setrlimit(RLIMIT_FSIZE, &unlimited);
    std::signal(SIGXFSZ, SIG_DFL);
    EXPECT_EQ(fwUploadResult, fwUploadWriteFailed);
    ASSERT_EQ(recorded.log.size(), 2u);
    EXPECT_EQ(recorded.log[1], "Write error on the boot drive after 0 of 1000 Bytes\r\n");
    EXPECT_TRUE(recorded.waits.empty());

    // A device is no file a boot drive holds: never opened.
    std::strcpy(picoDriveRoot, "/dev");
    picoDrive = bootFolderDrive;
    PicoFirmwareUpload(full.c_str());
    EXPECT_EQ(fwUploadResult, fwUploadTargetFailed);
}
