#pragma once
#include "sim/Bus.h"
#include "sim/Cpu.h"
#include "sim/Eeprom.h"
#include "sim/Sci.h"
#include "sim/SerialWire.h"
#include <array>
#include <cstdint>
#include <vector>

// Operating mode, from HPRIO's SMOD and MDA.
enum class BoardMode : uint8_t { SingleChip, Expanded, SpecialBootstrap, SpecialTest };

// The virtual board: a 68HC11A1-like chip (256 bytes of RAM at $0000, registers at $1000-$103F,
// EEPROM at $B600-$B7FF, boot ROM at $BF40-$BFFF, no mask ROM) with 32 KB of external RAM at
// $8000-$FFFF that is visible in the expanded modes (internal resources win where they overlap).
// Its mode pins select special bootstrap mode, so power-on and RESET start the boot loader.
//
// Behaviour chosen where the chip leaves room:
// - Unmapped addresses read kUnmappedValue ($FF) and ignore writes, so a verified write fails.
// - Registers that are not modelled (ports, timer, SPI, A/D, COPRST ...) read $00 and ignore writes.
//   INIT reads $01 and ignores writes: RAM and registers stay at $0000 and $1000.
// - HPRIO: RBOOT, MDA and IRV are writable in the special modes only, SMOD can only be cleared,
//   PSEL is writable at any time (the chip expects it changed with I set; nothing else is promoted
//   here, as the SCI is the only interrupt source). $C5 out of reset; writing $E5 in bootstrap mode
//   gives special test mode with the boot ROM still mapped.
// - OPTION (reset $10) and TEST1 (reset $08 in the special modes: DISR) are fully writable in the
//   special modes; in the normal modes IRQE, DLY and CR1:0 of OPTION only in the first 64 E cycles
//   and TEST1 not at all.
// - Clock monitor: the E clock never fails, but FCM with CME set and DISR clear forces a
//   clock-monitor reset; FCOP with DISR clear and NOCOP clear forces a COP reset. The reset takes
//   place when the instruction that caused it has finished. A reset keeps RAM and EEPROM contents.
// - The COP watchdog, timers, IRQ/XIRQ pins, SPI, A/D and ports are not modelled.
class Board : public Bus {
public:
    static constexpr uint8_t kUnmappedValue = 0xFF;
    static constexpr uint16_t kRegisters = 0x1000;
    static constexpr uint16_t kRamSize = 256;
    static constexpr uint16_t kExternalRamStart = 0x8000;
    // Register offsets.
    static constexpr uint8_t kBprot = 0x35, kOption = 0x39, kCoprst = 0x3A, kPprog = 0x3B,
                             kHprio = 0x3C, kInit = 0x3D, kTest1 = 0x3E, kConfig = 0x3F;
    // HPRIO bits.
    static constexpr uint8_t kRboot = 0x80, kSmod = 0x40, kMda = 0x20, kIrv = 0x10;
    // OPTION and TEST1 bits.
    static constexpr uint8_t kCme = 0x08, kDisr = 0x08, kFcm = 0x04, kFcop = 0x02;

    Board();

    // Power-on: RAM cleared, then a reset.
    void powerOn();
    // Presses the RESET button: the chip restarts in special bootstrap mode.
    void pressReset();
    // Runs the CPU (or lets time pass while it idles) until the board time reaches `until`.
    void runUntil(uint64_t until);
    // True while the CPU cannot do anything before the next event (waiting, stopped).
    bool idle() const { return cpu_.idle() && !pendingReset_; }
    // Board time in E cycles.
    uint64_t now() const { return now_; }
    // The next E cycle at which a peripheral acts, Sci::kNever when none.
    uint64_t nextEventTime() const { return nextEvent_; }
    // Brings the peripherals up to date after the wire was given characters, or for housekeeping.
    void sync();

    // The host's transmit line into the SCI receiver.
    SerialWire& rxWire() { return rxWire_; }
    // Characters the SCI finished sending since the last call.
    std::vector<Sci::TxCharacter> takeTransmitted() { return sci_.takeTransmitted(); }

    Cpu& cpu() { return cpu_; }
    Sci& sci() { return sci_; }
    Eeprom& eeprom() { return eeprom_; }
    BoardMode mode() const;
    // Number of resets so far (power-on counts as the first).
    uint64_t resetCount() const { return resets_; }
    // Memory as the CPU would read it, without side effects on registers.
    uint8_t peek(uint16_t address);

    // Bus.
    uint8_t read(uint16_t address) override;
    void write(uint16_t address, uint8_t value) override;
    void tick(uint32_t cycles) override;
    uint16_t readVector(uint16_t normalVectorAddress) override;

private:
    void reset(uint16_t vector);
    void mapPages();
    void updateInterrupts();
    void afterPeripheralAccess();
    uint8_t readRegister(uint8_t reg);
    void writeRegister(uint8_t reg, uint8_t value);
    void checkForcedResets();
    bool special() const { return hprio_ & kSmod; }
    bool inProtectWindow() const { return now_ - resetTime_ < 64; }

    std::array<uint8_t, kRamSize> ram_{};
    std::array<uint8_t, 0x8000> externalRam_{};
    SerialWire rxWire_;
    Sci sci_{rxWire_};
    Eeprom eeprom_;
    Cpu cpu_{*this};
    uint64_t now_ = 0;
    uint64_t nextEvent_ = Sci::kNever;
    uint64_t resetTime_ = 0;
    uint64_t resets_ = 0;
    uint8_t hprio_ = 0, option_ = 0, test1_ = 0;
    uint16_t pendingReset_ = 0; // vector of a reset due after the current instruction
};
