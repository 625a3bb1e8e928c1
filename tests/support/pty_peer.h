// A board played on the master side of a real pseudo-terminal: the program
// under test opens the slave path. It answers the query, records what it
// receives, and can send reports, stop reading, or vanish.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace ptypeer {

class PtyPeer {
  public:
    std::vector<uint8_t> reply{0x1B, 'V', 105, 0x01}; // answer to the query; empty = silent
    size_t vanishAfter = 0; // close the master once this many bytes came (0 = never)
    bool stopReading = false;

    PtyPeer() {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC); // runners must not hold it
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
        path = ptsname(master);
        termios tio{};
        tcgetattr(master, &tio);
        cfmakeraw(&tio);
        tcsetattr(master, TCSANOW, &tio);
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    }
    ~PtyPeer() {
        done = true;
        if (worker.joinable()) worker.join();
        vanish();
    }
    const std::string& slavePath() const { return path; }
    bool ready() const { return master >= 0 && !path.empty(); }
    void start() {
        worker = std::thread([this] { serve(); });
    }

    std::vector<uint8_t> received() {
        std::lock_guard<std::mutex> guard(lock);
        return bytes;
    }
    void send(const std::vector<uint8_t>& data) {
        std::lock_guard<std::mutex> guard(lock);
        if (master >= 0) (void)!write(master, data.data(), data.size());
    }
    void vanish() {
        std::lock_guard<std::mutex> guard(lock);
        if (master >= 0) close(master);
        master = -1;
    }
    // Waits (bounded) until at least count bytes came.
    bool waitFor(size_t count, int ms = 5000) {
        for (int waited = 0; waited < ms; waited += 5) {
            if (received().size() >= count) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

  private:
    int master = -1;
    std::string path;
    std::thread worker;
    std::atomic<bool> done{false};
    std::mutex lock;
    std::vector<uint8_t> bytes;

    bool sawQuery(size_t from) const {
        for (size_t i = from; i + 2 < bytes.size(); ++i)
            if (bytes[i] == 0x1B && bytes[i + 1] == '?' && bytes[i + 2] == '\n') return true;
        return false;
    }
    void serve() {
        while (!done) {
            if (stopReading) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            std::unique_lock<std::mutex> guard(lock);
            if (master < 0) return;
            uint8_t chunk[4096];
            ssize_t got = read(master, chunk, sizeof chunk);
            if (got > 0) {
                size_t before = bytes.size() >= 2 ? bytes.size() - 2 : 0;
                bytes.insert(bytes.end(), chunk, chunk + got);
                if (!reply.empty() && sawQuery(before))
                    (void)!write(master, reply.data(), reply.size());
                if (vanishAfter && bytes.size() >= vanishAfter) {
                    close(master);
                    master = -1;
                    return;
                }
                continue;
            }
            // EIO: nobody has the slave open yet (or any more); EAGAIN: nothing came.
            pollfd in{master, POLLIN, 0};
            guard.unlock();
            poll(&in, 1, 5);
            if (in.revents & POLLHUP) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
};

} // namespace ptypeer
