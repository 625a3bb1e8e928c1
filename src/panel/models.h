// The six module models.
#pragma once
#include <cstddef>
#include <cstdint>

// The touch panel of a model's "TC" variant: capacitive (an FT6x36-class
// controller on I2C) or resistive (an XPT2046-class controller on SPI).
enum class TouchKind { None, Capacitive, Resistive };

struct ModelInfo {
    const char* name;      // "KP096" ...
    const char* title;     // window title text
    int16_t width, height; // panel at 0 degrees
    const char* controller;
    bool hasTouchOption;
    int16_t menuEntry;
    const char* moduleFilePattern;                 // "KP096_%d.txt"
    int16_t pictureWidth, pictureHeight;           // module picture without touch panel
    int16_t touchPictureWidth, touchPictureHeight; // with it (model 6: the one picture)
    TouchKind touchKind;
};

constexpr int modelCount = 6;
// Model 1..6, or null for any other number.
const ModelInfo* modelInfo(int model);
// 1..6 for a model name ("KP350", case-insensitive) or a number text; 0 if unknown.
int modelFromText(const char* text);

// A stored module picture: a zlib stream that unpacks to a BMP file.
struct ModulePicture {
    const uint8_t* packed;
    uint32_t packedLength;
    uint32_t unpackedLength;
};
// The picture of a model, with or without touch panel (model 6 has one for
// both); 0 for a model outside 1 to 6 or a picture missing from the build.
int modulePicture(int model, int touch, ModulePicture* picture);
// A fresh heap block of unpackedLength bytes holding the unpacked data, or
// null when memory is short or the data does not unpack to exactly that length.
uint8_t* AllocAndUncompress(const uint8_t* packed, uint32_t packedLength, uint32_t unpackedLength);
