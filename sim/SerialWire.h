#pragma once
#include "sim/LineSettings.h"
#include <cstdint>
#include <deque>
#include <optional>

// One direction of a serial line as a waveform in board time (E cycles): the characters a
// transmitter has put on it, each a run of bit levels of its own bit length. A receiver samples
// the levels at its own rate, so a character sent at a different rate arrives garbled, as on a
// real line. The line idles at the mark level (1) between characters.
class SerialWire {
public:
    // One character on the wire.
    struct Frame {
        double start = 0;     // E cycle of the leading edge of the start bit
        double bitCycles = 0; // length of each bit
        uint16_t levels = 0;  // bit i is the level of bit i, bit 0 the start bit
        uint8_t count = 0;    // number of bits
        double end() const { return start + bitCycles * count; }
    };

    // Queues a character sent with the given settings; it starts when the wire is free, not before `now`.
    // Returns the time its last stop bit ends.
    double send(uint8_t value, const LineSettings& settings, double now);
    // Queues a raw frame; its start is moved to when the wire is free, not before frame.start.
    double sendFrame(Frame frame);
    // The level of the line at time t (true = mark).
    bool levelAt(double t) const;
    // The first falling (mark to space) edge at or after `from`, if any character queued so far has one.
    std::optional<double> nextFallingEdge(double from) const;
    // Forgets characters that ended before t.
    void discardBefore(double t);
    // When the last queued character ends (0 when nothing was ever queued).
    double busyUntil() const { return busyUntil_; }
    // Number of characters still held.
    size_t size() const { return frames_.size(); }

    // The frame of one character: start bit, data bits LSB first, parity, stop bits.
    static Frame makeFrame(uint8_t value, const LineSettings& settings);

private:
    std::deque<Frame> frames_;
    double busyUntil_ = 0;
};
