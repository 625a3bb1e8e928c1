// Builds small UF2 files for tests.
#pragma once
#include "board/uf2format.h"
#include "support/bmp_writer.h"

#include <cstdint>
#include <vector>

// `blocks` blocks of 256 payload bytes each for the family, flash addresses from 0x10000000.
inline std::vector<uint8_t> makeUf2(uint32_t family, uint32_t blocks) {
    std::vector<uint8_t> file(size_t(blocks) * uf2BlockSize, 0);
    for (uint32_t i = 0; i < blocks; ++i) {
        size_t at = size_t(i) * uf2BlockSize;
        putLE(file, at + uf2OffsetMagic0, uf2MagicStart0, 4);
        putLE(file, at + uf2OffsetMagic1, uf2MagicStart1, 4);
        putLE(file, at + uf2OffsetFlags, uf2FlagFamilyPresent, 4);
        putLE(file, at + uf2OffsetTarget, 0x10000000 + 256 * i, 4);
        putLE(file, at + uf2OffsetPayloadSize, 256, 4);
        putLE(file, at + uf2OffsetBlockNo, i, 4);
        putLE(file, at + uf2OffsetNumBlocks, blocks, 4);
        putLE(file, at + uf2OffsetFamily, family, 4);
        for (size_t b = 0; b < 256; ++b) file[at + uf2OffsetData + b] = uint8_t(i + b);
        putLE(file, at + uf2OffsetMagicEnd, uf2MagicEnd, 4);
    }
    return file;
}
