#pragma once
#include <cstdint>

// Parallel ports B, C and D with the parallel I/O control: PIOC $1002, PORTC $1003, PORTB $1004,
// PORTCL $1005, DDRC $1007, PORTD $1008, DDRD $1009.
//
// - Port B is an output port (single-chip modes); PORTB reads the latch.
// - Port C: DDRC sets each pin's direction; PORTC reads the pin level of an input and the latch of
//   an output. With CWOM set an output's high is not driven (open drain): the pin is high unless
//   the outside pulls it low.
// - Simple strobed mode (HNDS clear): the active edge of STRA (EGA: 1 rising, 0 falling) latches
//   port C's pin levels into PORTCL and sets STAF; reading PIOC with STAF set and then PORTCL
//   clears it. STAF with STAI requests the IRQ interrupt.
// - Port D (PD5-PD0): DDRD sets the directions; with DWOM (from SPCR) its outputs are open drain
//   as port C's with CWOM. The SCI and SPI taking their pins over is not shown on the levels.
//
// - A write to PORTCL goes to port C's output latch as a PORTC write does.
// - Port C inputs no one has driven read low; port D's read high (pulled up, as the SCI and SPI
//   lines idle); an open-drain output no one has pulled low reads high.
// - Full handshake (HNDS set) with PLS clear (interlocked): in input handshake (OIN clear) STRB
//   is active ("ready") while STAF is clear, and a STRA edge latches PORTCL, sets STAF and makes it
//   inactive until the clearing sequence; in output handshake (OIN set) a write to PORTCL drives
//   port C's data and makes STRB active ("data ready") until the STRA edge that acknowledges it
//   (STAF set; PIOC read then a PORTCL write clears STAF). INVB set: STRB is active high.
// - STRB pulses: active for kStrbPulseCycles (2) E cycles, then inactive again, after a PORTB write
//   in simple strobed mode, and with PLS set (pulsed handshake) after a PORTCL write in output
//   handshake ("data ready") or after the PORTCL read that ends STAF's clearing sequence in input
//   handshake ("ready for the next"); STRB idles inactive there. The pulse starts at the access's
//   time (the start of its instruction, as every register access on the board).
// - Output handshake: port C pins whose DDRC bit is set always drive; those with DDRC clear are
//   three-stated while STRA is at its inactive level and drive the output latch while STRA is at its
//   active level (EGA's sense), so a device can read the data by holding STRA active.
//
// Behaviour chosen where the chip leaves room:
// - In pulsed input handshake the "ready" pulse follows the PORTCL read that clears STAF, the
//   moment the interlocked mode makes STRB active again; a PORTCL read without PIOC's read first
//   gives no pulse.
// - In the expanded modes the board answers PORTB, PORTC, PORTCL and DDRC with $00 (they are the
//   bus there); PIOC, PORTD and DDRD stay.
class Ports {
public:
    static constexpr uint8_t kPioc = 0x02, kPortc = 0x03, kPortb = 0x04, kPortcl = 0x05, kDdrc = 0x07,
                             kPortd = 0x08, kDdrd = 0x09;
    // PIOC bits.
    static constexpr uint8_t kStaf = 0x80, kStai = 0x40, kCwom = 0x20, kHnds = 0x10, kOin = 0x08, kPls = 0x04,
                             kEga = 0x02, kInvb = 0x01;
    static constexpr uint8_t kPiocReset = 0x03; // EGA and INVB
    // E cycles STRB stays active in a pulse.
    static constexpr uint64_t kStrbPulseCycles = 2;

    void reset();
    // True for offsets this class answers.
    static bool owns(uint8_t reg) { return reg >= kPioc && reg <= kDdrd && reg != 0x06; }
    // True for the registers that are the bus in the expanded modes.
    static bool busRegister(uint8_t reg) { return reg == kPortc || reg == kPortb || reg == kPortcl || reg == kDdrc; }
    // A read or write at board time `at` (E cycles; it places STRB's pulses).
    uint8_t read(uint8_t reg, uint64_t at);
    // A register's value without the read's side effects (STAF's clearing sequence).
    uint8_t peek(uint8_t reg) const;
    void write(uint8_t reg, uint8_t value, uint64_t at);
    // Drives port C or D pin `bit` from outside.
    void setPortC(int bit, bool level);
    void setPortD(int bit, bool level);
    // Drives STRA.
    void setStra(bool high);
    // DWOM of SPCR (port D's outputs open drain).
    void setDwom(bool on) { dwom_ = on; }
    bool interruptRequested() const { return (pioc_ & kStai) && (pioc_ & kStaf); }

    uint8_t portB() const { return portb_; }
    uint8_t portC() const { return levels(portc_, portCDrives(), inC_, drivenC_, pioc_ & kCwom); }
    uint8_t ddrc() const { return ddrc_; }
    // The port C pins the chip drives now: DDRC, plus every pin while STRA is active in output
    // handshake.
    uint8_t portCDrives() const { return outputHandshake() && straActive() ? 0xFF : ddrc_; }
    uint8_t portD() const { return uint8_t(levels(portd_, ddrd_, inD_, drivenD_, dwom_) & 0x3F); }
    uint8_t ddrd() const { return ddrd_; }
    bool stra() const { return stra_; }
    // STRB's level at board time `now`.
    bool strb(uint64_t now) const;

private:
    bool outputHandshake() const { return (pioc_ & (kHnds | kOin)) == (kHnds | kOin); }
    bool straActive() const { return (pioc_ & kEga) ? stra_ : !stra_; }
    static uint8_t levels(uint8_t latch, uint8_t ddr, uint8_t in, uint8_t driven, bool openDrain);

    uint8_t pioc_ = kPiocReset, portb_ = 0, portc_ = 0, portcl_ = 0, ddrc_ = 0, portd_ = 0, ddrd_ = 0;
    uint8_t inC_ = 0, drivenC_ = 0, inD_ = 0x3F, drivenD_ = 0;
    bool dwom_ = false, stra_ = false;
    bool stafSeen_ = false; // PIOC was read with STAF set
    bool dataReady_ = false; // output handshake: PORTCL written, not yet acknowledged
    uint64_t strbPulseEnd_ = 0; // STRB's pulse is active before this time
};
