#include "session/SessionChannel.h"

#include "session/BoardChannel.h"

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
    return active_->read(buffer, count);
}
