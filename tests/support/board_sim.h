// Starts the built vantorix-board for end-to-end tests, talks to it through
// its pseudo-terminal as a PC does, and stops it again. Every wait is bounded.
#pragma once
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace boardtest {

inline bool waitFor(const std::function<bool()>& condition, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// Reads up to `count` bytes, waiting at most timeoutMs in all.
inline std::vector<uint8_t> readBytes(int fd, size_t count, int timeoutMs) {
    std::vector<uint8_t> got;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < count) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd watch{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&watch, 1, int(left.count())) <= 0) break;
        uint8_t buffer[256];
        ssize_t n = read(fd, buffer, std::min(sizeof buffer, count - got.size()));
        if (n > 0)
            got.insert(got.end(), buffer, buffer + n);
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            break;
    }
    return got;
}

inline bool writeAll(int fd, const void* data, size_t length) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    while (length > 0) {
        ssize_t n = write(fd, bytes, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        length -= size_t(n);
    }
    return true;
}

// Opens a board's port as the PC does: raw, at the given speed, no controlling tty.
inline int openBoardPort(const std::string& path, speed_t speed = B115200) {
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    termios settings{};
    tcgetattr(fd, &settings);
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&settings, speed);
    cfsetospeed(&settings, speed);
    tcsetattr(fd, TCSANOW, &settings);
    return fd;
}

class BoardSimProcess {
  public:
    BoardSimProcess() = default;
    BoardSimProcess(const BoardSimProcess&) = delete;
    BoardSimProcess& operator=(const BoardSimProcess&) = delete;
    ~BoardSimProcess() { stop(); }

    // Starts vantorix-board with the options; true once it printed its path.
    bool start(const std::vector<std::string>& options, int timeoutMs = 5000) {
        int pipeFds[2];
        if (pipe2(pipeFds, O_CLOEXEC) != 0) return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
        std::vector<std::string> args{VANTORIX_BOARD_PATH};
        args.insert(args.end(), options.begin(), options.end());
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        int failed = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(pipeFds[1]);
        out_ = pipeFds[0];
        if (failed) {
            pid_ = -1;
            return false;
        }
        path_ = nextPath(timeoutMs);
        return !path_.empty();
    }

    // The next terminal path it prints (a new pty after the boot loader); empty on time-out.
    std::string nextPath(int timeoutMs) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        size_t end;
        while ((end = buffered_.find('\n')) == std::string::npos) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd watch{out_, POLLIN, 0};
            if (left.count() <= 0 || poll(&watch, 1, int(left.count())) <= 0) return {};
            char chunk[256];
            ssize_t n = read(out_, chunk, sizeof chunk);
            if (n <= 0) return {};
            buffered_.append(chunk, size_t(n));
        }
        std::string line = buffered_.substr(0, end);
        buffered_.erase(0, end + 1);
        return path_ = line;
    }

    const std::string& path() const { return path_; }
    void signal(int number) const {
        if (pid_ > 0) kill(pid_, number);
    }

    // SIGTERM, then SIGKILL when it has not ended within timeoutMs. The exit
    // status, or -1 when it had to be killed or was not running.
    int stop(int timeoutMs = 5000) {
        if (pid_ <= 0) return -1;
        kill(pid_, SIGTERM);
        int status = 0;
        bool ended = waitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, timeoutMs);
        if (!ended) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        pid_ = -1;
        if (out_ >= 0) close(out_);
        out_ = -1;
        return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string path_;
    std::string buffered_;
};
} // namespace boardtest
