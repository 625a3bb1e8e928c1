#define VANTORIX_WIN32_NAMES
#include "win/testquery.h"

#include "app/winmenu.h"
#include "app/winstate.h"
#include "board/picolink.h"
#include "common/settings.h"
#include "module/winbitmap.h"
#include "win/leddlg.h"
#include "win/winmain.h"

#include <cstdio>
#include <cstdlib>

namespace {
// Lists the command identifiers of all menu items in the given state.
void listItems(FILE* out, const char* label, UINT state) {
    std::fprintf(out, "%s=", label);
    const char* separator = "";
    const int menus = GetMenuItemCount(mainMenu);
    for (int m = 0; m < menus; ++m) {
        HMENU popup = GetSubMenu(mainMenu, m);
        const int items = GetMenuItemCount(popup);
        for (int i = 0; i < items; ++i) {
            const UINT id = GetMenuItemID(popup, i);
            if (id == UINT(-1) || id == 0) continue;
            if (GetMenuState(popup, id, MF_BYCOMMAND) & state) {
                std::fprintf(out, "%s%u", separator, id);
                separator = ",";
            }
        }
    }
    std::fprintf(out, "\n");
}

void writeWindow(FILE* out) {
    char title[64] = "";
    GetWindowTextA(hwndMain, title, sizeof title);
    RECT window, client;
    GetWindowRect(hwndMain, &window);
    GetClientRect(hwndMain, &client);
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    const bool shaped = GetWindowRgn(hwndMain, region) != ERROR;
    DeleteObject(region);
    const bool topmost = (GetWindowLongA(hwndMain, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    std::fprintf(out, "title=%s\nwindow=%ld,%ld,%ld,%ld\nclient=%ld,%ld\nregion=%d\ntopmost=%d\n",
                 title, window.left, window.top, window.right, window.bottom, client.right,
                 client.bottom, shaped, topmost);
}

void writeLED(FILE* out) {
    std::fprintf(out, "led=%d\n", hwndLed && IsWindowVisible(hwndLed));
    if (!hwndLed) return;
    RECT led;
    GetWindowRect(hwndLed, &led);
    std::fprintf(out, "ledWindow=%ld,%ld\n", led.left, led.top);
}
} // namespace

void writeTestState() {
    const char* path = std::getenv("VANTORIX_TEST_STATE");
    if (!path) return;
    FILE* out = std::fopen(path, "w");
    if (!out) return;
    writeWindow(out);
    std::fprintf(out,
                 "Module=%d\nTouch=%d\nAngle=%d\nDemo=%d\ndemoScreen=%d\nShowWindow=%d\n"
                 "ZoomWindow=%d\nonTop=%d\nledOpen=%d\nledPos=%d,%d\nbrightness=%d\n"
                 "picoPort=%d\nlastFile=%s\npanel=%ld,%ld,%ld,%ld\n",
                 Module, Touch, Angle, Demo, demoScreen, showWindowSetting(), ZoomWindow, onTop,
                 ledOpen, ledX, ledY, brightness, int(picoPort), lastFile, long(panelDIB.rcPos.left),
                 long(panelDIB.rcPos.top), long(panelDIB.rcPos.right), long(panelDIB.rcPos.bottom));
    writeLED(out);
    listItems(out, "checked", MF_CHECKED);
    listItems(out, "grayed", MF_GRAYED);
    std::fclose(out);
}
