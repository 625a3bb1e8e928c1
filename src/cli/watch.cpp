#include "cli/watch.h"

#include "board/picolink.h"
#include "board/statusblock.h"
#include "cli/outputs.h"
#include "cli/runfile.h"
#include "common/seam.h"
#include "common/settings.h"
#include "file/fsys.h"
#include "headless/headless.h"
#include "job/sendjob.h"
#include "module/modulefile.h"
#include "panel/zr_tft.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

namespace {
constexpr auto tickPeriod = std::chrono::milliseconds(100);
constexpr int ticksPerSecond = 10;
constexpr int demoStepSeconds = 3;
constexpr int startScreens = 3;

volatile std::sig_atomic_t interrupted = 0;

void onInterrupt(int) {
    interrupted = 1;
}

struct WatchState {
    int tickCount = 0;
    int secondCount = 0;
    std::string named;       // the file named on the command line, else empty
    uint64_t namedShown = 0; // its time stamp when it last ran
};

// Without a board the demo steps through the start screens 1, 2, 3.
void stepDemo(WatchState& state) {
    if (++state.tickCount < ticksPerSecond) return;
    state.tickCount = 0;
    ++state.secondCount;
    PanelGuard guard(panelLock()); // the board's reports change Demo and demoScreen too
    if (picoPort || !Demo || !demoScreen || state.secondCount % demoStepSeconds) return;
    demoScreen = demoScreen % startScreens + 1;
    Screen(unsigned(demoScreen));
    RedrawAA();
}

void runWatched(const std::string& path) {
    const std::string error = runFile(path);
    if (!error.empty()) std::fprintf(stderr, "vantorix-cli: %s\n", error.c_str());
}

// The file check of every tick: a saved change shows within a tick (a stat
// call is all it costs while nothing changes).
void checkWatchedFile(WatchState& state) {
    if (state.named.empty()) {
        char file[sizeof moduleFile];
        if (moduleFileChanged(file)) runWatched(file);
        return;
    }
    const uint64_t stamp = fileWriteTime(state.named.c_str());
    if (!stamp || stamp == state.namedShown) return;
    state.namedShown = stamp;
    runWatched(state.named);
}
} // namespace

int runWatch(const CliOptions& options, bool boardReaderRuns) {
    interrupted = 0;
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    WatchState state;
    if (!options.files.empty()) {
        state.named = options.files.front();
        state.namedShown = fileWriteTime(state.named.c_str()); // it has just run
    }
    int status = writeRunnerOutputs(options) ? 0 : 1;
    headlessTakeChanges();
    auto next = std::chrono::steady_clock::now();
    while (!interrupted) {
        // A long run does not make the ticks that it took up come in a burst.
        next = std::max(next + tickPeriod, std::chrono::steady_clock::now());
        std::this_thread::sleep_until(next);
        stepDemo(state);
        if (!boardReaderRuns) readBoardInput();
        if (!sendDlg) checkWatchedFile(state);
        if (headlessTakeChanges() && !writeRunnerOutputs(options)) status = 1;
    }
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    return status;
}
