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

// The menu and accelerator commands (IDM_...) are the portable app logic's.
#include "app/menucommands.h"

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
