#include "engine/DebugEngine.h"

#include "engine/CommandTexts.h"
#include "link/Deadline.h"
#include "hc11/InstructionDecoder.h"
#include "engine/S19Reader.h"
#include "link/ByteChannel.h"
#include "hc11/Successors.h"
#include "link/TalkerLink.h"
#include "link/TargetMemory.h"

#include <algorithm>

namespace {

constexpr uint32_t kAddressMask = 0xFFFF;

// The CONFIG value that switches the EEPROM on or off: NOSEC and NOCOP set, ROMON clear. On a
// chip whose CONFIG places the EEPROM (the 811E2's upper nibble) the place is kept as it is.
constexpr uint8_t configValue(const ChipVariant& chip, uint8_t current, bool eepromOn) {
    const uint8_t place = chip.eepromMovable ? static_cast<uint8_t>(current & 0xF0) : 0x00;
    return static_cast<uint8_t>(place | (eepromOn ? 0x0D : 0x0C));
}
static_assert(configValue(chipVariant(ChipKind::A1), 0xFF, true) == 0x0D &&
              configValue(chipVariant(ChipKind::E2), 0xFF, false) == 0xFC);

// Tells the memory services where the chip's EEPROM is with this CONFIG value.
void placeEeprom(TargetMemory& memory, const ChipVariant& chip, uint8_t config) {
    const uint16_t start = eepromStartFor(chip, config);
    memory.eepromStart = start;
    memory.eepromEnd = std::min<int32_t>(0xFFFF, start + chip.eepromSize - 1);
}

// HPRIO value that switches a chip in special bootstrap mode to special test mode.
constexpr uint8_t kHprioSpecialTest = 0xE5;

// The RTS our talker keeps among its pseudo-vectors and never executes itself.
constexpr uint32_t kTalkerRts = 0x00C8;
// The talker's pseudo-vector slots, where an interrupt nobody installed stops at an SWI.
constexpr uint32_t kPseudoVectorFirst = 0x00C4;
constexpr uint32_t kPseudoVectorLast = 0x00FF;
constexpr uint8_t kRtsOpcode = 0x39;
// A RAM talker's code, stack and pseudo-vectors fill the chip's RAM up to here. Of it, the
// interrupt slots from the pulse accumulator's up to XIRQ's are the program's: each holds an SWI
// the talker only reports, until the program installs its handler's JMP there. The SCI slot
// ($00C4) and SWI, illegal-opcode, COP and clock-monitor slots ($00F4-$00FF) jump into the talker;
// the SPI slot ($00C7) holds the SWI the extended services park the talker on and the RTS a call
// returns through ($00C8).
constexpr uint32_t kTalkerRamEnd = 0x00FF;
constexpr uint32_t kProgramSlotsFirst = 0x00CA;
constexpr uint32_t kProgramSlotsLast = 0x00F3;
// The register block, where it sits out of reset (INIT $01).
constexpr uint32_t kRegisterBlockFirst = 0x1000;
constexpr uint32_t kRegisterBlockLast = 0x103F;
// CONFIG's ROMON bit: the mask ROM (on chips that have one) is mapped. The boot ROM is taken as
// mapped whenever a talker runs: special bootstrap and special test mode both keep HPRIO.RBOOT set.
constexpr uint8_t kConfigRomOn = 0x02;

// The program's registers in a talker frame; the program's own stack pointer is the frame's SP + 8.
CpuRegisters cpuRegisters(const TargetRegisters& frame)
{
    CpuRegisters r;
    r.A = frame.A;
    r.B = frame.B;
    r.CCR = frame.CCR;
    r.X = static_cast<uint16_t>(frame.X);
    r.Y = static_cast<uint16_t>(frame.Y);
    r.SP = static_cast<uint16_t>(frame.SP + 8);
    return r;
}

} // namespace

DebugEngine::DebugEngine(TalkerLink& link, TargetMemory& memory, EngineNotifier* notifier)
    : link_(link), memory_(memory), notifier_(notifier)
{
    memory_.extended = &extended_;
    // A service the line interrupted is ended, its slots and the frame restored, before anything
    // else reaches the talker (the next command, a stop, the write-back on exit): run against a
    // service, plain commands would be taken as its data (EEPROM erases among them).
    link_.setCommandGate([this] { return extended_.endLeftService(); });
}

