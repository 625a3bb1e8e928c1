#include "support/panel_fixture.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(PanelGeometry, ModelSizesAndOrientationSwaps) {
    const int sizes[7][2] = {{0, 0},     {80, 160},  {240, 240}, {240, 320},
                             {240, 320}, {320, 480}, {240, 320}};
    for (int model = 1; model <= 6; ++model) {
        resetPanelState();
        TFTinit(int16_t(model));
        EXPECT_EQ(TFTwidth, sizes[model][0]);
        EXPECT_EQ(TFTheight, sizes[model][1]);
        EXPECT_EQ(TFTangle, 0);
    }
    TFTinit(5);
    setTFTangle(90);
    EXPECT_EQ(TFTwidth, 480);
    EXPECT_EQ(TFTheight, 320);
    setTFTangle(270);
    EXPECT_EQ(TFTwidth, 480) << "90 -> 270 keeps the landscape size";
    setTFTangle(0);
    EXPECT_EQ(TFTwidth, 320);

    setTFTtextXYH(7, 9, 3);
    setTFTangle(45);
    EXPECT_EQ(TFTangle, 0);
    EXPECT_EQ(TFTwidth, 320);
    EXPECT_EQ(textX, 0);
    EXPECT_EQ(textY, 0);
    EXPECT_EQ(textH, 20) << "any angle resets the text cursor";

    TFTinit(9);
    EXPECT_EQ(TFTmodel, 9);
    EXPECT_EQ(TFTwidth, 320) << "an unknown model keeps the size";
    resetPanelState();
}

TEST(PanelMemory, BottomUpRowsLittleEndianPixels) {
    PanelFixture panel(3, 0);
    TFTclear(0xF800);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(panel.pixels.data());
    for (size_t i = 0; i < panel.pixels.size(); ++i) {
        ASSERT_EQ(bytes[2 * i], 0x00);
        ASSERT_EQ(bytes[2 * i + 1], 0xF8);
    }
    TFTfill(0x1234, 0, 0, 0, 0);
    TFTfill(0xABCD, 0, 239 + 80, 0, 319);
    size_t lastRow = size_t(TFTwidth) * (TFTheight - 1);
    EXPECT_EQ(panel.pixels[lastRow], 0x1234) << "pixel (0,0) starts the last stored row";
    EXPECT_EQ(panel.pixels[0], 0xABCD) << "pixel (0,height-1) starts the frame memory";
}

TEST(PanelFill, ClipsAtEveryEdgeAndDropsEmptyRectangles) {
    PanelFixture panel(1, 0); // 80 x 160
    TFTfill(0xFFFF, 80, 0, 100, 10);
    TFTfill(0xFFFF, 0, 160, 10, 200);
    EXPECT_EQ(panel.countColour(0xFFFF), 0) << "starting at the edge draws nothing";

    TFTfill(0x07E0, 70, 150, 1000, 1000);
    EXPECT_EQ(panel.countColour(0x07E0), 10 * 10);
    EXPECT_EQ(panel.countOther(0x07E0, 70, 150, 79, 159), 0);

    TFTfill(0x001F, -5, -3, 2, 1);
    EXPECT_EQ(panel.countColour(0x001F), 3 * 2) << "clipped at the left and top";

    TFTfill(0xF800, 20, 20, 10, 30);
    TFTfill(0xF800, 20, 20, 30, 10);
    TFTfill(0xF800, -32768, -32768, -1, -1);
    EXPECT_EQ(panel.countColour(0xF800), 0) << "end before start, or wholly left/above";
}

TEST(PanelWindow, StreamWrapsRowByRowAndBackToTheTop) {
    PanelFixture panel(2, 0);
    TFTwindow(10, 20, 12, 21); // 3 x 2
    uint8_t stream[2 * 7];
    for (int i = 0; i < 7; ++i) {
        stream[2 * i] = 0x00;
        stream[2 * i + 1] = uint8_t(i + 1);
    }
    write_buf(stream, sizeof stream);
    EXPECT_EQ(panel.at(10, 20), 7) << "the 7th pixel lands on the window's top-left again";
    EXPECT_EQ(panel.at(11, 20), 2);
    EXPECT_EQ(panel.at(12, 20), 3);
    EXPECT_EQ(panel.at(10, 21), 4);
    EXPECT_EQ(panel.at(12, 21), 6);
    EXPECT_EQ(panel.at(13, 20), 0) << "nothing beyond the window";

    TFTwindow(0, 0, 0, 0);
    const uint8_t odd[3] = {0x12, 0x34, 0x56};
    write_buf(odd, 3);
    EXPECT_EQ(panel.at(0, 0), 0x1234) << "a trailing odd byte is ignored";
}

TEST(PanelWindow, WindowsOutsideThePanelNeverLeaveTheFrameMemory) {
    // Guard pixels on both sides of the frame memory catch stray writes.
    resetPanelState();
    TFTinit(1);
    const size_t frame = size_t(TFTwidth) * TFTheight, guard = 4096;
    std::vector<uint16_t> memory(frame + 2 * guard, 0x5A5A);
    setFrameMem(memory.data() + guard, uint32_t(frame));
    std::vector<uint8_t> stream(2 * 3000, 0xEE);
    const int16_t windows[][4] = {{-10, -10, 100, 200}, {70, 150, 500, 500},     {-1, 0, -1, 0},
                                  {0, -5, 5, -1},       {79, 159, 32767, 32767}, {100, 100, 5, 5}};
    for (const auto& w : windows) {
        TFTwindow(w[0], w[1], w[2], w[3]);
        write_buf(stream.data(), uint32_t(stream.size()));
    }
    for (size_t i = 0; i < guard; ++i) {
        ASSERT_EQ(memory[i], 0x5A5A);
        ASSERT_EQ(memory[guard + frame + i], 0x5A5A);
    }
    // A frame memory smaller than the panel (a model change in flight) is respected too.
    setFrameMem(memory.data() + guard, 100);
    TFTwindow(0, 0, 79, 159);
    write_buf(stream.data(), uint32_t(stream.size()));
    for (size_t i = 0; i < guard; ++i) ASSERT_EQ(memory[guard + frame + i], 0x5A5A);
    resetPanelState();
}
