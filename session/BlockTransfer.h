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
//
// A plain read's reply carries no check, so a byte garbled on its way here would be shown as the
// target's: each byte of a piece that the checked-read service did not serve is taken only once
// two reads in a row agree on it. Memory that a running program keeps changing may never agree;
// then those bytes are the last read's and changed() tells.
class BlockTransfer {
public:
    // Called after every piece with the bytes done so far and the total.
    using Progress = std::function<void(uint64_t done, uint64_t total)>;

    // Bytes per piece outside the EEPROM.
    static constexpr uint32_t kPieceBytes = 1024;
    // Bytes per piece of a read our talker's checked-read service serves (at its faster line a
    // piece takes about as long as a plain one; each piece costs the service's header).
    static constexpr uint32_t kCheckedReadPieceBytes = 4096;
    // Bytes per piece inside the enabled EEPROM (one erase row).
    static constexpr uint32_t kEepromRowBytes = 16;
    // Reads after the first at most, until two reads in a row agree.
    static constexpr int kAgreementReads = 3;
    // Which bytes of a block are not compared (they change by themselves, or a read disturbs
    // them): they keep what the first read gave.
    using Uncompared = std::function<bool(uint32_t offset)>;

    BlockTransfer(TargetMemory& memory, const TalkerLink& link, Progress progress = {});

    // readBlock of count bytes from address into buffer, each piece taken once two reads agree.
    TalkerStatus read(uint32_t address, uint32_t count, uint8_t* buffer);
    // One readBlock of the block, read again unless the checked service served it, until two
    // reads in a row agree on each byte (at most kAgreementReads reads more; a byte that never
    // agreed is the last read's, and changed() is set).
    TalkerStatus readAgreed(uint32_t address, uint32_t count, uint8_t* buffer, const Uncompared& uncompared = {});
    // True once a read gave a byte on which no two reads in a row agreed.
    bool changed() const { return changed_; }
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
    bool changed_ = false;
};
