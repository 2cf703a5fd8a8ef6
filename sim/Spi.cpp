#include "sim/Spi.h"

namespace {
constexpr uint64_t kBitCycles[4] = {2, 4, 16, 32}; // SPR1:SPR0
}

void Spi::reset() {
    spcr_ = 0x04; // CPHA out of reset
    spsr_ = 0;
    armed_ = 0;
    busy_ = false;
    modfArmed_ = false;
    slaveBusy_ = false;
    slaveQueue_.clear();
}

void Spi::checkModeFault() {
    if ((spcr_ & (kSpe | kMstr)) == (kSpe | kMstr) && ssInput_ && !ssHigh_) {
        spsr_ |= kModf;
        spcr_ = uint8_t(spcr_ & ~(kSpe | kMstr));
        busy_ = false;
    }
}

void Spi::setSs(bool high, bool input, uint64_t now) {
    advance(now);
    ssHigh_ = high;
    ssInput_ = input;
    checkModeFault();
}

void Spi::deviceByte(uint8_t value, uint64_t at) {
    advance(at);
    if (!slave()) {
        miso_.push_back(value);
        return;
    }
    if (ssHigh_)
        return; // not selected
    slaveQueue_.push_back(value);
    if (!slaveBusy_) {
        slaveBusy_ = true;
        end_ = at + transferCycles();
    }
}

std::deque<uint8_t> Spi::takeSlaveSent() {
    std::deque<uint8_t> sent;
    sent.swap(slaveSent_);
    return sent;
}

uint64_t Spi::transferCycles() const { return 8 * kBitCycles[spcr_ & 3]; }

void Spi::advance(uint64_t now) {
    while (slaveBusy_ && now >= end_) {
        slaveSent_.push_back(spdr_);
        if (!(spsr_ & kSpif))
            spdr_ = slaveQueue_.front();
        slaveQueue_.pop_front();
        spsr_ |= kSpif;
        slaveBusy_ = !slaveQueue_.empty();
        if (slaveBusy_)
            end_ += transferCycles();
    }
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
    case kSpsr:
        armed_ = uint8_t(spsr_ & (kSpif | kWcol));
        modfArmed_ = spsr_ & kModf;
        return spsr_;
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
        if (modfArmed_)
            spsr_ = uint8_t(spsr_ & ~kModf);
        modfArmed_ = false;
        spcr_ = value;
        if (!(spcr_ & kSpe))
            busy_ = slaveBusy_ = false;
        if (!slave()) {
            slaveBusy_ = false;
            slaveQueue_.clear();
        }
        checkModeFault();
        break;
    case kSpsr: break; // read-only
    default:
        afterSpdrAccess();
        if (busy_ || slaveBusy_) {
            spsr_ |= kWcol;
        } else if (slave()) {
            spdr_ = value; // goes back to the master at its next transfer
        } else if ((spcr_ & (kSpe | kMstr)) == (kSpe | kMstr)) {
            busy_ = true;
            end_ = now + transferCycles();
        }
        break;
    }
}
