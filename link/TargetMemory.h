#pragma once
#include "link/TalkerLink.h"
#include "link/TalkerStatus.h"
#include <cstdint>

// Chip registers used by the memory services.
namespace Hc11Reg {
inline constexpr uint32_t kBprot = 0x1035;
inline constexpr uint32_t kOption = 0x1039;
inline constexpr uint32_t kPprog = 0x103B;
inline constexpr uint32_t kHprio = 0x103C;
inline constexpr uint32_t kTest1 = 0x103E;
inline constexpr uint32_t kConfig = 0x103F;
} // namespace Hc11Reg

// PPROG bits.
namespace Pprog {
inline constexpr uint8_t kByte = 0x10;
inline constexpr uint8_t kRow = 0x08;
inline constexpr uint8_t kErase = 0x04;
inline constexpr uint8_t kEelat = 0x02;
inline constexpr uint8_t kEepgm = 0x01;
} // namespace Pprog

// What one EEPROM erase pulse clears: the addressed byte, its 16-byte row, or the whole EEPROM.
enum class EraseMode : uint8_t { Byte, Row, Bulk };

// Block access to the target's 64 KB space, with EEPROM programming on writes.
// A block must lie inside $0000..$FFFF (address + count <= $10000) and a non-empty block needs
// a buffer: otherwise the operation returns 1 (kTalkerCommError) before anything is sent.
class ExtendedTalker;

class TargetMemory {
public:
    explicit TargetMemory(TalkerLink& link) : link_(link) {}

    // Reads count (0..65536) bytes in 256-byte commands. A piece whose reply turns out to have
    // been followed by a stray byte (met before the next piece's command or echo) is read once
    // more; 11 when its repeat is followed by one too. Only after the last piece does the read
    // wait (about two character times) for a stray byte.
    [[nodiscard]] TalkerStatus readBlock(uint32_t address, uint32_t count, uint8_t* buffer);
    // True when the last readBlock was served whole by our talker's checked-read service (every
    // block summed); false after a plain read, whose replies carry no check.
    bool lastReadChecked() const { return lastReadChecked_; }
    // Writes and verifies like RAM, no EEPROM handling.
    [[nodiscard]] TalkerStatus writeRaw(uint32_t address, uint32_t count, const uint8_t* data);
    // The EEPROM-aware write every user-level write goes through. In the EEPROM a byte that
    // already holds its value is left alone, one that needs only bits cleared is programmed
    // without an erase, and erases go by byte, row or the whole array, whichever takes the
    // fewest pulses (every byte an erase clears that must not stay $FF is programmed again).
    [[nodiscard]] TalkerStatus writeBlock(uint32_t address, uint32_t count, const uint8_t* data);
    // writeBlock of count copies of the low 8 bits of value.
    [[nodiscard]] TalkerStatus fill(uint32_t address, uint32_t count, uint32_t value);
    // Reads the whole source, then writes it to destination.
    [[nodiscard]] TalkerStatus move(uint32_t source, uint32_t count, uint32_t destination);
    // First byte equal to value; 14 and foundAddress 0 when none.
    [[nodiscard]] TalkerStatus search(uint32_t address, uint32_t count, uint32_t value, uint32_t& foundAddress);
    // Programs one erased EEPROM (or CONFIG) byte and checks it.
    [[nodiscard]] TalkerStatus programEepromByte(uint32_t address, uint8_t value);
    // One erase of the byte, row or whole EEPROM at address (a value outside the enum erases bulk).
    [[nodiscard]] TalkerStatus eraseEeprom(uint32_t address, EraseMode mode);
    // Erases an inclusive range with the fewest row erases.
    [[nodiscard]] TalkerStatus eraseEepromRange(uint32_t first, uint32_t last);

    int32_t programDelayMs = 20;
    // Our talker's extended mode (set by the engine): EEPROM blocks go through its service when
    // it is active and no program runs; otherwise, and for any other talker, byte by byte.
    ExtendedTalker* extended = nullptr;
    int32_t eepromStart = 0xB600;
    int32_t eepromEnd = 0xB7FF;

private:
    // readBlock, with the last piece's reply end checked as lastEnd.
    [[nodiscard]] TalkerStatus readPieces(uint32_t address, uint32_t count, uint8_t* buffer, ReplyEnd lastEnd);
    // Verified one-byte write.
    [[nodiscard]] TalkerStatus writeByte(uint32_t address, uint8_t value);
    // Erase or program pulse: latch, write the byte, pump on, wait, pump off.
    [[nodiscard]] TalkerStatus pulse(uint32_t address, uint8_t latch, uint8_t value);

    // What the plain protocol's EEPROM write of one block does: the erases, then the programs.
    struct PlainEepromPlan;
    // Reads the EEPROM bytes first..last (inside the EEPROM) in one read, widened to the whole
    // rows whose erase could pay, and plans the fewest pulses that leave data there and every
    // other byte read as it was.
    [[nodiscard]] TalkerStatus planPlainEepromWrite(uint32_t first, uint32_t last, const uint8_t* data,
                                                    PlainEepromPlan& plan);
    // The plan's erases, in address order.
    [[nodiscard]] TalkerStatus erasePlainEepromPlan(const PlainEepromPlan& plan);
    // The plan's programs, in address order, each checked by its read-back.
    [[nodiscard]] TalkerStatus programPlainEepromPlan(const PlainEepromPlan& plan);

    TalkerLink& link_;
    bool lastReadChecked_ = false;
};
