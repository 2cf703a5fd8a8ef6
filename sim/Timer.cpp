#include "sim/Timer.h"
#include <algorithm>
#include <iterator>

namespace {
constexpr unsigned kPrescaleShift[4] = {0, 2, 3, 4}; // E/1, E/4, E/8, E/16
constexpr uint64_t kGatedDivider = 64;
// OC2..OC5 (i = 1..4) drive PA6..PA3.
constexpr uint8_t ocPin(int i) { return uint8_t(0x80 >> i); }
} // namespace

void Timer::reset(uint64_t now, bool eSeries) {
    eSeries_ = eSeries;
    resetTime_ = done_ = timeBase_ = gateSince_ = now;
    tickBase_ = 0;
    shift_ = 0;
    latchTime_ = kNever;
    latch_ = 0;
    oc1m_ = oc1d_ = tctl1_ = tctl2_ = tmsk1_ = tflg1_ = tmsk2_ = tflg2_ = pactl_ = 0;
    std::fill(std::begin(toc_), std::end(toc_), uint16_t(0xFFFF));
    std::fill(std::begin(tic_), std::end(tic_), uint16_t(0));
    pacnt_ = 0;
    const uint8_t out = outputMask();
    pins_ = uint8_t((latch_ & out) | (inputs_ & ~out));
    reschedule();
}

uint8_t Timer::outputMask() const {
    uint8_t m = 0x70; // PA4-PA6 are always outputs
    if (!eSeries_ || (pactl_ & kDdra3))
        m |= 0x08;
    if (pactl_ & kDdra7)
        m |= 0x80;
    return m;
}

bool Timer::gateOpen() const {
    const bool high = pins_ & 0x80;
    return (pactl_ & kPedge) ? !high : high;
}

uint64_t Timer::nextMatch(int i) const {
    const uint64_t cur = ticksAt(done_);
    uint64_t k = (cur & ~uint64_t(0xFFFF)) | toc_[i];
    if (k <= cur)
        k += 0x10000;
    return timeOfTick(k);
}

uint64_t Timer::nextGatedOverflow() const {
    if (!gated() || !gateOpen())
        return kNever;
    const uint64_t tick = (gateSince_ - resetTime_) / kGatedDivider + (256 - pacnt_);
    return resetTime_ + tick * kGatedDivider;
}

void Timer::gatedCatchUp(uint64_t t) {
    if (t <= gateSince_)
        return;
    if (gated() && gateOpen()) {
        const uint64_t n = (t - resetTime_) / kGatedDivider - (gateSince_ - resetTime_) / kGatedDivider;
        if (pacnt_ + n > 0xFF)
            tflg2_ |= kPaovf;
        pacnt_ = uint8_t(pacnt_ + n);
    }
    gateSince_ = t;
}

void Timer::reschedule() {
    nextAny_ = nextIrq_ = kNever;
    auto consider = [&](uint64_t t, bool interrupts) {
        nextAny_ = std::min(nextAny_, t);
        if (interrupts)
            nextIrq_ = std::min(nextIrq_, t);
    };
    const int compares = oc5Active() ? 5 : 4;
    for (int i = 0; i < compares; ++i) {
        const uint8_t bit = uint8_t(kOc1f >> i);
        consider(nextMatch(i), (tmsk1_ & bit) && !(tflg1_ & bit));
    }
    const uint64_t cur = ticksAt(done_);
    consider(timeOfTick((cur | 0xFFFF) + 1), (tmsk2_ & kTof) && !(tflg2_ & kTof));
    consider(nextRti(done_), (tmsk2_ & kRtif) && !(tflg2_ & kRtif));
    consider(nextGatedOverflow(), (tmsk2_ & kPaovf) && !(tflg2_ & kPaovf));
}

void Timer::advance(uint64_t now) {
    while (nextAny_ <= now) {
        processAt(nextAny_);
        reschedule();
    }
    if (now > done_) {
        gatedCatchUp(now);
        done_ = now;
    }
}

