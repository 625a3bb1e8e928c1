// Rectangles of the window side: left, top, right, bottom, right and bottom
// inclusive (the image library's Rect).
#pragma once
#include "image/dib.h"

void rect_copy(Rect* destination, const Rect* source);
// Shrinks a to its overlap with b; 1 when the overlap is not empty (a changes either way).
int rect_intersect(Rect* a, const Rect* b);
// x and y count as unsigned 16-bit values, so a point left of or above 0 is outside.
int rect_inside(int x, int y, const Rect* r);
