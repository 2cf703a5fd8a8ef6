#include "link/TargetMemory.h"

#include "link/TalkerLink.h"

#include <chrono>
#include <thread>
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
        std::this_thread::sleep_for(std::chrono::milliseconds(programDelayMs));
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

TalkerStatus TargetMemory::programRange(uint32_t address, uint32_t last, const uint8_t* data) {
    for (uint32_t t = address; t <= last; ++t) {
        if (TalkerStatus status = programEepromByte(t, data[t - address]))
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

    if (address >= S && last <= E) {
        if (TalkerStatus status = eraseEepromRange(address, last))
            return status;
        return programRange(address, last, data);
    }
    if (address < S && last <= E) {
        if (TalkerStatus status = writeRaw(address, S - address, data))
            return status;
        if (TalkerStatus status = eraseEepromRange(S, last))
            return status;
        return programRange(S, last, data + (S - address));
    }
    if (address >= S) { // starts inside, ends after
        if (TalkerStatus status = eraseEepromRange(address, E))
            return status;
        if (TalkerStatus status = programRange(address, E, data))
            return status;
        return writeRaw(E + 1, last - E, data + (E + 1 - address));
    }
    // Spans the whole EEPROM.
    if (TalkerStatus status = eraseEeprom(S, EraseMode::Bulk))
        return status;
    if (TalkerStatus status = writeRaw(address, S - address, data))
        return status;
    if (TalkerStatus status = programRange(S, E, data + (S - address)))
        return status;
    return writeRaw(E + 1, last - E, data + (E + 1 - address));
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
