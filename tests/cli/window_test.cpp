#include "support/board_sim.h"
#include "support/cli_run.h"
#include "support/pty_peer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <thread>

namespace {
using namespace clitest;
using namespace std::chrono_literals;

// Width, height and colour type from a PNG's header.
struct PngHeader {
    uint32_t width = 0, height = 0;
    int colourType = -1;
};
PngHeader pngHeader(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    uint8_t b[26] = {};
    in.read(reinterpret_cast<char*>(b), sizeof b);
    auto be32 = [&](int at) {
        return uint32_t(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
    };
    return {be32(16), be32(20), b[25]};
}

std::string readText(const std::string& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int count(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST(CliWindow, WindowPngHoldsThePanelAtItsPlace) {
    TempDir dir;
    std::string file = dir.write("draw.txt", "#DF10,200,30\n#DR5,6,60,70,255,0,255\n");
    CliRun run = runCli("-m KP280 -t " + file + " -o " + dir.file("panel.png") + " --window-png " +
                        dir.file("window.png"));
    ASSERT_EQ(run.status, 0) << run.err;
    PngImage panel, window;
    ASSERT_TRUE(readPng(dir.file("panel.png"), panel));
    ASSERT_TRUE(readPng(dir.file("window.png"), window));
    ASSERT_EQ(window.width, 324);
    ASSERT_EQ(window.height, 584);
    int differ = 0;
    for (int y = 0; y < panel.height; ++y)
        for (int x = 0; x < panel.width; ++x)
            differ += panel.rgb565At(x, y) != window.rgb565At(42 + x, 73 + y);
    EXPECT_EQ(differ, 0);

    run = runCli("-m 1 -a 90 " + file + " --zoom 2 --outline --window-png " + dir.file("cut.png"));
    ASSERT_EQ(run.status, 0) << run.err;
    PngHeader cut = pngHeader(dir.file("cut.png"));
    EXPECT_EQ(cut.width, 648u);
    EXPECT_EQ(cut.height, 280u);
    EXPECT_EQ(cut.colourType, 6); // RGBA: transparent outside the outline
    EXPECT_EQ(runCli("--zoom 3 --window-png x.png " + file).status, 2);
}

TEST(CliWindow, TitleNeedsNoFile) {
    TempDir dir;
    std::string out = dir.file("title.txt");
    int raw =
        std::system((std::string(VANTORIX_CLI_PATH) + " --title -m KP280 -t > " + out).c_str());
    ASSERT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0);
    EXPECT_EQ(readText(out), "ZR KP280TC\n");
}

// Starts the runner with --watch; it runs until interrupted.
struct WatchRun {
    pid_t pid = -1;
    std::string errFile;
    WatchRun(const std::vector<std::string>& args, const std::string& err) : errFile(err) {
        pid = fork();
        if (pid == 0) {
            int fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, 2);
            std::vector<char*> argv{const_cast<char*>(VANTORIX_CLI_PATH)};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    // Interrupts it as Ctrl+C does; its exit status, or -1 when it did not end in 5 s.
    int interrupt() {
        kill(pid, SIGINT);
        for (int i = 0; i < 100; ++i) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid)
                return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
            std::this_thread::sleep_for(50ms);
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return -1;
    }
};

// Waits up to 5 s for the panel PNG to show colour at (0, 0).
bool panelTurns(const std::string& png, uint16_t colour) {
    for (int i = 0; i < 100; ++i) {
        PngImage image;
        if (readPng(png, image) && image.rgb565At(0, 0) == colour) return true;
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

void touchLater(const std::string& path, int seconds) {
    fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(seconds));
}

TEST(CliWindow, WatchRunsAChangedFileAgainAndAnUnchangedOneNot) {
    TempDir dir;
    std::string file = dir.write("live.txt", "#DF255,0,0\n");
    std::string png = dir.file("panel.png");
    WatchRun named({"-v", "--watch", file, "-o", png}, dir.file("err1.txt"));
    ASSERT_TRUE(panelTurns(png, 0xF800));
    dir.write("live.txt", "#DF0,255,0\n");
    touchLater(file, 2);
    EXPECT_TRUE(panelTurns(png, 0x07E0));
    std::this_thread::sleep_for(600ms); // three more file checks, no change
    EXPECT_EQ(named.interrupt(), 0);
    EXPECT_EQ(count(readText(dir.file("err1.txt")), "open command file"), 2);

    // Without a file the module file of the model and orientation is watched.
    dir.write("KP150_90.txt", "#DF0,0,255\n");
    WatchRun module(
        {"-v", "-m", "2", "-a", "90", "--watch", "--module-dir", dir.path.string(), "-o", png},
        dir.file("err2.txt"));
    EXPECT_TRUE(panelTurns(png, 0x001F));
    std::this_thread::sleep_for(600ms);
    EXPECT_EQ(module.interrupt(), 0);
    EXPECT_EQ(count(readText(dir.file("err2.txt")), "KP150_90.txt"), 1);
}
// A board whose module keeps changing while the runner watches a file: the
// reader thread rebuilds the module while the main thread reruns the file and
// writes the panel. Every output is written at the size it was copied at.
TEST(CliWindow, WatchKeepsUpWithABoardThatKeepsSwitchingItsModule) {
    TempDir dir;
    std::string file = dir.write("live.txt", "#DF255,0,0\n#FA0,0,255,0,0,9,9\n");
    std::string png = dir.file("panel.png");
    boardtest::BoardSimProcess board;
    ASSERT_TRUE(board.start({"--switch-every", "40", "-m", "2"}));
    WatchRun watch({"--watch", file, "-p", board.path(), "-o", png}, dir.file("err.txt"));
    PngImage image;
    ASSERT_TRUE(boardtest::waitFor([&] { return readPng(png, image); }, 5000));
    for (int second = 1; second <= 4; ++second) {
        touchLater(file, second);
        std::this_thread::sleep_for(250ms);
    }
    EXPECT_EQ(watch.interrupt(), 0) << readText(dir.file("err.txt"));
    EXPECT_EQ(readText(dir.file("err.txt")).find("no pixels"), std::string::npos);
    EXPECT_TRUE(readPng(png, image));
}
} // namespace

TEST(CliWindow, WatchFollowsTheBoardAfterAFirmwareFile) {
    TempDir dir;
    ptypeer::PtyPeer peer; // model 1 at 0 degrees: 80 wide
    ASSERT_TRUE(peer.ready());
    peer.start();
    std::string png = dir.file("panel.png");
    auto panelWidthBecomes = [&](uint32_t width) {
        for (int i = 0; i < 100; ++i, std::this_thread::sleep_for(50ms))
            if (pngHeader(png).width == width) return true;
        return false;
    };
    WatchRun run({"-p", peer.slavePath(), dir.file("missing.uf2"), "--watch", "-o", png},
                 dir.file("err.txt"));
    EXPECT_TRUE(panelWidthBecomes(80)) << "watching began after the firmware file";
    peer.send({0x1B, 'V', 105, 0x22}); // model 2 at 90 degrees: 240 wide
    EXPECT_TRUE(panelWidthBecomes(240)) << readText(dir.file("err.txt"));
    EXPECT_EQ(run.interrupt(), 1) << "the firmware file could not be read";
}
