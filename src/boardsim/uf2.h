// The board simulator's firmware side: firmware file names and the boot
// drive's information file.
#pragma once
#include "board/uf2format.h"

#include <string>

// The version x 100 in a firmware file name ("vantorix_Pico_V1.10.uf2" gives
// 110), read from its last capital "V"; -1 when there is none.
int firmwareVersionFromName(const std::string& fileName);

// INFO_UF2.TXT as the boot loader of each chip shows it.
const char* bootInfoText(int pico2);
