#pragma once
#include <cstdint>

// The main timer system with port A: TCNT and its prescaler, output compares OC1-OC5 with their
// port A pin actions, input captures IC1-IC3 (and IC4 on the E-series), the real-time interrupt
// and the pulse accumulator. Registers $1000 (PORTA) and $100B-$1027. All times are E cycles.
//
// The timer keeps no per-cycle state: everything follows from the board time, and advance()
// catches up with every event (compare match, overflow, RTI tick, gated count) in time order.
// nextEventTime() names only the events that would raise an interrupt not yet pending, so a
// program with its timer interrupts off costs nothing between its register accesses.
//
// Behaviour chosen where the chip leaves room:
// - TCNT counts from $0000 at reset, one count every 1, 4, 8 or 16 E cycles (PR1:PR0). A change of
//   the prescaler takes effect from the write: the next count comes one new period later.
// - A register read or write takes place at the start of its instruction's time (the board's
//   clock advances when the instruction has finished). Reading TCNT's high byte latches the low
//   byte for a read of $100F within the same instruction (LDD TCNT); a later LDAB $100F reads
//   the counter again.
// - An output compare matches when TCNT becomes TOCx. When OC1 and another compare act on the same
//   pin at the same count, OC1's action wins. Writes to PORTA do not reach a pin that an output
//   compare controls (TCTL1 non-zero for OC2-OC5); OC1M pins still take PORTA writes.
// - Port A inputs (PA0-PA2, PA7 as input) are low until driven. PA3-PA6 (and PA7 as output) start
//   low. On the E-series PA3 is an input while DDRA3 is clear.
// - The RTI and the gated pulse accumulator's E/64 clock tap the E-clock divider, which runs from
//   reset: RTI ticks every 2^(13+RTR) E cycles counted from reset whatever RTR was before.
// - In gated mode PACNT counts each E/64 tick while PAI is at its active level; PAIF is set on the
//   trailing edge of the gate. In event mode PAIF and PACNT follow the chosen edge of PAI.
// - Input captures latch TCNT at the time the caller gives for the edge.
class Timer {
public:
    static constexpr uint64_t kNever = UINT64_MAX;
    // Register offsets within the register block.
    static constexpr uint8_t kPorta = 0x00, kCforc = 0x0B, kOc1m = 0x0C, kOc1d = 0x0D, kTcnt = 0x0E,
                             kTic1 = 0x10, kToc1 = 0x16, kToc5 = 0x1E, kTctl1 = 0x20, kTctl2 = 0x21,
                             kTmsk1 = 0x22, kTflg1 = 0x23, kTmsk2 = 0x24, kTflg2 = 0x25, kPactl = 0x26,
                             kPacnt = 0x27;
    // TFLG1/TMSK1 bits.
    static constexpr uint8_t kOc1f = 0x80, kOc5f = 0x08, kIc1f = 0x04, kIc2f = 0x02, kIc3f = 0x01;
    // TFLG2/TMSK2 bits.
    static constexpr uint8_t kTof = 0x80, kRtif = 0x40, kPaovf = 0x20, kPaif = 0x10;
    // PACTL bits.
    static constexpr uint8_t kDdra7 = 0x80, kPaen = 0x40, kPamod = 0x20, kPedge = 0x10, kDdra3 = 0x08,
                             kI4o5 = 0x04;

    // Resets every register; the counter and the divider chain start at `now`.
    void reset(uint64_t now, bool eSeries);
    // True for offsets this class answers (PORTA and $0B-$27).
    static bool owns(uint8_t reg) { return reg == kPorta || (reg >= kCforc && reg <= kPacnt); }
    // Register read, after catching up to `now`.
    uint8_t read(uint8_t reg, uint64_t now);
    // Register write after catching up to `now`; `prescalerWritable` says whether PR1:PR0 may change.
    void write(uint8_t reg, uint8_t value, uint64_t now, bool prescalerWritable);
    // Processes every event up to `now`.
    void advance(uint64_t now);
    // The next time at which an event would raise an interrupt, kNever when none can.
    uint64_t nextEventTime() const { return nextIrq_; }
    // TFLG1 & TMSK1: the pending output compare and input capture interrupts.
    uint8_t requests1() const { return tflg1_ & tmsk1_; }
    // TFLG2 & TMSK2 (upper four bits): TOF, RTI, PAOV and PAI interrupts pending.
    uint8_t requests2() const { return uint8_t(tflg2_ & tmsk2_ & 0xF0); }

    // Drives the input pin PA`bit` from outside at time `at` (>= the last time given); pins that
    // are outputs keep the level their driver gives, the edge still reaching nothing.
    void setInput(int bit, bool level, uint64_t at);
    // Port A pin levels as they are now (after advance()).
    uint8_t pins() const { return pins_; }
    // Bits of port A that are outputs now.
    uint8_t outputMask() const;
    // TCNT at time `at` (no side effects).
    uint16_t counter(uint64_t at) const { return uint16_t(ticksAt(at)); }

private:
    uint64_t ticksAt(uint64_t t) const { return tickBase_ + ((t - timeBase_) >> shift_); }
    uint64_t timeOfTick(uint64_t k) const { return timeBase_ + ((k - tickBase_) << shift_); }
    unsigned rtiShift() const { return 13 + (pactl_ & 3); }
    // The first RTI tick after `t`.
    uint64_t nextRti(uint64_t t) const { return resetTime_ + ((((t - resetTime_) >> rtiShift()) + 1) << rtiShift()); }
    bool gated() const { return (pactl_ & (kPaen | kPamod)) == (kPaen | kPamod); }
    bool gateOpen() const;
    uint16_t toc(int i) const { return toc_[i]; }
    bool oc5Active() const { return !eSeries_ || !(pactl_ & kI4o5); }
    uint64_t nextMatch(int i) const;
    uint64_t nextGatedOverflow() const;
    void processAt(uint64_t t);
    void compareAction(int i);
    void applyPins(uint8_t levels, uint8_t mask, uint64_t t);
    void inputEdge(uint8_t before, uint8_t after, uint64_t t);
    void gatedCatchUp(uint64_t t);
    void reschedule();

    bool eSeries_ = false;
    uint64_t resetTime_ = 0;
    uint64_t done_ = 0; // everything up to here has been processed
    uint64_t tickBase_ = 0, timeBase_ = 0;
    unsigned shift_ = 0;
    uint64_t nextAny_ = kNever, nextIrq_ = kNever;
    uint64_t latchTime_ = kNever;
    uint8_t latchedLow_ = 0;

    uint8_t latch_ = 0;  // PORTA output data
    uint8_t inputs_ = 0; // levels driven from outside
    uint8_t pins_ = 0;   // resulting pin levels
    uint8_t oc1m_ = 0, oc1d_ = 0, tctl1_ = 0, tctl2_ = 0, tmsk1_ = 0, tflg1_ = 0, tmsk2_ = 0, tflg2_ = 0,
            pactl_ = 0;
    uint16_t toc_[5] = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
    uint16_t tic_[4] = {};
    uint8_t pacnt_ = 0;
    uint64_t gateSince_ = 0; // gated mode: PACNT is exact up to this time
};
