// The module's touch controller: a resistive XPT2046-class one on the panel's
// SPI bus, or a capacitive FT6x36-class one on I2C, as the model table says.
#pragma once

// Sets up the touch controller's pins and bus.
void touchInit();
// Looks at the touch panel (the main loop calls it often); a touch going
// down, moving or going up is handed to the link as a report.
void touchPoll(unsigned nowMs);
