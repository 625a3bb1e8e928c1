#include "board/picolink.h"
#include "board/seriowin.h"
#include "common/seam.h"
#include "support/fake_serial.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
struct SerialLayer : ::testing::Test {
    fakeserial::Port* fake = nullptr;
    void SetUp() override { fake = &fakeserial::install(); }
    void TearDown() override {
        resetSerialLayer();
        resetWindowSeam();
        resetPicoLink();
    }
    std::vector<size_t> writeSizes() const {
        std::vector<size_t> sizes;
        for (const auto& w : fake->writes) sizes.push_back(w.size());
        return sizes;
    }
};

TEST_F(SerialLayer, PortNumbersBelowOneAreRefusedAndNothingIsOpen) {
    EXPECT_EQ(COMopen(0, boardBaud), 0);
    EXPECT_EQ(COMopen(-3, boardBaud), 0);
    EXPECT_TRUE(fake->openedPorts.empty());
    EXPECT_EQ(COMinbufferanz(), -1);
    uint8_t byte = 1;
    EXPECT_EQ(COMwrblk(&byte, 1), 0);
    EXPECT_EQ(COMread(0), -1);
    EXPECT_EQ(COMrdblk(&byte, 1, 0), -1);
}

TEST_F(SerialLayer, LargeWritesGoOutInBlocksOfTheBlockSize) {
    ASSERT_EQ(COMopen(9, boardBaud), 1);
    std::vector<uint8_t> data(2500, 0x5A);
    EXPECT_EQ(COMwrblk(data.data(), int(data.size())), 1);
    EXPECT_EQ(writeSizes(), (std::vector<size_t>{1024, 1024, 452}));
    fake->writes.clear();
    EXPECT_EQ(COMwrblk(data.data(), 0), 1);
    EXPECT_TRUE(fake->writes.empty());
}

TEST_F(SerialLayer, AWriteThatRunsOutOfTimeStopsTheBlocks) {
    ASSERT_EQ(COMopen(1, boardBaud), 1);
    fake->writeLimit = 1500;
    std::vector<uint8_t> data(4000, 1);
    EXPECT_EQ(COMwrblk(data.data(), int(data.size())), 0);
    EXPECT_EQ(writeSizes(), (std::vector<size_t>{1024, 476})) << "nothing after the failed block";
}

TEST_F(SerialLayer, ReadTimeOutsCountTickChanges) {
    ASSERT_EQ(COMopen(1, boardBaud), 1);
    EXPECT_EQ(COMread(0), -1);
    EXPECT_EQ(fake->readAttempts, 1) << "a time-out of 0 is exactly one attempt";
    uint32_t before = fake->nowMs;
    EXPECT_EQ(COMread(2), -1);
    uint32_t waited = fake->nowMs - before;
    EXPECT_GE(waited, 10u);
    EXPECT_LE(waited, 30u) << "two tick changes, about 20 ms";
    fake->send({0x41});
    EXPECT_EQ(COMread(0), 0x41);
}

TEST_F(SerialLayer, ABlockReadTakesAllOrLeavesEverythingQueued) {
    ASSERT_EQ(COMopen(1, boardBaud), 1);
    fake->send({1, 2, 3});
    uint8_t block[4] = {};
    EXPECT_EQ(COMrdblk(block, 4, 0), 0);
    EXPECT_EQ(COMinbufferanz(), 3);
    fake->send({4});
    EXPECT_EQ(COMrdblk(block, 4, 0), 4);
    EXPECT_EQ(block[3], 4);
    EXPECT_EQ(COMinbufferanz(), 0);
}

TEST_F(SerialLayer, ALineErrorShowsOnceAndBlockReadsWaitPastIt) {
    ASSERT_EQ(COMopen(1, boardBaud), 1);
    fake->send({9, 9});
    fake->pendingErrors = 0x8;
    EXPECT_EQ(COMinbufferanz(), -8);
    EXPECT_EQ(COMinbufferanz(), 2);
    fake->pendingErrors = 0x2;
    uint8_t block[2];
    EXPECT_EQ(COMrdblk(block, 2, 3), 2);
    COMbufclear();
    EXPECT_EQ(COMinbufferanz(), 0);
}

