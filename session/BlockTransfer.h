#pragma once
#include "link/TalkerStatus.h"
#include <cstdint>
#include <functional>

class TalkerLink;
class TargetMemory;

// Long memory transfers cut into pieces so that progress can be shown (and the user interface
// kept alive) as each piece completes. The traffic is that of the memory services: reads go in
// 256-byte commands, writes keep their EEPROM handling, and a piece inside the enabled EEPROM is
// one 16-byte row, so erasing still takes one row erase per whole row.
class BlockTransfer {
public:
    // Called after every piece with the bytes done so far and the total.
    using Progress = std::function<void(uint64_t done, uint64_t total)>;

    // Bytes per piece outside the EEPROM.
    static constexpr uint32_t kPieceBytes = 1024;
    // Bytes per piece inside the enabled EEPROM (one erase row).
    static constexpr uint32_t kEepromRowBytes = 16;

    BlockTransfer(TargetMemory& memory, const TalkerLink& link, Progress progress = {});

    // readBlock of count bytes from address into buffer.
    TalkerStatus read(uint32_t address, uint32_t count, uint8_t* buffer);
    // writeBlock of count bytes of data to address.
    TalkerStatus write(uint32_t address, uint32_t count, const uint8_t* data);
    // fill: count copies of the low 8 bits of value from address.
    TalkerStatus fill(uint32_t address, uint32_t count, uint32_t value);
    // move: reads the whole source, then writes it at destination; 1 before any traffic when
    // either block does not fit below $10000.
    TalkerStatus move(uint32_t source, uint32_t count, uint32_t destination);

    // The last address of the write piece that starts at address (never beyond last).
    uint32_t writePieceEnd(uint32_t address, uint32_t last) const;

private:
    TalkerStatus readPieces(uint32_t address, uint32_t count, uint8_t* buffer, uint64_t base, uint64_t total);
    TalkerStatus writePieces(uint32_t address, uint32_t count, const uint8_t* data, uint64_t base, uint64_t total);
    bool inEeprom(uint32_t address) const;
    void report(uint64_t done, uint64_t total) const;

    TargetMemory& memory_;
    const TalkerLink& link_;
    Progress progress_;
};
