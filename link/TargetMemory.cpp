#include "link/TargetMemory.h"
#include "link/Deadline.h"
#include "link/ExtendedTalker.h"

#include "link/TalkerLink.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

constexpr uint32_t kAddressSpace = 0x10000;
constexpr uint32_t kCommandBytes = 256;

// True when a block of count bytes at address lies inside the 64 KB space.
bool blockFits(uint32_t address, uint32_t count) {
    return address <= kAddressSpace && count <= kAddressSpace - address;
}

bool blockValid(uint32_t address, uint32_t count, const void* buffer) {
    return blockFits(address, count) && (count == 0 || buffer != nullptr);
}

} // namespace

TalkerStatus TargetMemory::readBlock(uint32_t address, uint32_t count, uint8_t* buffer) {
    lastReadChecked_ = false;
    if (extended && extended->active() && count >= extended->serviceMinimum && blockValid(address, count, buffer)) {
        bool handled = false;
        const TalkerStatus status = extended->readBlock(address, count, buffer, handled);
        if (handled) {
            lastReadChecked_ = status == kTalkerOk;
            return status;
        }
    }
    return readPieces(address, count, buffer, ReplyEnd::Settled);
}

TalkerStatus TargetMemory::readPieces(uint32_t address, uint32_t count, uint8_t* buffer, ReplyEnd lastEnd) {
    if (!blockValid(address, count, buffer))
        return kTalkerCommError;
    // A stray byte is usually met by the next piece's command: then the piece before is read
    // again (once), and the piece after it too, since its command came before the repeat.
    bool havePrevious = false;
    uint32_t previous = 0;
    uint32_t repeated = kAddressSpace; // offset of the piece already read twice; none yet
    for (uint32_t done = 0; done < count;) {
        const uint32_t piece = count - done >= kCommandBytes ? kCommandBytes : count - done;
        const ReplyEnd end = done + piece == count ? lastEnd : ReplyEnd::Queued;
        if (TalkerStatus status = link_.readMemory(address + done, piece, buffer + done, end))
            return status;
        if (havePrevious && link_.strayBeforeLastCommand()) {
            if (repeated == previous)
                return kTalkerBadEcho;
            repeated = previous;
            done = previous;
            // The repeat's own command follows this piece's reply: its strays say nothing of the piece before.
            havePrevious = false;
            continue;
        }
        havePrevious = true;
        previous = done;
        done += piece;
    }
    return kTalkerOk;
}

TalkerStatus TargetMemory::writeRaw(uint32_t address, uint32_t count, const uint8_t* data) {
    if (!blockValid(address, count, data))
        return kTalkerCommError;
    for (uint32_t done = 0; done < count;) {
        const uint32_t piece = count - done >= kCommandBytes ? kCommandBytes : count - done;
        if (TalkerStatus status = link_.writeMemory(address + done, piece, data + done))
            return status;
        done += piece;
    }
    return kTalkerOk;
}

TalkerStatus TargetMemory::writeByte(uint32_t address, uint8_t value) {
    return link_.writeMemory(address, 1, &value);
}

TalkerStatus TargetMemory::pulse(uint32_t address, uint8_t latch, uint8_t value) {
    if (TalkerStatus status = writeByte(Hc11Reg::kBprot, 0x00))
        return status;
    if (TalkerStatus status = writeByte(Hc11Reg::kPprog, latch))
        return status;
    // While latched the array does not read back what was written: the status means nothing.
    (void)writeByte(address, value);
    if (TalkerStatus status = writeByte(Hc11Reg::kPprog, static_cast<uint8_t>(latch | Pprog::kEepgm)))
        return status;
    if (programDelayMs > 0)
        Deadline::afterMs(programDelayMs).sleepUntil();
    return writeByte(Hc11Reg::kPprog, 0x00);
}

TalkerStatus TargetMemory::programEepromByte(uint32_t address, uint8_t value) {
    if (TalkerStatus status = pulse(address, Pprog::kEelat, value))
        return status;
    uint8_t readBack = 0;
    // The comparison guards this one byte; a settle wait would slow every programmed byte.
    if (TalkerStatus status = readPieces(address & 0xFFFF, 1, &readBack, ReplyEnd::Queued))
        return status;
    return readBack == value ? kTalkerOk : kTalkerEepromProgramFailed;
}

TalkerStatus TargetMemory::eraseEeprom(uint32_t address, EraseMode mode) {
    uint8_t latch = Pprog::kErase | Pprog::kEelat; // bulk
    if (mode == EraseMode::Byte)
        latch |= Pprog::kByte;
    else if (mode == EraseMode::Row)
        latch |= Pprog::kRow;
    return pulse(address, latch, latch);
}

