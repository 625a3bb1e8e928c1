// The menu and accelerator command identifiers: the portable menu logic
// carries them out, the resources (win/vantorix.rc through win/resource.h)
// bind them to menu items and keys. Plain #defines: the resource compiler
// reads this file too.
#pragma once

// File menu
#define IDM_OPENFILE 100
#define IDM_DEMO 110
#define IDM_SHOWWINDOW 140
#define IDM_ZOOMWINDOW 145
#define IDM_ONTOP 150
#define IDM_CLIPBOARD 160
#define IDM_EXIT 180
// TFT menu: models 1 to 6 are IDM_MODEL1 + model - 1
#define IDM_MODEL1 210
#define IDM_MODEL2 211
#define IDM_MODEL3 212
#define IDM_MODEL4 213
#define IDM_MODEL5 214
#define IDM_MODEL6 215
#define IDM_TOUCH 230
// Views 0, 90, 180, 270 degrees are IDM_VIEW0 + angle / 90
#define IDM_VIEW0 240
#define IDM_VIEW90 241
#define IDM_VIEW180 242
#define IDM_VIEW270 243
#define IDM_LED 250
// Help menu
#define IDM_HELP 510
#define IDM_ABOUT 520
