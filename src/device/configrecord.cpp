#include "device/configrecord.h"

#include "panel/models.h"

#include <cstring>

namespace {
constexpr uint8_t recordMagic[4] = {'V', 'T', 'X', 'C'};
constexpr uint8_t recordLayout = 1;
enum Field { Layout = 4, Model, Touch, Turns, Check = configRecordBytes - 1 };

// A sum that an erased sector (all 0xFF) and a zeroed one both fail.
uint8_t checkByte(const uint8_t* record) {
    uint8_t sum = 0x5A;
    for (size_t i = 0; i < Check; ++i) sum = uint8_t((sum << 1 | sum >> 7) ^ record[i]);
    return sum;
}
} // namespace

void encodeConfigRecord(const ModuleConfiguration& config, uint8_t record[configRecordBytes]) {
    std::memset(record, 0, configRecordBytes);
    std::memcpy(record, recordMagic, sizeof recordMagic);
    record[Layout] = recordLayout;
    record[Model] = uint8_t(config.model);
    record[Touch] = uint8_t(config.touch != 0);
    record[Turns] = uint8_t(config.angle / 90);
    record[Check] = checkByte(record);
}

int decodeConfigRecord(const uint8_t* record, size_t length, ModuleConfiguration* config) {
    if (!record || length < configRecordBytes) return 0;
    if (std::memcmp(record, recordMagic, sizeof recordMagic) != 0) return 0;
    if (record[Layout] != recordLayout || record[Check] != checkByte(record)) return 0;
    if (!modelInfo(record[Model]) || record[Touch] > 1 || record[Turns] > 3) return 0;
    config->model = record[Model];
    config->touch = record[Touch];
    config->angle = record[Turns] * 90;
    return 1;
}
