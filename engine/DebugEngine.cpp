#include "DebugEngine.h"

#include "Deadline.h"
#include "InstructionDecoder.h"
#include "S19Reader.h"
#include "SerialPort.h"
#include "TalkerLink.h"
#include "TargetMemory.h"

#include <algorithm>
#include <poll.h>

namespace {

constexpr uint32_t kAddressMask = 0xFFFF;

// The CONFIG value that switches the EEPROM on or off: NOSEC and NOCOP set, ROMON clear.
constexpr uint8_t configValue(bool eepromOn) { return eepromOn ? 0x0D : 0x0C; }

// HPRIO value that switches a chip in special bootstrap mode to special test mode.
constexpr uint8_t kHprioSpecialTest = 0xE5;

constexpr uint32_t signedOffset(uint32_t base, uint8_t offset)
{
    return (base + static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(offset)))) & kAddressMask;
}

} // namespace

DebugEngine::DebugEngine(TalkerLink& link, TargetMemory& memory, EngineNotifier* notifier)
    : link_(link), memory_(memory), notifier_(notifier)
{
}

DebugEngine::~DebugEngine()
{
    // Once we are gone no one takes a hit or writes a displaced byte back, so nothing of ours may
    // stay in the target's code: a program still running goes on without its breakpoints. A hit
    // already reported is taken first, as its "J" would stand in for the first write's echo.
    // With nothing planted this sends nothing.
    if (link_.port().isOpen()) {
        if (running)
            takePendingHit();
        if (restoreBreakpoints() == kTalkerOk)
            (void)restoreLeftoverTracepoints();
    }
    link_.closePort();
}

void DebugEngine::notify(const char* text)
{
    if (notifier_)
        notifier_->showMessage(text);
}

TalkerStatus DebugEngine::readRegisters(TargetRegisters& r)
{
    return link_.readRegisters(r.SP, r.CCR, r.B, r.A, r.X, r.Y, r.PC);
}

TalkerStatus DebugEngine::writeRegisters(const TargetRegisters& r)
{
    return link_.writeRegisters(r.SP, r.CCR, r.B, r.A, r.X, r.Y, r.PC);
}

uint8_t DebugEngine::originalByte(uint32_t address, uint8_t byteRead) const
{
    if (byteRead != kSwiOpcode)
        return byteRead;
    for (const auto& t : tracepoints)
        if (t.planted && t.address == address)
            return t.savedOpcode;
    for (const auto& b : breakpoints)
        if (b.planted && b.address == address)
            return b.savedOpcode;
    return byteRead;
}

// ---------------------------------------------------------------- breakpoint table

TalkerStatus DebugEngine::setBreakpoint(uint32_t address)
{
    address &= kAddressMask;
    if (address == 0)
        return kTalkerBreakpointExists;
    BreakpointRecord* free = nullptr;
    for (auto& b : breakpoints) {
        if (b.address == address)
            return kTalkerBreakpointExists;
        if (b.address == 0 && !free)
            free = &b;
    }
    if (!free)
        return kTalkerBreakpointLimit;
    uint8_t byte = 0;
    if (TalkerStatus s = link_.readMemory(address, 1, &byte))
        return s;
    byte = originalByte(address, byte);
    if (!InstructionDecoder::decode(byte).valid)
        return kTalkerInvalidOpcode;
    *free = BreakpointRecord{address, byte, false};
    return kTalkerOk;
}

TalkerStatus DebugEngine::readByteToSave(uint32_t address, uint8_t& byte)
{
    // The byte goes back over the program's code when the SWI comes out, so one garbled on its
    // way here would be written into the program: it is taken only once two reads agree.
    uint8_t previous = 0;
    if (TalkerStatus s = link_.readMemory(address, 1, &previous))
        return s;
    for (int i = 0; i < kSaveReadRetries; ++i) {
        uint8_t again = 0;
        if (TalkerStatus s = link_.readMemory(address, 1, &again))
            return s;
        if (again == previous) {
            byte = originalByte(address, again);
            return kTalkerOk;
        }
        previous = again;
    }
    return kTalkerBadEcho;
}

