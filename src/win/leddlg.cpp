#define VANTORIX_WIN32_NAMES
#include "win/leddlg.h"

#include "common/seam.h"
#include "resource.h"
#include "app/winmenu.h"
#include "app/winstate.h"
#include "win/winmain.h"

#include <windows.h>

#include <commctrl.h>

#include <cstdio>

HWND hwndLed = nullptr;

namespace {
constexpr UINT_PTR focusTimer = 1;
constexpr UINT focusTimerMs = 100;

void showPercent(HWND dialog) {
    char text[16];
    std::snprintf(text, sizeof text, "%d%%", brightness);
    SetDlgItemTextA(dialog, IDC_LEDTEXT, text);
}

void initialise(HWND dialog) {
    HWND slider = GetDlgItem(dialog, IDC_LEDSLIDER);
    SendMessageA(slider, TBM_SETRANGE, TRUE, MAKELPARAM(0, ledSliderMax));
    SendMessageA(slider, TBM_SETPAGESIZE, 0, ledSliderPage);
    SendMessageA(slider, TBM_SETPOS, TRUE, ledSliderPosition(brightness));
    SendMessageA(slider, TBM_SETTICFREQ, ledSliderTicks, 0);
    showPercent(dialog);
    RECT rc;
    GetWindowRect(dialog, &rc);
    MoveWindow(dialog, ledX, ledY, rc.right - rc.left, rc.bottom - rc.top, FALSE);
}

void sliderMoved(HWND dialog, HWND control) {
    HWND slider = GetDlgItem(dialog, IDC_LEDSLIDER);
    if (control != slider) return;
    if (ledSliderMoved(int(SendMessageA(slider, TBM_GETPOS, 0, 0)))) showPercent(dialog);
}

bool mouseButtonDown() {
    return (GetAsyncKeyState(VK_LBUTTON) | GetAsyncKeyState(VK_RBUTTON)) & 0x8000;
}
} // namespace

void OpenLED() {
    if (hwndLed) return;
    hwndLed = CreateDialogParamA(hInst, MAKEINTRESOURCEA(IDD_LED), hwndMain, DialogLED, 0);
    if (hwndLed) ledOpen = 1;
}

void CloseLED() {
    if (hwndLed) DestroyWindow(hwndLed);
    hwndLed = nullptr;
    ledOpen = 0;
}

void SetLEDSlider() {
    if (!hwndLed) return;
    showPercent(hwndLed);
    SendDlgItemMessageA(hwndLed, IDC_LEDSLIDER, TBM_SETPOS, TRUE, ledSliderPosition(brightness));
}

INT_PTR CALLBACK DialogLED(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        initialise(dialog);
        return 0;
    case WM_VSCROLL:
        sliderMoved(dialog, HWND(lParam));
        return 0;
    case WM_ACTIVATE:
        // After the slider was used, the keys go back to the main window
        // once the mouse button is up.
        SetTimer(dialog, focusTimer, focusTimerMs, nullptr);
        return 0;
    case WM_TIMER:
        if (!mouseButtonDown()) {
            SetForegroundWindow(hwndMain);
            KillTimer(dialog, focusTimer);
        }
        return 0;
    case WM_MOVE: {
        // Moves before the dialog is set up are its default place, not the user's.
        if (dialog != hwndLed) return 0;
        RECT rc;
        GetWindowRect(dialog, &rc);
        ledX = rc.left;
        ledY = rc.top;
        return 0;
    }
    case WM_CLOSE:
        CloseLED();
        CheckMenuTFT();
        return 1;
    case WM_DESTROY:
        // Also destroyed with the main window at the end: ledOpen keeps the
        // saved state, so the dialog opens again at the next start.
        if (dialog == hwndLed) hwndLed = nullptr;
        return 0;
    default:
        return 0;
    }
}
