#pragma once
#include <cstdint>
#include <deque>

// The serial peripheral interface as a master: SPCR, SPSR and SPDR at $1028-$102A. A byte written
// to SPDR with SPE and MSTR set shifts out in 8 bit times of 2, 4, 16 or 32 E cycles (SPR1:SPR0);
// the byte that comes back on MISO is the next one the attached device holds, $FF (a line pulled
// up) when it holds none. SPIF is set when the last bit has shifted; it clears by reading SPSR
// with SPIF set and then reading or writing SPDR. Writing SPDR during a transfer sets WCOL (cleared
// the same way) and leaves the transfer alone.
//
// Behaviour chosen where the chip leaves room:
// - Slave mode and the SS pin are not modelled: MODF never sets, and a byte written with MSTR
//   clear waits for a master that never comes.
// - The transfer starts at the SPDR write; no synchronisation to the E/2 clock phase is added.
class Spi {
public:
    static constexpr uint64_t kNever = UINT64_MAX;
    static constexpr uint8_t kSpcr = 0x28, kSpsr = 0x29, kSpdr = 0x2A;
    static constexpr uint8_t kSpie = 0x80, kSpe = 0x40, kMstr = 0x10;
    static constexpr uint8_t kSpif = 0x80, kWcol = 0x40, kModf = 0x10;

    void reset();
    static bool owns(uint8_t reg) { return reg >= kSpcr && reg <= kSpdr; }
    uint8_t read(uint8_t reg, uint64_t now);
    void write(uint8_t reg, uint8_t value, uint64_t now);
    void advance(uint64_t now);
    // The end of the transfer in progress when its flag would raise an interrupt, else kNever.
    uint64_t nextEventTime() const { return busy_ && (spcr_ & kSpie) ? end_ : kNever; }
    bool interruptRequested() const { return (spcr_ & kSpie) && (spsr_ & kSpif); }
    // Queues bytes the attached device returns on MISO, one per transfer.
    void deviceReturns(uint8_t value) { miso_.push_back(value); }
    // E cycles of one transfer at the current rate.
    uint64_t transferCycles() const;

private:
    void afterSpdrAccess();

    uint8_t spcr_ = 0, spsr_ = 0, spdr_ = 0xFF;
    uint8_t armed_ = 0; // SPSR flags seen set by the last SPSR read
    bool busy_ = false;
    uint64_t end_ = 0;
    std::deque<uint8_t> miso_;
};
