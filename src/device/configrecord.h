// The configuration a board keeps across power cycles (which module is
// attached), as the bytes it stores in its last flash sector. Portable, so
// the host tests the record that only a real board writes to flash.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr size_t configRecordBytes = 16;

struct ModuleConfiguration {
    int model; // 1..6
    int touch; // 0 or 1
    int angle; // 0, 90, 180, 270
};

// The record for a configuration.
void encodeConfigRecord(const ModuleConfiguration& config, uint8_t record[configRecordBytes]);
// 1 and the configuration when the bytes hold a valid record (an erased
// sector, other data or a damaged record give 0).
int decodeConfigRecord(const uint8_t* record, size_t length, ModuleConfiguration* config);
