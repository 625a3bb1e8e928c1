// Resource and command identifiers, shared by vantorix.rc and the code.
// Plain #defines: the resource compiler reads this file too.
#pragma once

#define IDR_MAINMENU 10
#define IDR_ACCELERATORS 10000
// Named resources (the .rc names them directly: a quoted name there would
// join the file name that follows).
#ifndef RC_INVOKED
#define IDI_VANTORIX "VANTORIXICON"
#define IDB_ZR2BMP "ZR2BMP"
#endif

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

// Send-file dialog
#define IDD_SENDFILE 2000
#define IDC_SENDLOG 2010
#define IDC_SENDPROGRESS 2020

// LED brightness dialog
#define IDD_LED 4000
#define IDC_LEDTEXT 4010
#define IDC_LEDSLIDER 4100

// About dialog
#define IDD_ABOUT 5000
#define IDC_ABOUTNAME 5001
#define IDC_ABOUTPURPOSE 5002
#define IDC_ABOUTVERSION 5003
#define IDC_ABOUTBOARD 5004
#define IDC_ABOUTPORT 5020
#define IDC_ABOUTFIRMWARE 5030
#define IDC_ABOUTCLOSE 5050
