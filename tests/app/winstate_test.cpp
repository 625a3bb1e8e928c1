// The window program's settings, title, shortcuts, drop position, device
// decisions and tick, without the window system.
#include "app/winstate.h"

#include "board/discovery.h"
#include "board/picolink.h"
#include "common/jobstate.h"
#include "common/seam.h"
#include "common/settings.h"
#include "headless/headless.h"
#include "module/newtft.h"
#include "module/winbitmap.h"
#include "panel/zr_tft.h"
#include "support/fake_serial.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {
// The ini file's section as a map; writes are kept in order.
std::map<std::string, std::string> iniValues;
std::vector<std::pair<std::string, std::string>> iniWrites;

void readIni(const char* key, const char* defaultText, char* out, int size) {
    auto found = iniValues.find(key);
    snprintf(out, size_t(size), "%s",
             found != iniValues.end() ? found->second.c_str() : defaultText);
}
void writeIni(const char* key, const char* text) {
    iniWrites.emplace_back(key, text);
}
ScreenArea fullHd() {
    return {0, 0, 1920, 1080};
}

struct WindowSettings : ::testing::Test {
    void SetUp() override {
        resetSettings();
        resetWindowState();
        iniValues.clear();
        iniWrites.clear();
        installProfileAccess({readIni, writeIni});
        installScreenArea(fullHd);
    }
    void TearDown() override { resetWindowState(); }
};

struct WindowKeys : ::testing::Test {
    std::vector<uint8_t> board;
    void SetUp() override {
        resetWindowState();
        HeadlessOptions options;
        options.boardBytes = &board;
        headlessStart(options);
    }
    void TearDown() override { headlessStart({}); }
    uint16_t at(int x, int y) const { return panelPixelsTopDown()[size_t(y) * TFTwidth + x]; }
    std::string received() const { return std::string(board.begin(), board.end()); }
};
} // namespace

TEST_F(WindowSettings, FirstStartTakesTheDefaultsAndWritesTwelveKeys) {
    GetPrivateProfile();
    EXPECT_EQ(wndPosX, 100);
    EXPECT_EQ(wndPosY, 0);
    EXPECT_EQ(Module, 1);
    EXPECT_EQ(ZoomWindow, 1);
    EXPECT_EQ(ShowWindow, 1);
    EXPECT_EQ(ledX, 36);
    EXPECT_EQ(ledY, 44);
    EXPECT_EQ(ledOpen, 0);
    WritePrivateProfile();
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"WindowPos", "100,0"}, {"Demo", "0"},   {"ShowWindow", "1"}, {"ZoomWindow", "1"},
        {"onTop", "0"},         {"Module", "1"}, {"Touch", "0"},      {"Angle", "0"},
        {"LedDlg", "36,44,0"},  {"PWM", "95"},   {"FWupdate", "2"},   {"ProgEmptyPico", "2"},
    };
    EXPECT_EQ(iniWrites, expected);
}

TEST_F(WindowSettings, LoadedValuesAreCorrected) {
    iniValues = {{"WindowPos", "5000, -40"},
                 {"Module", "9"},
                 {"ZoomWindow", "0"},
                 {"Angle", "45"},
                 {"LedDlg", "-500,2000,1"},
                 {"PWM", "12abc"},
                 {"Demo", "on"},
                 {"onTop", "99999999999"}};
    Demo = 7;
    GetPrivateProfile();
    EXPECT_EQ(wndPosX, 1920 - 170);
    EXPECT_EQ(wndPosY, 10);
    EXPECT_EQ(Module, 6);
    EXPECT_EQ(ZoomWindow, 1);
    EXPECT_EQ(Angle, 0);
    EXPECT_EQ(ledX, 10);
    EXPECT_EQ(ledY, 1080 - 180);
    EXPECT_EQ(ledOpen, 1);
    EXPECT_EQ(PWM, 12);
    EXPECT_EQ(Demo, 7); // not a number: left as it was
    EXPECT_EQ(onTop, INT32_MAX);

    iniValues = {{"Module", "0"}, {"ZoomWindow", "-3"}, {"Angle", "270"}, {"WindowPos", "7"}};
    GetPrivateProfile();
    EXPECT_EQ(Module, 6);
    EXPECT_EQ(ZoomWindow, 1);
    EXPECT_EQ(Angle, 270);
    EXPECT_EQ(wndPosX, 7);
    EXPECT_EQ(wndPosY, 10); // only x given: y stays where it was
}