TalkerStatus DebugEngine::removeBreakpoint(uint32_t address)
{
    address &= kAddressMask;
    for (auto& b : breakpoints) {
        if (b.address == 0 || b.address != address)
            continue;
        if (b.planted) {
            if (TalkerStatus s = link_.writeMemory(b.address, 1, &b.savedOpcode))
                return s;
        }
        b = BreakpointRecord{};
        return kTalkerOk;
    }
    return kTalkerBreakpointNotFound;
}

uint8_t DebugEngine::listBreakpoints(std::array<uint32_t, kBreakpointCount>& addresses) const
{
    uint8_t count = 0;
    for (size_t i = 0; i < breakpoints.size(); ++i) {
        addresses[i] = breakpoints[i].address;
        count += breakpoints[i].address != 0 ? 1 : 0;
    }
    return count;
}

TalkerStatus DebugEngine::plantBreakpoints()
{
    static constexpr uint8_t swi = kSwiOpcode;
    TalkerStatus status = kTalkerOk;
    for (auto& b : breakpoints) {
        if (b.address == 0)
            continue;
        if (!b.planted) {
            // The byte is taken afresh: a load or memory write since the breakpoint was set counts.
            if ((status = readByteToSave(b.address, b.savedOpcode)))
                break;
        }
        // Marked before the write: a write that reached the target but failed its check is undone too.
        b.planted = true;
        if ((status = link_.writeMemory(b.address, 1, &swi)))
            break;
    }
    if (status) {
        // Leave no SWI behind from a plant that could not be completed.
        for (auto& b : breakpoints) {
            if (b.planted && link_.writeMemory(b.address, 1, &b.savedOpcode) == kTalkerOk)
                b.planted = false;
        }
        return status;
    }
    running = 1;
    return kTalkerOk;
}

TalkerStatus DebugEngine::restoreBreakpoints()
{
    running = 0;
    for (auto& b : breakpoints) {
        if (b.address == 0 || !b.planted)
            continue;
        if (TalkerStatus s = link_.writeMemory(b.address, 1, &b.savedOpcode))
            return s;
        b.planted = false;
    }
    return kTalkerOk;
}

// ---------------------------------------------------------------- talker start-up

TalkerStatus DebugEngine::startTalker(const std::string& portName, int talkerType, const std::string& fileName,
                                      int chipMode, int32_t eepromEnable)
{
    TalkerStatus status;
    if (talkerType == 0)
        status = link_.bootRamTalker(portName, fileName);
    else if (talkerType == 1)
        status = link_.bootRomTalker(portName, fileName);
    else
        return kTalkerTypeInvalid;
    if (status)
        return status;
    // The boot restarted the chip (or the talker took over an idle one): no program runs now.
    running = 0;

    static constexpr uint8_t unprotect = 0x00;
    if ((status = memory_.writeBlock(Hc11Reg::kBprot, 1, &unprotect)))
        return status;

    TargetRegisters frame;
    if ((status = readRegisters(frame)))
        return status;
    currentPC = frame.PC;
    talkerIdleAddress = frame.PC;
    if ((status = writeRegisters(frame)))
        return status;

    const bool wantOn = eepromEnable != 0;
    if (wantOn != (link_.eepromEnabled != 0)) {
        const uint8_t config = configValue(wantOn);
        // Erase and program report nothing useful here: CONFIG only reads back its new value after
        // the reset, which is checked below.
        (void)memory_.eraseEeprom(Hc11Reg::kConfig, 0);
        (void)memory_.programEepromByte(Hc11Reg::kConfig, config);
        if ((status = link_.resetTarget()))
            return status;
        if ((status = memory_.writeBlock(Hc11Reg::kBprot, 1, &unprotect)))
            return status;
        uint8_t readBack = 0;
        if ((status = memory_.readBlock(Hc11Reg::kConfig, 1, &readBack)))
            return status;
        if (readBack != config)
            return kTalkerRegisterWriteFailed;
        link_.eepromEnabled = wantOn ? 1 : 0;
    }

    if (chipMode == 1) {
        static constexpr uint8_t hprio = kHprioSpecialTest;
        if ((status = link_.writeMemory(Hc11Reg::kHprio, 1, &hprio)))
            return status;
    }

    // SWIs left by an operation that failed before the boot: memory the target can reach now
    // gets its bytes back; the rest stay recorded for a later operation.
    for (auto& b : breakpoints)
        if (b.address != 0 && b.planted && link_.writeMemory(b.address, 1, &b.savedOpcode) == kTalkerOk)
            b.planted = false;
    for (auto& t : tracepoints)
        if (t.planted && link_.writeMemory(t.address, 1, &t.savedOpcode) == kTalkerOk)
            t = BreakpointRecord{};

    notify(EngineMessage::kTalkerInitialized);
    return kTalkerOk;
}

