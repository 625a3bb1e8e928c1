// Built-in start and demo screens.
#include "panel/zr_tft.h"

// The screens arrive with the embedded pictures.
void Screen(unsigned) {}