void Timer::processAt(uint64_t t) {
    gatedCatchUp(t);
    const int compares = oc5Active() ? 5 : 4;
    bool matched[5] = {};
    for (int i = 0; i < compares; ++i)
        matched[i] = nextMatch(i) == t;
    const uint64_t cur = ticksAt(done_);
    const bool overflow = timeOfTick((cur | 0xFFFF) + 1) == t;
    const bool rti = nextRti(done_) == t;
    done_ = t;
    for (int i = compares - 1; i >= 0; --i) { // OC1 last: its action wins on a shared pin
        if (!matched[i])
            continue;
        tflg1_ |= uint8_t(kOc1f >> i);
        compareAction(i);
    }
    if (overflow)
        tflg2_ |= kTof;
    if (rti)
        tflg2_ |= kRtif;
}

void Timer::compareAction(int i) {
    if (i == 0) {
        applyPins(oc1d_, oc1m_, done_);
        return;
    }
    const uint8_t pin = ocPin(i);
    switch ((tctl1_ >> (2 * (4 - i))) & 3) {
    case 1: applyPins(uint8_t(latch_ ^ pin), pin, done_); break;
    case 2: applyPins(0, pin, done_); break;
    case 3: applyPins(pin, pin, done_); break;
    default: break;
    }
}

void Timer::applyPins(uint8_t levels, uint8_t mask, uint64_t t) {
    latch_ = uint8_t((latch_ & ~mask) | (levels & mask));
    const uint8_t before = pins_;
    const uint8_t out = outputMask();
    pins_ = uint8_t((latch_ & out) | (inputs_ & ~out));
    inputEdge(before, pins_, t);
}

void Timer::setInput(int bit, bool level, uint64_t at) {
    advance(at);
    at = std::max(at, done_);
    const uint8_t mask = uint8_t(1u << (bit & 7));
    inputs_ = uint8_t(level ? inputs_ | mask : inputs_ & ~mask);
    applyPins(latch_, 0, at);
    reschedule();
}

void Timer::inputEdge(uint8_t before, uint8_t after, uint64_t t) {
    const uint8_t rose = uint8_t(~before & after), fell = uint8_t(before & ~after);
    // Input captures: IC1 on PA2, IC2 on PA1, IC3 on PA0, IC4 on PA3 (E-series with I4/O5).
    struct Capture {
        uint8_t pin, flag;
        int edgeShift, reg;
    };
    const Capture captures[] = {{0x04, kIc1f, 4, 0}, {0x02, kIc2f, 2, 1}, {0x01, kIc3f, 0, 2}, {0x08, 0x08, 6, 3}};
    for (const Capture& c : captures) {
        if (c.reg == 3 && (!eSeries_ || !(pactl_ & kI4o5)))
            continue;
        const unsigned edges = (tctl2_ >> c.edgeShift) & 3; // 01 rising, 10 falling, 11 both
        if (((edges & 1) && (rose & c.pin)) || ((edges & 2) && (fell & c.pin))) {
            const uint16_t value = counter(t);
            if (c.reg == 3)
                toc_[4] = value;
            else
                tic_[c.reg] = value;
            tflg1_ |= c.flag;
        }
    }
    // Pulse accumulator input PA7, whatever drives it.
    if (!(pactl_ & kPaen) || !((rose | fell) & 0x80))
        return;
    const bool risingSelected = pactl_ & kPedge;
    const bool selectedEdge = risingSelected ? (rose & 0x80) : (fell & 0x80);
    if (pactl_ & kPamod) {
        // Gated: the count so far ran with the gate as it was; the trailing edge sets PAIF.
        gatedCatchUp(t);
        gateSince_ = t;
        if (selectedEdge)
            tflg2_ |= kPaif;
    } else if (selectedEdge) {
        if (pacnt_ == 0xFF)
            tflg2_ |= kPaovf;
        ++pacnt_;
        tflg2_ |= kPaif;
    }
}

