// The runner against vantorix-board on a real pseudo-terminal: both panels
// agree pixel for pixel, and the board gets exactly the bytes file.
#include "support/board_sim.h"
#include "support/cli_run.h"

#include <gtest/gtest.h>

#include <string>

using namespace clitest;
using boardtest::BoardSimProcess;

namespace {
const char* const examples[] = {"hello.txt", "fonts.txt", "orientation.txt", "screens.txt"};

// Runs the runner against a fresh simulator; the simulator's panel and what it received.
struct SimRun {
    CliRun cli;
    PngImage runnerPanel, boardPanel;
    std::string recorded, bytesFile;
};

SimRun runAgainstBoard(const TempDir& dir, const std::vector<std::string>& boardOptions,
                       const std::string& runnerArgs) {
    SimRun result;
    std::string boardPng = dir.file("board.png"), record = dir.file("record.bin");
    std::string wire = dir.file("wire.bin"), runnerPng = dir.file("runner.png");
    std::vector<std::string> options = boardOptions;
    options.insert(options.end(), {"--panel-png", boardPng, "--record", record});
    BoardSimProcess board;
    if (!board.start(options)) return result;
    result.cli =
        runCli("-p " + board.path() + " " + runnerArgs + " -o " + runnerPng + " -b " + wire);
    result.bytesFile = slurp(wire);
    boardtest::waitFor([&] { return slurp(record).size() >= result.bytesFile.size(); }, 5000);
    board.stop();
    result.recorded = slurp(record);
    readPng(runnerPng, result.runnerPanel);
    readPng(boardPng, result.boardPanel);
    return result;
}

TEST(RunnerAndSimulator, EveryExampleOnEveryModelDrawsTheSameOnBothPanels) {
    for (const char* example : examples) {
        for (int model = 1; model <= 6; ++model) {
            SCOPED_TRACE(std::string(example) + " on model " + std::to_string(model));
            TempDir dir;
            // No -m: the runner takes the model from the board.
            SimRun run = runAgainstBoard(dir, {"-m", std::to_string(model)},
                                         std::string(VANTORIX_SOURCE_DIR) + "/examples/" + example);
            ASSERT_EQ(run.cli.status, 0) << run.cli.err;
            EXPECT_FALSE(run.bytesFile.empty());
            EXPECT_EQ(run.recorded, run.bytesFile);
            ASSERT_GT(run.boardPanel.width, 0);
            EXPECT_EQ(run.runnerPanel.width, run.boardPanel.width);
            EXPECT_EQ(run.runnerPanel.height, run.boardPanel.height);
            EXPECT_TRUE(run.runnerPanel.rgb == run.boardPanel.rgb) << "the panels differ";
        }
    }
}

TEST(RunnerAndSimulator, TheBoardsTouchesReachTheRunnersPanel) {
    TempDir dir;
    // Touches while the runner connects; the file fills a square away from them.
    std::string script = dir.write("touch.txt", "5 1 30 40\n25 4 0 200\n");
    std::string commands = dir.write("fill.txt", "#FA 0,0,255,100,100,120,120\n");
    SimRun run = runAgainstBoard(dir, {"-m", "3", "-t", "--touch-script", script}, commands);
    ASSERT_EQ(run.cli.status, 0) << run.cli.err;
    ASSERT_EQ(run.runnerPanel.width, 240) << "model 3 followed";
    EXPECT_EQ(run.runnerPanel.rgb565At(31, 41), 0xF800);
    EXPECT_EQ(run.runnerPanel.rgb565At(1, 200), 0xFFFF) << "x = 0 drawn at 1";
    EXPECT_EQ(run.runnerPanel.rgb565At(32, 42), 0x0000);
    EXPECT_EQ(run.runnerPanel.rgb565At(110, 110), 0x001F);
}
} // namespace