TEST(WindowDrop, PositionIsOneBasedOnThePanelAfterTheZoom) {
    const Rect panel{30, 16, 109, 175};
    int x = -1, y = -1;
    ZoomWindow = 1;
    dropPanelPosition(30, 16, panel, &x, &y);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(1, 1));
    dropPanelPosition(29, 16, panel, &x, &y);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(0, 0));
    ZoomWindow = 2;
    dropPanelPosition(61, 33, panel, &x, &y);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(1, 1));
    dropPanelPosition(219, 351, panel, &x, &y);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(80, 160));
    dropPanelPosition(-2, 40, panel, &x, &y); // -1 taken as 65535
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(0, 0));
    ZoomWindow = 0;
    dropPanelPosition(40, 20, panel, &x, &y);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(11, 5));
    ZoomWindow = 1;
}

TEST(WindowDevices, PortsAndVolumesFollowTheConnection) {
    EXPECT_EQ(deviceChangeAction(0, devicePort, "COM5", 5), deviceClosePort);
    EXPECT_EQ(deviceChangeAction(0, devicePort, "COM6", 5), deviceNothing);
    EXPECT_EQ(deviceChangeAction(0, devicePort, "COM0", 0), deviceNothing);
    EXPECT_EQ(deviceChangeAction(1, devicePort, "COM6", 0), deviceOpenPort);
    EXPECT_EQ(deviceChangeAction(1, devicePort, "COM6", 5), deviceNothing);
    EXPECT_EQ(deviceChangeAction(1, devicePort, "LPT1", 0), deviceNothing);
    EXPECT_EQ(deviceChangeAction(1, deviceVolume, nullptr, 0), deviceFindBootDrive);
    EXPECT_EQ(deviceChangeAction(1, deviceVolume, nullptr, 5), deviceNothing);
    EXPECT_EQ(deviceChangeAction(0, deviceVolume, nullptr, 0), deviceNothing);
    EXPECT_EQ(deviceChangeAction(1, deviceOther, "COM1", 0), deviceNothing);
}

TEST_F(WindowKeys, ColourKeysFillAndGoToTheBoard) {
    EXPECT_EQ(runCharShortcut('r'), 1);
    EXPECT_EQ(at(0, 0), 0xF800);
    EXPECT_EQ(at(TFTwidth - 1, TFTheight - 1), 0xF800);
    EXPECT_EQ(runCharShortcut('c'), 1);
    EXPECT_EQ(at(5, 5), 0x07FF);
    EXPECT_EQ(runCharShortcut('k'), 1);
    EXPECT_EQ(at(5, 5), 0x0000);
    EXPECT_EQ(runCharShortcut('R'), 0);
    EXPECT_EQ(runCharShortcut('4'), 0);
    EXPECT_EQ(received(), "#DF255,0,0\n#DF0,255,255\n#DC\n");
}

TEST_F(WindowKeys, ScreenKeyStopsTheCyclingAndShowsItsScreen) {
    Demo = 1, demoScreen = 3;
    EXPECT_EQ(runCharShortcut('2'), 1);
    EXPECT_EQ(demoScreen, 0);
    EXPECT_EQ(Demo, 0);
    EXPECT_EQ(received(), "\x1bS2\n");
    auto pixels = panelPixelsTopDown();
    EXPECT_NE(std::count(pixels.begin(), pixels.end(), 0), long(pixels.size()));
}

TEST_F(WindowKeys, TickStepsTheDemoOnlyWithoutBoardAndSendsBrightnessOnce) {
    Demo = 1, demoScreen = 1;
    const int32_t connected = picoPort;
    picoPort = 0;
    int firmwareTurns = 0;
    for (int tick = 0; tick < 30; ++tick) firmwareTurns += windowTick();
    EXPECT_EQ(demoScreen, 2);
    EXPECT_EQ(firmwareTurns, 15);
    for (int tick = 0; tick < 60; ++tick) windowTick();
    EXPECT_EQ(demoScreen, 1); // 3 wraps to 1
    picoPort = connected;
    for (int tick = 0; tick < 30; ++tick) windowTick();
    EXPECT_EQ(demoScreen, 1); // the board drives the screens
    brightness = 40, brightnessChanged = 1;
    windowTick();
    windowTick();
    EXPECT_EQ(received(), "#LB40\n");
}

