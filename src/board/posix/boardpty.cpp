#include "board/boardpty.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace {
volatile sig_atomic_t stopRequested = 0;
volatile sig_atomic_t snapshotRequested = 0;

void onStop(int) {
    stopRequested = 1;
}
void onSnapshot(int) {
    snapshotRequested = 1;
}

std::string lastError(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// Raw mode at 115200 baud, set once from our own short-lived open of the slave.
// That open and close also leaves the pty hung up, so that "nobody connected"
// shows from the start (before any open the master cannot tell).
bool prepareSlave(const std::string& path, std::string& error) {
    int slave = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        error = lastError(path.c_str());
        return false;
    }
    termios settings{};
    bool ok = tcgetattr(slave, &settings) == 0;
    if (ok) {
        cfmakeraw(&settings);
        settings.c_cflag |= CLOCAL | CREAD;
        cfsetispeed(&settings, B115200);
        cfsetospeed(&settings, B115200);
        ok = tcsetattr(slave, TCSANOW, &settings) == 0;
    }
    if (!ok) error = lastError("terminal settings");
    close(slave);
    return ok;
}
} // namespace

int boardPtyOpen(BoardPty& pty, std::string& error) {
    pty = BoardPty{};
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0) {
        error = lastError("posix_openpt");
        return 0;
    }
    const char* name = nullptr;
    if (grantpt(master) != 0 || unlockpt(master) != 0 || !(name = ptsname(master))) {
        error = lastError("pseudo-terminal");
        close(master);
        return 0;
    }
    pty.master = master;
    pty.slavePath = name;
    if (!prepareSlave(pty.slavePath, error)) {
        boardPtyClose(pty);
        return 0;
    }
    return 1;
}

void boardPtyClose(BoardPty& pty) {
    if (pty.master >= 0) close(pty.master);
    pty = BoardPty{};
}

void boardPtyWait(BoardPty& pty, int ms) {
    pollfd watch{pty.master, POLLIN, 0};
    int ready = poll(&watch, 1, ms);
    // A hung-up pty reports POLLHUP at once: wait by sleeping instead.
    if (ready > 0 && !(watch.revents & POLLIN)) boardSleepMs(ms);
}

int boardPtyPeerOpen(BoardPty& pty) {
    pollfd watch{pty.master, POLLIN, 0};
    if (poll(&watch, 1, 0) < 0) return 0;
    return (watch.revents & POLLHUP) ? 0 : 1;
}

int boardPtyRead(BoardPty& pty, uint8_t* buffer, int capacity) {
    ssize_t got = read(pty.master, buffer, size_t(capacity));
    if (got > 0) return int(got);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
    return -1; // EIO: the last holder of the slave closed it
}

int boardPtyWrite(BoardPty& pty, const uint8_t* data, int length) {
    ssize_t put = write(pty.master, data, size_t(length));
    return put > 0 ? int(put) : 0;
}

int boardPtyBaud(BoardPty& pty) {
    termios settings{};
    if (tcgetattr(pty.master, &settings) != 0) return 0;
    switch (cfgetospeed(&settings)) {
    case B1200:
        return 1200;
    case B9600:
        return 9600;
    case B38400:
        return 38400;
    case B115200:
        return 115200;
    default:
        return -1;
    }
}

int boardLinkSet(const std::string& link, const std::string& target, std::string& error) {
    struct stat existing {};
    if (lstat(link.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
        error = link + ": exists and is not a symbolic link; it is left alone";
        return 0;
    }
    std::string temporary = link + ".new" + std::to_string(getpid());
    unlink(temporary.c_str());
    if (symlink(target.c_str(), temporary.c_str()) != 0 ||
        rename(temporary.c_str(), link.c_str()) != 0) {
        error = lastError(link.c_str());
        unlink(temporary.c_str());
        return 0;
    }
    return 1;
}

void boardLinkRemove(const std::string& link, const std::string& target) {
    if (link.empty()) return;
    char pointsAt[4096];
    ssize_t length = readlink(link.c_str(), pointsAt, sizeof pointsAt - 1);
    if (length < 0 || std::string(pointsAt, size_t(length)) != target) return;
    unlink(link.c_str());
}

void boardSignalsInstall() {
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = onStop;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    action.sa_handler = onSnapshot;
    sigaction(SIGUSR1, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

bool boardStopRequested() {
    return stopRequested != 0;
}

bool boardTakeSnapshotRequest() {
    if (!snapshotRequested) return false;
    snapshotRequested = 0;
    return true;
}

uint64_t boardClockMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint64_t(now.tv_sec) * 1000 + uint64_t(now.tv_nsec) / 1000000;
}

void boardSleepMs(int ms) {
    timespec pause{ms / 1000, long(ms % 1000) * 1000000L};
    nanosleep(&pause, nullptr);
}
