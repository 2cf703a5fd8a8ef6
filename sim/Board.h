#pragma once
#include "sim/Adc.h"
#include "sim/BootRom.h"
#include "sim/Bus.h"
#include "sim/Cpu.h"
#include "sim/Eeprom.h"
#include "sim/PinNames.h"
#include "sim/Ports.h"
#include "sim/Sci.h"
#include "sim/Spi.h"
#include "sim/Timer.h"
#include "sim/SerialWire.h"
#include <array>
#include <atomic>
#include <mutex>
#include <cstdint>
#include <vector>

// The board's pins as a front end shows them (a poll; nothing changes by reading it).
struct PinState {
    uint8_t portA = 0;           // PA7-PA0 levels
    uint8_t portAOutputs = 0;    // the bits of port A that are outputs now
    uint8_t analog[8] = {};      // PE0-PE7 as 8-bit values (0 = VRL, 255 = VRH)
    bool irqHigh = true, xirqHigh = true;
    uint8_t portB = 0, portBOutputs = 0xFF; // PB7-PB0 (outputs only in the single-chip modes)
    uint8_t portC = 0, portCOutputs = 0;    // PC7-PC0 and DDRC
    uint8_t portD = 0, portDOutputs = 0;    // PD5-PD0 and their directions (SCI and SPI included)
    uint8_t portE = 0;                      // PE7-PE0 as digital inputs read them
    bool straHigh = false;                  // the STRA input
    bool strbHigh = false;                  // the STRB output
    bool portsAreBus = false;               // expanded modes: B and C carry the bus, not port data
};

// Operating mode, from HPRIO's SMOD and MDA.
enum class BoardMode : uint8_t { SingleChip, Expanded, SpecialBootstrap, SpecialTest };

