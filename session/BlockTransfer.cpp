#include "session/BlockTransfer.h"
#include "link/ExtendedTalker.h"
#include "link/TalkerLink.h"
#include "link/TargetMemory.h"
#include <algorithm>
#include <vector>

namespace {
constexpr uint64_t kSpace = 0x10000;

bool fits(uint32_t address, uint32_t count)
{
    return static_cast<uint64_t>(address) + count <= kSpace;
}
} // namespace

BlockTransfer::BlockTransfer(TargetMemory& memory, const TalkerLink& link, Progress progress)
    : memory_(memory), link_(link), progress_(std::move(progress))
{
}

void BlockTransfer::report(uint64_t done, uint64_t total) const
{
    if (progress_)
        progress_(done, total);
}

bool BlockTransfer::inEeprom(uint32_t address) const
{
    return link_.eepromEnabled != 0 && memory_.eepromStart >= 0 && memory_.eepromEnd <= 0xFFFF &&
           address >= static_cast<uint32_t>(memory_.eepromStart) &&
           address <= static_cast<uint32_t>(memory_.eepromEnd);
}

uint32_t BlockTransfer::writePieceEnd(uint32_t address, uint32_t last) const
{
    if (inEeprom(address)) {
        const uint32_t rowEnd = (address | (kEepromRowBytes - 1));
        return std::min({rowEnd, last, static_cast<uint32_t>(memory_.eepromEnd)});
    }
    uint32_t end = std::min(address | (kPieceBytes - 1), last);
    // Stop before the EEPROM so that its rows are pieces of their own.
    if (link_.eepromEnabled != 0 && memory_.eepromStart > 0 &&
        address < static_cast<uint32_t>(memory_.eepromStart) &&
        end >= static_cast<uint32_t>(memory_.eepromStart))
        end = static_cast<uint32_t>(memory_.eepromStart) - 1;
    return end;
}

TalkerStatus BlockTransfer::readPieces(uint32_t address, uint32_t count, uint8_t* buffer, uint64_t base,
                                       uint64_t total)
{
    const uint32_t pieceBytes = memory_.extended && memory_.extended->active() ? kCheckedReadPieceBytes : kPieceBytes;
    for (uint32_t done = 0; done < count;) {
        const uint32_t piece = std::min(count - done, pieceBytes - ((address + done) & (pieceBytes - 1)));
        if (TalkerStatus s = readAgreed(address + done, piece, buffer + done))
            return s;
        done += piece;
        report(base + done, total);
    }
    return kTalkerOk;
}

TalkerStatus BlockTransfer::readAgreed(uint32_t address, uint32_t count, uint8_t* buffer, const Uncompared& uncompared)
{
    if (TalkerStatus s = memory_.readBlock(address, count, buffer))
        return s;
    if (count == 0 || memory_.lastReadChecked())
        return kTalkerOk;
    // Byte by byte: a byte is taken once two reads in a row agree on it, so a byte garbled in a
    // later read of a block whose other bytes keep changing cannot replace one already agreed on.
    std::vector<uint8_t> again(count);
    std::vector<bool> agreed(count, false);
    for (int read = 0; read < kAgreementReads; ++read) {
        if (TalkerStatus s = memory_.readBlock(address, count, again.data()))
            return s;
        bool all = true;
        for (uint32_t i = 0; i < count; ++i) {
            if (agreed[i] || (uncompared && uncompared(i)))
                continue;
            if (again[i] == buffer[i]) {
                agreed[i] = true;
                continue;
            }
            all = false;
            buffer[i] = again[i];
        }
        if (all)
            return kTalkerOk;
    }
    changed_ = true;
    return kTalkerOk;
}

TalkerStatus BlockTransfer::writePieces(uint32_t address, uint32_t count, const uint8_t* data, uint64_t base,
                                        uint64_t total)
{
    if (count == 0)
        return kTalkerOk;
    const uint32_t last = address + count - 1;
    for (uint32_t at = address;;) {
        const uint32_t end = writePieceEnd(at, last);
        if (TalkerStatus s = memory_.writeBlock(at, end - at + 1, data + (at - address)))
            return s;
        report(base + (end - address + 1), total);
        if (end == last)
            return kTalkerOk;
        at = end + 1;
    }
}

TalkerStatus BlockTransfer::read(uint32_t address, uint32_t count, uint8_t* buffer)
{
    if (!fits(address, count) || (count > 0 && !buffer))
        return memory_.readBlock(address, count, buffer); // the memory services refuse it
    return readPieces(address, count, buffer, 0, count);
}

TalkerStatus BlockTransfer::write(uint32_t address, uint32_t count, const uint8_t* data)
{
    if (!fits(address, count) || (count > 0 && !data))
        return memory_.writeBlock(address, count, data);
    return writePieces(address, count, data, 0, count);
}

TalkerStatus BlockTransfer::fill(uint32_t address, uint32_t count, uint32_t value)
{
    if (!fits(address, count))
        return memory_.fill(address, count, value);
    const std::vector<uint8_t> block(count, static_cast<uint8_t>(value & 0xFF));
    return writePieces(address, count, block.data(), 0, count);
}

TalkerStatus BlockTransfer::move(uint32_t source, uint32_t count, uint32_t destination)
{
    if (!fits(source, count) || !fits(destination, count))
        return memory_.move(source, count, destination);
    std::vector<uint8_t> block(count);
    const uint64_t total = 2ull * count;
    if (TalkerStatus s = readPieces(source, count, block.data(), 0, total))
        return s;
    return writePieces(destination, count, block.data(), count, total);
}
