// The UF2 firmware file format and what the boards' boot loaders take from
// it: UF2 blocks for their own chip family are firmware, anything else is not.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr size_t uf2BlockSize = 512;
constexpr uint32_t uf2MagicStart0 = 0x0A324655;
constexpr uint32_t uf2MagicStart1 = 0x9E5D5157;
constexpr uint32_t uf2MagicEnd = 0x0AB16F30;
constexpr uint32_t uf2FlagFamilyPresent = 0x00002000;
constexpr uint32_t uf2MaxPayload = 476;
// Block field offsets.
constexpr size_t uf2OffsetMagic0 = 0, uf2OffsetMagic1 = 4, uf2OffsetFlags = 8, uf2OffsetTarget = 12,
                 uf2OffsetPayloadSize = 16, uf2OffsetBlockNo = 20, uf2OffsetNumBlocks = 24,
                 uf2OffsetFamily = 28, uf2OffsetData = 32, uf2OffsetMagicEnd = 508;

constexpr uint32_t uf2FamilyRP2040 = 0xE48BFF56;
constexpr uint32_t uf2FamilyAbsolute = 0xE48BFF57; // taken by the RP2350 at its own address
constexpr uint32_t uf2FamilyRP2350ArmSecure = 0xE48BFF59;
constexpr uint32_t uf2FamilyRP2350RiscV = 0xE48BFF5A;
constexpr uint32_t uf2FamilyRP2350ArmNonSecure = 0xE48BFF5B;

enum class Uf2Verdict {
    Incomplete, // may still be arriving
    Taken,      // every block of the board's family is there: it programs itself
    Refused,    // not firmware for this board
};

// Judges a file's bytes for an RP2040 (pico2 0) or RP2350 (pico2 1) board.
// `growing` says that more bytes may come; once it is false, a file without a
// complete image for the board is refused.
Uf2Verdict judgeUf2(const uint8_t* data, size_t size, int pico2, bool growing);
// True for the families the board's boot loader programs.
bool uf2FamilyFits(uint32_t family, int pico2);
// True when a 512-byte block has its three magic numbers and a payload that fits.
bool uf2BlockIsSound(const uint8_t* block);