// The virtual board: a chip of the family (by default a 68HC11A1: 256 bytes of RAM at $0000,
// registers at $1000-$103F, EEPROM at $B600-$B7FF, boot ROM at $BF40-$BFFF, no mask ROM; the other
// variants take RAM and EEPROM size and place from hc11/ChipVariant.h) with 32 KB of external RAM at
// $8000-$FFFF that is visible in the expanded modes (internal resources win where they overlap).
// Its mode pins select special bootstrap mode, so power-on and RESET start the boot loader.
//
// Behaviour chosen where the chip leaves room:
// - Unmapped addresses read kUnmappedValue ($FF) and ignore writes, so a verified write fails.
// - Registers that are not modelled read $00 and ignore writes.
//   INIT reads $01 and ignores writes: RAM and registers stay at $0000 and $1000.
// - HPRIO: RBOOT, MDA and IRV are writable in the special modes only, SMOD can only be cleared,
//   PSEL is writable at any time (the chip expects it changed with I set). $C5 out of reset; writing
//   $E5 in bootstrap mode gives special test mode with the boot ROM still mapped.
// - I-maskable interrupts are taken in the chip's fixed order (IRQ, RTI, IC1-IC3, OC1-OC5, TOF,
//   PAOV, PAI, SPI, SCI); the source PSEL names goes first. PSEL codes: 0 TOF, 1 PAOV, 2 PAI,
//   3 SPI, 4 SCI, 5 (reserved, taken as IRQ), 6 IRQ, 7 RTI, 8-10 IC1-IC3, 11-15 OC1-OC5.
// - OPTION (reset $10) and TEST1 (reset $08 in the special modes: DISR) are fully writable in the
//   special modes; in the normal modes IRQE, DLY and CR1:0 of OPTION only in the first 64 E cycles
//   and TEST1 not at all.
// - Clock monitor: the E clock never fails, but FCM with CME set and DISR clear forces a
//   clock-monitor reset; FCOP with DISR clear and NOCOP clear forces a COP reset. A STOP (S clear)
//   stops the clocks the monitor watches from the end of the instruction until the core wakes;
//   with CME set and DISR clear, clocks absent for kClockMonitorDetectCycles give a clock-monitor
//   reset; a core that IRQ or XIRQ wakes before then carries on, one woken in that very cycle is
//   reset. The reset takes place when the instruction that caused it has finished. A reset keeps
//   RAM and EEPROM contents.
// - COP watchdog: runs while CONFIG.NOCOP and TEST1.DISR are clear; it times out 2^15 x 4^CR E
//   cycles (CR1:CR0 of OPTION) after the last of: reset, the $AA that follows a $55 written to
//   COPRST, or the moment it was enabled (DISR cleared). A $55 arms the service; other values
//   leave the arming as it was. The timeout resets the board through the COP vector. It also runs
//   on while the CPU is stopped (the chip's clocks would halt with it).
// - IRQ pin: with IRQE clear a low level requests the interrupt; with IRQE set a falling edge
//   latches a request that taking the IRQ vector clears. XIRQ requests while low (the X bit rules
//   belong to the CPU). Both pins idle high.
// - Variants: the boot loader takes exactly 256 bytes on the A-series; on the E-series and the
//   811E2 it takes up to the RAM size and stops when the line has been idle for four character
//   times at the download rate (also before the first byte after the sync). Its mask ROM is not
//   modelled (reads $FF), and the loader stays at $BF40 on every variant. BPROT protects on every
//   variant, the A-series included (a program that sets it loses nothing on a chip without it).
// - Ports B, C and D as sim/Ports.h tells; PORTE reads the analog inputs as digital levels (an
//   input at or above half of VRH reads 1). The STRA interrupt (STAF with STAI) shares the IRQ
//   vector with the IRQ pin.
class Board : public Bus {
public:
    static constexpr uint8_t kUnmappedValue = 0xFF;
    static constexpr uint16_t kRegisters = 0x1000;
    static constexpr uint16_t kRamSize = 256;    // the A1's RAM
    static constexpr uint16_t kMaxRamSize = 512; // the largest variant's
    static constexpr uint16_t kExternalRamStart = 0x8000;
    // Register offsets.
    static constexpr uint8_t kBprot = 0x35, kOption = 0x39, kCoprst = 0x3A, kPprog = 0x3B,
                             kHprio = 0x3C, kInit = 0x3D, kTest1 = 0x3E, kConfig = 0x3F;
    // HPRIO bits.
    static constexpr uint8_t kRboot = 0x80, kSmod = 0x40, kMda = 0x20, kIrv = 0x10;
    // OPTION and TEST1 bits.
    static constexpr uint8_t kCme = 0x08, kDisr = 0x08, kFcm = 0x04, kFcop = 0x02, kIrqe = 0x20, kAdpu = 0x80;
    static constexpr uint8_t kPorte = 0x0A;
    // The COP's shortest timeout (CR1:CR0 = 00) in E cycles; each step of CR multiplies it by 4.
    static constexpr uint64_t kCopBaseCycles = uint64_t(1) << 15;
    // The clock monitor's detection time in E cycles. The chip's RC timeout varies from part to
    // part: a clock below 10 kHz (edges 100 us apart) is always detected, one of 200 kHz or more
    // (5 us apart) never, so the timeout lies between about 5 and 100 us. The board takes the
    // shortest, 5 us (10 E cycles at its 2 MHz E clock): a STOP that every chip would survive
    // (woken within 5 us) survives here, and one that some chip would not, resets here.
    static constexpr uint64_t kClockMonitorDetectCycles = 10;

    explicit Board(ChipKind chip = kDefaultChip);

    const ChipVariant& chip() const { return chip_; }

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

    // Drives port A input pin PA`bit` (PA0-PA2 captures, PA7 the pulse accumulator) from now on.
    void setPortAInput(int bit, bool level);
    // Sets analog input PE`channel` (0-7) as an 8-bit value (0 = VRL, 255 = VRH).
    void setAnalogInput(int channel, uint8_t value);
    // Every modelled pin's level and direction now.
    PinState pinState();
    // Drives the IRQ and XIRQ pins (true = high, the idle level).
    void setIrqPin(bool high);
    void setXirqPin(bool high);

