#include "session/BoardChannel.h"

#include "link/Deadline.h"
#include "sim/MemoryLine.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>

namespace {
// As the serial port: at most this much is taken by one read.
constexpr int kMaxReadChunk = 1024;

// Waits until fd polls readable or the time is up.
void pollReadable(int fd, std::chrono::microseconds wait) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
    const timespec slice{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    pollfd pfd{fd, POLLIN, 0};
    ::ppoll(&pfd, 1, &slice, nullptr);
}

LineSettings boardSettings(const SerialLineSettings& s) {
    LineSettings b;
    b.baud = s.baud;
    b.dataBits = s.dataBits;
    b.parity = s.parity == SerialLineSettings::Parity::Odd    ? LineSettings::Parity::Odd
               : s.parity == SerialLineSettings::Parity::Even ? LineSettings::Parity::Even
                                                               : LineSettings::Parity::None;
    b.stopBits = s.stopBits == SerialLineSettings::StopBits::One ? 1 : 2; // 1.5 goes out as 2
    return b;
}
} // namespace

BoardChannel::~BoardChannel() { close(); }

int BoardChannel::open(const std::string& modeText) {
    ModeText parsed;
    if (const int result = parseModeText(modeText, parsed))
        return result;
    if (open_)
        return EBUSY;
    settings_ = parsed.settings;
    if (!validSettings(settings_))
        return EINVAL;
    if (line_.hungUp())
        return EIO;
    publish();
    line_.hostDiscardInput();
    open_ = true;
    clock_ = line_.timeSource();
    if (clock_)
        clockBefore_ = Deadline::setTimeSource(clock_);
    return 0;
}

void BoardChannel::close() {
    if (clock_ && Deadline::timeSource() == clock_)
        Deadline::setTimeSource(clockBefore_);
    clock_ = clockBefore_ = nullptr;
    open_ = false;
}

bool BoardChannel::letBoardRun(std::chrono::microseconds wait) {
    // A board that stopped took its clock with it.
    if (!clock_ || line_.timeSource() != clock_)
        return false;
    clock_->advance(clock_->now() + std::max(wait, std::chrono::microseconds(0)),
                    [this] { return line_.hostQueued() > 0 || line_.hungUp(); });
    return true;
}

void BoardChannel::publish() { line_.setHostSettings(boardSettings(settings_)); }

int BoardChannel::read(uint8_t* buffer, int count) {
    if (!open_ || buffer == nullptr || count <= 0)
        return 0;
    if (line_.hostQueued() == 0 && !line_.hungUp() && !letBoardRun(std::chrono::milliseconds(std::max(readWaitMs, 0))))
        pollReadable(line_.hostReadinessFd(), std::chrono::milliseconds(std::max(readWaitMs, 0)));
    return static_cast<int>(line_.hostReceive(buffer, static_cast<size_t>(std::min(count, kMaxReadChunk))));
}

int BoardChannel::write(const uint8_t* buffer, int count) {
    if (!open_ || line_.hungUp())
        return 1;
    if (count == 0)
        return 0;
    if (count < 0 || buffer == nullptr)
        return 1;
    const Deadline lineFree(characterTime(count));
    line_.hostSend(buffer, static_cast<size_t>(count));
    lineFree.sleepUntil();
    return line_.hungUp() ? 1 : 0;
}

bool BoardChannel::inputWithin(std::chrono::microseconds wait) {
    if (!open_)
        return false;
    if (letBoardRun(wait))
        return !line_.hungUp() && line_.hostQueued() > 0;
    const Deadline deadline(wait);
    for (;;) {
        if (line_.hungUp())
            return false;
        if (line_.hostQueued() > 0)
            return true;
        if (deadline.expired())
            return false;
        pollReadable(line_.hostReadinessFd(),
                     std::chrono::ceil<std::chrono::microseconds>(deadline.remaining()));
    }
}

bool BoardChannel::hasInput() { return open_ && !line_.hungUp() && line_.hostQueued() > 0; }

bool BoardChannel::lineLost() { return open_ && line_.hungUp(); }

int BoardChannel::setLineSettings(const SerialLineSettings& settings) {
    if (!open_)
        return EBADF;
    if (!validSettings(settings))
        return EINVAL;
    settings_ = settings;
    publish();
    return 0;
}

int BoardChannel::readinessDescriptor() const { return open_ ? line_.hostReadinessFd() : -1; }