TalkerStatus TargetMemory::eraseEepromRange(uint32_t first, uint32_t last) {
    if (last >= kAddressSpace)
        return kTalkerCommError;
    uint32_t address = first;
    const uint32_t rowEnd = first | 0x0F;
    while ((address & 0x0F) != 0 && address <= last && address <= rowEnd) {
        if (TalkerStatus status = eraseEeprom(address, EraseMode::Byte))
            return status;
        ++address;
    }
    while (address <= last && last - address >= 15) {
        if (TalkerStatus status = eraseEeprom(address, EraseMode::Row))
            return status;
        address += 16;
    }
    while (address <= last) {
        if (TalkerStatus status = eraseEeprom(address, EraseMode::Byte))
            return status;
        ++address;
    }
    return kTalkerOk;
}

// ---------------------------------------------------------------- EEPROM, plain protocol

struct TargetMemory::PlainEepromPlan {
    struct Erase {
        uint32_t address;
        EraseMode mode;
    };
    std::vector<Erase> erases;
    // (address, value) in address order.
    std::vector<std::pair<uint32_t, uint8_t>> programs;
};

namespace {

constexpr uint32_t kRowBytes = 16;
constexpr uint8_t kErased = 0xFF;

// Programming only clears bits: without an erase a byte can become only values whose 1 bits it holds.
bool needsErase(uint8_t now, uint8_t wanted) { return (wanted & static_cast<uint8_t>(~now)) != 0; }

} // namespace

TalkerStatus TargetMemory::planPlainEepromWrite(uint32_t first, uint32_t last, const uint8_t* data,
                                                PlainEepromPlan& plan)
{
    const uint32_t S = static_cast<uint32_t>(eepromStart);
    const uint32_t E = static_cast<uint32_t>(eepromEnd);
    const auto rowStart = [](uint32_t a) { return a & ~(kRowBytes - 1); };
    const auto rowInside = [&](uint32_t a) { return rowStart(a) >= S && rowStart(a) + kRowBytes - 1 <= E; };
    // A row erase can pay only where at least two of the block's bytes share the row: only then
    // are the row's other bytes read, since a row erase must program them again.
    uint32_t readFirst = first;
    uint32_t readLast = last;
    if (rowInside(first) && std::min(last, rowStart(first) + kRowBytes - 1) > first)
        readFirst = rowStart(first);
    if (rowInside(last) && last > std::max(first, rowStart(last)))
        readLast = rowStart(last) + kRowBytes - 1;
    const uint32_t n = readLast - readFirst + 1;
    std::vector<uint8_t> now(n);
    if (TalkerStatus status = readBlock(readFirst, n, now.data()))
        return status;
    std::vector<uint8_t> wanted = now;
    std::copy(data, data + (last - first + 1), wanted.begin() + (first - readFirst));

    // Pulses (erases and programs) for bytes i..j-1 erased one by one where needed, and the same
    // bytes under one erase that clears them all.
    const auto byteCost = [&](uint32_t i, uint32_t j) {
        uint32_t pulses = 0;
        for (uint32_t k = i; k < j; ++k) {
            if (needsErase(now[k], wanted[k]))
                pulses += wanted[k] == kErased ? 1 : 2;
            else if (now[k] != wanted[k])
                pulses += 1;
        }
        return pulses;
    };
    const auto erasedCost = [&](uint32_t i, uint32_t j) {
        uint32_t pulses = 1;
        for (uint32_t k = i; k < j; ++k)
            pulses += wanted[k] != kErased ? 1 : 0;
        return pulses;
    };

    // Per row (or the part of one that was read): bytes one by one, or one row erase.
    std::vector<bool> rowErased(n, false);
    uint32_t planned = 0;
    for (uint32_t i = 0; i < n;) {
        const uint32_t a = readFirst + i;
        const uint32_t j = std::min(n, rowStart(a) + kRowBytes - readFirst);
        const bool wholeRow = a == rowStart(a) && j - i == kRowBytes && rowInside(a);
        const uint32_t bytes = byteCost(i, j);
        if (wholeRow && erasedCost(i, j) < bytes) {
            std::fill(rowErased.begin() + i, rowErased.begin() + j, true);
            planned += erasedCost(i, j);
        } else {
            planned += bytes;
        }
        i = j;
    }
    const bool bulk = readFirst == S && readLast == E && erasedCost(0, n) < planned;

    plan = {};
    if (bulk)
        plan.erases.push_back({S, EraseMode::Bulk});
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t a = readFirst + i;
        bool erased = bulk || rowErased[i];
        if (!bulk && rowErased[i] && a == rowStart(a))
            plan.erases.push_back({a, EraseMode::Row});
        if (!erased && needsErase(now[i], wanted[i])) {
            plan.erases.push_back({a, EraseMode::Byte});
            erased = true;
        }
        if (erased ? wanted[i] != kErased : wanted[i] != now[i])
            plan.programs.emplace_back(a, wanted[i]);
    }
    return kTalkerOk;
}

