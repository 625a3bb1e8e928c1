// Colour-depth conversion, palettes and dithering.
#include "image/dib.h"

// Placeholders until the conversions land.
int ChangeDIBto24Bit(DIB*) { return 0; }
int ChangeDIBto16Bit(DIB*, int) { return 0; }
int ChangeDIBto8Bit(DIB*, int) { return 0; }
void FloydSteinbergDithering(const DIB*, DIB*) {}
uint8_t GetByteValue(int value) { return uint8_t(value < 0 ? 0 : value > 255 ? 255 : value); }
int MakeBestPalette(const DIB*, DIB*, int, int) { return 0; }
int ChangeDIBtoMinPalette(DIB*) { return 0; }
int CountColors(const DIB*, uint32_t*, int) { return 0; }
int GetUnusedColor(const DIB*, uint8_t*) { return 0; }
void SortColorValues(uint32_t*, int, int, uint32_t*) {}
int NearestPaletteColor(const uint8_t*, int, int, int, int) { return 0; }
