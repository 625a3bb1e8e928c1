// How long `vantorix-cli --watch` takes from a saved change of its command
// file to the rename that puts the new window picture in place. The runner
// watches FOLDER/watched.txt and writes FOLDER/panel.png and FOLDER/window.png
// (zoom 2); each round rewrites the file and waits for window.png to be
// renamed into place. The pauses between rounds vary, so that the saves fall
// at every point of the runner's ticks. Prints the median and the largest
// latency in seconds.
//
//   bench_watchlatency CLI FOLDER ROUNDS
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <csignal>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
using Clock = std::chrono::steady_clock;
constexpr int settleMilliseconds = 400;
constexpr int spreadMilliseconds = 211; // not a multiple of the runner's tick
constexpr int giveUpMilliseconds = 5000;

bool save(const std::string& path, int round) {
    FILE* file = std::fopen(path.c_str(), "w");
    if (!file) return false;
    // A different picture every round: the colours move.
    std::fprintf(file, "#DF 0,0,40\n#FA %d,%d,200, 10,10, 300,300\n#TP 20,20,\"round %d\"\n",
                 (round * 40) % 256, (round * 90) % 256, round);
    return std::fclose(file) == 0;
}

// Waits for `name` to be moved into the watched folder; false after the limit.
bool awaitRename(int watch, const char* name) {
    alignas(inotify_event) char buffer[4096];
    const auto limit = Clock::now() + std::chrono::milliseconds(giveUpMilliseconds);
    while (Clock::now() < limit) {
        pollfd in{watch, POLLIN, 0};
        if (poll(&in, 1, 50) <= 0) continue;
        const ssize_t got = read(watch, buffer, sizeof buffer);
        for (ssize_t at = 0; at < got;) {
            const inotify_event* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (event->len && std::strcmp(event->name, name) == 0) return true;
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
    return false;
}
} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench_watchlatency CLI FOLDER ROUNDS\n");
        return 2;
    }
    const std::string folder = argv[2];
    const std::string watched = folder + "/watched.txt";
    const std::string panel = folder + "/panel.png", window = folder + "/window.png";
    const int rounds = std::atoi(argv[3]);
    if (rounds < 1 || !save(watched, 0)) return 1;
    const int watch = inotify_init1(IN_CLOEXEC);
    if (watch < 0 || inotify_add_watch(watch, folder.c_str(), IN_MOVED_TO) < 0) return 1;
    const pid_t cli = fork();
    if (cli == 0) {
        execl(argv[1], argv[1], "-m", "5", "--watch", watched.c_str(), "-o", panel.c_str(),
              "--window-png", window.c_str(), "--zoom", "2", static_cast<char*>(nullptr));
        _exit(127);
    }
    bool ok = cli > 0 && awaitRename(watch, "window.png");
    std::vector<double> latencies;
    for (int round = 1; ok && round <= rounds; round++) {
        const int pause = settleMilliseconds + (round * 97) % spreadMilliseconds;
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
        if (!save(watched, round)) break;
        const auto saved = Clock::now();
        ok = awaitRename(watch, "window.png");
        latencies.push_back(std::chrono::duration<double>(Clock::now() - saved).count());
    }
    if (cli > 0) {
        kill(cli, SIGTERM);
        waitpid(cli, nullptr, 0);
    }
    if (!ok) {
        std::fprintf(stderr, "bench_watchlatency: the runner did not rewrite %s\n", window.c_str());
        return 1;
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("%.6f %.6f\n", latencies[latencies.size() / 2], latencies.back());
    return 0;
}
