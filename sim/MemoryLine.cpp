#include "sim/MemoryLine.h"
#include <sys/eventfd.h>
#include <unistd.h>

MemoryLine::MemoryLine()
    : boardEvent_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), hostEvent_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

MemoryLine::~MemoryLine() {
    if (boardEvent_ >= 0)
        ::close(boardEvent_);
    if (hostEvent_ >= 0)
        ::close(hostEvent_);
}

void MemoryLine::signal(int fd) {
    const uint64_t one = 1;
    if (fd >= 0)
        [[maybe_unused]] const ssize_t n = ::write(fd, &one, sizeof one);
}

void MemoryLine::clear(int fd) {
    uint64_t count = 0;
    if (fd >= 0)
        [[maybe_unused]] const ssize_t n = ::read(fd, &count, sizeof count);
}

LineSettings MemoryLine::hostSettings() const {
    std::lock_guard lock(mutex_);
    return host_;
}

size_t MemoryLine::read(uint8_t* buffer, size_t capacity, LineSettings* sentWith) {
    std::lock_guard lock(mutex_);
    if (toBoard_.empty())
        return 0;
    // One call returns bytes of one setting only, so each keeps the rate it was sent at.
    const LineSettings first = toBoard_.front().settings;
    size_t n = 0;
    while (n < capacity && !toBoard_.empty() && toBoard_.front().settings == first) {
        buffer[n++] = toBoard_.front().byte;
        toBoard_.pop_front();
    }
    if (toBoard_.empty())
        clear(boardEvent_);
    if (sentWith)
        *sentWith = first;
    return n;
}

bool MemoryLine::write(uint8_t byte) {
    std::lock_guard lock(mutex_);
    if (hungUp_ || toHost_.size() >= kHostQueueLimit)
        return false;
    toHost_.push_back(byte);
    signal(hostEvent_);
    return true;
}

void MemoryLine::setHostSettings(const LineSettings& settings) {
    std::lock_guard lock(mutex_);
    host_ = settings;
}

void MemoryLine::hostSend(const uint8_t* bytes, size_t count) {
    std::lock_guard lock(mutex_);
    if (hungUp_ || count == 0)
        return;
    for (size_t i = 0; i < count; ++i)
        toBoard_.push_back({bytes[i], host_});
    sentSinceReceive_ = true;
    signal(boardEvent_);
}

size_t MemoryLine::hostReceive(uint8_t* buffer, size_t capacity) {
    std::lock_guard lock(mutex_);
    size_t n = 0;
    while (n < capacity && !toHost_.empty()) {
        buffer[n++] = toHost_.front();
        toHost_.pop_front();
    }
    if (toHost_.empty() && !hungUp_)
        clear(hostEvent_);
    if (n > 0 && sentSinceReceive_) {
        ++roundTrips_;
        sentSinceReceive_ = false;
    }
    return n;
}

uint64_t MemoryLine::hostRoundTrips() const {
    std::lock_guard lock(mutex_);
    return roundTrips_;
}

size_t MemoryLine::hostQueued() const {
    std::lock_guard lock(mutex_);
    return toHost_.size();
}

void MemoryLine::hostDiscardInput() {
    std::lock_guard lock(mutex_);
    toHost_.clear();
    if (!hungUp_)
        clear(hostEvent_);
}

void MemoryLine::hangUp() {
    std::lock_guard lock(mutex_);
    hungUp_ = true;
    signal(hostEvent_); // stays readable, as a hung-up terminal polls
}

bool MemoryLine::hungUp() const {
    std::lock_guard lock(mutex_);
    return hungUp_;
}

void MemoryLine::reopen() {
    std::lock_guard lock(mutex_);
    hungUp_ = false;
    toBoard_.clear();
    toHost_.clear();
    clear(boardEvent_);
    clear(hostEvent_);
}
