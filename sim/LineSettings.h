#pragma once
#include <cstdint>

// The board's E clock: every time inside the board is counted in cycles of it.
inline constexpr double kEClockHz = 2'000'000.0;

// Character format and rate of one end of a serial line.
struct LineSettings {
    enum class Parity : uint8_t { None, Odd, Even };

    uint32_t baud = 9600;
    uint8_t dataBits = 8; // 5..8
    Parity parity = Parity::None;
    uint8_t stopBits = 1; // 1 or 2

    // Length of one bit in E cycles.
    double bitCycles() const { return kEClockHz / double(baud ? baud : 1); }
    // Bits in one character: start, data, parity, stop.
    int frameBits() const { return 1 + dataBits + (parity != Parity::None ? 1 : 0) + stopBits; }
    bool operator==(const LineSettings&) const = default;
};
