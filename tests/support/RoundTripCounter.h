#pragma once
// A byte channel that passes everything on to another and counts round trips: each time the
// host, having sent something, waits for a reply before it sends more. Behind a USB-serial
// adapter's latency timer every round trip costs up to one timer period.
#include "link/ByteChannel.h"

#include <cstdint>

class RoundTripCounter : public ByteChannel {
public:
    explicit RoundTripCounter(ByteChannel& inner) : inner_(inner) {}

    // Round trips since the last reset.
    uint64_t roundTrips() const { return roundTrips_; }
    void reset() { roundTrips_ = 0; sent_ = false; }

    int open(const std::string& modeText) override { return inner_.open(modeText); }
    void close() override { inner_.close(); }
    bool isOpen() const override { return inner_.isOpen(); }
    int read(uint8_t* buffer, int count) override
    {
        if (sent_) {
            ++roundTrips_;
            sent_ = false;
        }
        inner_.readWaitMs = readWaitMs;
        return inner_.read(buffer, count);
    }
    int write(const uint8_t* buffer, int count) override
    {
        sent_ = true;
        return inner_.write(buffer, count);
    }
    bool inputWithin(std::chrono::microseconds wait) override { return inner_.inputWithin(wait); }
    bool hasInput() override { return inner_.hasInput(); }
    bool lineLost() override { return inner_.lineLost(); }
    SerialLineSettings lineSettings() const override { return inner_.lineSettings(); }
    int setLineSettings(const SerialLineSettings& settings) override { return inner_.setLineSettings(settings); }
    int readinessDescriptor() const override { return inner_.readinessDescriptor(); }

private:
    ByteChannel& inner_;
    uint64_t roundTrips_ = 0;
    bool sent_ = false;
};
