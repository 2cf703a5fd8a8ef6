#include "PtyPair.h"
#include "link/Termios2Speed.h"

#include <cerrno>
#include <chrono>
#include <sys/ioctl.h>
#include <thread>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PtyPair::PtyPair() {
    termios raw{};
    ::cfmakeraw(&raw);
    raw.c_cflag |= CLOCAL | CREAD;
    ::cfsetspeed(&raw, B9600);
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, &raw, nullptr) != 0) {
        master_ = slave_ = -1;
        return;
    }
    slavePath_ = name;
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
}

PtyPair::~PtyPair() {
    closeMaster();
    closeSlave();
}

std::string PtyPair::modeText(int baud) const {
    return slavePath_ + ":" + std::to_string(baud) + ",n,8,1";
}

void PtyPair::closeMaster() {
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

void PtyPair::closeSlave() {
    if (slave_ >= 0)
        ::close(slave_);
    slave_ = -1;
}

int PtyPair::readByte(int timeoutMs) {
    if (master_ < 0)
        return -1;
    pollfd pfd{master_, POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&pfd, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0 || !(pfd.revents & POLLIN))
        return -1;
    uint8_t byte = 0;
    return ::read(master_, &byte, 1) == 1 ? byte : -1;
}

std::vector<uint8_t> PtyPair::readBytes(size_t n, int timeoutMs) {
    std::vector<uint8_t> bytes(n);
    size_t got = 0;
    while (got < n && master_ >= 0) {
        // Whatever is queued in one call (a fuzz run reads thousands of replies), then a wait.
        const ssize_t put = ::read(master_, bytes.data() + got, n - got);
        if (put > 0) {
            got += static_cast<size_t>(put);
            continue;
        }
        if (put < 0 && errno == EINTR)
            continue;
        pollfd pfd{master_, POLLIN, 0};
        int ready = 0;
        do {
            ready = ::poll(&pfd, 1, timeoutMs);
        } while (ready < 0 && errno == EINTR);
        if (ready <= 0 || !(pfd.revents & POLLIN))
            break;
    }
    bytes.resize(got);
    return bytes;
}

std::vector<uint8_t> PtyPair::readAvailable(int firstByteMs) {
    std::vector<uint8_t> bytes;
    for (int byte = readByte(firstByteMs); byte >= 0; byte = readByte(0))
        bytes.push_back(static_cast<uint8_t>(byte));
    return bytes;
}

void PtyPair::discard() {
    uint8_t chunk[1024];
    while (master_ >= 0) {
        const ssize_t got = ::read(master_, chunk, sizeof chunk);
        if (got > 0 || (got < 0 && errno == EINTR))
            continue;
        break;
    }
}

bool PtyPair::awaitQueued(int fd, size_t count, int timeoutMs) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int queued = 0;
        if (::ioctl(fd, FIONREAD, &queued) != 0)
            return false;
        if (static_cast<size_t>(queued) >= count)
            return true;
        if (std::chrono::steady_clock::now() >= giveUp)
            return false;
        std::this_thread::yield();
    }
}

bool PtyPair::write(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        if (master_ < 0)
            return false;
        const ssize_t put = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (put > 0) {
            done += static_cast<size_t>(put);
        } else if (put < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd pfd{master_, POLLOUT, 0};
            if (::poll(&pfd, 1, 1000) <= 0)
                return false;
        } else {
            return false;
        }
    }
    return true;
}

int PtyPair::slaveBaud() const {
    if (slave_ < 0)
        return 0;
    termios tio{};
    if (::tcgetattr(slave_, &tio) != 0)
        return 0;
    switch (::cfgetospeed(&tio)) {
    case B300: return 300;
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    default: break;
    }
    // Any other rate, as the driver keeps it (e.g. 125000 set through termios2).
    uint32_t output = 0;
    return readTermios2Speed(slave_, nullptr, &output) == 0 ? static_cast<int>(output) : 0;
}
