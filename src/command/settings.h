// Settings and shared job state that the interpreter changes and the front
// end shows (check marks, title, module rebuild).
#pragma once
#include <cstdint>

extern int32_t Demo;       // demo mode on/off
extern int32_t Angle;      // view orientation 0, 90, 180, 270
extern int32_t Module;     // model 1..6
extern int32_t Touch;      // touch variant on/off
extern int32_t demoScreen; // start screen showing, 0 = none
extern int32_t PWM;        // LED brightness passed to the board on connecting
extern char cmdDir[256];   // folder of the command file being run, with trailing separator

void resetSettings();
