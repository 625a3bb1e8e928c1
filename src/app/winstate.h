// The window program's settings and the decisions of its window procedure
// that need no window system: the ini keys, the window's place on the
// virtual screen, the title, the character shortcuts, the drop position,
// what a device notification means, and the timer tick.
//
// Threads: everything here runs on the window thread.
#pragma once
#include "image/dib.h"

#include <cstdint>

// Settings of the window program (the ini keys without a home in the core).
extern int32_t wndPosX, wndPosY; // "WindowPos"
extern int32_t onTop;            // "onTop": 1 = above all other windows
extern int32_t ledX, ledY;       // "LedDlg": the LED dialog's place
extern int32_t ledOpen;          //           and whether it is open
extern int32_t ZoomWindow;       // "ZoomWindow": 1 or 2
// Win32 has a function of this name: files that include windows.h define
// VANTORIX_WIN32_NAMES and reach the setting through showWindowSetting().
#ifndef VANTORIX_WIN32_NAMES
extern int32_t ShowWindow; // "ShowWindow": 1 framed, 0 cut to the outline
#endif
int32_t& showWindowSetting();
extern int32_t FWupdate;      // "FWupdate": 0 never, 1 without asking, 2 ask
extern int32_t ProgEmptyPico; // "ProgEmptyPico": the same for an empty board

// The timer's state.
extern int32_t tickCount;         // 0..9
extern int32_t secondCount;       // completed 10-tick periods
extern int32_t demoStepDue;       // a second has passed; the demo steps once the panel is free
extern int32_t brightness;        // LED brightness in per cent
extern int32_t brightnessChanged; // 1 = send brightness at the next tick

constexpr int tickPeriodMs = 100;
constexpr int ticksPerSecond = 10;
constexpr int demoStepSeconds = 3;
constexpr int demoScreens = 3;

constexpr const char* iniSection = "Vantorix";
constexpr int iniValueBytes = 256;
// A window this size must stay reachable on the virtual screen.
constexpr int mainMinWidth = 170, mainMinHeight = 200;
constexpr int ledMinWidth = 70, ledMinHeight = 180;
// Where the LED dialog sits relative to the main window when the ini has no place for it.
constexpr int ledOffsetX = -64, ledOffsetY = 44;
// Pushed past the left or top edge, a window lands this far inside it.
constexpr int edgeInset = 10;

// The profile file, reached through the window system on Windows and by a
// map in the tests.
struct ProfileAccess {
    // The key's text of section iniSection into out (size bytes), or
    // defaultText when the key is missing.
    void (*read)(const char* key, const char* defaultText, char* out, int size);
    void (*write)(const char* key, const char* text);
};
// The virtual screen, all monitors together.
struct ScreenArea {
    int left, top, width, height;
};
void installProfileAccess(const ProfileAccess& access);
void installScreenArea(ScreenArea (*virtualScreen)());
// Back to the start-up values, hooks forgotten.
void resetWindowState();

// Keeps a window of the given size on the virtual screen.
void CorrectPosition(int32_t* x, int32_t* y, int width, int height);
// Loads the twelve keys with their defaults and corrections; a value that
// does not start with a number leaves its setting as it was.
void GetPrivateProfile();
void WritePrivateProfile();

// Runs the command of a character shortcut; 1 when the character has one.
int runCharShortcut(int character);

// A drop at a client point: 1-based panel coordinates when it lands on the
// panel placed at panelPos (picture coordinates), else (0, 0).
void dropPanelPosition(int clientX, int clientY, const Rect& panelPos, int* x, int* y);

// What a device arriving or leaving asks of the window.
enum DeviceKind { devicePort, deviceVolume, deviceOther };
enum DeviceAction { deviceNothing, deviceClosePort, deviceOpenPort, deviceFindBootDrive };
int deviceChangeAction(int arrived, int kind, const char* portName, int32_t connectedPort);

// A board let go after a write failed (it stopped taking data) is looked
// for again this often, while no board is connected, no job runs and its
// port is still listed: a board that stalled comes back by itself.
constexpr int boardSearchSeconds = 3;
// The port of that board; 0 when none is looked for.
extern int32_t lostBoardPort;

// The tick's demo stepping, brightness, board input, letting go of a board
// whose link was lost and looking for it again. A command may hold the panel
// lock while it waits on the board for seconds: the tick never waits for it,
// brightness and board input wait for a tick that finds it free. Returns 1
// when the firmware decision is due (odd ticks); the caller skips it while a
// job runs.
int windowTick();

// One job at a time: a name dropped or sent by another program while a job
// runs is kept (the last one), to be started when the job has ended.
void holdNameForLater(const char* name, int x, int y);
// The kept name into name (size bytes) with its drop position, then
// forgotten: 1, or 0 when none is kept.
int takeHeldName(char* name, int size, int* x, int* y);