DebugEngine::~DebugEngine()
{
    // Once we are gone no one takes a hit or writes a displaced byte back, so nothing of ours may
    // stay in the target's code: a program still running goes on without its breakpoints. A hit
    // already reported is taken first, as its "J" would stand in for the first write's echo.
    // With nothing planted this sends nothing.
    if (link_.port().isOpen()) {
        // A service kept installed (or cut short) goes first: the slots are the program's again.
        (void)extended_.endLeftService();
        (void)writeBackPlanted();
    }
    link_.setCommandGate(nullptr);
    link_.closePort();
}

TalkerStatus DebugEngine::writeBackPlanted()
{
    if (plantedRecords().empty())
        return kTalkerOk;
    if (running)
        takePendingHit();
    // Each record on its own: one byte that cannot be written back leaves the others to try.
    TalkerStatus first = restoreBreakpoints();
    for (auto& b : breakpoints)
        if (b.address != 0 && b.planted)
            (void)writeBackByte(b);
    const TalkerStatus traced = restoreLeftoverTracepoints();
    for (auto& t : tracepoints)
        if (t.planted && writeBackByte(t) == kTalkerOk)
            t = BreakpointRecord{};
    if (first == kTalkerOk)
        first = traced;
    recordPlanted();
    return plantedRecords().empty() ? kTalkerOk : first;
}

void DebugEngine::recordPlanted()
{
    if (journal)
        journal->record(plantedRecords());
}

std::vector<BreakpointRecord> DebugEngine::plantedRecords() const
{
    std::vector<BreakpointRecord> out;
    for (const auto& t : tracepoints)
        if (t.planted)
            out.push_back(t);
    for (const auto& b : breakpoints)
        if (b.address != 0 && b.planted)
            out.push_back(b);
    return out;
}

void DebugEngine::notify(const std::string& text)
{
    if (notifier_)
        notifier_->showMessage(text);
}

TalkerStatus DebugEngine::readRegisters(TargetRegisters& r)
{
    return link_.readRegisters(r);
}

TalkerStatus DebugEngine::writeRegisters(const TargetRegisters& r)
{
    return link_.writeRegisters(r);
}

TalkerStatus DebugEngine::readFrameToWriteBack(TargetRegisters& frame)
{
    // The talker stores a frame written to it at the frame's SP, so a frame garbled on its way
    // here would put nine bytes where the program keeps its data (and wrong registers into the
    // program): it is taken once two reads in a row agree. A running program moves its registers
    // between reads but, as a rule, not its stack: while nothing is held, a read whose SP (the
    // field that decides where the frame goes) agrees with the read before it is taken when no two
    // reads agree on every register.
    TargetRegisters previous;
    if (TalkerStatus s = readRegisters(previous))
        return s;
    std::optional<TargetRegisters> sameStack;
    for (int i = 0; i < kSaveReadRetries; ++i) {
        TargetRegisters again;
        if (TalkerStatus s = readRegisters(again))
            return s;
        if (again == previous) {
            frame = again;
            return kTalkerOk;
        }
        if (again.SP == previous.SP)
            sameStack = again;
        previous = again;
    }
    if (sameStack && !heldAt) {
        frame = *sameStack;
        return kTalkerOk;
    }
    return kTalkerBadEcho;
}

uint8_t DebugEngine::originalByte(uint32_t address, uint8_t byteRead) const
{
    lookThroughSwis(address, &byteRead, 1);
    return byteRead;
}

void DebugEngine::lookThroughSwis(uint32_t address, uint8_t* bytes, uint32_t count) const
{
    auto look = [&](const BreakpointRecord& rec) {
        const uint32_t offset = (rec.address - address) & kAddressMask;
        if (rec.planted && offset < count && bytes[offset] == kSwiOpcode)
            bytes[offset] = rec.savedOpcode;
    };
    for (const auto& t : tracepoints)
        look(t);
    for (const auto& b : breakpoints)
        if (b.address != 0)
            look(b);
}

void DebugEngine::keepSwisUnder(uint32_t address, uint8_t* bytes, uint32_t count)
{
    // Recorded before the write, so the record is right whatever part of the write arrives.
    auto keep = [&](BreakpointRecord& rec) {
        const uint32_t offset = (rec.address - address) & kAddressMask;
        if (rec.planted && offset < count) {
            rec.savedOpcode = bytes[offset];
            bytes[offset] = kSwiOpcode;
        }
    };
    for (auto& t : tracepoints)
        keep(t);
    for (auto& b : breakpoints)
        if (b.address != 0)
            keep(b);
    recordPlanted();
}

