#pragma once
#include "sim/SerialWire.h"
#include <cstdint>
#include <vector>

// The serial communications interface: BAUD, SCCR1, SCCR2, SCSR and SCDR at $102B-$102F.
// The receiver samples the host-to-board wire at its own bit rate (a character sent at another
// rate arrives garbled or with a framing error); transmitted characters are handed out with the
// time their last stop bit ends. All times are E cycles.
//
// Choices where the chip leaves room:
// - BAUD reads back its written value with bit 6 clear; TCLR and RCKB (test bits) are stored only.
//   Out of reset BAUD is $00 (E/16, 125000 baud).
// - A character is transferred from TDR to the shift register at once when the transmitter is
//   free; enabling TE first sends one idle character (the preamble).
// - Writing SCDR without the SCSR read that arms it loads TDR but does not clear TDRE, so the
//   transmitter does not take the byte (the flag sequence is the only way to start a character).
// - RDRF is set, and the character judged, at the middle of its (first) stop bit. A frame that
//   completes while RDRF is still set sets OR and is lost; noise (NF) is never detected.
// - A break (SBK) is not sent: it cannot be carried over a pseudo-terminal.
class Sci {
public:
    // Register offsets within the register block.
    static constexpr uint8_t kBaud = 0x2B, kSccr1 = 0x2C, kSccr2 = 0x2D, kScsr = 0x2E, kScdr = 0x2F;
    // SCSR bits.
    static constexpr uint8_t kTdre = 0x80, kTc = 0x40, kRdrf = 0x20, kIdle = 0x10, kOr = 0x08,
                             kNf = 0x04, kFe = 0x02;
    // SCCR2 bits.
    static constexpr uint8_t kTie = 0x80, kTcie = 0x40, kRie = 0x20, kIlie = 0x10, kTe = 0x08,
                             kRe = 0x04, kRwu = 0x02, kSbk = 0x01;
    // SCCR1 bits.
    static constexpr uint8_t kR8 = 0x80, kT8 = 0x40, kM = 0x10, kWake = 0x08;
    static constexpr uint64_t kNever = UINT64_MAX;

    // A character the transmitter finished sending.
    struct TxCharacter {
        uint8_t value = 0;
        bool ninthBit = false;  // T8 when nineBits
        bool nineBits = false;  // M was set
        double bitCycles = 0;   // the transmitter's bit length
        uint64_t time = 0;      // E cycle at which its stop bit ended
    };

    // The receiver listens on rxWire (the host's transmit line).
    explicit Sci(SerialWire& rxWire);

    // Reset values; the receiver ignores whatever is on the wire before `now`.
    void reset(uint64_t now);
    // Register read at offset kBaud..kScdr, with the flag-clearing side effects of SCSR and SCDR.
    uint8_t read(uint8_t reg, uint64_t now);
    // Register write at offset kBaud..kScdr.
    void write(uint8_t reg, uint8_t value, uint64_t now);
    // Processes everything due up to `now` (characters received and sent, idle line).
    void advance(uint64_t now);
    // The next E cycle at which something happens, kNever when nothing is pending.
    uint64_t nextEventTime() const { return nextEvent_; }
    // Call after characters were queued on the receive wire.
    void wireChanged() { refresh(); }
    // True when an enabled SCI interrupt source is set.
    bool interruptRequested() const;
    // E cycles per bit at the current BAUD setting.
    uint32_t bitCycles() const;
    // Characters finished since the last call, oldest first.
    std::vector<TxCharacter> takeTransmitted();
    // The status register without side effects.
    uint8_t status() const { return scsr_; }

private:
    int frameBits() const { return (sccr1_ & kM) ? 11 : 10; }
    void refresh();
    void startTransmitter(uint64_t at);
    void finishTransmit();
    void completeReceive(double stopSample);

    SerialWire& wire_;
    uint8_t baud_ = 0, sccr1_ = 0, sccr2_ = 0, scsr_ = kTdre | kTc, rdr_ = 0, tdr_ = 0;
    uint8_t armedRx_ = 0, armedTx_ = 0; // SCSR flags seen set by the last SCSR read

    bool txBusy_ = false, txData_ = false, txNinth_ = false;
    uint8_t txValue_ = 0;
    uint64_t txEnd_ = 0;
    double txBit_ = 0;
    std::vector<TxCharacter> transmitted_;

    double searchFrom_ = 0; // receiver looks for a start edge from here
    double rxEdge_ = -1;    // start edge of the character being received, -1 when none
    double rxBit_ = 0;
    bool idleArmed_ = false;
    double idleDeadline_ = 0;
    uint64_t nextEvent_ = kNever;
};
