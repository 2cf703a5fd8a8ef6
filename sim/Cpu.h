#pragma once
#include "sim/Bus.h"
#include <cstdint>

// Execution state of the core; STOP, WAI and an illegal opcode are states, not exceptions.
enum class CpuState : uint8_t {
    Running,
    Waiting,  // after WAI: registers stacked, waiting for an interrupt
    Stopped,  // after STOP with S clear: waiting for RESET, IRQ or XIRQ
    TestLoop, // TEST ($00) in special test mode: runs forever, address bus counting
};

// Normal-mode vector addresses.
namespace Vec {
inline constexpr uint16_t kSci = 0xFFD6;
inline constexpr uint16_t kSpi = 0xFFD8;
inline constexpr uint16_t kPaie = 0xFFDA;
inline constexpr uint16_t kPaov = 0xFFDC;
inline constexpr uint16_t kTof = 0xFFDE;
inline constexpr uint16_t kToc5 = 0xFFE0;
inline constexpr uint16_t kToc4 = 0xFFE2;
inline constexpr uint16_t kToc3 = 0xFFE4;
inline constexpr uint16_t kToc2 = 0xFFE6;
inline constexpr uint16_t kToc1 = 0xFFE8;
inline constexpr uint16_t kTic3 = 0xFFEA;
inline constexpr uint16_t kTic2 = 0xFFEC;
inline constexpr uint16_t kTic1 = 0xFFEE;
inline constexpr uint16_t kRti = 0xFFF0;
inline constexpr uint16_t kIrq = 0xFFF2;
inline constexpr uint16_t kXirq = 0xFFF4;
inline constexpr uint16_t kSwi = 0xFFF6;
inline constexpr uint16_t kIllegal = 0xFFF8;
inline constexpr uint16_t kCop = 0xFFFA;
inline constexpr uint16_t kClockMonitor = 0xFFFC;
inline constexpr uint16_t kReset = 0xFFFE;
} // namespace Vec

// CCR bits.
namespace Ccr {
inline constexpr uint8_t S = 0x80, X = 0x40, H = 0x20, I = 0x10, N = 0x08, Z = 0x04, V = 0x02, C = 0x01;
}

// A cycle-counting 68HC11 CPU core.
class Cpu {
public:
    explicit Cpu(Bus& bus);

    // Reset through the given vector (RESET, clock monitor or COP): S, X, I set, state Running.
    void reset(uint16_t normalVector = Vec::kReset);
    // Executes one instruction (or one interrupt entry, or idles while waiting/stopped)
    // and returns the E cycles it took; every cycle is also passed to Bus::tick.
    uint32_t step();
    // Runs until at least the given number of E cycles have passed; returns cycles run.
    uint64_t run(uint64_t cycles);
    // Runs instructions until `budget` E cycles have passed, the bus's tickSlack is used up, an
    // interrupt is pending or the state changes (at least one instruction, interrupt entry or idle
    // chunk); passes the cycles to Bus::tick in one call, or before a slow bus access. Returns the
    // cycles run.
    uint64_t runBatch(uint64_t budget);

    // The board's interrupt controller: the normal vector address of the highest-priority
    // pending I-maskable request, or 0 when none is pending.
    void setInterruptRequest(uint16_t normalVector) {
        irqVector_ = normalVector;
        requested_ = irqVector_ != 0 || xirq_;
    }
    // The pending request's normal vector address, 0 when none.
    uint16_t interruptRequest() const { return irqVector_; }
    // Level of the XIRQ line (true = asserted).
    void setXirq(bool asserted) {
        xirq_ = asserted;
        requested_ = irqVector_ != 0 || xirq_;
    }
    // Whether TEST ($00) runs (special test mode) or traps as an illegal opcode.
    void setTestOpcodeEnabled(bool enabled) { testEnabled_ = enabled; }

    CpuState state() const { return state_; }
    uint64_t cycles() const { return cycles_; }
    // True while nothing but time can happen: waiting or stopped with no request that would wake
    // the core, or in the TEST loop. The board may then pass time in bulk through idleFor().
    bool idle() const;
    // When idle(), passes the given E cycles to Bus::tick in one call and counts them; returns the
    // cycles passed (0 when the core is not idle).
    uint32_t idleFor(uint32_t cycles);

    // E cycles step() passes per call while waiting, stopped or in the TEST loop.
    static constexpr uint32_t kIdleChunkCycles = 4;
    // E cycles of an interrupt or trap entry (stacking nine bytes, fetching the vector).
    static constexpr uint32_t kInterruptEntryCycles = 14;
    // E cycles of the vector fetch that ends WAI (the registers are already stacked).
    static constexpr uint32_t kWaitVectorCycles = 2;
    // E cycles of WAI itself, which stacks the registers before waiting.
    static constexpr uint32_t kWaiStackingCycles = 12;

    // Registers.
    uint8_t a = 0, b = 0, ccr = Ccr::S | Ccr::X | Ccr::I;
    uint16_t x = 0, y = 0, sp = 0, pc = 0;

    uint16_t d() const { return uint16_t(a << 8 | b); }
    void setD(uint16_t v) { a = uint8_t(v >> 8); b = uint8_t(v); }

private:
    Bus& bus_;
    CpuState state_ = CpuState::Running;
    uint64_t cycles_ = 0;
    uint16_t irqVector_ = 0;
    bool xirq_ = false;
    bool testEnabled_ = false;
    uint32_t unticked_ = 0; // cycles of finished instructions not yet passed to Bus::tick
    bool requested_ = false;  // an interrupt line or request is active (masked or not)
    bool endBatch_ = false;   // the run of instructions must stop after this one
    // Implementation state may be added below.

    void flushTicks() {
        endBatch_ = true; // the board may have changed requests or its next event
        if (unticked_) {
            cycles_ += unticked_;
            const uint32_t c = unticked_;
            unticked_ = 0;
            bus_.tick(c);
        }
    }
    bool interruptPending() const {
        return (xirq_ && !(ccr & Ccr::X)) || (irqVector_ != 0 && !(ccr & Ccr::I));
    }
    uint32_t serviceStep();
    uint32_t execute();
    template <bool kPageY> uint32_t executeMain(uint8_t opcode, uint16_t opPc);
    uint32_t executePage1A(uint16_t opPc);
    uint32_t executePageCD(uint16_t opPc);
    uint32_t illegalOpcode(uint16_t opPc);
    uint32_t enterInterrupt(uint16_t normalVector, bool xirq);
    void stackRegisters();

    uint8_t read8(uint16_t address);
    void write8(uint16_t address, uint8_t value);
    uint16_t read16(uint16_t address);
    void write16(uint16_t address, uint16_t value);
    uint8_t fetch8();
    uint16_t fetch16();
    void push8(uint8_t value);
    uint8_t pull8();
    void push16(uint16_t value);
    uint16_t pull16();
};