bool DebugEngine::hasBreakpoint(uint32_t address) const
{
    address &= kAddressMask;
    return address != 0 && std::any_of(breakpoints.begin(), breakpoints.end(),
                                       [&](const BreakpointRecord& b) { return b.address == address; });
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
    uint8_t read = 0;
    if (TalkerStatus s = readStableByte(address, read))
        return s;
    byte = originalByte(address, read);
    return kTalkerOk;
}

TalkerStatus DebugEngine::readStableByte(uint32_t address, uint8_t& byte)
{
    uint8_t previous = 0;
    if (TalkerStatus s = link_.readMemory(address, 1, &previous))
        return s;
    for (int i = 0; i < kSaveReadRetries; ++i) {
        uint8_t again = 0;
        if (TalkerStatus s = link_.readMemory(address, 1, &again))
            return s;
        if (again == previous) {
            byte = again;
            return kTalkerOk;
        }
        previous = again;
    }
    return kTalkerBadEcho;
}

TalkerStatus DebugEngine::writeBackByte(BreakpointRecord& record)
{
    // The program may have written this byte itself since our SWI went in (code that builds or
    // patches code): its byte is the one to keep. A byte other than our SWI is taken as the
    // program's only once two reads agree, so a garbled reply cannot leave the SWI in place.
    uint8_t now = 0;
    if (TalkerStatus s = link_.readMemory(record.address, 1, &now))
        return s;
    if (now != kSwiOpcode && now != record.savedOpcode) {
        if (TalkerStatus s = readStableByte(record.address, now))
            return s;
    }
    if (now == kSwiOpcode) {
        if (TalkerStatus s = link_.writeMemory(record.address, 1, &record.savedOpcode))
            return s;
    } else if (now != record.savedOpcode) {
        notify(CommandText::format(EngineMessage::kProgramByteKept, static_cast<unsigned>(record.address),
                                   static_cast<unsigned>(now), static_cast<unsigned>(record.savedOpcode)));
    }
    record.planted = false;
    return kTalkerOk;
}

TalkerStatus DebugEngine::removeBreakpoint(uint32_t address)
{
    address &= kAddressMask;
    for (auto& b : breakpoints) {
        if (b.address == 0 || b.address != address)
            continue;
        if (b.planted) {
            if (TalkerStatus s = writeBackByte(b))
                return s;
        }
        b = BreakpointRecord{};
        recordPlanted();
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
        // Marked (and journalled) before the write: a write that reached the target but failed its
        // check is undone too.
        b.planted = true;
        recordPlanted();
        if ((status = link_.writeMemory(b.address, 1, &swi)))
            break;
    }
    if (status) {
        // Leave no SWI behind from a plant that could not be completed.
        for (auto& b : breakpoints)
            if (b.planted)
                (void)writeBackByte(b);
        recordPlanted();
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
        if (TalkerStatus s = writeBackByte(b)) {
            recordPlanted();
            return s;
        }
    }
    recordPlanted();
    return kTalkerOk;
}

// ---------------------------------------------------------------- talker start-up

