// The board's hardware around the shared logic: the panel's SPI bus, the
// backlight, the flash sector with the configuration. Main loop only.
#pragma once
#include "panel/spi_controller.h"

#include <cstddef>
#include <cstdint>

void boardIoInit();
const PanelBus& boardPanelBus();
// Waits until everything sent to the panel has left the bus.
void boardPanelBusFlush();
// Flushes and deselects the panel, for another device on its bus.
void boardPanelBusRelease();
// The SPI clock for the model's controller; returns the clock set in Hz.
unsigned boardPanelClock(int model);
// Backlight brightness 0..100 (values outside are clamped).
void boardBacklight(int percent);
// The stored configuration record (configRecordBytes at the flash sector's start).
const uint8_t* boardStoredConfig();
// Stores a record in the last flash sector (erase and program).
void boardStoreConfig(const uint8_t* record, size_t length);
