// Embedded font table. Each font file becomes a generated header at build
// time; a font whose file is not there yet is a null entry, so the program
// still builds and selecting that font keeps the current one.
#include "panel/fonts.h"

#if __has_include("font8.h")
#include "font8.h"
#define VX_FONT8 font8, font8_LEN
#else
#define VX_FONT8 nullptr, 0
#endif
#if __has_include("font10.h")
#include "font10.h"
#define VX_FONT10 font10, font10_LEN
#else
#define VX_FONT10 nullptr, 0
#endif
#if __has_include("font14.h")
#include "font14.h"
#define VX_FONT14 font14, font14_LEN
#else
#define VX_FONT14 nullptr, 0
#endif
#if __has_include("font16.h")
#include "font16.h"
#define VX_FONT16 font16, font16_LEN
#else
#define VX_FONT16 nullptr, 0
#endif
#if __has_include("font20.h")
#include "font20.h"
#define VX_FONT20 font20, font20_LEN
#else
#define VX_FONT20 nullptr, 0
#endif
#if __has_include("font22.h")
#include "font22.h"
#define VX_FONT22 font22, font22_LEN
#else
#define VX_FONT22 nullptr, 0
#endif
#if __has_include("font24.h")
#include "font24.h"
#define VX_FONT24 font24, font24_LEN
#else
#define VX_FONT24 nullptr, 0
#endif
#if __has_include("font26.h")
#include "font26.h"
#define VX_FONT26 font26, font26_LEN
#else
#define VX_FONT26 nullptr, 0
#endif
#if __has_include("font32.h")
#include "font32.h"
#define VX_FONT32 font32, font32_LEN
#else
#define VX_FONT32 nullptr, 0
#endif
#if __has_include("font40.h")
#include "font40.h"
#define VX_FONT40 font40, font40_LEN
#else
#define VX_FONT40 nullptr, 0
#endif
#if __has_include("font48.h")
#include "font48.h"
#define VX_FONT48 font48, font48_LEN
#else
#define VX_FONT48 nullptr, 0
#endif
#if __has_include("font60.h")
#include "font60.h"
#define VX_FONT60 font60, font60_LEN
#else
#define VX_FONT60 nullptr, 0
#endif

namespace {
const ZPFfile fontTable[] = {
    {VX_FONT8, 8},   {VX_FONT10, 10}, {VX_FONT14, 14}, {VX_FONT16, 16},
    {VX_FONT20, 20}, {VX_FONT22, 22}, {VX_FONT24, 24}, {VX_FONT26, 26},
    {VX_FONT32, 32}, {VX_FONT40, 40}, {VX_FONT48, 48}, {VX_FONT60, 60},
};
constexpr int fontCount = int(sizeof fontTable / sizeof fontTable[0]);
} // namespace

const ZPFfile* embeddedFont(int16_t selection) {
    // The small numbers are the firmware's old names for the first sizes.
    if (selection == 1)
        selection = 8;
    else if (selection == 2)
        selection = 14;
    else if (selection == 3)
        selection = 16;
    for (const ZPFfile& font : fontTable)
        if (font.height == selection) return font.data ? &font : nullptr;
    return nullptr;
}

const ZPFfile* embeddedFontTable(int* count) {
    if (count) *count = fontCount;
    return fontTable;
}