TalkerStatus DebugEngine::startTalker(const std::string& portName, TalkerType talkerType, const std::string& fileName,
                                      ChipMode chipMode, int32_t eepromEnable)
{
    // A type read from settings arrives as a cast number and may be neither.
    if (talkerType != TalkerType::Ram && talkerType != TalkerType::Rom)
        return kTalkerTypeInvalid;
    talkerKind_ = TalkerKind::None;
    extended_.setLayout(std::nullopt);
    const bool ram = talkerType == TalkerType::Ram;
    // Our own talker, recognised from the file's bytes, boots in checked mode and gets the
    // extended mode; any other talker keeps the plain protocol.
    const std::optional<TalkerLayout> ours = ram && extendedMode ? recogniseTalkerFile(fileName) : std::nullopt;
    link_.setChecked(ours.has_value());
    TalkerStatus status = ram ? link_.bootRamTalker(portName, fileName, ours ? checkedModePatches(*ours)
                                                                           : std::vector<TalkerLink::ImagePatch>{})
                              : link_.bootRomTalker(portName, fileName);
    if (status)
        return status;
    talkerKind_ = ram ? TalkerKind::Ram : TalkerKind::Rom;
    const ChipVariant& chip = chipVariant(link_.chip);
    placeEeprom(memory_, chip, link_.configByte);
    // The boot restarted the chip (or the talker took over an idle one): no program runs or is held now.
    running = 0;
    heldAt.reset();

    static constexpr uint8_t unprotect = 0x00;
    if ((status = memory_.writeBlock(Hc11Reg::kBprot, 1, &unprotect)))
        return status;

    TargetRegisters frame;
    if ((status = readFrameToWriteBack(frame)))
        return status;
    currentPC = frame.PC;
    talkerIdleAddress = frame.PC;
    if ((status = writeRegisters(frame)))
        return status;

    const bool wantOn = eepromEnable != 0;
    if (wantOn != (link_.eepromEnabled != 0)) {
        const uint8_t config = configValue(chip, link_.configByte, wantOn);
        // Erase and program report nothing useful here: CONFIG only reads back its new value after
        // the reset, which is checked below.
        (void)memory_.eraseEeprom(Hc11Reg::kConfig, EraseMode::Byte);
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
        link_.configByte = readBack;
        placeEeprom(memory_, chip, readBack);
    }

    if (chipMode == ChipMode::SpecialTest) {
        static constexpr uint8_t hprio = kHprioSpecialTest;
        if ((status = link_.writeMemory(Hc11Reg::kHprio, 1, &hprio)))
            return status;
    }

    // SWIs left by an operation that failed before the boot: memory the target can reach now
    // gets its bytes back; the rest stay recorded for a later operation.
    for (auto& b : breakpoints)
        if (b.address != 0 && b.planted)
            (void)writeBackByte(b);
    for (auto& t : tracepoints)
        if (t.planted && writeBackByte(t) == kTalkerOk)
            t = BreakpointRecord{};
    recordPlanted();

    // A talker started from EEPROM that answered in checked mode is ours if its RAM says so.
    std::optional<TalkerLayout> running = link_.checked() ? ours : std::nullopt;
    if (!ram && link_.checked()) {
        std::array<uint8_t, 256> image{};
        if (memory_.readBlock(0x0000, 256, image.data()) == kTalkerOk)
            running = recogniseTalkerImage(image.data(), TalkerServices::kNop);
    }
    // A faster line that cannot be confirmed leaves both ends at 9600 baud.
    extended_.setLayout(running);
    if (extended_.active() && fastLine) {
        bool fast = false;
        if ((status = extended_.switchToFastLine(fast)))
            return status;
    }

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
    TargetRegisters frame;
    if ((status = readFrameToWriteBack(frame)))
        return status;
    return startFrameAt(frame, address);
}

// The talker keeps a stopped program stopped when a register write brings the PC it stacked (the
// address after the SWI): that is how a stopped program's registers are edited. A start at that
// very address therefore goes through the RTS our talker keeps at $00C8: the frame moves two
// bytes down, the address goes where the old frame's PC was, and the talker returns from the
// moved frame into that RTS, which pulls the address and leaves the program's stack pointer
// exactly as it was. Where $00C8 holds no RTS (another talker, or one of our SWIs planted there)
// the target goes back to the talker's idle loop first and is started from there; the idle loop
// stacks on the talker's own stack, which a program that keeps its stack there shares.
TalkerStatus DebugEngine::startFrameAt(TargetRegisters frame, uint32_t address)
{
    address &= kAddressMask;
    heldAt.reset();
    if (frame.PC != address) {
        frame.PC = address;
        return writeRegisters(frame);
    }
    bool viaRts = false;
    if (TalkerStatus s = talkerRtsUsable(address, viaRts))
        return s;
    if (viaRts)
        return startThroughRts(frame, {address});
    frame.PC = talkerIdleAddress;
    if (TalkerStatus s = writeRegisters(frame))
        return s;
    frame.PC = address;
    return writeRegisters(frame);
}

