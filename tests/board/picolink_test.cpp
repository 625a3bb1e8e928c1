#include "board/discovery.h"
#include "board/picolink.h"
#include "board/seriowin.h"
#include "board/statusblock.h"
#include "common/seam.h"
#include "common/settings.h"
#include "headless/headless.h"
#include "panel/zr_tft.h"
#include "support/fake_serial.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
// ---- a registry held in maps: key path -> value name -> text or number ----
struct FakeRegistry {
    std::map<std::string, std::map<std::string, std::string>> texts;
    std::map<std::string, std::map<std::string, uint32_t>> numbers;
    std::vector<std::string> open; // index + 1 is the handle
};
FakeRegistry registry;

intptr_t openKey(const char* path) {
    if (!registry.texts.count(path) && !registry.numbers.count(path)) return 0;
    registry.open.push_back(path);
    return intptr_t(registry.open.size());
}
void closeKey(intptr_t) {}
int readNumber(intptr_t key, const char* name, uint32_t* value) {
    auto& values = registry.numbers[registry.open[size_t(key - 1)]];
    if (!values.count(name)) return 0;
    *value = values[name];
    return 1;
}
int readText(intptr_t key, const char* name, char* buffer, int size) {
    auto& values = registry.texts[registry.open[size_t(key - 1)]];
    if (!values.count(name) || int(values[name].size()) >= size) return 0;
    std::strcpy(buffer, values[name].c_str());
    return 1;
}
const RegistryAccess fakeRegistry{openKey, closeKey, readNumber, readText};

void addDevice(int index, const std::string& instance, const std::string& friendly,
               const std::string& hardware) {
    std::string list = usbserEnumKey;
    registry.numbers[list]["Count"] = uint32_t(index + 1);
    registry.texts[list][std::to_string(index)] = instance;
    std::string key = "SYSTEM\\CurrentControlSet\\Enum\\" + instance;
    if (!friendly.empty()) registry.texts[key]["FriendlyName"] = friendly;
    if (!hardware.empty()) registry.texts[key]["HardwareID"] = hardware;
}

// ---- volumes: root -> label, file system, removable, INFO_UF2.TXT present ----
struct FakeVolume {
    std::string label, fileSystem;
    bool removable, hasInfo;
};
std::map<char, FakeVolume> volumes;
int driveRoots(char* buffer, int size) {
    int at = 0;
    for (auto& [letter, volume] : volumes) {
        if (at + 4 >= size) return 0;
        std::memcpy(buffer + at, (std::string(1, letter) + ":\\").c_str(), 4);
        at += 4;
    }
    buffer[at] = 0;
    return at;
}
int volumeInfo(const char* root, char* label, int, char* fileSystem, int) {
    auto& volume = volumes.at(root[0]);
    std::strcpy(label, volume.label.c_str());
    std::strcpy(fileSystem, volume.fileSystem.c_str());
    return 1;
}
int isRemovable(const char* root) {
    return volumes.at(root[0]).removable;
}
int fileExists(const char* path) {
    return volumes.count(path[0]) && volumes[path[0]].hasInfo &&
           std::string(path + 1) == ":\\INFO_UF2.TXT";
}
const VolumeAccess fakeVolumes{driveRoots, volumeInfo, isRemovable, fileExists};

// ---- a device tree: serial devices and block devices by minor number ----
std::vector<SerialDeviceInfo> serialDevices;
std::map<unsigned, BlockDeviceInfo> blockDevices;
void listSerial(void (*found)(const SerialDeviceInfo&, void*), void* context) {
    for (const auto& device : serialDevices) found(device, context);
}
int readBlock(unsigned, unsigned minor, BlockDeviceInfo* info) {
    if (!blockDevices.count(minor)) return 0;
    *info = blockDevices[minor];
    return 1;
}
const DeviceTree fakeTree{listSerial, readBlock};

BlockDeviceInfo blockDevice(const char* label, const char* type, const char* version,
                            bool removable) {
    BlockDeviceInfo info{};
    std::strcpy(info.label, label);
    std::strcpy(info.fsType, type);
    std::strcpy(info.fsVersion, version);
    info.removable = removable;
    return info;
}

const std::vector<uint8_t> query{0x1B, '?', '\n'};

