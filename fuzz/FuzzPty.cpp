#include "FuzzPty.h"

#include "link/Deadline.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

FuzzPty::FuzzPty() {
    termios raw{};
    ::cfmakeraw(&raw);
    raw.c_cflag |= CLOCAL | CREAD;
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

FuzzPty::~FuzzPty() {
    if (master_ >= 0)
        ::close(master_);
    if (slave_ >= 0)
        ::close(slave_);
}

bool FuzzPty::send(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    const Deadline giveUp = Deadline::afterMs(2000);
    while (done < bytes.size() && !giveUp.expired()) {
        const ssize_t put = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (put > 0) {
            done += static_cast<size_t>(put);
            continue;
        }
        if (put < 0 && errno != EINTR && errno != EAGAIN)
            return false;
        pollfd pfd{master_, POLLOUT, 0};
        ::poll(&pfd, 1, 10);
    }
    return done == bytes.size();
}

bool FuzzPty::awaitQueued(int hostFd, size_t count, int timeoutMs) {
    const Deadline giveUp = Deadline::afterMs(timeoutMs);
    for (;;) {
        int queued = 0;
        if (::ioctl(hostFd, FIONREAD, &queued) != 0)
            return false;
        if (static_cast<size_t>(queued) >= count)
            return true;
        if (giveUp.expired())
            return false;
        std::this_thread::yield();
    }
}

std::vector<uint8_t> FuzzPty::receive(size_t n, int timeoutMs) {
    std::vector<uint8_t> bytes(n);
    size_t got = 0;
    while (got < n) {
        const ssize_t put = ::read(master_, bytes.data() + got, n - got);
        if (put > 0) {
            got += static_cast<size_t>(put);
            continue;
        }
        if (put < 0 && errno == EINTR)
            continue;
        pollfd pfd{master_, POLLIN, 0};
        if (::poll(&pfd, 1, timeoutMs) <= 0)
            break;
    }
    bytes.resize(got);
    return bytes;
}

void FuzzPty::discard() {
    uint8_t chunk[1024];
    for (;;) {
        const ssize_t got = ::read(master_, chunk, sizeof chunk);
        if (got > 0 || (got < 0 && errno == EINTR))
            continue;
        break;
    }
}
