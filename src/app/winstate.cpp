#include "app/winstate.h"

#include "board/picolink.h"
#include "board/statusblock.h"
#include "command/sendfile.h"
#include "common/jobstate.h"
#include "common/seam.h"
#include "common/settings.h"
#include "module/winbitmap.h"
#include "panel/models.h"
#include "panel/zr_tft.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

int32_t wndPosX = 0, wndPosY = 0;
int32_t onTop = 0;
int32_t ledX = 0, ledY = 0, ledOpen = 0;
int32_t tickCount = 0, secondCount = 0;
int32_t demoStepDue = 0;
int32_t brightness = 100, brightnessChanged = 0;
int32_t lostBoardPort = 0;

namespace {
constexpr int maxBrightness = 100;
constexpr int fallbackModel = 6;
constexpr int ledKeyMissing = -1;
constexpr int quarterTurn = 90;

ProfileAccess profile{};
ScreenArea (*screenArea)() = nullptr;

// The board the tick saw last: a write times out a second after it began at
// the earliest, so the tick has seen a board before it is let go for that.
int32_t seenBoardPort = 0;
int32_t searchTicks = 0;

// The name kept while a job runs, with its drop position.
struct HeldName {
    char name[iniValueBytes];
    int x, y;
};
HeldName heldName{};

// One ini key: its default text and the settings its numbers go to.
struct IniKey {
    const char* name;
    const char* defaultText;
    int32_t* values[3];
    int count;
};

// The leading numbers of text in the shape "%d", "%d,%d" or "%d,%d,%d":
// each may have blanks and a sign before it, the commas follow at once.
// Stops at the first number that is not there; values outside 32 bits are
// clamped. Returns how many were read.
int scanNumbers(const char* text, int32_t* const values[], int count) {
    const char* p = text;
    for (int i = 0; i < count; ++i) {
        if (i > 0) {
            if (*p != ',') return i;
            ++p;
        }
        while (std::isspace(static_cast<unsigned char>(*p))) ++p;
        char* end = nullptr;
        long long value = std::strtoll(p, &end, 10);
        if (end == p) return i;
        if (value > INT32_MAX) value = INT32_MAX;
        if (value < INT32_MIN) value = INT32_MIN;
        *values[i] = int32_t(value);
        p = end;
    }
    return count;
}

void readKey(const IniKey& key) {
    char text[iniValueBytes] = "";
    if (profile.read) profile.read(key.name, key.defaultText, text, sizeof text);
    text[sizeof text - 1] = 0;
    scanNumbers(text, key.values, key.count);
}

void writeKey(const IniKey& key) {
    char text[iniValueBytes];
    if (key.count == 3)
        std::snprintf(text, sizeof text, "%d,%d,%d", *key.values[0], *key.values[1],
                      *key.values[2]);
    else if (key.count == 2)
        std::snprintf(text, sizeof text, "%d,%d", *key.values[0], *key.values[1]);
    else
        std::snprintf(text, sizeof text, "%d", *key.values[0]);
    if (profile.write) profile.write(key.name, text);
}

// The keys in the order they are read and written.
const IniKey windowPosKey{"WindowPos", "100", {&wndPosX, &wndPosY}, 2};
const IniKey displayKeys[] = {
    {"Demo", "0", {&Demo}, 1},
    {"ShowWindow", "1", {&ShowWindow}, 1},
    {"ZoomWindow", "1", {&ZoomWindow}, 1},
    {"onTop", "0", {&onTop}, 1},
};
const IniKey moduleKey{"Module", "1", {&Module}, 1};
const IniKey panelKeys[] = {
    {"Touch", "0", {&Touch}, 1},
    {"Angle", "0", {&Angle}, 1},
};
const IniKey ledKey{"LedDlg", "0,0,-1", {&ledX, &ledY, &ledOpen}, 3};
const IniKey boardKeys[] = {
    {"PWM", "95", {&PWM}, 1},
    {"FWupdate", "2", {&FWupdate}, 1},
    {"ProgEmptyPico", "2", {&ProgEmptyPico}, 1},
};

bool isQuarterTurn(int32_t angle) {
    return angle == 0 || angle == quarterTurn || angle == 2 * quarterTurn ||
           angle == 3 * quarterTurn;
}

// Command lines of the colour keys.
struct Shortcut {
    char character;
    const char* command;
};
constexpr Shortcut colourShortcuts[] = {
    {'r', "#DF255,0,0\n"},     {'g', "#DF0,255,0\n"},   {'b', "#DF0,0,255\n"},
    {'w', "#DF255,255,255\n"}, {'c', "#DF0,255,255\n"}, {'m', "#DF255,0,255\n"},
    {'y', "#DF255,255,0\n"},   {'k', "#DC\n"},
};

bool portListed(int32_t port) {
    for (int i = 0; i < picoCount && i < picoListSize; ++i)
        if (picoList[i].port == port) return true;
    return false;
}

void letGoOfBoard() {
    lostBoardPort = seenBoardPort;
    searchTicks = 0;
    closePicoCOM();
}

// The search lists the ports again: one that is gone ends the looking.
void searchLostBoard() {
    if (++searchTicks < boardSearchSeconds * ticksPerSecond) return;
    searchTicks = 0;
    openPicoCOM();
    if (picoPort || !portListed(lostBoardPort)) lostBoardPort = 0;
}

void stepDemo() {
    if (picoPort || Demo != 1 || demoScreen == 0 || secondCount % demoStepSeconds) return;
    demoScreen = demoScreen % demoScreens + 1;
    Screen(unsigned(demoScreen));
    RedrawAA();
}
} // namespace

void installProfileAccess(const ProfileAccess& access) {
    profile = access;
}
void installScreenArea(ScreenArea (*virtualScreen)()) {
    screenArea = virtualScreen;
}

