#include "session/SessionChannel.h"

#include "session/BoardChannel.h"
#include "link/Deadline.h"

#include <algorithm>

SessionChannel::SessionChannel(SerialPort& serial) : serial_(serial), active_(&serial) {}

SessionChannel::~SessionChannel() = default;

void SessionChannel::setBoardLine(MemoryLine* line) {
    if (onBoardLine()) {
        active_->close();
        active_ = &serial_;
    }
    board_ = line ? std::make_unique<BoardChannel>(*line) : nullptr;
}

int SessionChannel::open(const std::string& modeText) {
    // An open line answers for itself (it stays open and unchanged).
    if (active_->isOpen())
        return active_->open(modeText);
    active_ = &serial_;
    if (board_) {
        ModeText parsed;
        parseModeText(modeText, parsed);
        if (parsed.portName == kBoardPortName ||
            SerialPort::resolvePortName(parsed.portName, serial_.ports) == kBoardPortName)
            active_ = board_.get();
    }
    readWaitMs = serial_.readWaitMs;
    return active_->open(modeText);
}

void SessionChannel::setReadWait(int ms) {
    serial_.readWaitMs = ms;
    readWaitMs = ms;
}

int SessionChannel::read(uint8_t* buffer, int count) {
    readWaitMs = serial_.readWaitMs; // what the link reads of the channel's wait follows the port's
    active_->readWaitMs = serial_.readWaitMs;
    // With a hook, the one read wait is taken in slices; the read itself then finds input queued.
    keepAlive();
    if (waitHook_ && count > 0 && !active_->hasInput() &&
        !inputWithin(std::chrono::milliseconds(readWaitMs > 0 ? readWaitMs : 0)))
        return 0;
    return active_->read(buffer, count);
}

bool SessionChannel::inputWithin(std::chrono::microseconds wait) {
    if (!waitHook_)
        return active_->inputWithin(wait);
    const Deadline deadline(wait);
    for (;;) {
        keepAlive();
        const auto left = std::chrono::ceil<std::chrono::microseconds>(deadline.remaining());
        if (active_->inputWithin(std::min<std::chrono::microseconds>(left, kWaitSlice)))
            return true;
        if (deadline.expired() || !active_->isOpen())
            return false;
    }
}

int SessionChannel::write(const uint8_t* buffer, int count) {
    keepAlive();
    return active_->write(buffer, count);
}

void SessionChannel::setWaitHook(std::function<void()> hook) {
    waitHook_ = std::move(hook);
    lastHook_ = std::chrono::steady_clock::now();
}

void SessionChannel::keepAlive() {
    if (!waitHook_)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastHook_ < kWaitSlice)
        return;
    lastHook_ = now;
    waitHook_();
}