struct BoardDiscovery : ::testing::Test {
    fakeserial::Port* fake = nullptr;
    fs::path dir;
    void SetUp() override {
        headlessStart({});
        fake = &fakeserial::install();
        registry = FakeRegistry{};
        volumes.clear();
        serialDevices.clear();
        blockDevices.clear();
        COMforgetDevices();
        dir = fs::temp_directory_path() / ("vantorix_discovery_" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override {
        resetDiscoverySystem();
        headlessStart({});
        fs::remove_all(dir);
    }
    void useRegistry() {
        DiscoverySystem system;
        system.registry = &fakeRegistry;
        system.volumes = &fakeVolumes;
        installDiscoverySystem(system);
    }
    std::string mountTable(const std::string& lines) {
        std::string path = (dir / "mountinfo").string();
        std::ofstream(path) << lines;
        return path;
    }
};

TEST_F(BoardDiscovery, TheRegistryListKeepsOnlyPicoBoardsWithAPort) {
    useRegistry();
    addDevice(0, "USB\\A", "USB Serial Device (COM7)", "USB\\VID_2E8A&PID_000A&REV_0100");
    addDevice(1, "USB\\B", "Pico other firmware (COM8)", "USB\\VID_2E8A&PID_0003");
    addDevice(2, "USB\\C", "", "USB\\VID_2E8A&PID_000A"); // no port: nothing of B carries over
    addDevice(3, "USB\\MISSING", "", "");
    registry.texts.erase("SYSTEM\\CurrentControlSet\\Enum\\USB\\MISSING");
    addDevice(4, "USB\\E", "Long " + std::string(300, 'x') + " (COM9)", "USB\\VID_2E8A&PID_000A");
    addDevice(5, "USB\\F", "USB Serial Device (COM12)", "USB\\VID_2E8A&PID_000A");
    EXPECT_EQ(GetCOMnames(), 2);
    EXPECT_EQ(picoList[0].port, 7);
    EXPECT_STREQ(picoList[0].name, "USB Serial Device (COM7)");
    EXPECT_EQ(picoList[0].vid, 0x2E8A);
    EXPECT_EQ(picoList[1].port, 12) << "a value too long for its buffer is skipped";
}

TEST_F(BoardDiscovery, TheListStopsAtItsSizeAndADamagedCountEndsTheSearch) {
    useRegistry();
    for (int i = 0; i < 120; ++i)
        addDevice(i, "USB\\P" + std::to_string(i), "Pico (COM" + std::to_string(i + 1) + ")",
                  "VID_2E8A&PID_000A");
    EXPECT_EQ(GetCOMnames(), picoListSize);
    EXPECT_EQ(picoList[picoListSize - 1].port, 100);
    registry.numbers[usbserEnumKey]["Count"] = 0xFFFFFFFFu;
    EXPECT_EQ(GetCOMnames(), picoListSize);
}

TEST_F(BoardDiscovery, TheFirstPortGetsEightPollsAndLaterPortsOne) {
    useRegistry();
    addDevice(0, "USB\\SILENT", "Pico (COM3)", "VID_2E8A&PID_000A");
    addDevice(1, "USB\\ANSWERS", "Pico (COM5)", "VID_2E8A&PID_000A");
    fake->onWrite = [](fakeserial::Port& port, const std::vector<uint8_t>& bytes) {
        if (bytes == query && port.openedPorts.back() == 5) port.send({0x1B, 'V', 105, 0x01});
    };
    PWM = 40;
    openPicoCOM();
    EXPECT_EQ(picoPort, 5);
    EXPECT_EQ(picoIndex, 1);
    EXPECT_EQ(fake->nowMs, 50u + 8 * 50 + 50 + 50) << "settle, 8 polls, close, 1 poll";
    std::vector<uint8_t> pwm{0x1B, 'P', '4', '0', '\n'};
    EXPECT_EQ(fake->writes.back(), pwm);
    EXPECT_EQ(COMinbufferanz(), 4) << "the reply stays queued for the tick";
}

TEST_F(BoardDiscovery, AThreeByteAnswerIsNotTaken) {
    useRegistry();
    addDevice(0, "USB\\SHORT", "Pico (COM4)", "VID_2E8A&PID_000A");
    fake->onWrite = [](fakeserial::Port& port, const std::vector<uint8_t>& bytes) {
        if (bytes == query) port.send({0x1B, 'V', 105});
    };
    openPicoCOM();
    EXPECT_EQ(picoPort, 0);
    EXPECT_EQ(COMinbufferanz(), -1) << "the port was closed again";
}

TEST_F(BoardDiscovery, DeviceTreeBoardsAreNumberedByTheirPaths) {
    serialDevices = {{"/dev/ttyUSB0", 0x0403, 0x6001},
                     {"/dev/ttyACM1", 0x2E8A, 0x000A},
                     {"/dev/ttyACM0", 0x2E8A, 0x0003}};
    DiscoverySystem system;
    system.devices = &fakeTree;
    installDiscoverySystem(system);
    EXPECT_EQ(GetCOMnames(), 1);
    EXPECT_STREQ(picoList[0].name, "Pico (/dev/ttyACM1)");
    EXPECT_STREQ(COMdevicePath(picoList[0].port), "/dev/ttyACM1");
}

TEST_F(BoardDiscovery, LetteredBootDrivesNeedLabelPlainFatRemovableAndInfoFile) {
    useRegistry();
    int32_t type = -1;
    volumes['C'] = {"SYSTEM", "NTFS", false, false};
    EXPECT_EQ(getPicoDrive(&type), 0);
    EXPECT_EQ(type, 0);
    volumes['E'] = {"RPI-RP2", "FAT32", true, true};
    EXPECT_EQ(getPicoDrive(&type), 0);
    EXPECT_EQ(type, 1) << "the label was seen";
    volumes['F'] = {"RP2350", "FAT", true, false};
    volumes['G'] = {"RP2350", "FAT", false, true};
    EXPECT_EQ(getPicoDrive(&type), 0);
    volumes['H'] = {"RP2350", "FAT", true, true};
    EXPECT_EQ(getPicoDrive(&type), 'H');
    EXPECT_EQ(type, 2);
    EXPECT_STREQ(picoDriveRoot, "H:\\");
}

TEST_F(BoardDiscovery, MountedBootDrivesFollowTheSameRules) {
    fs::create_directories(dir / "boot drive");
    std::ofstream((dir / "boot drive" / "INFO_UF2.TXT").string()) << "Board-ID: RPI-RP2\n";
    std::string mounted = (dir / "boot drive").string();
    mounted.replace(mounted.find(' '), 1, "\\040");
    std::string table = mountTable("21 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
                                   "40 21 8:17 / " +
                                   mounted + " rw - vfat /dev/sdb1 rw\n");
    DiscoverySystem system;
    system.devices = &fakeTree;
    system.mountTable = table.c_str();
    installDiscoverySystem(system);
    int32_t type = -1;
    blockDevices[17] = blockDevice("RPI-RP2", "vfat", "FAT32", true);
    EXPECT_EQ(getPicoDrive(&type), 0);
    EXPECT_EQ(type, 1);
    blockDevices[17] = blockDevice("RPI-RP2", "vfat", "FAT16", false);
    EXPECT_EQ(getPicoDrive(&type), 0);
    blockDevices[17] = blockDevice("RPI-RP2", "vfat", "FAT16", true);
    EXPECT_EQ(getPicoDrive(&type), bootFolderDrive);
    EXPECT_EQ(fs::path(picoDriveRoot), dir / "boot drive");
}

TEST_F(BoardDiscovery, ABootFolderCountsWhenItHoldsTheInfoFile) {
    setBootFolder(dir.string().c_str());
    int32_t type = -1;
    EXPECT_EQ(getPicoDrive(&type), 0);
    std::ofstream((dir / "INFO_UF2.TXT").string()) << "UF2 Bootloader v1.0\nBoard-ID: RP2350\n";
    EXPECT_EQ(getPicoDrive(&type), bootFolderDrive);
    EXPECT_EQ(type, 2);
}

// ---- status blocks, against a headless panel ----
struct StatusBlocks : BoardDiscovery {
    void SetUp() override {
        BoardDiscovery::SetUp();
        ASSERT_EQ(COMopen(1, boardBaud), 1);
    }
    uint16_t at(int x, int y) const { return panelPixelsTopDown()[size_t(y) * TFTwidth + x]; }
};

TEST_F(StatusBlocks, TheBoardsConfigurationIsFollowed) {
    fake->send({0x1B, 'V', 105, 0xB3});
    EXPECT_EQ(readBoardInput(), 1);
    EXPECT_EQ(picoFW, 105);
    EXPECT_EQ(picoType, 2);
    EXPECT_EQ(Module, 3);
    EXPECT_EQ(Angle, 90);
    EXPECT_EQ(Touch, 1);
    EXPECT_EQ(TFTwidth, 320) << "the panel was rebuilt";
    fake->send({0x1B, 'V', 105, 0x07, 0x1B, 'V', 99, 0x00});
    EXPECT_EQ(readBoardInput(), 2);
    EXPECT_EQ(Module, 3) << "model 7 and model 0 change nothing";
    EXPECT_EQ(picoType, 1);
}

TEST_F(StatusBlocks, AFloodOfModelSwitchesIsHandledATickAtATime) {
    // Every switch rebuilds the module; here each takes 10 ms on the layer's clock.
    WindowSeam seam{};
    seam.checkMenuTFT = [] { return fakeserial::port().nowMs += 10, 1; };
    installWindowSeam(seam);
    for (int i = 0; i < 100; ++i) fake->send({0x1B, 'V', 105, uint8_t(i % 2 ? 0x01 : 0x02)});
    EXPECT_EQ(readBoardInput(), 10) << "100 ms of handling, then the rest waits";
    EXPECT_EQ(COMinbufferanz(), 90 * statusBlockBytes);
    while (readBoardInput()) {
    }
    EXPECT_EQ(Module, 1) << "the last block counts";
}

TEST_F(StatusBlocks, KeptSettingsStayWithAWarning) {
    static std::vector<std::string> warnings;
    warnings.clear();
    WindowSeam seam{};
    seam.reportWarning = [](const char* text) { return warnings.push_back(text), 1; };
    installWindowSeam(seam);
    setBoardFollowing({true, false, false});
    fake->send({0x1B, 'V', 105, 0x23, 0x1B, 'V', 105, 0x23});
    readBoardInput();
    EXPECT_EQ(Module, 1);
    EXPECT_EQ(Angle, 90);
    ASSERT_EQ(warnings.size(), 1u) << "one warning per new report";
    EXPECT_EQ(warnings[0], "the board shows model 3; keeping model 1");
    setBoardFollowing({});
}

TEST_F(StatusBlocks, GarbageDiscardsTheQueueAndTheNextBlockCounts) {
    fake->send({'x', 'y', 'z', 'w', 0x1B, 'V', 1, 0x02});
    readBoardInput();
    EXPECT_EQ(COMinbufferanz(), 0);
    EXPECT_EQ(Module, 1);
    fake->send({0x1B, 'V', 1, 0x02});
    readBoardInput();
    EXPECT_EQ(Module, 2);
}

TEST_F(StatusBlocks, ScreenReportsDrawTheStartScreenAndSetDemo) {
    fake->send({0x1B, 'S', 105, 0x01, 2});
    readBoardInput();
    EXPECT_EQ(Demo, 1);
    EXPECT_NE(at(40, 80), 0) << "start screen 2 was drawn";
    fake->send({0x1B, 'S', 105, 0x01});
    readBoardInput();
    EXPECT_EQ(Demo, 0) << "a missing screen number switches the demo off";
}

TEST_F(StatusBlocks, TouchReportsAreClampedToThePanel) {
    fake->send({0x1B, 'T', 105, 0x01, 1, 0, 0, 10, 0});
    fake->send({0x1B, 'T', 105, 0x01, 4, 80, 0, 159, 0});
    fake->send({0x1B, 'T', 105, 0x01, 2, 40, 0, 40});
    readBoardInput();
    EXPECT_EQ(at(0, 9), 0xF800) << "x = 0 is drawn at 1, the square reaches 0";
    EXPECT_EQ(at(2, 11), 0xF800);
    EXPECT_EQ(at(3, 10), 0);
    EXPECT_EQ(at(79, 159), 0xFFFF) << "the far corner, clamped";
    EXPECT_EQ(at(40, 40), 0) << "a report cut short draws nothing";
}
} // namespace