TalkerStatus DebugEngine::startThroughRts(TargetRegisters frame, std::initializer_list<uint32_t> pushed)
{
    // With its PC unchanged the moved frame keeps a held program held.
    frame.SP = (frame.SP - 2 * static_cast<uint32_t>(pushed.size())) & kAddressMask;
    if (TalkerStatus s = writeRegisters(frame))
        return s;
    uint8_t bytes[4] = {};
    uint32_t count = 0;
    for (uint32_t a : pushed) {
        bytes[count++] = static_cast<uint8_t>(a >> 8);
        bytes[count++] = static_cast<uint8_t>(a & 0xFF);
    }
    if (TalkerStatus s = link_.writeMemory((frame.SP + 9) & kAddressMask, count, bytes))
        return s;
    frame.PC = kTalkerRts;
    return writeRegisters(frame);
}

TalkerStatus DebugEngine::talkerRtsUsable(uint32_t address, bool& usable)
{
    usable = false;
    // A program held right after $00C7 has $00C8 as its stacked PC: a start there stays held.
    if (address == kTalkerRts)
        return kTalkerOk;
    uint8_t byte = 0;
    if (TalkerStatus s = readStableByte(kTalkerRts, byte))
        return s;
    usable = byte == kRtsOpcode;
    return kTalkerOk;
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
    address &= kAddressMask;
    TargetRegisters frame;
    TalkerStatus status;
    if ((status = restoreLeftovers()))
        return status;
    if ((status = readFrameToWriteBack(frame)))
        return status;
    heldAt.reset();
    if (frame.PC == address) {
        // The subroutine starts where the talker holds a program (see startFrameAt): through the
        // talker's RTS, with the idle address below the subroutine's as its return address.
        bool viaRts = false;
        if ((status = talkerRtsUsable(address, viaRts)))
            return status;
        if (viaRts)
            return startThroughRts(frame, {address, talkerIdleAddress});
        frame.PC = talkerIdleAddress;
        if ((status = writeRegisters(frame)))
            return status;
    }
    // The frame moves down first with its PC unchanged, so the target keeps doing what it did (a
    // held program stays held) while the return address goes where the old frame ended.
    frame.SP = (frame.SP - 2) & kAddressMask;
    if ((status = writeRegisters(frame)))
        return status;
    const uint8_t returnAddress[2] = {static_cast<uint8_t>(talkerIdleAddress >> 8),
                                      static_cast<uint8_t>(talkerIdleAddress & 0xFF)};
    if ((status = link_.writeMemory((frame.SP + 9) & kAddressMask, 2, returnAddress)))
        return status;
    frame.PC = address;
    return writeRegisters(frame);
}

TalkerStatus DebugEngine::stop()
{
    // A stop the talker has already reported: the program is held at that SWI.
    takePendingHit();
    TargetRegisters frame;
    TalkerStatus status;
    if ((status = readFrameToWriteBack(frame)))
        return status;
    // A held program's frame PC is the address after its SWI; the program goes on at the SWI's
    // address, where its own byte is back once our SWI comes out.
    const bool held = heldAt && frame.PC == ((*heldAt + 1) & kAddressMask);
    currentPC = held ? *heldAt : frame.PC;
    heldAt.reset();
    frame.PC = talkerIdleAddress;
    if ((status = writeRegisters(frame)))
        return status;
    // A "J" that met this exchange is of a program the talker has just let go back to idle.
    if (link_.swiPending())
        (void)link_.pollSwi();
    if ((status = restoreBreakpoints()))
        return status;
    running = 0;
    status = restoreLeftoverTracepoints();
    // A late report taken on the way is of a program that the talker has let go since.
    heldAt.reset();
    return status;
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
    if ((hit.status = link_.confirmSwi(r))) {
        hit.kind = BreakpointHitKind::ConfirmFailed;
        notify(EngineMessage::kSwiConfirmFailed);
        return hit;
    }
    hit.address = r.PC;
    heldAt = r.PC;
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
    recordPlanted();
    static constexpr uint8_t swi = kSwiOpcode;
    return link_.writeMemory(address, 1, &swi);
}

TalkerStatus DebugEngine::restoreTracepoints()
{
    for (auto& t : tracepoints) {
        if (!t.planted)
            continue;
        if (TalkerStatus s = writeBackByte(t)) {
            recordPlanted();
            return s;
        }
        t = BreakpointRecord{};
    }
    recordPlanted();
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
        if (link_.confirmSwi(r) == kTalkerOk)
            heldAt = r.PC;
    }
}

