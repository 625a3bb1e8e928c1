// The window program's menu commands, its check marks and grey states, and
// the About box's status lines, without the window system. The Windows
// program hands in what only the window can do (MenuWindow) and a menu to
// mark (MenuMarks); the tests hand in recorders.
//
// Threads: markFileMenu and markTFTMenu may run on the send-file worker
// (through the interpreter); they only set menu item states. Everything
// else runs on the window thread.
#pragma once
#include <cstddef>
#include <cstdint>

extern char lastFile[256]; // the last file chosen in the open dialog
extern char helpFile[256]; // the help file's full name

// The menu items' check marks and grey states, by command identifier.
struct MenuMarks {
    void (*check)(int command, int checked);
    void (*enable)(int command, int enabled);
};
void installMenuMarks(const MenuMarks& marks);

// What the commands ask of the window. A null entry does nothing (or, for
// openFileBox, chooses nothing).
struct MenuWindow {
    // The open dialog: 1 when a file was chosen, its full name then in buffer (256 bytes).
    int (*openFileBox)(char* buffer, const char* lastName);
    // Cut to the module outline (1) or given its whole rectangle back (0), repainted.
    void (*setOutline)(int cut);
    void (*setTopmost)(int topmost);
    void (*copyToClipboard)();
    void (*close)();
    void (*setTitle)();
    void (*openLED)();
    void (*closeLED)();
    // The help entry with the help file and topic, command 0 (topic) or 1 (contents).
    void (*help)(const char* fileAndTopic, int command);
    void (*about)();
};
void installMenuWindow(const MenuWindow& window);

// Both back to nothing (every mark and window request ignored).
void resetMenuState();

// The check marks of the File menu: demo, framed window, zoom 2, on top.
int markFileMenu();
// The TFT menu: the model, the touch option (grey for the model without
// one, which also clears Touch), the view, and the LED command (grey
// without a board).
int markTFTMenu();

// Carries out one menu or accelerator command; unknown ones are ignored.
void runMenuCommand(int command);

// The help topic the Help command opens.
constexpr const char* helpStartTopic = "::/START.htm";

// The About box's two run-time lines, each held in a buffer of this size.
constexpr size_t aboutLineBytes = 64;
// The connection line ("not connected" or the board's device name, cut to
// fit with "..." at its end) and the firmware line for a board on port
// (0 = none) of the given type and firmware version x 100.
void aboutStatusLines(int32_t port, int32_t type, int32_t firmware, const char* deviceName,
                      char* connection, char* firmwareLine);
// The device name of the connected board in the board list; "" when not listed.
const char* connectedDeviceName();

// The LED slider runs upside down: its top is 100 %.
constexpr int ledSliderMax = 100;
constexpr int ledSliderPage = 10;
constexpr int ledSliderTicks = 10;
inline int ledSliderPosition(int percent) {
    return ledSliderMax - percent;
}
// The slider moved to position: 1 when that changed brightness (then
// brightnessChanged is set for the next tick), 0 when it is the same value.
int ledSliderMoved(int position);
// An arrow key in the main window: one per cent up or down, within 0..100.
// 1 when brightness changed.
int brightnessKey(int up);
