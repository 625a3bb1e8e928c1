#include "common/settings.h"

#include <cstring>

int32_t Demo = 0;
int32_t Angle = 0;
int32_t Module = 1;
int32_t Touch = 0;
int32_t demoScreen = 0;
int32_t PWM = 95;
int32_t FWupdate = 2;
int32_t ProgEmptyPico = 2;
char appDir[256] = "";

void resetSettings() {
    Demo = 0;
    Angle = 0;
    Module = 1;
    Touch = 0;
    demoScreen = 0;
    PWM = 95;
    FWupdate = 2;
    ProgEmptyPico = 2;
    std::memset(appDir, 0, sizeof appDir);
}
