#include "sim/Adc.h"

void Adc::reset(uint64_t now) {
    adctl_ = 0;
    for (uint8_t& r : adr_)
        r = 0;
    running_ = false;
    start_ = now;
    done_ = 0;
}

int Adc::channelOf(int conversion) const {
    if (adctl_ & kMult)
        return (adctl_ & 0x04) | conversion; // the group of CD:CC
    return adctl_ & 0x07;                   // CD is the test-channel bit; PE0-PE7 only
}

void Adc::catchUp(uint64_t now, bool powered) {
    if (!running_)
        return;
    uint64_t finished = (now - start_) / kConversionCycles;
    if (!(adctl_ & kScan) && finished > 4)
        finished = 4;
    // Only the last round of four matters for the registers; older ones were overwritten.
    uint64_t from = done_;
    if (finished > from + 4)
        from = finished - 4;
    for (uint64_t k = from; k < finished; ++k) {
        const int slot = int(k % 4);
        adr_[slot] = powered ? inputs_[channelOf(slot)] : 0;
    }
    done_ = finished;
    if (finished >= 4)
        adctl_ |= kCcf;
    if (!(adctl_ & kScan) && finished >= 4)
        running_ = false;
}

uint8_t Adc::read(uint8_t reg, uint64_t now, bool powered) {
    catchUp(now, powered);
    if (reg == kAdctl)
        return uint8_t(adctl_ & 0xBF);
    return adr_[reg - kAdr1];
}

void Adc::write(uint8_t reg, uint8_t value, uint64_t now, bool powered) {
    if (reg != kAdctl)
        return; // results are read-only
    catchUp(now, powered);
    adctl_ = uint8_t(value & 0x3F); // CCF clears; a new sequence starts
    running_ = true;
    start_ = now;
    done_ = 0;
}

void Adc::setInput(int channel, uint8_t value, uint64_t now, bool powered) {
    catchUp(now, powered);
    inputs_[channel & 7] = value;
}