TEST_F(SerialLayer, CloseWaitsAndLeavesNoPort) {
    uint32_t before = fake->nowMs;
    COMclose();
    EXPECT_EQ(fake->nowMs - before, 50u) << "also with no port open";
    ASSERT_EQ(COMopen(1, boardBaud), 1);
    ASSERT_EQ(COMopen(2, boardBaud), 1);
    EXPECT_EQ(fake->closes, 1) << "opening again lets the old handle go";
    COMclose();
    EXPECT_EQ(fake->closes, 2);
    EXPECT_EQ(COMinbufferanz(), -1);
    uint8_t byte = 0;
    EXPECT_EQ(COMwrblk(&byte, 1), 0);
}

// Another thread lets the port go while a write is under way (here: from
// inside the write): the handle stays open until the write is done, and is
// closed exactly once.
TEST_F(SerialLayer, AHandleClosedDuringAWriteIsLetGoWhenTheWriteEnds) {
    static int closesDuringWrite;
    closesDuringWrite = -1;
    ASSERT_EQ(COMopen(3, boardBaud), 1);
    fake->onWrite = [](fakeserial::Port& port, const std::vector<uint8_t>&) {
        port.onWrite = nullptr;
        COMclose();
        closesDuringWrite = port.closes;
    };
    uint8_t byte = 7;
    EXPECT_EQ(COMsendblk(&byte, 1), 1) << "the write under way finishes on its handle";
    EXPECT_EQ(closesDuringWrite, 0);
    EXPECT_EQ(fake->closes, 1);
    EXPECT_EQ(COMisOpen(), 0);
    EXPECT_EQ(COMsendblk(&byte, 1), 0);
    COMclose();
    EXPECT_EQ(fake->closes, 1) << "a handle is never closed twice";
}

TEST_F(SerialLayer, TheCaptureSeesWhatWentOnTheWire) {
    std::vector<uint8_t> seen;
    COMsetCapture(
        [](const void* bytes, int count, void* context) {
            auto* out = static_cast<std::vector<uint8_t>*>(context);
            out->insert(out->end(), static_cast<const uint8_t*>(bytes),
                        static_cast<const uint8_t*>(bytes) + count);
        },
        &seen);
    ASSERT_EQ(COMopen(1, boardBaud), 1);
    fake->writeLimit = 3;
    EXPECT_EQ(COMwrblk("#DC\n", 4), 0);
    EXPECT_EQ(std::string(seen.begin(), seen.end()), "#DC") << "only the bytes the board took";
}

TEST_F(SerialLayer, DevicePathsKeepTheirNumbers) {
    COMforgetDevices();
    int first = COMregisterDevice("/dev/ttyACM0");
    int second = COMregisterDevice("/dev/ttyACM1");
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 2);
    EXPECT_EQ(COMregisterDevice("/dev/ttyACM0"), first);
    EXPECT_STREQ(COMdevicePath(second), "/dev/ttyACM1");
    EXPECT_EQ(COMdevicePath(0), nullptr);
    EXPECT_EQ(COMregisterDevice(""), 0);
    EXPECT_EQ(COMregisterDevice(std::string(300, 'x').c_str()), 0);
    COMforgetDevices();
    EXPECT_EQ(COMdevicePath(first), nullptr);
}

std::vector<int> progressSteps;
uint32_t announced = 0;

TEST_F(SerialLayer, SendbufferReportsProgressAndStopsAtAFailedWrite) {
    progressSteps.clear();
    WindowSeam seam{};
    seam.transferStart = [](uint32_t bytes) { return announced = bytes, 1; };
    seam.transferProgress = [](int position) { return progressSteps.push_back(position), 1; };
    installWindowSeam(seam);
    ASSERT_EQ(COMopen(4, boardBaud), 1);
    picoPort = 4;
    std::vector<uint8_t> data(2500, 7);
    EXPECT_EQ(sendbuffer(data.data(), uint32_t(data.size())), 2500u);
    EXPECT_EQ(announced, 2500u);
    EXPECT_EQ(progressSteps, (std::vector<int>{409, 819, 1000}));
    EXPECT_EQ(writeSizes(), (std::vector<size_t>{1024, 1024, 452}));

    fake->writeLimit = 1100;
    EXPECT_EQ(sendbuffer(data.data(), uint32_t(data.size())), 1024u);
    EXPECT_EQ(picoPort, 0) << "forwarding stops with the board";
    EXPECT_EQ(boardLinkLost(), 1);
}
} // namespace
