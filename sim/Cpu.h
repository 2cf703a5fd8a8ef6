#pragma once
#include "Bus.h"
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

    // The board's interrupt controller: the normal vector address of the highest-priority
    // pending I-maskable request, or 0 when none is pending.
    void setInterruptRequest(uint16_t normalVector) { irqVector_ = normalVector; }
    // Level of the XIRQ line (true = asserted).
    void setXirq(bool asserted) { xirq_ = asserted; }
    // Whether TEST ($00) runs (special test mode) or traps as an illegal opcode.
    void setTestOpcodeEnabled(bool enabled) { testEnabled_ = enabled; }

    CpuState state() const { return state_; }
    uint64_t cycles() const { return cycles_; }

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
    // Implementation state may be added below.
};
