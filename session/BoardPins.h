#pragma once
#include "sim/Board.h"
#include <cstdint>
#include <vector>

class VirtualBoard;

// One port of the board as a front end shows it: eight pins, bit n being pin n.
struct PortPins {
    char port;        // 'A', ...
    uint8_t levels;   // the pins' levels now
    uint8_t outputs;  // the pins the chip drives now
    uint8_t drivable; // the pins that take a level from outside now (the inputs the board models)
};

// What became of a request to drive a pin.
enum class PinChange : uint8_t {
    Done,
    NoBoard,     // the session runs no virtual board
    NoSuchPin,   // no such port, bit or analog channel
    NotAnInput,  // the chip drives the pin now (an output)
};

// The pins of the session's in-process virtual board, for a front end's panel: the levels the
// board shows and the inputs it takes, read and changed from the front end's thread (the board's
// own thread applies the changes between two runs of the board, so a running program is not
// slowed). Without a board every read shows the idle levels and every change is refused.
class BoardPins {
public:
    // VRH and VRL of the board's A/D converter: an analog input of VRH reads $FF.
    static constexpr double kVrh = 5.0, kVrl = 0.0;

    explicit BoardPins(VirtualBoard* board = nullptr) : board_(board) {}

    // True when the session runs a virtual board.
    bool available() const { return board_ != nullptr; }
    // Every modelled pin's level and direction now.
    PinState state() const;
    // The board's digital ports in the order a panel shows them.
    static std::vector<PortPins> ports(const PinState& state);

    // Drives port pin P<port><bit> (an input now) to level.
    PinChange setPortPin(char port, int bit, bool level);
    // Drives the IRQ or XIRQ pin (true = high, the idle level).
    PinChange setIrq(bool high);
    PinChange setXirq(bool high);
    // Sets analog input PE<channel> (0-7) as an 8-bit value (0 = VRL, 255 = VRH).
    PinChange setAnalog(int channel, uint8_t value);

    // The 8-bit value of an input voltage (clamped to VRL..VRH, rounded to the nearest step).
    static uint8_t analogFromVolts(double volts);
    // The voltage an 8-bit value stands for.
    static double voltsOfAnalog(uint8_t value);

private:
    VirtualBoard* board_;
};
