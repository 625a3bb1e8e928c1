// Where the window paints its two bitmaps, as rectangles: the Windows program
// hands them to StretchDIBits and its region calls, the runner's compositor
// paints them itself. Window rectangles here have exclusive right and bottom
// edges, like the window system's; picture rectangles are inclusive.
#pragma once
#include "image/dib.h"

// One StretchDIBits call: destination in window pixels, source counted from
// the bitmap's bottom row as the call expects.
struct BitmapDraw {
    const DIB* dib;
    int destX, destY, destWidth, destHeight;
    int srcX, srcYFromBottom, srcWidth, srcHeight;
    Rect source;   // the same source part, top-down inclusive bitmap coordinates
    int smoothing; // 1 = the stretch mode is HALFTONE (the module picture)
};

// DrawBitmap: that part r (picture coordinates) of bitmap d at the window's zoom.
BitmapDraw DrawBitmap(const Rect& r, const DIB* d, int smoothing);
// DrawBitmaps: the draws for the paint rectangle (exclusive edges), the module
// picture first, then the panel when the paint meets it. Returns their count (0 to 2).
int DrawBitmaps(const Rect& paint, BitmapDraw draws[2]);
// RedrawAA's window rectangle: the panel area at the window's zoom (exclusive edges).
Rect redrawRectangle();
// MakeRegion's pieces: the whole picture at (ox, oy), then every run of
// background pixels removed from it, one rectangle per run and row, in window
// pixels at the window's zoom. Returns the number of runs.
using RegionRunSink = void (*)(const Rect& removed, void* context);
int MakeRegionRuns(int ox, int oy, Rect* whole, RegionRunSink sink, void* context);
// The key entry's colour while the window is cut (shapeColour) or whole (bgKeyColour).
void setBackgroundForShape(int shaped);
