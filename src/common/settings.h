// Settings and shared job state that the interpreter changes and the front
// end shows (check marks, title, module rebuild).
//
// Threads: Demo, Angle, Module, Touch and demoScreen belong to the panel lock
// (panelLock() in panel/zr_tft.h): the interpreter, the board's reports and
// the module rebuild change them under it, and other threads read them under
// it. The rest is set by the thread that starts the program (start-up, the
// ini file, the command line) before a job or a board reader runs, and only
// read afterwards.
#pragma once
#include <cstdint>

extern int32_t Demo;          // demo mode on/off
extern int32_t Angle;         // view orientation 0, 90, 180, 270
extern int32_t Module;        // model 1..6
extern int32_t Touch;         // touch variant on/off
extern int32_t demoScreen;    // start screen showing, 0 = none
extern int32_t PWM;           // LED brightness passed to the board on connecting
extern int32_t FWupdate;      // older firmware: 0 never offer, 1 update without asking, 2 ask
extern int32_t ProgEmptyPico; // empty board: 0 never program, 1 without asking, 2 ask
extern char appDir[256];      // the program's folder, with its final separator

void resetSettings();
