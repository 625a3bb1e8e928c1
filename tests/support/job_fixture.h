// Resets the send job, the firmware state and the connection state around a
// test, and records what a job would show: its log lines, progress and waits.
#pragma once
#include "board/firmware.h"
#include "board/picolink.h"
#include "common/seam.h"
#include "common/settings.h"
#include "headless/headless.h"
#include "job/firmware_offer.h"
#include "job/sendjob.h"
#include "module/modulefile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace jobtest {
struct Recorded {
    std::vector<std::string> log;
    std::vector<int> progress;
    std::vector<int> waits;
    std::vector<int> progressAtWait; // the bar's position when each wait began
    int rangeHigh = -1;
    int shown = 0;
};
inline Recorded recorded;

class JobFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        headlessStart(HeadlessOptions{});
        resetSendJob();
        resetFirmwareState();
        picoPort = picoFW = picoType = picoDrive = 0;
        picoDriveRoot[0] = 0;
        recorded = Recorded{};
        WindowSeam seam{};
        seam.logLine = [](const char* line) {
            recorded.log.push_back(line);
            return 1;
        };
        installWindowSeam(seam);
        SendJobHost host{};
        host.progressRange = [](int, int high) { recorded.rangeHigh = high; };
        host.progressPos = [](int position) { recorded.progress.push_back(position); };
        host.show = [] { ++recorded.shown; };
        installSendJobHost(host);
        FirmwareHooks hooks{};
        hooks.wait = [](int ms) {
            recorded.waits.push_back(ms);
            recorded.progressAtWait.push_back(recorded.progress.empty() ? -1
                                                                        : recorded.progress.back());
        };
        installFirmwareHooks(hooks);
    }
    void TearDown() override {
        resetSendJob();
        resetFirmwareState();
        resetSettings();
        picoPort = picoFW = picoType = picoDrive = 0;
    }
};
} // namespace jobtest
