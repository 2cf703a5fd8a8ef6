#pragma once
#include "hc11/ChipVariant.h"
#include <array>
#include <cstdint>
#include <string>

// The chip's EEPROM (512 bytes at $B600-$B7FF; the 811E2's 2 KB wherever CONFIG's upper nibble
// places it, $F800 out of reset) with its programming control PPROG ($103B), block protect
// BPROT ($1035) and the CONFIG register ($103F), which is an EEPROM cell plus a working latch.
// Times are E cycles.
//
// Behaviour:
// - Erased bytes read $FF; programming only clears bits (new = old AND data).
// - An operation is: set EELAT (PPROG), write the target byte (address and data are latched, the
//   last write wins), set EEPGM with EELAT still set, wait, clear EEPGM. It takes effect when EEPGM
//   is cleared after at least kProgramCycles (10 ms at 2 MHz); cleared sooner, nothing changes.
//   EEPGM cannot be set unless EELAT was already set; BYTE, ROW and ERASE are frozen while EEPGM is on.
// - BYTE erases the latched byte, ROW (BYTE clear) its 16-byte row, ERASE alone the whole array
//   (or CONFIG alone when CONFIG was the latched target); without ERASE the latched byte is programmed.
// - While EELAT is set the array is switched to programming and every array read returns $FF.
// - BPROT (reset $1F): BPRT0 protects $B600-$B61F, BPRT1 $B620-$B65F, BPRT2 $B660-$B6DF,
//   BPRT3 $B6E0-$B7FF, PTCON the CONFIG cell. A protected target is left unchanged (a bulk erase
//   spares the protected blocks). On the 811E2's 2 KB array the same offsets from its start are
//   used and BPRT3 covers everything from offset $E0 on. Bits can always be set; clearing is allowed only when the board
//   says so (special modes, or the first 64 E cycles after reset).
// - CONFIG reads return the latch (NOSEC, NOCOP, ROMON, EEON in bits 3..0, upper bits 0 except on
//   the 811E2, where they place the EEPROM); the cell is copied into the latch at reset only. Plain
//   writes to CONFIG are ignored. Factory value $0D ($FF on the 811E2: EEPROM at $F800).
// - ODD and EVEN (test bits of PPROG) are ignored and read 0.
class Eeprom {
public:
    // The A-series and E-series place and size.
    static constexpr uint16_t kStart = 0xB600, kEnd = 0xB7FF, kSize = 512;
    static constexpr uint16_t kMaxSize = 2048;
    static constexpr uint16_t kConfigAddress = 0x103F;
    static constexpr uint32_t kProgramCycles = 20000;
    static constexpr uint8_t kFactoryConfig = 0x0D, kFactoryConfigMovable = 0xFF;
    // PPROG bits.
    static constexpr uint8_t kByte = 0x10, kRow = 0x08, kErase = 0x04, kEelat = 0x02, kEepgm = 0x01;
    // BPROT bits.
    static constexpr uint8_t kPtcon = 0x10;
    // CONFIG bits.
    static constexpr uint8_t kNosec = 0x08, kNocop = 0x04, kRomon = 0x02, kEeon = 0x01;
    // Size of the persisted image of a 512-byte array: the array, then the CONFIG cell.
    static constexpr size_t kImageSize = kSize + 1;

    explicit Eeprom(ChipKind chip = kDefaultChip);

    // First address and size of the array now (the 811E2's moves with the CONFIG latch).
    uint16_t start() const { return eepromStartFor(chip_, configLatch_); }
    uint16_t size() const { return chip_.eepromSize; }
    // True when `address` is in the array's place (whether or not EEON maps it).
    bool contains(uint16_t address) const { return uint16_t(address - start()) < size(); }

    // Reset: PPROG $00 (an operation in progress is abandoned), BPROT $1F, CONFIG latch from its cell.
    void reset();
    // True when CONFIG's EEON (in the latch) maps the array.
    bool enabled() const { return configLatch_ & kEeon; }

    // CPU read of an array address.
    uint8_t readArray(uint16_t address) const;
    // CPU write of an array address: latches address and data while EELAT is set, else ignored.
    void writeArray(uint16_t address, uint8_t value);
    uint8_t readConfig() const { return configLatch_; }
    // CPU write of CONFIG: latched as a programming target while EELAT is set, else ignored.
    void writeConfig(uint8_t value);
    uint8_t readPprog() const { return pprog_; }
    // PPROG write at E cycle `now`.
    void writePprog(uint8_t value, uint64_t now);
    uint8_t readBprot() const { return bprot_; }
    // BPROT write; clearing bits is honoured only when clearAllowed.
    void writeBprot(uint8_t value, bool clearAllowed);

    // The stored cells, without side effects.
    uint8_t cell(uint16_t address) const { return array_[uint16_t(address - start())]; }
    uint8_t configCell() const { return configCell_; }

    // Loads the persisted image; false with a reason when the file exists but is unusable.
    // A missing file leaves the factory state and returns true.
    bool loadFile(const std::string& path, std::string* error);
    // Writes the persisted image (via a temporary file and rename); false with a reason on failure.
    bool saveFile(const std::string& path, std::string* error) const;
    // True once after the cells changed.
    bool takeChanged();

private:
    enum class Target : uint8_t { None, Array, Config };
    void complete();
    bool protectedAddress(uint16_t address) const;
    uint8_t latchMask() const { return chip_.eepromMovable ? 0xFF : 0x0F; }

    const ChipVariant& chip_;
    std::array<uint8_t, kMaxSize> array_;
    uint8_t configCell_;
    uint8_t configLatch_;
    uint8_t pprog_ = 0;
    uint8_t bprot_ = 0x1F;
    Target target_ = Target::None;
    uint16_t latchAddress_ = 0;
    uint8_t latchData_ = 0xFF;
    uint64_t pumpOn_ = 0;
    bool changed_ = false;
};
