// The menu commands, check marks, About lines and LED values, without the
// window system: the menu and the window are recorders.
#include "app/winmenu.h"

#include "app/menucommands.h"
#include "app/winstate.h"
#include "board/picolink.h"
#include "common/seam.h"
#include "common/settings.h"
#include "headless/headless.h"
#include "module/winbitmap.h"
#include "panel/zr_tft.h"
#include "support/cli_run.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {
struct ItemState {
    int checked = -1, enabled = -1;
};
std::map<int, ItemState> menu;
std::vector<std::string> calls;
std::string chosenFile;

MenuWindow recordingWindow() {
    MenuWindow window{};
    window.openFileBox = [](char* buffer, const char* last) {
        calls.push_back(std::string("open ") + last);
        snprintf(buffer, 256, "%s", chosenFile.c_str());
        return chosenFile.empty() ? 0 : 1;
    };
    window.setOutline = [](int cut) { calls.push_back(cut ? "cut" : "whole"); };
    window.setTopmost = [](int top) { calls.push_back(top ? "topmost" : "normal"); };
    window.setTitle = [] { calls.push_back("title"); };
    window.openLED = [] { calls.push_back("led open"); };
    window.closeLED = [] { calls.push_back("led close"); };
    window.help = [](const char* topic, int command) {
        calls.push_back("help " + std::string(topic) + " " + std::to_string(command));
    };
    return window;
}

struct MenuCommands : ::testing::Test {
    std::vector<uint8_t> board;
    void SetUp() override {
        resetWindowState();
        resetMenuState();
        HeadlessOptions options;
        options.boardBytes = &board;
        headlessStart(options);
        WindowSeam seam = installedWindowSeam();
        seam.checkMenuFile = markFileMenu;
        seam.checkMenuTFT = markTFTMenu;
        installWindowSeam(seam);
        installMenuMarks({[](int id, int on) { menu[id].checked = on; },
                          [](int id, int on) { menu[id].enabled = on; }});
        installMenuWindow(recordingWindow());
        menu.clear();
        calls.clear();
        chosenFile.clear();
    }
    void TearDown() override {
        resetMenuState();
        headlessStart({});
    }
    std::string received() const { return std::string(board.begin(), board.end()); }
};

TEST_F(MenuCommands, MarksFollowTheSettings) {
    Module = 6, Touch = 1, Angle = 270, ZoomWindow = 2, onTop = 1, ledOpen = 1;
    markFileMenu();
    markTFTMenu();
    EXPECT_EQ(Touch, 0); // the KP240 has no touch variant
    EXPECT_EQ(menu[IDM_TOUCH].enabled, 0);
    EXPECT_EQ(menu[IDM_TOUCH].checked, 0);
    EXPECT_EQ(menu[IDM_MODEL6].checked, 1);
    EXPECT_EQ(menu[IDM_MODEL1].checked, 0);
    EXPECT_EQ(menu[IDM_VIEW270].checked, 1);
    EXPECT_EQ(menu[IDM_VIEW0].checked, 0);
    EXPECT_EQ(menu[IDM_ZOOMWINDOW].checked, 1);
    EXPECT_EQ(menu[IDM_ONTOP].checked, 1);
    EXPECT_EQ(menu[IDM_DEMO].checked, 0);
    EXPECT_EQ(menu[IDM_LED].checked, 1);
    EXPECT_EQ(menu[IDM_LED].enabled, 1); // the recording board is connected
    picoPort = 0;
    Module = 2;
    markTFTMenu();
    EXPECT_EQ(menu[IDM_LED].enabled, 0);
    EXPECT_EQ(menu[IDM_TOUCH].enabled, 1);
}

TEST_F(MenuCommands, ModelChoiceRebuildsOnlyForAnotherModelAndEndsItsDemo) {
    Demo = 1, demoScreen = 2;
    runMenuCommand(IDM_MODEL1); // already model 1
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(Demo, 1);
    runMenuCommand(IDM_MODEL5);
    EXPECT_EQ(Module, 5);
    EXPECT_EQ(Demo, 0);
    EXPECT_EQ(TFTwidth, 320);
    EXPECT_EQ(panelModule, 5);
    EXPECT_EQ(menu[IDM_MODEL5].checked, 1);
    EXPECT_EQ(menu[IDM_DEMO].checked, 0);
    EXPECT_EQ(calls, std::vector<std::string>{"title"});
    runMenuCommand(IDM_TOUCH);
    EXPECT_EQ(Touch, 1);
    EXPECT_EQ(panelDIB.rcPos.left, 50); // the KP350 with touch has its panel at (50, 84)
    runMenuCommand(IDM_MODEL6);
    EXPECT_EQ(Touch, 0);
    runMenuCommand(IDM_TOUCH); // reached by its key although grey
    EXPECT_EQ(Touch, 0);
}