bool DebugEngine::waitForSwi()
{
    if (link_.pollSwi())
        return true;
    const Deadline deadline = Deadline::afterMs(traceWaitMs);
    ByteChannel& line = link_.port();
    do {
        if (line.isOpen())
            line.waitReadable(deadline);
        else
            deadline.sleepUntil();
        if (link_.pollSwi())
            return true;
    } while (!deadline.expired());
    return false;
}

TalkerStatus DebugEngine::readStableBytes(uint32_t address, uint8_t* bytes, uint32_t count)
{
    std::array<uint8_t, 8> previous{};
    if (count > previous.size())
        return kTalkerCommError;
    if (TalkerStatus s = link_.readMemory(address, count, previous.data(), ReplyEnd::Settled))
        return s;
    for (int i = 0; i < kSaveReadRetries; ++i) {
        std::array<uint8_t, 8> again{};
        if (TalkerStatus s = link_.readMemory(address, count, again.data(), ReplyEnd::Settled))
            return s;
        if (std::equal(again.begin(), again.begin() + count, previous.begin())) {
            std::copy_n(again.begin(), count, bytes);
            return kTalkerOk;
        }
        previous = again;
    }
    return kTalkerBadEcho;
}

TalkerStatus DebugEngine::startTraceFrame(const TargetRegisters& frame, uint32_t address)
{
    if (frame.PC == address)
        return startFrameAt(frame, address);
    heldAt.reset();
    TargetRegisters start = frame;
    start.PC = address;
    const TalkerStatus status = writeRegisters(start);
    // Left waiting for the frame, the talker would take the next commands' bytes (those that
    // write the tracepoints back) as its frame. Finished, it starts the step as asked: the step
    // goes on, and succeeds only when the stop is confirmed at a tracepoint.
    if (status && link_.finishRegisterWrite(start, status))
        return kTalkerOk;
    return status;
}