TEST_F(WindowKeys, TickLetsGoOfABoardThatStoppedTakingData) {
    static int changes = 0;
    WindowSeam seam = installedWindowSeam();
    seam.connectionChanged = [] { return ++changes, 1; };
    installWindowSeam(seam);
    boardLinkFailed();
    windowTick();
    windowTick();
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(boardLinkLost(), 0);
}

TEST_F(WindowKeys, TickNeverWaitsForThePanel) {
    std::promise<void> held, release;
    std::thread command([&] {
        std::lock_guard lock(panelLock());
        held.set_value();
        release.get_future().wait();
    });
    held.get_future().wait();
    brightness = 40, brightnessChanged = 1;
    windowTick();
    const std::string whileHeld = received();
    release.set_value();
    command.join();
    EXPECT_EQ(whileHeld, "");
    windowTick();
    EXPECT_EQ(received(), "#LB40\n");
}

namespace {
bool boardListed = true;
bool boardAnswers = true;
void listOneBoard(void (*found)(const SerialDeviceInfo&, void*), void* context) {
    if (boardListed) found({"/dev/ttyACM0", picoVendorId, picoProductId}, context);
}
const DeviceTree oneBoard{listOneBoard, nullptr};
} // namespace

TEST_F(WindowKeys, ALetGoBoardIsLookedForWhileItsPortIsListed) {
    fakeserial::Port& port = fakeserial::install();
    port.onWrite = [](fakeserial::Port& p, const std::vector<uint8_t>& bytes) {
        if (boardAnswers && bytes.size() == 3 && bytes[1] == '?') p.send({0x1B, '?', 100, 0x01});
    };
    DiscoverySystem system;
    system.devices = &oneBoard;
    installDiscoverySystem(system);
    boardListed = boardAnswers = true;
    openPicoCOM();
    const int32_t board = picoPort;
    ASSERT_NE(board, 0);
    const int searchTicks = boardSearchSeconds * ticksPerSecond;
    auto opensAfter = [&](int ticks) {
        const size_t before = port.openedPorts.size();
        for (int tick = 0; tick < ticks; ++tick) windowTick();
        return port.openedPorts.size() - before;
    };

    windowTick();
    boardLinkFailed();
    boardAnswers = false;
    EXPECT_EQ(opensAfter(1), 0u) << "let go";
    EXPECT_EQ(lostBoardPort, board);
    static int job;
    sendDlg = &job; // the rest of a running job stays on the panel alone
    EXPECT_EQ(opensAfter(2 * searchTicks), 0u);
    sendDlg = nullptr;
    EXPECT_EQ(opensAfter(searchTicks - 1), 0u);
    EXPECT_EQ(opensAfter(1), 1u) << "a stalled board does not answer";
    EXPECT_EQ(picoPort, 0);
    boardAnswers = true;
    EXPECT_EQ(opensAfter(searchTicks), 1u);
    EXPECT_EQ(picoPort, board);
    EXPECT_EQ(lostBoardPort, 0);

    boardLinkFailed();
    boardListed = false;
    opensAfter(1 + searchTicks);
    EXPECT_EQ(lostBoardPort, 0) << "its port is gone";
    EXPECT_EQ(opensAfter(2 * searchTicks), 0u);
    resetDiscoverySystem();
}

TEST(WindowHeldName, TheLastNameWaitsForTheJobsEnd) {
    resetWindowState();
    char name[256];
    int x = -1, y = -1;
    EXPECT_EQ(takeHeldName(name, sizeof name, &x, &y), 0);
    holdNameForLater("first.txt", 0, 0);
    holdNameForLater("pic.bmp", 11, 21);
    ASSERT_EQ(takeHeldName(name, sizeof name, &x, &y), 1);
    EXPECT_STREQ(name, "pic.bmp");
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(11, 21));
    EXPECT_EQ(takeHeldName(name, sizeof name, &x, &y), 0);
}
