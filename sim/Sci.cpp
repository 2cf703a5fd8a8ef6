#include "sim/Sci.h"
#include <algorithm>
#include <cmath>

namespace {
constexpr uint32_t kPrescale[4] = {1, 3, 4, 13};

uint64_t ceilTime(double t) { return t <= 0 ? 0 : uint64_t(std::ceil(t)); }
} // namespace

Sci::Sci(SerialWire& rxWire) : wire_(rxWire) {}

void Sci::reset(uint64_t now) {
    baud_ = sccr1_ = sccr2_ = 0;
    scsr_ = kTdre | kTc;
    rdr_ = tdr_ = 0;
    armedRx_ = armedTx_ = 0;
    txBusy_ = txData_ = false;
    transmitted_.clear();
    searchFrom_ = double(now);
    rxEdge_ = -1;
    idleArmed_ = false;
    refresh();
}

uint32_t Sci::bitCycles() const { return 16 * kPrescale[(baud_ >> 4) & 3] * (1u << (baud_ & 7)); }

bool Sci::interruptRequested() const {
    return ((scsr_ & kTdre) && (sccr2_ & kTie)) || ((scsr_ & kTc) && (sccr2_ & kTcie)) ||
           ((scsr_ & (kRdrf | kOr)) && (sccr2_ & kRie)) || ((scsr_ & kIdle) && (sccr2_ & kIlie));
}

uint8_t Sci::read(uint8_t reg, uint64_t now) {
    if (now >= nextEvent_)
        advance(now);
    switch (reg) {
    case kBaud: return baud_;
    case kSccr1: return sccr1_;
    case kSccr2: return sccr2_;
    case kScsr:
        armedRx_ = scsr_ & (kRdrf | kIdle | kOr | kNf | kFe);
        armedTx_ = scsr_ & (kTdre | kTc);
        return scsr_;
    case kScdr:
        // Clears the receive flags that the preceding SCSR read found set.
        scsr_ = uint8_t(scsr_ & ~armedRx_);
        armedRx_ = 0;
        return rdr_;
    default: return 0;
    }
}

void Sci::write(uint8_t reg, uint8_t value, uint64_t now) {
    if (now >= nextEvent_)
        advance(now);
    switch (reg) {
    case kBaud: baud_ = uint8_t(value & 0xBF); break;
    case kSccr1: sccr1_ = uint8_t((sccr1_ & kR8) | (value & (kT8 | kM | kWake))); break;
    case kSccr2: {
        const uint8_t old = sccr2_;
        sccr2_ = value;
        if ((value & kTe) && !(old & kTe) && !txBusy_) {
            // Preamble: one idle character before anything else.
            txBusy_ = true;
            txData_ = false;
            txBit_ = bitCycles();
            txEnd_ = now + uint64_t(frameBits()) * bitCycles();
        }
        if ((value & kRe) && !(old & kRe)) {
            searchFrom_ = double(now);
            rxEdge_ = -1;
            idleArmed_ = false;
        }
        break;
    }
    case kScsr: break; // read-only
    case kScdr:
        tdr_ = value;
        if (armedTx_ & kTdre) {
            scsr_ = uint8_t(scsr_ & ~(kTdre | kTc));
            if ((sccr2_ & kTe) && !txBusy_)
                startTransmitter(now);
        }
        armedTx_ = 0;
        break;
    default: break;
    }
    refresh();
}

// Moves TDR into the shift register if it holds a character and the transmitter may run.
void Sci::startTransmitter(uint64_t at) {
    if (!(sccr2_ & kTe) || (scsr_ & kTdre)) {
        scsr_ |= kTc;
        return;
    }
    txBusy_ = true;
    txData_ = true;
    txValue_ = tdr_;
    txNinth_ = sccr1_ & kT8;
    txBit_ = bitCycles();
    txEnd_ = at + uint64_t(frameBits()) * bitCycles();
    scsr_ |= kTdre;
}

