#include "boardsim/uf2.h"

#include <cstdio>

int firmwareVersionFromName(const std::string& fileName) {
    size_t slash = fileName.find_last_of("/\\");
    std::string base = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
    size_t v = base.rfind('V');
    float version = 0;
    if (v == std::string::npos || std::sscanf(base.c_str() + v, "V%f", &version) != 1) return -1;
    float scaled = (version + 0.005f) * 100;
    if (!(scaled >= 0 && scaled < 2147483647.0f)) return -1;
    return int(scaled);
}

const char* bootInfoText(int pico2) {
    return pico2 ? "UF2 Bootloader v1.0\r\nModel: Raspberry Pi RP2350\r\nBoard-ID: RP2350\r\n"
                 : "UF2 Bootloader v3.0\r\nModel: Raspberry Pi RP2\r\nBoard-ID: RPI-RP2\r\n";
}