// ---------------------------------------------------------------- execution control

TalkerStatus DebugEngine::execute(uint32_t address, bool withBreakpoints)
{
    address &= kAddressMask;
    currentPC = address;
    TalkerStatus status;
    // A run must not meet SWIs of an unfinished trace step or of a failed run.
    if ((status = restoreLeftovers()))
        return status;
    if (withBreakpoints && (status = plantBreakpoints()))
        return status;
    return startAt(address);
}

TalkerStatus DebugEngine::startAt(uint32_t address)
{
    TargetRegisters frame;
    if (TalkerStatus status = readRegisters(frame))
        return status;
    frame.PC = address;
    return writeRegisters(frame);
}

TalkerStatus DebugEngine::restoreLeftovers()
{
    if (!running) {
        if (TalkerStatus s = restoreBreakpoints())
            return s;
    }
    return restoreLeftoverTracepoints();
}

TalkerStatus DebugEngine::callSubroutine(uint32_t address)
{
    TargetRegisters frame;
    TalkerStatus status;
    if ((status = restoreLeftovers()))
        return status;
    if ((status = readRegisters(frame)))
        return status;
    frame.SP = (frame.SP - 2) & kAddressMask;
    if ((status = writeRegisters(frame)))
        return status;
    const uint8_t returnAddress[2] = {static_cast<uint8_t>(talkerIdleAddress >> 8),
                                      static_cast<uint8_t>(talkerIdleAddress & 0xFF)};
    if ((status = link_.writeMemory((frame.SP + 9) & kAddressMask, 2, returnAddress)))
        return status;
    frame.PC = address & kAddressMask;
    return writeRegisters(frame);
}

TalkerStatus DebugEngine::stop()
{
    TargetRegisters frame;
    TalkerStatus status;
    if ((status = readRegisters(frame)))
        return status;
    currentPC = frame.PC;
    frame.PC = talkerIdleAddress;
    if ((status = writeRegisters(frame)))
        return status;
    if ((status = restoreBreakpoints()))
        return status;
    running = 0;
    return restoreLeftoverTracepoints();
}

BreakpointHit DebugEngine::pollBreakpointHit()
{
    BreakpointHit hit;
    if (!running)
        return hit;
    if (!link_.pollSwi()) {
        if (link_.port().lineLost())
            hit.status = kTalkerCommError;
        return hit;
    }

    TargetRegisters& r = hit.registers;
    if ((hit.status = link_.confirmSwi(r.PC, r.SP, r.CCR, r.B, r.A, r.X, r.Y))) {
        hit.kind = BreakpointHitKind::ConfirmFailed;
        notify(EngineMessage::kSwiConfirmFailed);
        return hit;
    }
    hit.address = r.PC;
    if (breakpointConfirmed &&
        std::any_of(breakpoints.begin(), breakpoints.end(), [&](const BreakpointRecord& b) {
            return b.address != 0 && b.address == hit.address;
        }))
        breakpointConfirmed(hit.address);
    if ((hit.status = restoreBreakpoints())) {
        hit.kind = BreakpointHitKind::RestoreFailed;
        notify(EngineMessage::kBreakpointsNotRemoved);
        return hit;
    }
    if (removeBreakpoint(hit.address) != kTalkerOk) {
        hit.kind = BreakpointHitKind::NotInTable;
        notify(EngineMessage::kHitNotInTable);
        return hit;
    }
    hit.kind = BreakpointHitKind::Hit;
    return hit;
}