TalkerStatus DebugEngine::traceStep(uint32_t address)
{
    address &= kAddressMask;
    lastTrace_.reset();
    if (restoreLeftovers() != kTalkerOk) {
        notify(EngineMessage::kTracepointsNotRemoved);
        return kTalkerTraceFailed;
    }

    InstructionBytes bytes{};
    TalkerStatus status;
    // A shifted or garbled reply here would decode another instruction: each read's end is made
    // sure of, and the bytes are taken once two reads agree.
    if ((status = readStableBytes(address, bytes.data(), static_cast<uint32_t>(bytes.size()))))
        return status;
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = originalByte((address + i) & kAddressMask, bytes[i]);
    // Refused before the registers are read or anything is planted: undefined instructions, and
    // the ones that would leave the processor waiting.
    Successors next = successorsOf(static_cast<uint16_t>(address), bytes, CpuRegisters{});
    if (next.kind == FlowKind::Undefined)
        return kTalkerInvalidOpcode;
    if (next.kind == FlowKind::Wait) {
        notify(EngineMessage::kTraceWaits);
        return kTalkerTraceFailed;
    }

    // The frame the program starts from is also the one its successors depend on.
    TargetRegisters frame;
    if ((status = readFrameToWriteBack(frame)))
        return status;
    const CpuRegisters registers = cpuRegisters(frame);
    next = successorsOf(static_cast<uint16_t>(address), bytes, registers);
    // Target bytes only where they count: a return's address, and the tested byte of a branch
    // onto its own bytes.
    const bool ontoItself = std::any_of(next.targets.begin(), next.targets.begin() + next.count,
                                        [&](uint16_t t) { return next.inside(t); });
    if (next.needs.count &&
        (next.kind == FlowKind::Return || next.kind == FlowKind::ReturnFromInterrupt || ontoItself)) {
        std::array<uint8_t, 2> memory{};
        if ((status = link_.readMemory(next.needs.address, next.needs.count, memory.data(), ReplyEnd::Settled)))
            return status;
        for (size_t i = 0; i < next.needs.count; ++i)
            memory[i] = originalByte((next.needs.address + i) & kAddressMask, memory[i]);
        next = successorsOf(static_cast<uint16_t>(address), bytes, registers,
                            std::span<const uint8_t>(memory.data(), next.needs.count));
    }

    // Never a tracepoint on the instruction being traced: its SWI would run in the instruction's
    // place. Only a branch or jump changes nothing but PC, so one taken onto its own bytes ends
    // the step at its target without running; not taken, the step goes to the next instruction.
    std::array<uint32_t, 2> plant{};
    int count = 0;
    for (int i = 0; i < next.count; ++i) {
        const uint16_t target = next.targets[i];
        if (!next.inside(target)) {
            plant[count++] = target;
            continue;
        }
        if (next.kind != FlowKind::Branch && next.kind != FlowKind::Jump) {
            notify(EngineMessage::kTraceIntoItself);
            return kTalkerTraceFailed;
        }
        if (i == 0 && next.decision == BranchDecision::Taken) {
            currentPC = target;
            lastTrace_ = TracedStep{next.kind, address, next.next, registers.SP, registers.SP};
            return kTalkerOk;
        }
    }

    // An SWI plants nothing: the talker reports it at its own address.
    for (int i = 0; i < count; ++i)
        if ((status = plantTracepoint(plant[i])))
            return status;
    currentPC = address;
    if ((status = startTraceFrame(frame, address)))
        return status;

    if (!waitForSwi()) {
        notify(EngineMessage::kNoReturn);
        return kTalkerTraceFailed;
    }
    TargetRegisters stopped;
    if (link_.confirmSwi(stopped)) {
        notify(EngineMessage::kSwiConfirmFailed);
        return kTalkerTraceFailed;
    }
    // The step can only stop at one of its tracepoints, or at the traced SWI itself. Another
    // address is a reply damaged on its way: the registers are read once more (their PC is the
    // address after the SWI), and a second answer that is no such address fails the step.
    const auto expectedStop = [&](uint32_t pc) {
        if (next.kind == FlowKind::SoftwareInterrupt && pc == address)
            return true;
        // An interrupt taken during the step that nobody installed stops at its pseudo-vector
        // slot's SWI in the talker's page.
        if (pc >= kPseudoVectorFirst && pc <= kPseudoVectorLast)
            return true;
        return std::any_of(tracepoints.begin(), tracepoints.end(),
                           [&](const BreakpointRecord& t) { return t.planted && t.address == pc; });
    };
    if (!expectedStop(stopped.PC)) {
        TargetRegisters again;
        if (readRegisters(again) != kTalkerOk || !expectedStop((again.PC - 1) & kAddressMask)) {
            notify(EngineMessage::kSwiConfirmFailed);
            return kTalkerTraceFailed;
        }
        stopped.PC = (again.PC - 1) & kAddressMask;
        stopped.SP = again.SP;
    }
    heldAt = stopped.PC;
    currentPC = stopped.PC;
    if (restoreTracepoints() != kTalkerOk) {
        notify(EngineMessage::kTracepointsNotRemoved);
        return kTalkerTraceFailed;
    }
    lastTrace_ = TracedStep{next.kind, address, next.next, registers.SP, static_cast<uint16_t>(stopped.SP + 8)};
    return kTalkerOk;
}

// ---------------------------------------------------------------- S19

std::optional<uint32_t> DebugEngine::talkerByteIn(uint32_t address, uint32_t count) const
{
    if (talkerKind_ != TalkerKind::Ram || count == 0)
        return std::nullopt;
    const uint64_t last = std::min<uint64_t>(uint64_t{address} + count - 1, kAddressMask);
    if (address <= kProgramSlotsFirst - 1)
        return address;
    if (address <= kProgramSlotsLast)
        return last > kProgramSlotsLast ? std::optional<uint32_t>(kProgramSlotsLast + 1) : std::nullopt;
    if (address <= kTalkerRamEnd)
        return address;
    return std::nullopt;
}

TalkerStatus DebugEngine::readS19(const std::string& path, S19Reader& reader)
{
    s19Problem_.clear();
    TalkerStatus status = reader.readFile(path);
    if (status == kTalkerS19Invalid)
        s19Problem_ = reader.problem();
    if (status)
        return status;
    return checkRecords(reader.records());
}

