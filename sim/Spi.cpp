#include "sim/Spi.h"

namespace {
constexpr uint64_t kBitCycles[4] = {2, 4, 16, 32}; // SPR1:SPR0
}

void Spi::reset() {
    spcr_ = 0x04; // CPHA out of reset
    spsr_ = 0;
    armed_ = 0;
    busy_ = false;
}

uint64_t Spi::transferCycles() const { return 8 * kBitCycles[spcr_ & 3]; }

void Spi::advance(uint64_t now) {
    if (busy_ && now >= end_) {
        busy_ = false;
        spdr_ = 0xFF;
        if (!miso_.empty()) {
            spdr_ = miso_.front();
            miso_.pop_front();
        }
        spsr_ |= kSpif;
    }
}

void Spi::afterSpdrAccess() {
    spsr_ = uint8_t(spsr_ & ~armed_);
    armed_ = 0;
}

uint8_t Spi::read(uint8_t reg, uint64_t now) {
    advance(now);
    switch (reg) {
    case kSpcr: return spcr_;
    case kSpsr: armed_ = uint8_t(spsr_ & (kSpif | kWcol)); return spsr_;
    default: {
        const uint8_t v = spdr_;
        afterSpdrAccess();
        return v;
    }
    }
}

void Spi::write(uint8_t reg, uint8_t value, uint64_t now) {
    advance(now);
    switch (reg) {
    case kSpcr:
        spcr_ = value;
        if (!(spcr_ & kSpe))
            busy_ = false;
        break;
    case kSpsr: break; // read-only
    default:
        afterSpdrAccess();
        if (busy_) {
            spsr_ |= kWcol;
        } else if ((spcr_ & (kSpe | kMstr)) == (kSpe | kMstr)) {
            busy_ = true;
            end_ = now + transferCycles();
        }
        break;
    }
}