void Sci::finishTransmit() {
    txBusy_ = false;
    if (txData_)
        transmitted_.push_back({txValue_, txNinth_, bool(sccr1_ & kM), txBit_, txEnd_});
    startTransmitter(txEnd_);
}

void Sci::completeReceive(double stopSample) {
    const double bit = rxBit_;
    const double edge = rxEdge_;
    rxEdge_ = -1;
    if (wire_.levelAt(edge + 0.5 * bit)) {
        searchFrom_ = edge + 0.5 * bit; // too short to be a start bit
        return;
    }
    const bool nine = sccr1_ & kM;
    uint16_t data = 0;
    for (int i = 0; i < (nine ? 9 : 8); ++i)
        if (wire_.levelAt(edge + (i + 1.5) * bit))
            data = uint16_t(data | 1u << i);
    const bool stopOk = wire_.levelAt(stopSample);
    searchFrom_ = stopSample;
    idleArmed_ = true;
    idleDeadline_ = stopSample + (0.5 + frameBits()) * bit;

    if (sccr2_ & kRwu) {
        const bool addressMark = nine ? (data & 0x100) : (data & 0x80);
        if (!(sccr1_ & kWake) || !addressMark)
            return; // asleep: the character sets no flags
        sccr2_ = uint8_t(sccr2_ & ~kRwu);
    }
    if (scsr_ & kRdrf) {
        scsr_ |= kOr; // the new character is lost, RDR keeps the old one
        return;
    }
    rdr_ = uint8_t(data);
    sccr1_ = uint8_t(nine && (data & 0x100) ? (sccr1_ | kR8) : (sccr1_ & ~kR8));
    scsr_ = uint8_t(scsr_ | kRdrf | (stopOk ? 0 : kFe));
}

void Sci::advance(uint64_t now) {
    const double t = double(now);
    for (;;) {
        bool progress = false;
        if (txBusy_ && txEnd_ <= now) {
            finishTransmit();
            progress = true;
        }
        if (sccr2_ & kRe) {
            if (rxEdge_ < 0) {
                const auto edge = wire_.nextFallingEdge(searchFrom_);
                if (idleArmed_ && idleDeadline_ <= std::min(edge ? *edge : t, t)) {
                    // A whole character time of idle line after the last character.
                    idleArmed_ = false;
                    if (!(sccr2_ & kRwu))
                        scsr_ |= kIdle;
                    else if (!(sccr1_ & kWake))
                        sccr2_ = uint8_t(sccr2_ & ~kRwu); // idle-line wake-up
                    progress = true;
                }
                if (edge && *edge <= t) {
                    rxEdge_ = *edge;
                    rxBit_ = bitCycles();
                }
            }
            if (rxEdge_ >= 0) {
                const double stopSample = rxEdge_ + (frameBits() - 0.5) * rxBit_;
                if (stopSample <= t) {
                    completeReceive(stopSample);
                    progress = true;
                }
            }
        } else {
            searchFrom_ = t;
            rxEdge_ = -1;
        }
        if (!progress)
            break;
    }
    wire_.discardBefore(std::min(rxEdge_ >= 0 ? rxEdge_ : searchFrom_, t) - 1);
    refresh();
}

void Sci::refresh() {
    uint64_t next = kNever;
    if (txBusy_)
        next = txEnd_;
    if (sccr2_ & kRe) {
        double edge = rxEdge_, bit = rxBit_;
        if (edge < 0) {
            bit = bitCycles();
            if (auto e = wire_.nextFallingEdge(searchFrom_))
                edge = *e;
        }
        if (edge >= 0)
            next = std::min(next, ceilTime(edge + (frameBits() - 0.5) * bit));
        if (idleArmed_)
            next = std::min(next, ceilTime(idleDeadline_));
    }
    nextEvent_ = next;
}

std::vector<Sci::TxCharacter> Sci::takeTransmitted() {
    std::vector<TxCharacter> out;
    out.swap(transmitted_);
    return out;
}
