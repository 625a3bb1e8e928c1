// The serial layer's calls on POSIX systems: a tty device registered in the
// layer's port table, in raw mode without any flow control.
#include "board/seriowin.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/serial.h>
#endif

namespace {
constexpr int writeMsPerCall = 1000;

// Line-error bits as the Win32 layer reports them, so callers see one mask.
constexpr int errorOverrun = 0x0002;
constexpr int errorParity = 0x0004;
constexpr int errorFrame = 0x0008;
constexpr int errorBreak = 0x0010;

struct Port {
    int fd = -1;
    bool countsKnown = false;
#ifdef __linux__
    serial_icounter_struct counts{};
#endif
};

speed_t speedFor(int baud) {
    switch (baud) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        return B0;
    }
}

uint32_t monotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint32_t(uint64_t(now.tv_sec) * 1000u + uint64_t(now.tv_nsec) / 1000000u);
}

void sleepMs(int ms) {
    timespec pause{ms / 1000, long(ms % 1000) * 1000000L};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

bool applyLineSettings(int fd, speed_t speed) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return false;
    cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    // CLOCAL: a board that goes away must not hang the program up. HUPCL
    // stays: DTR drops on close, which the boot-loader request relies on.
    tio.c_cflag |= CS8 | CREAD | CLOCAL | HUPCL;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (cfsetispeed(&tio, speed) != 0 || cfsetospeed(&tio, speed) != 0) return false;
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

#ifdef __linux__
void rememberLineCounts(Port& port) {
    port.countsKnown = ioctl(port.fd, TIOCGICOUNT, &port.counts) == 0;
}

// Errors since the last look, as a mask; 0 when the driver keeps no counts.
int newLineErrors(Port& port) {
    if (!port.countsKnown) return 0;
    serial_icounter_struct now{};
    if (ioctl(port.fd, TIOCGICOUNT, &now) != 0) return 0;
    int mask = 0;
    if (now.overrun != port.counts.overrun || now.buf_overrun != port.counts.buf_overrun)
        mask |= errorOverrun;
    if (now.parity != port.counts.parity) mask |= errorParity;
    if (now.frame != port.counts.frame) mask |= errorFrame;
    if (now.brk != port.counts.brk) mask |= errorBreak;
    port.counts = now;
    return mask;
}
#else
void rememberLineCounts(Port&) {}
int newLineErrors(Port&) {
    return 0;
}
#endif

int openPort(int number, int baud, intptr_t* handle) {
    const char* path = COMdevicePath(number);
    speed_t speed = speedFor(baud);
    if (!path || speed == B0) return 0;
    int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return 0;
    if (!isatty(fd) || !applyLineSettings(fd, speed)) {
        close(fd);
        return 0;
    }
    ioctl(fd, TIOCEXCL); // not shared, as far as the system allows
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, TIOCMBIS, &lines); // a pseudo-terminal refuses this; nothing depends on it
    Port* port = new Port;
    port->fd = fd;
    rememberLineCounts(*port);
    *handle = reinterpret_cast<intptr_t>(port);
    return 1;
}

void closePort(intptr_t handle) {
    Port* port = reinterpret_cast<Port*>(handle);
    ioctl(port->fd, TIOCNXCL);
    close(port->fd);
    delete port;
}

int waitingBytes(intptr_t handle) {
    Port* port = reinterpret_cast<Port*>(handle);
    int errors = newLineErrors(*port);
    if (errors) return -errors;
    int count = 0;
    if (ioctl(port->fd, FIONREAD, &count) != 0) return -1;
    return count;
}

int readBytes(intptr_t handle, void* buffer, int count) {
    Port* port = reinterpret_cast<Port*>(handle);
    ssize_t got = read(port->fd, buffer, size_t(count));
    if (got >= 0) return int(got);
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : -1;
}

// One write call as the board link knows it: given up after its time-out.
int writeBytes(intptr_t handle, const void* buffer, int count) {
    Port* port = reinterpret_cast<Port*>(handle);
    const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
    uint32_t start = monotonicMs();
    uint32_t allowed = uint32_t(writeMsPerCall + count);
    int sent = 0;
    while (sent < count) {
        ssize_t put = write(port->fd, bytes + sent, size_t(count - sent));
        if (put > 0) {
            sent += int(put);
            continue;
        }
        if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) break;
        uint32_t used = monotonicMs() - start;
        if (used >= allowed) break;
        pollfd writable{port->fd, POLLOUT, 0};
        if (poll(&writable, 1, int(allowed - used)) < 0 && errno != EINTR) break;
        if (writable.revents & (POLLERR | POLLHUP | POLLNVAL)) break;
    }
    return sent;
}

void devicePathName(int number, char* out, int size) {
    const char* path = COMdevicePath(number);
    if (path)
        std::snprintf(out, size_t(size), "%s", path);
    else
        std::snprintf(out, size_t(size), "port %d", number);
}

const SerialBackend posixSystem{openPort,   closePort,   waitingBytes, readBytes,
                                writeBytes, monotonicMs, sleepMs,      devicePathName};
} // namespace

const SerialBackend& systemSerialBackend() {
    return posixSystem;
}