    // Timed pin events to come (a stimulus file's), their times counted from now; they take
    // effect at their E cycle exactly: the peripheral sees the event's own time even when it is
    // applied at the end of the instruction that crossed it. Replaces any schedule left.
    void setStimulus(std::vector<PinEvent> events);
    // Applies one pin setting now (a pulse's end is scheduled); the pin's rules are PinNames'.
    void drivePin(const PinSetting& setting);
    // From another thread while the board runs: the setting is applied at the start of the board
    // thread's next run (the caller wakes that thread). Returns a ticket for pinsShow().
    uint64_t postPinSetting(PinSetting setting);
    // True once the settings up to `ticket` are applied and publishedPinState() shows them.
    bool pinsShow(uint64_t ticket) const { return publishedTicket_.load(std::memory_order_acquire) >= ticket; }
    // From another thread: pinState() as the board thread last published it (after each run).
    PinState publishedPinState() const;
    // The level of a digital pin, or PE's value, now (for a pulse's direction, a front end's view).
    uint8_t pinValue(PinName pin);

    Cpu& cpu() { return cpu_; }
    Sci& sci() { return sci_; }
    Eeprom& eeprom() { return eeprom_; }
    Timer& timer() { return timer_; }
    Spi& spi() { return spi_; }
    Ports& ports() { return ports_; }
    BoardMode mode() const;
    // True while the boot loader runs a download that an idle line ends (E-series, 811E2): its idle
    // time must be measured against the host's real pauses, so a runner going as fast as it can
    // lets board time pass no faster than the wall clock beyond the characters already received.
    bool loaderTimesIdleLine() const {
        return chip_.bootRule == BootRule::UpToRam && (hprio_ & kRboot) && cpu_.pc >= BootRom::kStart &&
               cpu_.pc < BootRom::kStart + BootRom::kSize;
    }
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
    void refreshSlack();
    uint64_t nextPeripheralEvent() const;
    void applyDueStimulus();
    void updateSs(uint64_t at);
    void applyPinEvent(const PinEvent& e, uint64_t at);
    void takePostedSettings();
    void publishPins();
    uint8_t readRegister(uint8_t reg);
    void writeRegister(uint8_t reg, uint8_t value);
    void checkForcedResets();
    bool copRunning() const { return !(test1_ & kDisr) && !(eeprom_.readConfig() & Eeprom::kNocop); }
    uint64_t copDeadline() const;
    uint64_t clockMonitorDeadline() const;
    void copCheck();
    bool special() const { return hprio_ & kSmod; }
    bool inProtectWindow() const { return now_ - resetTime_ < 64; }

    const ChipVariant& chip_;
    std::array<uint8_t, kMaxRamSize> ram_{};
    std::array<uint8_t, BootRom::kSize> bootRom_; // the loader with this variant's parameters
    std::array<uint8_t, 0x8000> externalRam_{};
    SerialWire rxWire_;
    Sci sci_{rxWire_};
    Timer timer_;
    Adc adc_;
    Spi spi_;
    Ports ports_;
    Eeprom eeprom_{chip_.kind};
    Cpu cpu_{*this};
    uint64_t now_ = 0;
    uint64_t nextEvent_ = Sci::kNever;
    uint64_t resetTime_ = 0;
    uint64_t resets_ = 0;
    uint8_t hprio_ = 0, option_ = 0, test1_ = 0;
    uint16_t pendingReset_ = 0; // vector of a reset due after the current instruction
    uint64_t copCleared_ = 0;   // the COP counts from here
    bool copArmed_ = false;     // $55 written, waiting for $AA
    uint64_t stoppedAt_ = Timer::kNever; // the end of the STOP the core waits in, kNever when running
    bool irqHigh_ = true, xirqHigh_ = true, irqLatched_ = false;
    std::vector<PinEvent> schedule_; // in time order, absolute times
    size_t scheduled_ = 0;           // schedule_[scheduled_] is the next to apply
    mutable std::mutex postMutex_;   // guards posted_ and published_
    std::vector<PinSetting> posted_;
    std::atomic<bool> anyPosted_{false};
    uint64_t postedTicket_ = 0, takenTicket_ = 0;
    std::atomic<uint64_t> publishedTicket_{0};
    PinState published_;
};
