// The LED brightness dialog: a slider for the real module's backlight,
// open only while a board is connected. The main window's tick sends the
// value to the board.
#pragma once
#include <windows.h>

extern HWND hwndLed; // null while closed

void OpenLED();
void CloseLED();
// Shows brightness on the open dialog after the arrow keys changed it.
void SetLEDSlider();
INT_PTR CALLBACK DialogLED(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