// ---------------------------------------------------------------- trace

TalkerStatus DebugEngine::plantTracepoint(uint32_t address)
{
    address &= kAddressMask;
    BreakpointRecord* free = nullptr;
    for (auto& t : tracepoints) {
        if (t.planted && t.address == address)
            return kTalkerOk; // one SWI per address: a second would record the first as the original
        if (!t.planted && !free)
            free = &t;
    }
    if (!free)
        return kTalkerTraceFailed;
    uint8_t byte = 0;
    if (TalkerStatus s = readByteToSave(address, byte))
        return s;
    // Recorded before the write, so that a write that reached the target but failed its check is undone.
    *free = BreakpointRecord{address, byte, true};
    static constexpr uint8_t swi = kSwiOpcode;
    return link_.writeMemory(address, 1, &swi);
}

TalkerStatus DebugEngine::restoreTracepoints()
{
    for (auto& t : tracepoints) {
        if (!t.planted)
            continue;
        if (TalkerStatus s = link_.writeMemory(t.address, 1, &t.savedOpcode))
            return s;
        t = BreakpointRecord{};
    }
    return kTalkerOk;
}

TalkerStatus DebugEngine::restoreLeftoverTracepoints()
{
    bool leftover = false;
    for (const auto& t : tracepoints)
        leftover = leftover || t.planted;
    if (!leftover)
        return kTalkerOk;
    // The target may have reached a leftover tracepoint after its step gave up waiting.
    takePendingHit();
    return restoreTracepoints();
}

void DebugEngine::takePendingHit()
{
    if (link_.pollSwi()) {
        TargetRegisters r;
        (void)link_.confirmSwi(r.PC, r.SP, r.CCR, r.B, r.A, r.X, r.Y);
    }
}

bool DebugEngine::waitForSwi()
{
    if (link_.pollSwi())
        return true;
    const Deadline deadline = Deadline::afterMs(traceWaitMs);
    const int fd = link_.port().descriptor();
    do {
        if (fd >= 0) {
            pollfd p{fd, POLLIN, 0};
            ::poll(&p, 1, deadline.remainingMs());
        } else {
            deadline.sleepUntil();
        }
        if (link_.pollSwi())
            return true;
    } while (!deadline.expired());
    return false;
}

