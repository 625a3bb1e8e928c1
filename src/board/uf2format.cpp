#include "board/uf2format.h"

#include "image/dib.h"

#include <map>
#include <vector>

namespace {
// A UF2 file larger than this is no firmware for these boards (2 MB and 4 MB flash).
constexpr uint32_t uf2MaxBlocks = 65536;

struct FamilyImage {
    uint32_t numBlocks = 0;
    std::vector<bool> seen;
    uint32_t seenCount = 0;
    bool complete() const { return numBlocks > 0 && seenCount == numBlocks; }
};

// Counts one block into its family's image; false when its numbering is broken.
bool countBlock(std::map<uint32_t, FamilyImage>& families, const uint8_t* block) {
    uint32_t flags = rdLE32(block + uf2OffsetFlags);
    if (!(flags & uf2FlagFamilyPresent)) return true; // belongs to no family a board takes
    uint32_t numBlocks = rdLE32(block + uf2OffsetNumBlocks);
    uint32_t blockNo = rdLE32(block + uf2OffsetBlockNo);
    if (numBlocks == 0 || numBlocks > uf2MaxBlocks || blockNo >= numBlocks) return false;
    FamilyImage& image = families[rdLE32(block + uf2OffsetFamily)];
    if (image.numBlocks == 0) {
        image.numBlocks = numBlocks;
        image.seen.assign(numBlocks, false);
    }
    if (image.numBlocks != numBlocks) return false;
    if (!image.seen[blockNo]) {
        image.seen[blockNo] = true;
        ++image.seenCount;
    }
    return true;
}
} // namespace

bool uf2BlockIsSound(const uint8_t* block) {
    return rdLE32(block + uf2OffsetMagic0) == uf2MagicStart0 &&
           rdLE32(block + uf2OffsetMagic1) == uf2MagicStart1 &&
           rdLE32(block + uf2OffsetMagicEnd) == uf2MagicEnd &&
           rdLE32(block + uf2OffsetPayloadSize) <= uf2MaxPayload;
}

bool uf2FamilyFits(uint32_t family, int pico2) {
    if (!pico2) return family == uf2FamilyRP2040;
    return family == uf2FamilyAbsolute || family == uf2FamilyRP2350ArmSecure ||
           family == uf2FamilyRP2350RiscV || family == uf2FamilyRP2350ArmNonSecure;
}

Uf2Verdict judgeUf2(const uint8_t* data, size_t size, int pico2, bool growing) {
    std::map<uint32_t, FamilyImage> families;
    for (size_t at = 0; at + uf2BlockSize <= size; at += uf2BlockSize) {
        if (!uf2BlockIsSound(data + at) || !countBlock(families, data + at))
            return Uf2Verdict::Refused;
    }
    for (const auto& [family, image] : families)
        if (uf2FamilyFits(family, pico2) && image.complete()) return Uf2Verdict::Taken;
    return growing ? Uf2Verdict::Incomplete : Uf2Verdict::Refused;
}
