// The POSIX serial calls against a real pseudo-terminal.
#include "board/picolink.h"
#include "board/seriowin.h"
#include "headless/headless.h"
#include "support/pty_peer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

namespace {
struct PtySerial : ::testing::Test {
    ptypeer::PtyPeer peer;
    int port = 0;
    void SetUp() override {
        headlessStart({});
        installSerialBackend(systemSerialBackend());
        ASSERT_TRUE(peer.ready());
        port = COMregisterDevice(peer.slavePath().c_str());
        ASSERT_NE(port, 0);
    }
    void TearDown() override { headlessStart({}); }
};

TEST_F(PtySerial, BlocksAndBytesCrossTheLineUnchanged) {
    peer.start();
    ASSERT_EQ(COMopen(port, boardBaud), 1);
    std::vector<uint8_t> data(2500);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i * 7); // every byte value, CR and LF too
    EXPECT_EQ(COMwrblk(data.data(), int(data.size())), 1);
    ASSERT_TRUE(peer.waitFor(data.size()));
    EXPECT_EQ(peer.received(), data);
    peer.send({0x0D, 0x0A, 0x11, 0x13});
    uint8_t back[4];
    EXPECT_EQ(COMrdblk(back, 4, 100), 4) << "no translation, no XON/XOFF";
    EXPECT_EQ(back[2], 0x11);
    EXPECT_EQ(COMread(0), -1);
    COMclose();
}

TEST_F(PtySerial, ReadsTimeOutOnTheTickClock) {
    ASSERT_EQ(COMopen(port, boardBaud), 1);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(COMread(5), -1);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(35));
    EXPECT_LE(waited, std::chrono::milliseconds(500));
    COMclose();
}

TEST_F(PtySerial, AVanishedBoardFailsTheWriteAtOnce) {
    peer.start();
    ASSERT_EQ(COMopen(port, boardBaud), 1);
    peer.vanish();
    std::vector<uint8_t> data(3000, 1);
    auto start = std::chrono::steady_clock::now();
    // The hang-up may reach the slave a moment after the close.
    int result = 1;
    for (int i = 0; i < 50 && result; ++i) result = COMwrblk(data.data(), int(data.size()));
    EXPECT_EQ(result, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
    COMclose();
}

TEST_F(PtySerial, ABoardThatStopsReadingEndsTheWriteAfterItsTimeOut) {
    peer.stopReading = true;
    peer.start();
    ASSERT_EQ(COMopen(port, boardBaud), 1);
    std::vector<uint8_t> data(1024, 2);
    auto start = std::chrono::steady_clock::now();
    int result = 1;
    for (int i = 0; i < 400 && result; ++i) result = COMwrblk(data.data(), int(data.size()));
    EXPECT_EQ(result, 0) << "the pty's buffer filled and a block ran out of time";
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(1000));
    EXPECT_LT(waited, std::chrono::milliseconds(8000));
    COMclose();
}

TEST_F(PtySerial, AnUnansweredQueryLeavesNoBoard) {
    peer.reply.clear();
    peer.start();
    EXPECT_EQ(openPicoPort(port), 0);
    EXPECT_EQ(picoPort, 0);
    EXPECT_EQ(COMinbufferanz(), -1);
    EXPECT_EQ(openPicoPort(COMregisterDevice("/nonexistent/ttyACM9")), -1);
}
} // namespace