void resetWindowState() {
    profile = {};
    screenArea = nullptr;
    wndPosX = wndPosY = onTop = 0;
    ledX = ledY = ledOpen = 0;
    ZoomWindow = ShowWindow = 1;
    FWupdate = ProgEmptyPico = 2;
    tickCount = secondCount = demoStepDue = 0;
    brightness = maxBrightness;
    brightnessChanged = 0;
    lostBoardPort = seenBoardPort = searchTicks = 0;
    heldName = HeldName{};
}

void CorrectPosition(int32_t* x, int32_t* y, int width, int height) {
    if (!screenArea) return;
    const ScreenArea area = screenArea();
    const int64_t right = int64_t(area.left) + area.width;
    const int64_t bottom = int64_t(area.top) + area.height;
    if (int64_t(*x) + width > right) *x = int32_t(right - width);
    if (*x < area.left) *x = area.left + edgeInset;
    if (int64_t(*y) + height > bottom) *y = int32_t(bottom - height);
    if (*y < area.top) *y = area.top + edgeInset;
}

void GetPrivateProfile() {
    readKey(windowPosKey);
    CorrectPosition(&wndPosX, &wndPosY, mainMinWidth, mainMinHeight);
    for (const IniKey& key : displayKeys) readKey(key);
    // The drop position is divided by the zoom: never by 0 or less.
    if (ZoomWindow <= 0) ZoomWindow = 1;
    readKey(moduleKey);
    if (Module < 1 || Module > modelCount) Module = fallbackModel;
    for (const IniKey& key : panelKeys) readKey(key);
    if (!isQuarterTurn(Angle)) Angle = 0;
    readKey(ledKey);
    if (ledOpen == ledKeyMissing) {
        ledX = wndPosX + ledOffsetX;
        ledY = wndPosY + ledOffsetY;
        ledOpen = 0;
    }
    CorrectPosition(&ledX, &ledY, ledMinWidth, ledMinHeight);
    for (const IniKey& key : boardKeys) readKey(key);
}

void WritePrivateProfile() {
    writeKey(windowPosKey);
    for (const IniKey& key : displayKeys) writeKey(key);
    writeKey(moduleKey);
    for (const IniKey& key : panelKeys) writeKey(key);
    writeKey(ledKey);
    for (const IniKey& key : boardKeys) writeKey(key);
}

int runCharShortcut(int character) {
    for (const Shortcut& shortcut : colourShortcuts) {
        if (shortcut.character != character) continue;
        TFTcommand("%s", shortcut.command);
        return 1;
    }
    if (character >= '1' && character <= '0' + demoScreens) {
        demoScreen = 0; // the key's screen stays: the window stops cycling
        TFTcommand("\x1bS%c\n", character);
        return 1;
    }
    return 0;
}

void dropPanelPosition(int clientX, int clientY, const Rect& panelPos, int* x, int* y) {
    const int zoom = ZoomWindow > 0 ? ZoomWindow : 1;
    // Taken as unsigned 16-bit values, as the rectangle test of the window takes them.
    const int pictureX = uint16_t(clientX / zoom);
    const int pictureY = uint16_t(clientY / zoom);
    *x = *y = 0;
    if (pictureX < panelPos.left || pictureX > panelPos.right || pictureY < panelPos.top ||
        pictureY > panelPos.bottom)
        return;
    *x = pictureX - panelPos.left + 1;
    *y = pictureY - panelPos.top + 1;
}

int deviceChangeAction(int arrived, int kind, const char* portName, int32_t connectedPort) {
    if (kind == deviceVolume)
        return arrived && !connectedPort ? deviceFindBootDrive : deviceNothing;
    if (kind != devicePort || !portName || std::strncmp(portName, "COM", 3) != 0)
        return deviceNothing;
    if (!arrived)
        return std::strtol(portName + 3, nullptr, 10) == connectedPort && connectedPort
                   ? deviceClosePort
                   : deviceNothing;
    return connectedPort ? deviceNothing : deviceOpenPort;
}

int windowTick() {
    if (++tickCount >= ticksPerSecond) {
        tickCount = 0;
        ++secondCount;
        demoStepDue = 1;
    }
    // A board that stopped taking data is let go here, on the port's own
    // thread: the title, the menu and the LED dialog follow.
    if (picoPort) {
        seenBoardPort = picoPort;
        lostBoardPort = 0;
    } else if (boardLinkLost()) {
        letGoOfBoard();
    } else if (lostBoardPort && !jobRunning()) {
        searchLostBoard(); // the rest of a running job stays on the panel alone
    }
    // A command of the worker may hold the panel for seconds while it waits
    // on a slow board; the window thread never waits for it. What needs the
    // panel (the demo step, brightness, the board's reports) comes back at a
    // later tick.
    std::unique_lock<PanelMutex> panel(panelLock(), std::try_to_lock);
    if (!panel.owns_lock()) return tickCount & 1;
    if (demoStepDue) {
        demoStepDue = 0;
        stepDemo();
    }
    if (brightnessChanged) {
        brightnessChanged = 0;
        TFTcommand("#LB%d\n", brightness);
    }
    if (picoPort) readBoardInput();
    return tickCount & 1;
}

void holdNameForLater(const char* name, int x, int y) {
    std::snprintf(heldName.name, sizeof heldName.name, "%s", name);
    heldName.x = x;
    heldName.y = y;
}

int takeHeldName(char* name, int size, int* x, int* y) {
    if (!heldName.name[0] || size <= 0) return 0;
    std::snprintf(name, size_t(size), "%s", heldName.name);
    *x = heldName.x;
    *y = heldName.y;
    heldName = HeldName{};
    return 1;
}
