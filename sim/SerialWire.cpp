#include "sim/SerialWire.h"
#include <algorithm>
#include <bit>

SerialWire::Frame SerialWire::makeFrame(uint8_t value, const LineSettings& s) {
    Frame f;
    f.bitCycles = s.bitCycles();
    const int dataBits = std::clamp<int>(s.dataBits, 5, 8);
    const uint16_t data = uint16_t(value & ((1u << dataBits) - 1));
    uint16_t levels = uint16_t(data << 1); // start bit 0
    int n = 1 + dataBits;
    if (s.parity != LineSettings::Parity::None) {
        const bool odd = std::popcount(data) & 1;
        const bool bit = s.parity == LineSettings::Parity::Even ? odd : !odd;
        levels = uint16_t(levels | (bit ? 1u << n : 0u));
        ++n;
    }
    for (int i = 0; i < (s.stopBits >= 2 ? 2 : 1); ++i)
        levels = uint16_t(levels | 1u << n++);
    f.levels = levels;
    f.count = uint8_t(n);
    return f;
}

double SerialWire::send(uint8_t value, const LineSettings& settings, double now) {
    Frame f = makeFrame(value, settings);
    f.start = now;
    return sendFrame(f);
}

double SerialWire::sendFrame(Frame frame) {
    frame.start = std::max(frame.start, busyUntil_);
    busyUntil_ = frame.end();
    frames_.push_back(frame);
    return busyUntil_;
}

bool SerialWire::levelAt(double t) const {
    for (const Frame& f : frames_) {
        if (t < f.start)
            return true;
        if (t < f.end()) {
            const int i = std::min<int>(int((t - f.start) / f.bitCycles), f.count - 1);
            return (f.levels >> i) & 1;
        }
    }
    return true;
}

std::optional<double> SerialWire::nextFallingEdge(double from) const {
    bool previous = true; // level before the first frame held (idle or a stop bit)
    double previousEnd = -1;
    for (const Frame& f : frames_) {
        if (f.start > previousEnd)
            previous = true; // a gap of idle line
        if (f.end() > from) {
            for (int i = 0; i < f.count; ++i) {
                const bool level = (f.levels >> i) & 1;
                const double t = f.start + i * f.bitCycles;
                if (previous && !level && t >= from)
                    return t;
                previous = level;
            }
        } else {
            previous = (f.levels >> (f.count - 1)) & 1;
        }
        previousEnd = f.end();
    }
    return std::nullopt;
}

void SerialWire::discardBefore(double t) {
    while (!frames_.empty() && frames_.front().end() < t)
        frames_.pop_front();
}
