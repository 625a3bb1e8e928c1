#include "support/cli_run.h"
#include "support/job_fixture.h"

#include "panel/zr_tft.h"

#include <cstring>

using namespace jobtest;

namespace {
class SendJobTest : public JobFixture {
  protected:
    clitest::TempDir dir;
    void run(const std::string& name, int x = 0, int y = 0) {
        std::snprintf(text, sizeof text, "%s", name.c_str());
        FileOrBild2buffer(text, x, y);
    }
    char text[256];
};
} // namespace

TEST_F(SendJobTest, NameRules) {
    std::string file = dir.write("Draw.txt", "#DF 0,255,0\n");
    run("\"" + file + "\"");
    EXPECT_EQ(sendJobOutcome, jobDone);
    EXPECT_STREQ(sendJob.jobPath, file.c_str());
    EXPECT_EQ(text[std::strlen(text) - 1], 't') << "the closing quote is cut in the caller's text";
    EXPECT_STREQ(sendJob.jobName, "Draw.txt");
    EXPECT_STREQ(sendJob.jobExt, ".txt");
    EXPECT_EQ(std::string(sendJob.cmdDir), dir.path.string() + "/");

    run("'" + file + "'");
    EXPECT_EQ(sendJobOutcome, jobDone);

    // Both separators, as Wine and Windows tools hand names over.
    run("C:\\dir/sub\\pic.PNG", 10, 20);
    EXPECT_STREQ(sendJob.cmdDir, "C:\\dir/sub\\");
    EXPECT_STREQ(sendJob.jobName, "pic.PNG");
    EXPECT_EQ(sendJob.jobX, 10);
    EXPECT_EQ(sendJob.jobY, 20);
    EXPECT_EQ(sendJobOutcome, jobUnreadable);

    for (const std::string& ignored : {dir.write("photo.jpeg", "x"), dir.write("notes", "x"),
                                       dir.write("a.txt.bak", "x"), std::string("\"\"")}) {
        run(ignored);
        EXPECT_EQ(sendJobOutcome, jobNothingDone) << ignored;
        EXPECT_EQ(sendJob.jobState, jobIdle) << ignored;
    }
}

TEST_F(SendJobTest, CommandFileRunsOnAWorker) {
    static void* dialogDuringJob = nullptr;
    WindowSeam seam{};
    seam.logLine = [](const char* line) {
        recorded.log.push_back(line);
        dialogDuringJob = sendDlg;
        return 1;
    };
    installWindowSeam(seam);
    run(dir.write("fill.TXT", "#DF 0,0,255\n"));
    EXPECT_EQ(sendJobOutcome, jobDone);
    EXPECT_EQ(sendJob.jobState, jobWorkerFinished);
    ASSERT_FALSE(recorded.log.empty());
    EXPECT_EQ(recorded.log[0], "open command file fill.TXT\r\n");
    EXPECT_NE(dialogDuringJob, nullptr);
    EXPECT_EQ(sendDlg.load(), nullptr);
    EXPECT_EQ(frameMem[0], 0x001F);
}

TEST_F(SendJobTest, UnreadableFilesAreNamed) {
    run(dir.file("missing.txt"));
    EXPECT_EQ(sendJobOutcome, jobUnreadable);
    EXPECT_STREQ(sendJobError, "no such file");
    std::filesystem::create_directory(dir.path / "folder.txt");
    run(dir.file("folder.txt"));
    EXPECT_EQ(sendJobOutcome, jobUnreadable);
    EXPECT_STREQ(sendJobError, "is a directory");
    EXPECT_TRUE(recorded.log.empty());
    run(dir.write("broken.gif", "GIF89a"));
    EXPECT_EQ(sendJobOutcome, jobUnreadable);
}

TEST_F(SendJobTest, HostRunsTheDialog) {
    static SendJob* handed = nullptr;
    SendJobHost host{};
    host.runJob = [](SendJob* job) {
        handed = job;
        job->jobState = jobWorkerRunning;
        sendfileThread(job);
    };
    // The shortcut step is the window program's; here it names the target.
    static std::string target;
    target = dir.write("empty.txt", "");
    host.resolveShortcut = [](char* name) { std::strcpy(name, target.c_str()); };
    installSendJobHost(host);
    run(dir.file("Link to empty.LNK"));
    EXPECT_EQ(handed, &sendJob);
    EXPECT_EQ(sendJob.jobState, jobWorkerFinished);

    // A quoted shortcut in a full-size buffer: a target of the longest kind
    // stays inside it.
    struct {
        char name[256];
        char after;
    } caller{"\"x.lnk\"", 'G'};
    target = "/" + std::string(254, 'd');
    FileOrBild2buffer(caller.name, 0, 0);
    EXPECT_EQ(caller.after, 'G');
    EXPECT_EQ(std::string(sendJob.jobPath), target);
}
