#include "boardsim/uf2.h"
#include "support/uf2_writer.h"

#include <gtest/gtest.h>

namespace {
Uf2Verdict judge(const std::vector<uint8_t>& file, int pico2, bool growing) {
    return judgeUf2(file.data(), file.size(), pico2, growing);
}

TEST(Uf2Judge, TakesAWholeImageOfTheBoardsFamilyOnly) {
    std::vector<uint8_t> rp2040 = makeUf2(uf2FamilyRP2040, 4);
    EXPECT_EQ(judge(rp2040, 0, true), Uf2Verdict::Taken);
    EXPECT_EQ(judge(rp2040, 1, true), Uf2Verdict::Incomplete); // another family may follow
    EXPECT_EQ(judge(rp2040, 1, false), Uf2Verdict::Refused);
    for (uint32_t family : {uf2FamilyRP2350ArmSecure, uf2FamilyRP2350RiscV,
                            uf2FamilyRP2350ArmNonSecure, uf2FamilyAbsolute})
        EXPECT_EQ(judge(makeUf2(family, 2), 1, false), Uf2Verdict::Taken) << std::hex << family;
    // One file for both chips: each takes its own part.
    std::vector<uint8_t> both = rp2040, part2350 = makeUf2(uf2FamilyRP2350ArmSecure, 3);
    both.insert(both.end(), part2350.begin(), part2350.end());
    EXPECT_EQ(judge(both, 0, false), Uf2Verdict::Taken);
    EXPECT_EQ(judge(both, 1, false), Uf2Verdict::Taken);
}

TEST(Uf2Judge, WaitsForMissingBlocksAndRefusesBrokenOnes) {
    std::vector<uint8_t> file = makeUf2(uf2FamilyRP2040, 4);
    std::vector<uint8_t> firstHalf(file.begin(), file.begin() + 2 * uf2BlockSize + 100);
    EXPECT_EQ(judge(firstHalf, 0, true), Uf2Verdict::Incomplete);
    EXPECT_EQ(judge(firstHalf, 0, false), Uf2Verdict::Refused);
    for (size_t field : {uf2OffsetMagic0, uf2OffsetMagic1, uf2OffsetMagicEnd}) {
        std::vector<uint8_t> broken = file;
        broken[3 * uf2BlockSize + field] ^= 1;
        EXPECT_EQ(judge(broken, 0, true), Uf2Verdict::Refused) << "field at " << field;
    }
    std::vector<uint8_t> badNumber = file;
    putLE(badNumber, uf2BlockSize + uf2OffsetBlockNo, 4, 4); // block 4 of 4
    EXPECT_EQ(judge(badNumber, 0, true), Uf2Verdict::Refused);
    std::vector<uint8_t> noFamily = file;
    for (size_t at = 0; at < noFamily.size(); at += uf2BlockSize)
        putLE(noFamily, at + uf2OffsetFlags, 0, 4);
    EXPECT_EQ(judge(noFamily, 0, false), Uf2Verdict::Refused);
}

TEST(Uf2Judge, VersionComesFromTheLastCapitalV) {
    EXPECT_EQ(firmwareVersionFromName("/drive/vantorix_Pico_V1.10.uf2"), 110);
    EXPECT_EQ(firmwareVersionFromName("vantorix_Pico2_V1.05.uf2"), 105);
    EXPECT_EQ(firmwareVersionFromName("Vendor_V2.uf2"), 200);
    EXPECT_EQ(firmwareVersionFromName("vantorix_Pico_Vx.uf2"), -1);
    EXPECT_EQ(firmwareVersionFromName("vantorix_pico_v1.10.uf2"), -1);
}
} // namespace
