#include "panel/models.h"

#include <cctype>
#include <cstdlib>

namespace {
const ModelInfo models[modelCount] = {
    {"KP096", "ZR KP096", 80, 160, "ST7735S", true, 210, "KP096_%d.txt", 140, 324, 140, 442,
     TouchKind::Capacitive},
    {"KP150", "ZR KP150", 240, 240, "ST7789V", true, 211, "KP150_%d.txt", 278, 490, 380, 542,
     TouchKind::Capacitive},
    {"KP200", "ZR KP200", 240, 320, "ST7789V", true, 212, "KP200_%d.txt", 284, 608, 340, 680,
     TouchKind::Capacitive},
    {"KP280", "ZR KP280", 240, 320, "ST7789V", true, 213, "KP280_%d.txt", 268, 512, 324, 584,
     TouchKind::Resistive},
    {"KP350", "ZR KP350", 320, 480, "HX8357D", true, 214, "KP350_%d.txt", 360, 720, 420, 764,
     TouchKind::Resistive},
    {"KP240", "ZR KP240", 240, 320, "ST7789V", false, 215, "KP240_%d.txt", 274, 533, 274, 533,
     TouchKind::None},
};

bool equalsIgnoringCase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (std::toupper(static_cast<unsigned char>(*a)) !=
            std::toupper(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}
} // namespace

const ModelInfo* modelInfo(int model) {
    return (model >= 1 && model <= modelCount) ? &models[model - 1] : nullptr;
}

int modelFromText(const char* text) {
    if (!text || !*text) return 0;
    if (text[0] >= '1' && text[0] <= '6' && text[1] == 0) return text[0] - '0';
    for (int i = 0; i < modelCount; ++i)
        if (equalsIgnoringCase(text, models[i].name)) return i + 1;
    return 0;
}
