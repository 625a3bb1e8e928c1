// The window's two bitmaps: the module picture with the panel area found in
// it, and the panel bitmap whose pixel rows are the emulated frame memory.
// Portable: the Windows program hands the results to GDI, the runner to its
// own compositor.
//
// Threads: the bitmaps, the key colours and panelModule/panelAngle belong to
// the panel lock (a rebuild on any thread makes them, the paint reads them
// under it). ZoomWindow and ShowWindow belong to the window thread (the
// runner's main thread).
#pragma once
#include "image/dib.h"

#include <cstddef>
#include <cstdint>

extern DIB moduleDIB;          // module picture, 8 bits, turned to Angle
extern DIB panelDIB;           // panel, 16 bits RGB565; rcPos = moduleDIB.rcActive
extern int32_t bgIndex;        // palette index of the background key
extern uint8_t bgKeyColour[3]; // its stored colour: blue, green, red
extern uint8_t shapeColour[3]; // its colour while the window is cut to the outline
extern int32_t panelModule;    // model panelDIB was made for; 0 = none yet
extern int32_t panelAngle;     // Angle at which panelDIB's content stands
extern int32_t ZoomWindow;     // window zoom: 1 or 2
// Win32 has a function of this name: files that include windows.h define
// VANTORIX_WIN32_NAMES and reach the setting through showWindowSetting().
#ifndef VANTORIX_WIN32_NAMES
extern int32_t ShowWindow; // 1 = framed window, 0 = cut to the module outline
#endif
int32_t& showWindowSetting();

// Frees both bitmaps and returns every value above to its start-up state.
void resetWindowBitmaps();

// Palette indices of the marker pixels in the top row of a stored picture.
enum MarkerPixel : int {
    markerBackground = 0, // key colour: background
    markerShape = 1,      // its colour becomes shapeColour
    markerFrame = 2,      // the ring around the panel; shown as (15, 15, 15)
    markerPanel = 3,      // the panel area; shown black
};
constexpr int bmpFileHeaderBytes = 14;

// Sets the record up over a BMP file image in memory; the record does not own it.
void InitDIB256bild(DIB* d, uint8_t* fileImage);
// One pixel of an 8-bit bitmap in picture coordinates (y = 0 is the top row). No bounds test.
uint8_t GetDIB256pix(int x, int y, const DIB* d);
void PutDIB256pix(int x, int y, uint8_t value, DIB* d);
// Palette entries are stored blue, green, red.
void setRGB(uint8_t* entry, int red, int green, int blue);
void copyRGB(uint8_t* destination, const uint8_t* source);
// d becomes an 8-bit copy of s turned clockwise by angle (0, 90, 180, 270), with
// its rectangles. 1 on success; 0 when the bitmap cannot be made (d unchanged).
int CopyDIB256(DIB* d, const DIB* s, int angle);
// Reads the markers of a module picture (a BMP file image of length bytes, which
// it changes), finds the panel area and makes moduleDIB turned to Angle.
// Returns 0 and keeps the previous picture when the image is not a usable
// module picture: not an uncompressed bottom-up 8-bit BMP inside its length,
// no solid marker rectangle across the vertical centre line, or (for models
// 1 to 6) a marked area that is not the model's panel size.
int InitBildBMP(uint8_t* fileImage, size_t length);
// The module picture with its key colours as InitBildBMP made it, kept by a
// host for the settings named here (the keeper frees the picture).
struct KeptModulePicture {
    int32_t module = 0, touch = 0, angle = 0;
    DIB picture{};
    int32_t bgIndex = 0;
    uint8_t bgKeyColour[3] = {};
    uint8_t shapeColour[3] = {};
};
// Copies the module picture that the last NewTFT built for Module, Touch and
// Angle into kept; 0 when there is none.
int keepModulePicture(KeptModulePicture* kept);
// Makes a copy of kept the module picture, as InitBildBMP would have made it;
// 0 (nothing changed) when kept holds another model, touch variant or angle
// than Module, Touch and Angle, or cannot be copied.
int takeKeptModulePicture(const KeptModulePicture& kept);
// Makes panelDIB for a new model (black) or turns it with the view, places it
// on moduleDIB's panel area and points the frame memory at its pixel rows.
void InitTFTBMP();
// Picture coordinates to panel coordinates (as displayed).
void convert2touchXY(int* xOut, int* yOut, int x, int y);
