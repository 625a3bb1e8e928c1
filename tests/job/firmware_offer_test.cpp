#include "support/job_fixture.h"

#include <cstring>

using namespace jobtest;

namespace {
struct Asked {
    std::vector<std::string> texts;
    int systemModal = -1;
    int answer = 0;
};
Asked asked;
std::vector<std::string> jobs;
int driveDuringJob = 0;

int askUser(const char* text, int systemModal) {
    asked.texts.push_back(text);
    asked.systemModal = systemModal;
    return asked.answer;
}

class FirmwareOfferTest : public JobFixture {
  protected:
    void SetUp() override {
        JobFixture::SetUp();
        asked = Asked{};
        jobs.clear();
        SendJobHost host{};
        host.runJob = [](SendJob* job) {
            jobs.push_back(job->jobPath);
            driveDuringJob = picoDrive;
        };
        installSendJobHost(host);
        fwVer2040 = 105;
        std::strcpy(fwPath2040, "/fw/vantorix_Pico_V1.05.uf2");
        fwVer2350 = 110;
        std::strcpy(fwPath2350, "/fw/vantorix_Pico2_V1.10.uf2");
    }
    void board(int fw, int type, int drive = 0) {
        picoFW = fw;
        picoType = type;
        picoDrive = drive;
    }
};
} // namespace

TEST_F(FirmwareOfferTest, OlderFirmwareByPolicy) {
    // FWupdate 1: the update starts without a question, once.
    FWupdate = 1;
    board(100, 1);
    EXPECT_EQ(firmwareDecision(askUser), fwDecisionUploaded);
    EXPECT_TRUE(asked.texts.empty());
    EXPECT_EQ(jobs, std::vector<std::string>{fwPath2040});
    EXPECT_EQ(fwCheck, 0);
    EXPECT_EQ(firmwareDecision(askUser), fwDecisionModuleFile);
    EXPECT_EQ(jobs.size(), 1u);

    // FWupdate 2: asked; No is remembered for the run.
    fwCheck = 1;
    FWupdate = 2;
    board(100, 2);
    EXPECT_EQ(firmwareDecision(askUser), fwDecisionNothing);
    ASSERT_EQ(asked.texts.size(), 1u);
    EXPECT_EQ(asked.texts[0], "found RP2350 Pico 2 vantorix V1.00\nnew vantorix firmware V1.10 "
                              "available.\nUpdate Now ?");
    EXPECT_EQ(asked.systemModal, 0);
    EXPECT_EQ(fwCheck, 0);
    EXPECT_EQ(jobs.size(), 1u);

    fwCheck = 1;
    asked.answer = 1;
    board(104, 1);
    EXPECT_EQ(firmwareDecision(askUser), fwDecisionUploaded);
    EXPECT_EQ(asked.texts.back(), "found RP2040 Pico vantorix V1.04\nnew vantorix firmware V1.05 "
                                  "available.\nUpdate Now ?");
    EXPECT_EQ(jobs.back(), fwPath2040);

    // FWupdate 0, a current board, a question already open, no version yet: nothing.
    const struct {
        int check, update, fw, type;
    } quiet[] = {{1, 0, 100, 1}, {1, 0, 250, 1}, {1, 2, 105, 1}, {1, 2, 110, 2},
                 {1, 2, 106, 1}, {2, 2, 100, 1}, {1, 2, 0, 1}};
    for (const auto& q : quiet) {
        fwCheck = q.check;
        FWupdate = q.update;
        board(q.fw, q.type);
        size_t before = asked.texts.size();
        EXPECT_EQ(firmwareDecision(askUser), fwDecisionModuleFile) << q.fw;
        EXPECT_EQ(asked.texts.size(), before) << q.fw;
    }
    EXPECT_EQ(jobs.size(), 2u);
}

TEST_F(FirmwareOfferTest, ForeignFirmwareAlwaysAsks) {
    FWupdate = 1;
    asked.answer = 1;
    board(210, 1);
    EXPECT_EQ(firmwareDecision(askUser), fwDecisionUploaded);
    ASSERT_EQ(asked.texts.size(), 1u);
    EXPECT_EQ(asked.texts[0], "found RP2040 Pico board with Talvoren V2.10 firmware.\n"
                              "would you like to programm vantorix V1.05 firmware ?");
    fwCheck = 1;
    asked.answer = 0;
    board(200, 2);
    EXPECT_EQ(firmwareDecision(askUser), fwDecisionNothing);
    EXPECT_EQ(asked.texts[1], "found RP2350 Pico 2 board with Talvoren V2.00 firmware.\n"
                              "would you like to programm vantorix V1.10 firmware ?");
    // Without a firmware file for the board nothing is offered.
    fwCheck = 1;
    fwVer2350 = 0;
    board(230, 2);
    EXPECT_EQ(firmwareDecision(askUser), fwDecisionNothing);
    EXPECT_EQ(asked.texts.size(), 2u);
    EXPECT_EQ(jobs.size(), 1u);
}

TEST_F(FirmwareOfferTest, EmptyBoardByPolicy) {
    // Asked system-modal; No forgets the drive, so the question comes once.
    board(0, 1, 'E');
    EXPECT_EQ(firmwareDecision(askUser), fwDecisionNothing);
    ASSERT_EQ(asked.texts.size(), 1u);
    EXPECT_EQ(asked.texts[0],
              "found empty RP2040 Pico board\nwould you like to program vantorix V1.05 firmware ?");
    EXPECT_EQ(asked.systemModal, 1);
    EXPECT_EQ(picoDrive, 0);
    EXPECT_EQ(firmwareDecision(askUser), fwDecisionModuleFile);

    asked.answer = 1;
    board(0, 2, 'F');
    EXPECT_EQ(firmwareDecision(askUser), fwDecisionUploaded);
    EXPECT_EQ(
        asked.texts[1],
        "found empty RP2350 Pico 2 board\nwould you like to program vantorix V1.10 firmware ?");
    EXPECT_EQ(driveDuringJob, 'F');
    EXPECT_EQ(jobs.back(), fwPath2350);

    ProgEmptyPico = 1;
    board(0, 1, 'G');
    EXPECT_EQ(firmwareDecision(askUser), fwDecisionUploaded);
    EXPECT_EQ(asked.texts.size(), 2u);
    EXPECT_EQ(driveDuringJob, 'G');

    ProgEmptyPico = 0;
    board(0, 1, 'H');
    EXPECT_EQ(firmwareDecision(askUser), fwDecisionNothing);
    EXPECT_EQ(picoDrive, 0);

    // No firmware file for the processor: nothing asked, the drive forgotten.
    ProgEmptyPico = 2;
    fwVer2040 = 0;
    board(0, 1, 'I');
    EXPECT_EQ(firmwareDecision(askUser), fwDecisionNothing);
    EXPECT_EQ(picoDrive, 0);
    EXPECT_EQ(asked.texts.size(), 2u);
    EXPECT_EQ(jobs.size(), 2u);
}