TalkerStatus DebugEngine::traceStep(uint32_t address)
{
    address &= kAddressMask;
    if (restoreLeftovers() != kTalkerOk) {
        notify(EngineMessage::kTracepointsNotRemoved);
        return kTalkerTraceFailed;
    }

    uint8_t b[6] = {};
    TalkerStatus status;
    if ((status = link_.readMemory(address, 6, b)))
        return status;

    const uint32_t p = InstructionDecoder::isPrefix(b[0]) ? 1 : 0;
    const bool indexY = b[0] == 0x18;
    const bool otherPage = b[0] == 0x1A || b[0] == 0xCD;
    const DecodedInstruction d = InstructionDecoder::decode(b[p]);
    // Pages $1A and $CD hold no control transfer: such a pair is an illegal opcode on the chip.
    if (!d.valid || (otherPage && d.changesFlow))
        return kTalkerInvalidOpcode;

    const uint32_t fallThrough = (address + p + d.length) & kAddressMask;
    uint32_t successors[2];
    int count = 0;
    const std::string_view m = d.mnemonic;
    if (!d.changesFlow) {
        successors[count++] = fallThrough;
    } else if (m == "BRSET" || m == "BRCLR") {
        successors[count++] = signedOffset(fallThrough, b[p + 3]);
        successors[count++] = fallThrough;
    } else if (m == "JMP" || m == "BRA" || m == "JSR" || m == "BSR") {
        if (d.mode == "DIR") {
            successors[count++] = b[p + 1];
        } else if (d.mode == "EXT") {
            successors[count++] = (uint32_t{b[p + 1]} << 8) | b[p + 2];
        } else if (d.mode == "IND") {
            TargetRegisters frame;
            if ((status = readRegisters(frame)))
                return status;
            successors[count++] = ((indexY ? frame.Y : frame.X) + b[p + 1]) & kAddressMask;
        } else {
            successors[count++] = signedOffset(fallThrough, b[p + 1]);
        }
    } else if (m == "RTS") {
        TargetRegisters frame;
        if ((status = readRegisters(frame)))
            return status;
        uint8_t top[2] = {};
        if ((status = link_.readMemory((frame.SP + 9) & kAddressMask, 2, top)))
            return status;
        successors[count++] = (uint32_t{top[0]} << 8) | top[1];
    } else {
        successors[count++] = signedOffset(fallThrough, b[p + 1]);
        successors[count++] = fallThrough;
    }

    for (int i = 0; i < count; ++i)
        if ((status = plantTracepoint(successors[i])))
            return status;
    currentPC = address;
    if ((status = startAt(address)))
        return status;

    if (!waitForSwi()) {
        notify(EngineMessage::kNoReturn);
        return kTalkerTraceFailed;
    }
    TargetRegisters stopped;
    if (link_.confirmSwi(stopped.PC, stopped.SP, stopped.CCR, stopped.B, stopped.A, stopped.X, stopped.Y)) {
        notify(EngineMessage::kSwiConfirmFailed);
        return kTalkerTraceFailed;
    }
    currentPC = stopped.PC;
    if (restoreTracepoints() != kTalkerOk) {
        notify(EngineMessage::kTracepointsNotRemoved);
        return kTalkerTraceFailed;
    }
    return kTalkerOk;
}

// ---------------------------------------------------------------- S19

TalkerStatus DebugEngine::loadS19(const std::string& path)
{
    S19Reader reader;
    if (TalkerStatus s = reader.readFile(path))
        return s;
    if (TalkerStatus s = restoreLeftovers())
        return s;
    const uint64_t total = reader.dataBytes();
    uint64_t done = 0;
    bool first = true;
    for (const S19Record& r : reader.records()) {
        if (first) {
            currentPC = r.address;
            first = false;
        }
        if (r.dataLength == 0)
            continue;
        // Breakpoints planted for a run stay planted over the new code and restore the new byte
        // later; recorded before the write, so the record is right whatever part of it arrives.
        std::array<uint8_t, 256> data{};
        std::copy_n(r.data.begin(), r.dataLength, data.begin());
        for (auto& b : breakpoints) {
            const uint32_t offset = (b.address - r.address) & kAddressMask;
            if (b.planted && offset < r.dataLength) {
                b.savedOpcode = r.data[offset];
                data[offset] = kSwiOpcode;
            }
        }
        if (TalkerStatus s = link_.writeMemory(r.address, r.dataLength, data.data()))
            return s;
        reportS19Progress(done += r.dataLength, total);
    }
    return kTalkerOk;
}

TalkerStatus DebugEngine::verifyS19(const std::string& path)
{
    S19Reader reader;
    if (TalkerStatus s = reader.readFile(path))
        return s;
    const uint64_t total = reader.dataBytes();
    uint64_t done = 0;
    for (const S19Record& r : reader.records()) {
        if (r.dataLength == 0)
            continue;
        uint8_t buffer[256] = {};
        if (TalkerStatus s = link_.readMemory(r.address, r.dataLength, buffer))
            return s;
        for (size_t i = 0; i < r.dataLength; ++i)
            if (originalByte((r.address + i) & kAddressMask, buffer[i]) != r.data[i])
                return kTalkerS19Mismatch;
        reportS19Progress(done += r.dataLength, total);
    }
    return kTalkerOk;
}

void DebugEngine::reportS19Progress(uint64_t done, uint64_t total) const
{
    if (s19Progress)
        s19Progress(done, total);
}