TEST_F(MenuCommands, FileCommandsToggleAndReachTheBoard) {
    runMenuCommand(IDM_DEMO);
    EXPECT_EQ(Demo, 1);
    EXPECT_EQ(menu[IDM_DEMO].checked, 1);
    runMenuCommand(IDM_DEMO);
    EXPECT_EQ(received(), "\x1b"
                          "D2\n\x1b"
                          "D0\n");
    ZoomWindow = 3; // from an edited ini file
    runMenuCommand(IDM_ZOOMWINDOW);
    EXPECT_EQ(ZoomWindow, 1);
    runMenuCommand(IDM_ZOOMWINDOW);
    EXPECT_EQ(ZoomWindow, 2);
    EXPECT_EQ(menu[IDM_ZOOMWINDOW].checked, 1);
    runMenuCommand(IDM_SHOWWINDOW);
    EXPECT_EQ(showWindowSetting(), 0);
    runMenuCommand(IDM_SHOWWINDOW);
    runMenuCommand(IDM_ONTOP);
    EXPECT_EQ(onTop, 1);
    EXPECT_EQ(calls, (std::vector<std::string>{"cut", "whole", "topmost"}));
    runMenuCommand(999); // not a command
    EXPECT_EQ(calls.size(), 3u);
}

TEST_F(MenuCommands, ViewsRunTheOrientationCommand) {
    board.clear();
    runMenuCommand(IDM_VIEW90);
    EXPECT_EQ(Angle, 90);
    EXPECT_EQ(TFTwidth, 160); // the KP096 on its side
    EXPECT_EQ(menu[IDM_VIEW90].checked, 1);
    runMenuCommand(IDM_VIEW0);
    EXPECT_EQ(received(), "#DO90\n#DO0\n");
}

TEST_F(MenuCommands, LedCommandNeedsABoardAndFollowsTheDialog) {
    const int32_t connected = picoPort;
    picoPort = 0;
    runMenuCommand(IDM_LED);
    EXPECT_EQ(ledOpen, 0);
    EXPECT_TRUE(calls.empty());
    picoPort = connected;
    runMenuCommand(IDM_LED);
    runMenuCommand(IDM_LED);
    EXPECT_EQ(calls, (std::vector<std::string>{"led open", "led close"}));
    EXPECT_EQ(ledOpen, 0);
    EXPECT_EQ(menu[IDM_LED].checked, 0);
}

TEST_F(MenuCommands, OpenAndHelpUseTheirNames) {
    clitest::TempDir dir;
    chosenFile = dir.write("red.txt", "#DF255,0,0\n");
    runMenuCommand(IDM_OPENFILE);
    EXPECT_EQ(std::string(lastFile), chosenFile);
    EXPECT_EQ(panelPixelsTopDown()[0], 0xF800);
    chosenFile.clear(); // cancelled: the last name stays
    runMenuCommand(IDM_OPENFILE);
    EXPECT_EQ(std::string(lastFile), dir.file("red.txt"));
    snprintf(helpFile, sizeof helpFile, "C:\\v\\Vantorix.chm");
    runMenuCommand(IDM_HELP);
    const std::string topic = "help C:\\v\\Vantorix.chm::/START.htm ";
    EXPECT_EQ(calls, (std::vector<std::string>{"open ", "open " + dir.file("red.txt"), topic + "0",
                                               topic + "1"}));
}

TEST(AboutLines, ConnectionAndFirmware) {
    char connection[aboutLineBytes], firmware[aboutLineBytes];
    aboutStatusLines(0, 1, 105, "ignored", connection, firmware);
    EXPECT_STREQ(connection, "not connected");
    EXPECT_STREQ(firmware, "");
    aboutStatusLines(4, 1, 105, "USB Serial Device (COM4)", connection, firmware);
    EXPECT_STREQ(connection, "USB Serial Device (COM4)");
    EXPECT_STREQ(firmware, "RP2040 Pico Firmware V1.05");
    aboutStatusLines(4, 2, 210, "", connection, firmware);
    EXPECT_STREQ(firmware, "RP2350 Pico 2 Firmware V2.10");
    const std::string longName(100, 'n');
    aboutStatusLines(4, 0, 105, longName.c_str(), connection, firmware);
    EXPECT_EQ(std::string(connection), std::string(60, 'n') + "...");
    EXPECT_STREQ(firmware, "");
}

TEST(LedValues, SliderAndArrowsStayInRangeAndReportChanges) {
    resetWindowState();
    brightness = 95;
    EXPECT_EQ(ledSliderPosition(95), 5);
    EXPECT_EQ(ledSliderMoved(5), 0); // a click on the thumb
    EXPECT_EQ(brightnessChanged, 0);
    EXPECT_EQ(ledSliderMoved(100), 1);
    EXPECT_EQ(brightness, 0);
    EXPECT_EQ(brightnessKey(0), 0);
    EXPECT_EQ(brightnessKey(1), 1);
    EXPECT_EQ(brightness, 1);
    brightness = 100;
    EXPECT_EQ(brightnessKey(1), 0);
    EXPECT_EQ(brightnessChanged, 1);
    resetWindowState();
}
} // namespace
