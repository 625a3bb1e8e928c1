// The menu commands and dialogs of the window program.
#pragma once
#include <windows.h>

// Hands the portable menu logic the real menu and what only the window can do.
void installMenu();
void MainWndProc_OnCommand(HWND window, int command, HWND control, UINT notification);
// The open dialog: non-zero when a file was chosen; its full name is then in
// buffer (256 bytes).
int FileOpenBox(char* buffer, const char* lastName);
// The window's client area, as the screen shows it, to the clipboard as a bitmap.
void ClientAreaToClipboard(HWND window);
INT_PTR CALLBACK AboutDlg(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
