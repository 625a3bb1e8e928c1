// The six module models.
#pragma once
#include <cstdint>

struct ModelInfo {
    const char* name;      // "KP096" ...
    const char* title;     // window title text
    int16_t width, height; // panel at 0 degrees
    const char* controller;
    bool hasTouchOption;
    int16_t menuEntry;
    const char* moduleFilePattern; // "KP096_%d.txt"
};

constexpr int modelCount = 6;
// Model 1..6, or null for any other number.
const ModelInfo* modelInfo(int model);
// 1..6 for a model name ("KP350", case-insensitive) or a number text; 0 if unknown.
int modelFromText(const char* text);