TalkerStatus DebugEngine::checkRecords(const std::vector<S19Record>& records)
{
    // Records are written as plain RAM with read-back: one over the register block would change
    // the chip under the talker (its serial line, the RAM and register mapping).
    // Nothing can be written into ROM: a record there would fail its check half way through the
    // load, so it is refused by name before anything is written.
    struct Rom {
        const char* name;
        uint32_t first;
        uint32_t last;
    };
    const ChipVariant& chip = chipVariant(link_.chip);
    std::vector<Rom> roms{{"boot ROM", chip.bootRomStart, 0xBFFF}};
    if (chip.romSize != 0 && (link_.configByte & kConfigRomOn) != 0)
        roms.push_back({"mask ROM", chip.romStart, chip.romStart + chip.romSize - 1u});
    for (const S19Record& r : records) {
        if (r.dataLength == 0)
            continue;
        const uint32_t last = r.address + r.dataLength - 1;
        if (r.address <= kRegisterBlockLast && last >= kRegisterBlockFirst) {
            s19Problem_ = CommandText::format(EngineMessage::kS19OverRegisters, static_cast<unsigned>(r.line),
                                              static_cast<unsigned>(std::max(r.address, kRegisterBlockFirst)));
            return kTalkerS19Invalid;
        }
        for (const Rom& rom : roms) {
            if (r.address <= rom.last && last >= rom.first) {
                s19Problem_ = CommandText::format(EngineMessage::kS19OverRom, static_cast<unsigned>(r.line),
                                                  static_cast<unsigned>(std::max(r.address, rom.first)), rom.name,
                                                  static_cast<unsigned>(rom.first), static_cast<unsigned>(rom.last));
                return kTalkerS19Invalid;
            }
        }
    }
    return kTalkerOk;
}

TalkerStatus DebugEngine::loadS19(const std::string& path)
{
    S19Reader reader;
    if (TalkerStatus s = readS19(path, reader))
        return s;
    return loadRecords(reader.records(), reader.firstAddress());
}

TalkerStatus DebugEngine::loadRecords(const std::vector<S19Record>& records, std::optional<uint32_t> start)
{
    if (TalkerStatus s = checkRecords(records))
        return s;
    for (const S19Record& r : records) {
        if (const std::optional<uint32_t> a = talkerByteIn(r.address, r.dataLength)) {
            s19Problem_ = CommandText::format(EngineMessage::kS19OverTalker, static_cast<unsigned>(r.line),
                                              static_cast<unsigned>(*a));
            return kTalkerS19Invalid;
        }
    }
    if (TalkerStatus s = restoreLeftovers())
        return s;
    uint64_t total = 0;
    for (const S19Record& r : records)
        total += r.dataLength;
    uint64_t done = 0;
    if (start)
        currentPC = *start;
    else if (!records.empty())
        currentPC = records.front().address;
    for (const S19Record& r : records) {
        if (r.dataLength == 0)
            continue;
        // Breakpoints planted for a run stay planted over the new code and restore the new byte later.
        std::array<uint8_t, 256> data{};
        std::copy_n(r.data.begin(), r.dataLength, data.begin());
        keepSwisUnder(r.address, data.data(), r.dataLength);
        // Through the memory services: EEPROM records are programmed (bytes that already hold
        // their value left alone), the rest written and checked as RAM.
        if (TalkerStatus s = memory_.writeBlock(r.address, r.dataLength, data.data()))
            return s;
        reportS19Progress(done += r.dataLength, total);
    }
    return kTalkerOk;
}

TalkerStatus DebugEngine::verifyS19(const std::string& path)
{
    firstMismatch.reset();
    S19Reader reader;
    if (TalkerStatus s = readS19(path, reader))
        return s;
    return verifyRecords(reader.records());
}

TalkerStatus DebugEngine::verifyRecords(const std::vector<S19Record>& records)
{
    firstMismatch.reset();
    uint64_t total = 0;
    for (const S19Record& r : records)
        total += r.dataLength;
    uint64_t done = 0;
    for (const S19Record& r : records) {
        if (r.dataLength == 0)
            continue;
        uint8_t buffer[256] = {};
        if (TalkerStatus s = memory_.readBlock(r.address, r.dataLength, buffer))
            return s;
        for (size_t i = 0; i < r.dataLength; ++i)
            if (originalByte((r.address + i) & kAddressMask, buffer[i]) != r.data[i]) {
                firstMismatch = S19Mismatch{static_cast<uint32_t>((r.address + i) & kAddressMask), r.data[i],
                                            originalByte((r.address + i) & kAddressMask, buffer[i])};
                return kTalkerS19Mismatch;
            }
        reportS19Progress(done += r.dataLength, total);
    }
    return kTalkerOk;
}

void DebugEngine::reportS19Progress(uint64_t done, uint64_t total) const
{
    if (s19Progress)
        s19Progress(done, total);
}
