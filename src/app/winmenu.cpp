#include "app/winmenu.h"

#include "app/menucommands.h"
#include "app/winstate.h"
#include "board/picolink.h"
#include "command/sendfile.h"
#include "common/seam.h"
#include "common/settings.h"
#include "job/sendjob.h"
#include "module/newtft.h"
#include "module/winbitmap.h"
#include "panel/models.h"

#include <cstdio>
#include <cstring>

char lastFile[256] = "";
char helpFile[256] = "";

namespace {
constexpr int nameBytes = 256;
constexpr int escape = 0x1B;
constexpr int quarterTurn = 90;
constexpr int modelWithoutTouch = 6;
constexpr int helpShowTopic = 0, helpShowContents = 1;
constexpr const char* shortened = "...";

MenuMarks marks{};
MenuWindow window{};

void check(int command, int checked) {
    if (marks.check) marks.check(command, checked != 0);
}
void enable(int command, int enabled) {
    if (marks.enable) marks.enable(command, enabled != 0);
}
// Checks the one command of a group of count that stands for the current value.
void checkOneOf(int first, int count, int chosen) {
    for (int command = first; command < first + count; ++command) check(command, command == chosen);
}

void openFile() {
    if (!window.openFileBox) return;
    char name[nameBytes];
    std::snprintf(name, sizeof name, "%s", lastFile);
    if (!window.openFileBox(name, lastFile)) return;
    std::snprintf(lastFile, sizeof lastFile, "%s", name);
    FileOrBild2buffer(name, 0, 0);
}

void toggleOutline() {
    int32_t& framed = showWindowSetting();
    framed = framed ? 0 : 1;
    if (window.setOutline) window.setOutline(framed == 0);
    CheckMenuFile();
}

void toggleZoom() {
    ZoomWindow = ZoomWindow == 1 ? 2 : 1;
    CheckMenuFile();
    ResizeTFT(); // the window's resize also cuts it again while it shows no frame
}

void toggleTopmost() {
    onTop = onTop ? 0 : 1;
    if (window.setTopmost) window.setTopmost(onTop);
    CheckMenuFile();
}

void chooseModel(int model) {
    if (model == Module) return;
    Module = model;
    CheckMenuTFT();
    if (window.setTitle) window.setTitle();
    // The demo of the old model does not carry over to a new panel.
    if (Demo == 1 && panelModule != model) {
        Demo = 0;
        demoScreen = 1;
        CheckMenuFile();
    }
    NewTFT(1);
}

void toggleTouch() {
    Touch ^= 1;
    CheckMenuTFT(); // the model without a touch variant clears it again
    if (window.setTitle) window.setTitle();
    NewTFT(1);
}

void toggleLED() {
    // The accelerator reaches here even while the command is grey: without
    // a board there is nothing to set.
    if (!ledOpen && !picoPort) return;
    ledOpen ^= 1;
    if (ledOpen) {
        if (window.openLED) window.openLED();
    } else if (window.closeLED) {
        window.closeLED();
    }
    CheckMenuTFT();
}

void showHelp() {
    if (!window.help) return;
    char topic[nameBytes + 16];
    std::snprintf(topic, sizeof topic, "%s%s", helpFile, helpStartTopic);
    window.help(topic, helpShowTopic);
    window.help(topic, helpShowContents);
}
} // namespace

void installMenuMarks(const MenuMarks& newMarks) {
    marks = newMarks;
}
void installMenuWindow(const MenuWindow& newWindow) {
    window = newWindow;
}
void resetMenuState() {
    marks = MenuMarks{};
    window = MenuWindow{};
    lastFile[0] = 0;
}

int markFileMenu() {
    check(IDM_DEMO, Demo);
    check(IDM_SHOWWINDOW, showWindowSetting());
    check(IDM_ZOOMWINDOW, ZoomWindow == 2);
    check(IDM_ONTOP, onTop);
    return 1;
}

int markTFTMenu() {
    checkOneOf(IDM_MODEL1, modelCount, IDM_MODEL1 + Module - 1);
    enable(IDM_TOUCH, Module != modelWithoutTouch);
    if (Module == modelWithoutTouch) Touch = 0;
    check(IDM_TOUCH, Touch);
    checkOneOf(IDM_VIEW0, 4, IDM_VIEW0 + Angle / quarterTurn);
    check(IDM_LED, ledOpen);
    enable(IDM_LED, picoPort != 0);
    return 1;
}

void runMenuCommand(int command) {
    switch (command) {
    case IDM_OPENFILE:
        openFile();
        break;
    case IDM_DEMO:
        Demo ^= 1;
        CheckMenuFile();
        TFTcommand("%cD%d\n", escape, Demo * 2);
        break;
    case IDM_SHOWWINDOW:
        toggleOutline();
        break;
    case IDM_ZOOMWINDOW:
        toggleZoom();
        break;
    case IDM_ONTOP:
        toggleTopmost();
        break;
    case IDM_CLIPBOARD:
        if (window.copyToClipboard) window.copyToClipboard();
        break;
    case IDM_EXIT:
        if (window.close) window.close();
        break;
    case IDM_TOUCH:
        toggleTouch();
        break;
    case IDM_LED:
        toggleLED();
        break;
    case IDM_HELP:
        showHelp();
        break;
    case IDM_ABOUT:
        if (window.about) window.about();
        break;
    default:
        if (command >= IDM_MODEL1 && command < IDM_MODEL1 + modelCount)
            chooseModel(command - IDM_MODEL1 + 1);
        else if (command >= IDM_VIEW0 && command <= IDM_VIEW270)
            TFTcommand("#DO%d\n", (command - IDM_VIEW0) * quarterTurn);
        break;
    }
}

void aboutStatusLines(int32_t port, int32_t type, int32_t firmware, const char* deviceName,
                      char* connection, char* firmwareLine) {
    firmwareLine[0] = 0;
    if (!port) {
        std::snprintf(connection, aboutLineBytes, "not connected");
        return;
    }
    const char* name = deviceName ? deviceName : "";
    const size_t room = aboutLineBytes - 1;
    if (std::strlen(name) <= room) {
        std::snprintf(connection, aboutLineBytes, "%s", name);
    } else {
        const int kept = int(room - std::strlen(shortened));
        std::snprintf(connection, aboutLineBytes, "%.*s%s", kept, name, shortened);
    }
    const double version = firmware / 100.0;
    if (type == 1)
        std::snprintf(firmwareLine, aboutLineBytes, "RP2040 Pico Firmware V%4.2f", version);
    else if (type == 2)
        std::snprintf(firmwareLine, aboutLineBytes, "RP2350 Pico 2 Firmware V%4.2f", version);
}

const char* connectedDeviceName() {
    if (!picoPort || picoIndex < 0 || picoIndex >= picoCount) return "";
    return picoList[picoIndex].name;
}

int ledSliderMoved(int position) {
    const int value = ledSliderMax - position;
    if (value == brightness || value < 0 || value > ledSliderMax) return 0;
    brightness = value;
    brightnessChanged = 1;
    return 1;
}

int brightnessKey(int up) {
    if (up ? brightness >= ledSliderMax : brightness <= 0) return 0;
    brightness += up ? 1 : -1;
    brightnessChanged = 1;
    return 1;
}
