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

namespace {
// The controller pixel by pixel, as a reference for the row-at-a-time writes:
// the cursor walks the window and wraps, pixels outside the panel are dropped.
struct ReferencePanel {
    std::vector<uint16_t> pixels;
    int width, height;
    uint16_t x1 = 0, y1 = 0, x2 = 0, y2 = 0, cx = 0, cy = 0;
    ReferencePanel(const PanelFixture& panel)
        : pixels(panel.pixels), width(TFTwidth), height(TFTheight) {}
    void window(int16_t a, int16_t b, int16_t c, int16_t d) {
        x1 = cx = uint16_t(a);
        y1 = cy = uint16_t(b);
        x2 = uint16_t(c);
        y2 = uint16_t(d);
    }
    void write(const uint8_t* data, size_t count) {
        for (size_t i = 0; i + 1 < count; i += 2) {
            if (cx < width && cy < height)
                pixels[size_t(height - 1 - cy) * width + cx] = uint16_t(data[i] << 8 | data[i + 1]);
            if (++cx > x2 || cx == 0) {
                cx = x1;
                if (++cy > y2 || cy == 0) cy = y1;
            }
        }
    }
};
} // namespace

TEST(PanelWindow, RowWritesMatchThePixelByPixelController) {
    for (int angle : {0, 90}) {
        PanelFixture panel(5, angle);
        ReferencePanel reference(panel);
        uint32_t seed = 12345;
        auto next = [&seed](int below) {
            seed = seed * 1103515245u + 12345u;
            return int((seed >> 8) % uint32_t(below));
        };
        std::vector<uint8_t> stream(2 * 5000 + 1);
        for (int round = 0; round < 300; ++round) {
            // Windows near the edges, inside or crossing them, and streams
            // shorter and longer than the window, in one or two writes.
            int16_t a = int16_t(next(8) < 4 ? next(4) : TFTwidth - 1 - next(40));
            int16_t b = int16_t(next(8) < 4 ? next(4) : TFTheight - 1 - next(40));
            int16_t c = int16_t(next(4) == 0 ? TFTwidth - 1 : a + next(60) - 2);
            int16_t d = int16_t(next(4) == 0 ? TFTheight - 1 : b + next(60) - 2);
            if (round % 10 == 0) {
                uint16_t colour = uint16_t(next(65536));
                TFTfill(colour, a, b, c, d);
                int16_t right = std::min<int16_t>(c, int16_t(TFTwidth - 1));
                int16_t bottom = std::min<int16_t>(d, int16_t(TFTheight - 1));
                if (a < TFTwidth && b < TFTheight && right >= a && bottom >= b) {
                    std::vector<uint8_t> row;
                    for (int x = a; x <= right; ++x)
                        row.insert(row.end(), {uint8_t(colour >> 8), uint8_t(colour)});
                    reference.window(a, b, right, bottom);
                    for (int y = b; y <= bottom; ++y) reference.write(row.data(), row.size());
                }
            } else {
                for (uint8_t& byte : stream) byte = uint8_t(next(256));
                size_t first = size_t(next(int(stream.size()))), second = size_t(next(3000));
                TFTwindow(a, b, c, d);
                reference.window(a, b, c, d);
                write_buf(stream.data(), uint32_t(first));
                reference.write(stream.data(), first);
                write_buf(stream.data(), uint32_t(second));
                reference.write(stream.data(), second);
            }
            ASSERT_EQ(curX, reference.cx) << "round " << round;
            ASSERT_EQ(curY, reference.cy) << "round " << round;
            ASSERT_TRUE(panel.pixels == reference.pixels)
                << "round " << round << " angle " << angle;
        }
    }
}
