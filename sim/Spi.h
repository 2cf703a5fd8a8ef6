#pragma once
#include <cstdint>
#include <deque>

// The serial peripheral interface: SPCR, SPSR and SPDR at $1028-$102A.
// - Master (SPE, MSTR): a byte written to SPDR shifts out in 8 bit times of 2, 4, 16 or 32 E cycles
//   (SPR1:SPR0); the byte that comes back on MISO is the next one the attached device holds, $FF
//   (a line pulled up) when it holds none.
// - Slave (SPE, MSTR clear): the attached device is the master. Each byte it sends while SS (PD5)
//   is low shifts into SPDR; the byte the program wrote to SPDR is what goes back to it.
// - SPIF is set when the last bit has shifted; it clears by reading SPSR with SPIF set and then
//   reading or writing SPDR. Writing SPDR during a transfer sets WCOL (cleared the same way) and
//   leaves the transfer alone.
// - Mode fault: SS low while the SPI is a master with SS an input (DDRD5 clear) sets MODF and
//   clears SPE and MSTR (a transfer under way stops). Reading SPSR with MODF set and then writing
//   SPCR clears MODF. SPIF and MODF request the SPI interrupt with SPIE.
//
// Behaviour chosen where the chip leaves room:
// - The transfer starts at the SPDR write; no synchronisation to the E/2 clock phase is added.
// - A slave transfer lasts 8 bit times at the SPR1:SPR0 rate (the master's clock is not known);
//   bytes the master sends back to back follow each other without a gap. A byte that arrives
//   while SPIF is still set from the last one is lost (SPDR keeps the unread byte).
// - The device's bytes: in master mode (or with the SPI off) they wait to be returned on MISO; in
//   slave mode they are the master's transfers, and with SS high they reach nothing.
class Spi {
public:
    static constexpr uint64_t kNever = UINT64_MAX;
    static constexpr uint8_t kSpcr = 0x28, kSpsr = 0x29, kSpdr = 0x2A;
    static constexpr uint8_t kSpie = 0x80, kSpe = 0x40, kMstr = 0x10;
    static constexpr uint8_t kSpif = 0x80, kWcol = 0x40, kModf = 0x10;

    void reset();
    // SS (PD5) level and whether it is an input (DDRD5 clear) at `now`.
    void setSs(bool high, bool input, uint64_t now);
    static bool owns(uint8_t reg) { return reg >= kSpcr && reg <= kSpdr; }
    uint8_t read(uint8_t reg, uint64_t now);
    void write(uint8_t reg, uint8_t value, uint64_t now);
    void advance(uint64_t now);
    // The end of the transfer in progress when its flag would raise an interrupt, else kNever.
    uint64_t nextEventTime() const { return (busy_ || slaveBusy_) && (spcr_ & kSpie) ? end_ : kNever; }
    bool interruptRequested() const { return (spcr_ & kSpie) && (spsr_ & (kSpif | kModf)); }
    // Queues bytes the attached device returns on MISO, one per transfer.
    void deviceReturns(uint8_t value) { miso_.push_back(value); }
    // A byte from the attached device at time `at`: returned on MISO in master mode (queued), a
    // master's transfer in slave mode (see above).
    void deviceByte(uint8_t value, uint64_t at);
    // The bytes the chip sent as a slave, oldest first, since the last call.
    std::deque<uint8_t> takeSlaveSent();
    // E cycles of one transfer at the current rate.
    uint64_t transferCycles() const;

private:
    void afterSpdrAccess();
    bool slave() const { return (spcr_ & (kSpe | kMstr)) == kSpe; }
    void checkModeFault();

    uint8_t spcr_ = 0, spsr_ = 0, spdr_ = 0xFF;
    uint8_t armed_ = 0; // SPSR flags seen set by the last SPSR read
    bool busy_ = false;
    uint64_t end_ = 0;
    std::deque<uint8_t> miso_;
    bool modfArmed_ = false;             // SPSR read with MODF set
    bool ssHigh_ = true, ssInput_ = true;
    bool slaveBusy_ = false;             // a master's byte is shifting in
    std::deque<uint8_t> slaveQueue_;     // the master's next bytes, back to back
    std::deque<uint8_t> slaveSent_;
};
