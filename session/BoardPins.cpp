#include "session/BoardPins.h"
#include "sim/VirtualBoard.h"
#include <algorithm>
#include <cmath>

PinState BoardPins::state() const { return board_ ? board_->pinState() : PinState{}; }

std::vector<PortPins> BoardPins::ports(const PinState& state) {
    // Port A: every pin that is not an output now is an input (PA0-PA2 always, PA3 and PA7 as
    // their direction bits say).
    return {{'A', state.portA, state.portAOutputs, uint8_t(~state.portAOutputs)}};
}

PinChange BoardPins::setPortPin(char port, int bit, bool level) {
    if (!board_)
        return PinChange::NoBoard;
    if (bit < 0 || bit > 7)
        return PinChange::NoSuchPin;
    const std::vector<PortPins> all = ports(board_->pinState());
    const auto it = std::find_if(all.begin(), all.end(), [port](const PortPins& p) { return p.port == port; });
    if (it == all.end())
        return PinChange::NoSuchPin;
    if (!(it->drivable & (1u << bit)))
        return PinChange::NotAnInput;
    board_->changePins([bit, level](Board& b) { b.setPortAInput(bit, level); });
    return PinChange::Done;
}

PinChange BoardPins::setIrq(bool high) {
    if (!board_)
        return PinChange::NoBoard;
    board_->changePins([high](Board& b) { b.setIrqPin(high); });
    return PinChange::Done;
}

PinChange BoardPins::setXirq(bool high) {
    if (!board_)
        return PinChange::NoBoard;
    board_->changePins([high](Board& b) { b.setXirqPin(high); });
    return PinChange::Done;
}

PinChange BoardPins::setAnalog(int channel, uint8_t value) {
    if (!board_)
        return PinChange::NoBoard;
    if (channel < 0 || channel > 7)
        return PinChange::NoSuchPin;
    board_->changePins([channel, value](Board& b) { b.setAnalogInput(channel, value); });
    return PinChange::Done;
}

uint8_t BoardPins::analogFromVolts(double volts) {
    if (!(volts > kVrl)) // NaN too
        return 0;
    return uint8_t(std::lround(std::min(1.0, (volts - kVrl) / (kVrh - kVrl)) * 255));
}

double BoardPins::voltsOfAnalog(uint8_t value) { return kVrl + (kVrh - kVrl) * value / 255.0; }
