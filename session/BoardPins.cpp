#include "session/BoardPins.h"
#include "sim/PinNames.h"
#include "sim/VirtualBoard.h"
#include <algorithm>
#include <cmath>

namespace {

// Drives one pin or analog input now, through the board's own pin model.
PinChange drive(VirtualBoard& board, PinDrive kind, PinName pin, uint8_t value)
{
    PinSetting setting;
    setting.events.push_back(PinEvent{0, kind, pin, value});
    return board.drivePin(setting) ? PinChange::Done : PinChange::NoBoard;
}

} // namespace

PinState BoardPins::state() const { return board_ ? board_->pinState() : PinState{}; }

std::vector<PortPins> BoardPins::ports(const PinState& state) {
    // Port A: PA4-PA6 are outputs only; the others take a level while they are inputs. Port B is
    // an output port. In the expanded modes B and C carry the bus and take nothing from outside.
    const uint8_t aInputs = uint8_t(~state.portAOutputs & ~0x70);
    std::vector<PortPins> all{{'A', state.portA, state.portAOutputs, aInputs}};
    if (!state.portsAreBus) {
        all.push_back({'B', state.portB, state.portBOutputs, 0});
        all.push_back({'C', state.portC, state.portCOutputs, uint8_t(~state.portCOutputs)});
    }
    all.push_back({'D', uint8_t(state.portD & 0x3F), uint8_t(state.portDOutputs & 0x3F),
                   uint8_t(~state.portDOutputs & 0x3F)});
    return all;
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
    const PinGroup group = port == 'A' ? PinGroup::PortA : port == 'C' ? PinGroup::PortC : PinGroup::PortD;
    return drive(*board_, PinDrive::Level, PinName{group, uint8_t(bit)}, level ? 1 : 0);
}

PinChange BoardPins::setIrq(bool high) {
    if (!board_)
        return PinChange::NoBoard;
    return drive(*board_, PinDrive::Level, PinName{PinGroup::Irq, 0}, high ? 1 : 0);
}

PinChange BoardPins::setXirq(bool high) {
    if (!board_)
        return PinChange::NoBoard;
    return drive(*board_, PinDrive::Level, PinName{PinGroup::Xirq, 0}, high ? 1 : 0);
}

PinChange BoardPins::setAnalog(int channel, uint8_t value) {
    if (!board_)
        return PinChange::NoBoard;
    if (channel < 0 || channel > 7)
        return PinChange::NoSuchPin;
    return drive(*board_, PinDrive::Analog, PinName{PinGroup::PortE, uint8_t(channel)}, value);
}

uint8_t BoardPins::analogFromVolts(double volts) {
    // The panel's sliders clamp where a typed voltage would be refused: the converter saturates.
    uint8_t value = 0;
    std::string ignored;
    if (voltsToValue(std::clamp(std::isnan(volts) ? kVrl : volts, kVrl, kVrh), AnalogReference{kVrl, kVrh},
                     &value, &ignored))
        return value;
    return 0;
}

double BoardPins::voltsOfAnalog(uint8_t value) { return kVrl + (kVrh - kVrl) * value / 255.0; }
