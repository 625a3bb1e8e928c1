// The twelve ZPF bitmap fonts the program carries, and font selection.
#pragma once
#include <cstdint>

// One embedded font file: null data when it was not built into the program.
struct ZPFfile {
    const uint8_t* data;
    uint32_t size;
    int16_t height; // nominal cell height, as in the selection table
};

// The file behind a selection number (1..3 and the cell heights 8..60), or
// null for a number no font answers to and for a font missing from the build.
const ZPFfile* embeddedFont(int16_t selection);
// All twelve table entries, smallest first (some may hold null data).
const ZPFfile* embeddedFontTable(int* count);

// Makes a complete ZPF file image the current font after checking it: magic
// "ZR", a body that fits the file, at least one glyph record, records inside
// the body, a cell height of at least one row. Returns 1 when selected; on 0
// the current font stays. The image must outlive its use as the font.
int selectZPFfont(const uint8_t* file, uint32_t size);
// Length of the current font's body, 0 when no usable font is selected.
uint32_t currentFontBodyLength();