TalkerStatus TargetMemory::erasePlainEepromPlan(const PlainEepromPlan& plan)
{
    for (const auto& e : plan.erases) {
        if (TalkerStatus status = eraseEeprom(e.address, e.mode))
            return status;
    }
    return kTalkerOk;
}

TalkerStatus TargetMemory::programPlainEepromPlan(const PlainEepromPlan& plan)
{
    for (const auto& [address, value] : plan.programs) {
        if (TalkerStatus status = programEepromByte(address, value))
            return status;
    }
    return kTalkerOk;
}

TalkerStatus TargetMemory::writeBlock(uint32_t address, uint32_t count, const uint8_t* data) {
    if (!blockValid(address, count, data))
        return kTalkerCommError;
    if (count == 0)
        return kTalkerOk;
    const uint32_t last = address + count - 1;
    const uint32_t S = static_cast<uint32_t>(eepromStart);
    const uint32_t E = static_cast<uint32_t>(eepromEnd);
    const bool eepromValid = eepromStart >= 0 && eepromEnd <= 0xFFFF && eepromStart <= eepromEnd;
    if (link_.eepromEnabled == 0 || !eepromValid || last < S || address > E)
        return writeRaw(address, count, data);

    const uint32_t first = std::max(address, S);
    const uint32_t end = std::min(last, E);
    // Our talker programs a longer EEPROM part itself (while no program runs), then the rest.
    if (extended && extended->active() && end - first + 1 >= extended->eepromMinimum) {
        bool handled = false;
        uint32_t failedAt = 0;
        const TalkerStatus status =
            extended->programEeprom(first, end - first + 1, data + (first - address), handled, failedAt);
        if (handled) {
            if (status)
                return status;
            if (address < S)
                if (TalkerStatus s = writeRaw(address, S - address, data))
                    return s;
            if (last > E)
                return writeRaw(E + 1, last - E, data + (E + 1 - address));
            return kTalkerOk;
        }
    }

    // The EEPROM part: planned first, its erases before any plain part is written.
    PlainEepromPlan plan;
    if (TalkerStatus status = planPlainEepromWrite(first, end, data + (first - address), plan))
        return status;
    if (TalkerStatus status = erasePlainEepromPlan(plan))
        return status;
    if (address < S) {
        if (TalkerStatus status = writeRaw(address, S - address, data))
            return status;
    }
    if (TalkerStatus status = programPlainEepromPlan(plan))
        return status;
    if (last > E)
        return writeRaw(E + 1, last - E, data + (E + 1 - address));
    return kTalkerOk;
}

TalkerStatus TargetMemory::fill(uint32_t address, uint32_t count, uint32_t value) {
    if (!blockFits(address, count))
        return kTalkerCommError;
    const std::vector<uint8_t> block(count, static_cast<uint8_t>(value & 0xFF));
    return writeBlock(address, count, block.data());
}

TalkerStatus TargetMemory::move(uint32_t source, uint32_t count, uint32_t destination) {
    if (!blockFits(source, count) || !blockFits(destination, count))
        return kTalkerCommError;
    std::vector<uint8_t> block(count);
    if (TalkerStatus status = readBlock(source, count, block.data()))
        return status;
    return writeBlock(destination, count, block.data());
}

TalkerStatus TargetMemory::search(uint32_t address, uint32_t count, uint32_t value,
                                  uint32_t& foundAddress) {
    if (!blockFits(address, count))
        return kTalkerCommError;
    std::vector<uint8_t> block(count);
    if (TalkerStatus status = readBlock(address, count, block.data()))
        return status;
    for (uint32_t i = 0; i < count; ++i) {
        if (block[i] == static_cast<uint8_t>(value & 0xFF)) {
            foundAddress = address + i;
            return kTalkerOk;
        }
    }
    foundAddress = 0;
    return kTalkerSearchNotFound;
}
