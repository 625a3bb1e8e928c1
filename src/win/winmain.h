// What the main window offers the rest of the window program (menu commands,
// dialogs).
#pragma once
#include <windows.h>

extern HINSTANCE hInst;
extern HWND hwndMain;
extern HMENU mainMenu;
extern HMENU popupMenu;
extern char appName[256];
extern char iniFile[256];

void SetTitle();
// Cuts the window to the module's outline; gives it its whole rectangle back.
void MakeRegion(BOOL redraw);
void ClearRegion(BOOL redraw);
// Runs the module file when its time stamp changed; 1 when it started it.
int ShowNewTFTfile();