uint8_t Timer::read(uint8_t reg, uint64_t now) {
    advance(now);
    switch (reg) {
    case kPorta: return pins_;
    case kCforc: return 0;
    case kOc1m: return oc1m_;
    case kOc1d: return oc1d_;
    case kTcnt: {
        const uint16_t c = counter(now);
        latchedLow_ = uint8_t(c);
        latchTime_ = now;
        return uint8_t(c >> 8);
    }
    case kTcnt + 1: return latchTime_ == now ? latchedLow_ : uint8_t(counter(now));
    case kTctl1: return tctl1_;
    case kTctl2: return tctl2_;
    case kTmsk1: return tmsk1_;
    case kTflg1: return tflg1_;
    case kTmsk2: return tmsk2_;
    case kTflg2: return tflg2_;
    case kPactl: return pactl_;
    case kPacnt: return pacnt_;
    default: break;
    }
    if (reg >= kTic1 && reg < kToc1) {
        const uint16_t v = tic_[(reg - kTic1) / 2];
        return (reg & 1) ? uint8_t(v) : uint8_t(v >> 8);
    }
    if (reg >= kToc1 && reg <= kToc5 + 1) {
        const uint16_t v = toc_[(reg - kToc1) / 2];
        return (reg & 1) ? uint8_t(v) : uint8_t(v >> 8);
    }
    return 0;
}

void Timer::write(uint8_t reg, uint8_t value, uint64_t now, bool prescalerWritable) {
    advance(now);
    switch (reg) {
    case kPorta: {
        uint8_t mask = outputMask();
        for (int i = 1; i < 5; ++i) // pins an output compare controls
            if ((tctl1_ >> (2 * (4 - i))) & 3)
                mask = uint8_t(mask & ~ocPin(i));
        applyPins(value, mask, now);
        break;
    }
    case kCforc:
        for (int i = 4; i >= 0; --i) // the action without the flag; OC1 last, as on a match
            if (value & (kOc1f >> i) && (i < 4 || oc5Active()))
                compareAction(i);
        break;
    case kOc1m: oc1m_ = uint8_t(value & 0xF8); break;
    case kOc1d: oc1d_ = uint8_t(value & 0xF8); break;
    case kTctl1: tctl1_ = value; break;
    case kTctl2: tctl2_ = eSeries_ ? value : uint8_t(value & 0x3F); break;
    case kTmsk1: tmsk1_ = value; break;
    case kTflg1: tflg1_ = uint8_t(tflg1_ & ~value); break;
    case kTmsk2: {
        uint8_t pr = uint8_t(tmsk2_ & 3);
        if (prescalerWritable && (value & 3) != pr) {
            tickBase_ = ticksAt(now);
            timeBase_ = now;
            pr = uint8_t(value & 3);
            shift_ = kPrescaleShift[pr];
        }
        tmsk2_ = uint8_t((value & 0xF0) | pr);
        break;
    }
    case kTflg2: tflg2_ = uint8_t(tflg2_ & ~(value & 0xF0)); break;
    case kPactl: {
        gatedCatchUp(now);
        gateSince_ = now;
        const uint8_t before = pins_;
        pactl_ = eSeries_ ? value : uint8_t(value & 0xF3);
        const uint8_t out = outputMask();
        pins_ = uint8_t((latch_ & out) | (inputs_ & ~out));
        inputEdge(before, pins_, now);
        break;
    }
    case kPacnt:
        gatedCatchUp(now);
        pacnt_ = value;
        break;
    default:
        if (reg >= kToc1 && reg <= kToc5 + 1) {
            uint16_t& v = toc_[(reg - kToc1) / 2];
            v = (reg & 1) ? uint16_t((v & 0xFF00) | value) : uint16_t((v & 0x00FF) | value << 8);
        }
        break; // TCNT and the capture registers are read-only
    }
    reschedule();
}
