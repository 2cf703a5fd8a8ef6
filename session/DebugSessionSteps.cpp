// The debug session's steps that need to know where the program is in its calls: step out to a
// return address the session can prove, and run to an address that must start an instruction.
#include "session/DebugSession.h"

#include "engine/CommandTexts.h"
#include "engine/ListingLines.h"

#include <algorithm>
#include <vector>

using CommandText::format;

namespace {

constexpr uint32_t kAddressMask = 0xFFFF;
// How far before an until address a known instruction start may lie for a disassembly from it.
constexpr uint32_t kDisassemblyReach = 128;

} // namespace

TalkerStatus DebugSession::setGoal(StepGoal goal)
{
    goal.temporary = false;
    if (!engine_.hasBreakpoint(goal.address)) {
        if (TalkerStatus s = engine_.setBreakpoint(goal.address))
            return s;
        goal.temporary = true;
    }
    goal_ = goal;
    return kTalkerOk;
}

TalkerStatus DebugSession::instructionAt(uint32_t pc, Successors& next, CpuRegisters& cpu)
{
    InstructionBytes bytes{};
    TargetRegisters r;
    BlockTransfer reader(memory_, link_);
    if (TalkerStatus s = reader.readAgreed(pc, static_cast<uint32_t>(bytes.size()), bytes.data()))
        return s;
    if (TalkerStatus s = readRegistersAgreed(link_, r, nullptr))
        return s;
    engine_.lookThroughSwis(pc, bytes.data(), static_cast<uint32_t>(bytes.size()));
    cpu.A = r.A;
    cpu.B = r.B;
    cpu.CCR = r.CCR;
    cpu.X = static_cast<uint16_t>(r.X);
    cpu.Y = static_cast<uint16_t>(r.Y);
    cpu.SP = static_cast<uint16_t>(r.SP + 8);
    next = successorsOf(static_cast<uint16_t>(pc), bytes, cpu);
    return kTalkerOk;
}

void DebugSession::loseCalls()
{
    calls_.clear();
    callsComplete_ = false;
}

void DebugSession::dropReturnedCalls(uint32_t programSP)
{
    // A call has returned once the stack pointer is back where it was before the call.
    while (!calls_.empty() && calls_.back().spAfterReturn <= programSP)
        calls_.pop_back();
}

void DebugSession::followTrace()
{
    const auto& step = engine_.lastTrace();
    if (!step) {
        loseCalls();
        return;
    }
    // A call seen entering its routine; a stop elsewhere (an interrupt's slot) is not its entry.
    if (step->kind == FlowKind::Call && engine_.currentPC != step->after)
        calls_.push_back(CallFrame{step->after, step->spBefore});
    dropReturnedCalls(step->spAfter);
}

DebugSession::SeekEnd DebugSession::stepTowardReturn(TalkerStatus& status, std::string& why, bool atStart)
{
    for (; seekStepsLeft_ > 0; atStart = false) {
        --seekStepsLeft_;
        const uint32_t pc = engine_.currentPC;
        // A breakpoint of the user's on the way stops the program there, as it would stop a run
        // (and, like a hit, leaves the table).
        if (!atStart && engine_.hasBreakpoint(pc)) {
            (void)engine_.removeBreakpoint(pc);
            return SeekEnd::AtBreakpoint;
        }
        Successors next;
        CpuRegisters cpu;
        if ((status = instructionAt(pc, next, cpu)))
            return SeekEnd::Failed;
        switch (next.kind) {
        case FlowKind::Call:
            // Stepped over: the search goes on when it returns to this level.
            if ((status = setGoal(StepGoal{next.next, cpu.SP, false, true})))
                return SeekEnd::Failed;
            if ((status = resumeAt(pc))) {
                dropGoal();
                return SeekEnd::Failed;
            }
            return SeekEnd::Running;
        case FlowKind::SoftwareInterrupt:
            why = CommandText::kNoReturnSwi;
            return SeekEnd::NoReturn;
        case FlowKind::Wait:
            why = CommandText::kNoReturnWait;
            return SeekEnd::NoReturn;
        case FlowKind::Undefined:
            why = CommandText::kNoReturnUndefined;
            return SeekEnd::NoReturn;
        default:
            break;
        }
        if ((status = engine_.traceStep(pc)))
            return SeekEnd::Failed;
        followTrace();
        stoppedPC_ = engine_.currentPC;
        if (next.kind == FlowKind::Return || next.kind == FlowKind::ReturnFromInterrupt)
            return SeekEnd::Returned;
    }
    why = format(CommandText::kNoReturnWithin, kStepOutSteps);
    return SeekEnd::NoReturn;
}

BreakpointHit DebugSession::seekStop(SeekEnd end)
{
    BreakpointHit hit;
    hit.kind = end == SeekEnd::AtBreakpoint ? BreakpointHitKind::Hit : BreakpointHitKind::StepDone;
    hit.address = engine_.currentPC;
    TargetRegisters r;
    if (readRegistersAgreed(link_, r, nullptr) == kTalkerOk)
        hit.registers = r;
    hit.registers.PC = static_cast<uint16_t>(hit.address);
    return hit;
}

CommandResult DebugSession::stepOut()
{
    CommandResult result;
    if (refuseWithoutTalker(result))
        return result;
    const uint32_t from = engine_.currentPC;
    {
        Busy busy(*this);
        takeWaitingStop();
        TargetRegisters r;
        if ((result.status = readRegistersAgreed(link_, r, nullptr)))
            return result;
        dropReturnedCalls((r.SP + 8) & kAddressMask);
        // The innermost call seen, while the stack still holds its return address where the call
        // put it (just below the stack pointer it returns to); else the record is no proof.
        if (!calls_.empty()) {
            const CallFrame frame = calls_.back();
            uint8_t stacked[2] = {};
            BlockTransfer reader(memory_, link_);
            if ((result.status = reader.readAgreed((frame.spAfterReturn - 1) & kAddressMask, 2, stacked)))
                return result;
            if (((uint32_t{stacked[0]} << 8) | stacked[1]) != frame.returnAddress)
                loseCalls();
        }
    }
    if (!calls_.empty()) {
        const CallFrame frame = calls_.back();
        return runFromStop(StepGoal{frame.returnAddress, frame.spAfterReturn, false},
                           format(CommandText::kStepOutProgress, from, frame.returnAddress));
    }
    if (callsComplete_ && programEntry_) {
        result.refusal = format(CommandText::kStepOutTopLevel, *programEntry_);
        return result;
    }
    if (observer_)
        observer_->progressText(format(CommandText::kStepOutSearchProgress, from));
    Busy busy(*this);
    dropGoal();
    seekStepsLeft_ = kStepOutSteps;
    std::string why;
    const SeekEnd end = stepTowardReturn(result.status, why, true);
    if (end == SeekEnd::Running || end == SeekEnd::Failed) {
        if (end == SeekEnd::Failed && !engine_.running)
            noteLeftovers(result, CommandText::kSwisLeft);
        return result; // a run's stop says the rest
    }
    if (end == SeekEnd::NoReturn)
        result.failureText = format(CommandText::kStepOutNoReturn, why.c_str(), engine_.currentPC);
    noteStop(seekStop(end));
    return result;
}

std::string DebugSession::notAnInstructionStart(uint32_t address, bool& unproven)
{
    unproven = false;
    // The listing names every instruction's bytes: an address among a line's later bytes is none.
    if (!listed_.empty()) {
        auto line = listed_.upper_bound(address);
        if (line != listed_.begin()) {
            --line;
            if (line->first == address)
                return {};
            if (address - line->first < line->second)
                return format(CommandText::kUntilInside, address, line->first, CommandText::kInsideByListing);
        }
    }
    // Else a disassembly from the nearest known start before it: a symbol, the program's entry or
    // where the program is held.
    std::vector<uint32_t> starts;
    if (const auto symbol = symbols_.symbolAtOrBefore(static_cast<uint16_t>(address), kDisassemblyReach))
        starts.push_back(*symbol);
    if (programEntry_)
        starts.push_back(*programEntry_);
    if (engine_.heldAt || stoppedPC_)
        starts.push_back(engine_.currentPC);
    uint32_t from = 0;
    bool found = false;
    for (uint32_t s : starts)
        if (s <= address && address - s <= kDisassemblyReach && (!found || s > from)) {
            from = s;
            found = true;
        }
    if (!found) {
        unproven = true;
        return {};
    }
    std::vector<uint8_t> bytes(address - from + kMaxInstructionBytes);
    BlockTransfer reader(memory_, link_);
    if (reader.readAgreed(from, static_cast<uint32_t>(bytes.size()), bytes.data()) != kTalkerOk) {
        unproven = true;
        return {};
    }
    engine_.lookThroughSwis(from, bytes.data(), static_cast<uint32_t>(bytes.size()));
    uint32_t at = from;
    while (at < address) {
        InstructionBytes instruction{};
        std::copy_n(bytes.begin() + (at - from), instruction.size(), instruction.begin());
        const Successors s = successorsOf(static_cast<uint16_t>(at), instruction, CpuRegisters{});
        if (s.kind == FlowKind::Undefined) {
            unproven = true; // data, or code the walk lost its way in
            return {};
        }
        if (at + s.length > address)
            return format(CommandText::kUntilInside, address, at,
                          format(CommandText::kInsideByDisassembly, from).c_str());
        at += s.length;
    }
    return {};
}

CommandResult DebugSession::runUntil(const std::string& addressText)
{
    CommandResult result;
    const auto typed = number(addressText, "address", result);
    if (!typed)
        return result;
    const uint32_t address = *typed & kAddressMask;
    if (address == 0) {
        result.refusal = CommandText::kUntilZero;
        return result;
    }
    if (refuseWithoutTalker(result))
        return result;
    bool unproven = false;
    {
        Busy busy(*this);
        takeWaitingStop();
        result.refusal = notAnInstructionStart(address, unproven);
    }
    if (!result.refusal.empty())
        return result;
    result = runFromStop(StepGoal{address, std::nullopt, false},
                         format(CommandText::kRunUntilProgress, engine_.currentPC, address));
    if (unproven)
        result.notes.push_back(format(CommandText::kUntilUnproven, address));
    return result;
}

void DebugSession::forgetProgram()
{
    loseCalls();
    programEntry_.reset();
    listed_.clear();
}

void DebugSession::noteListing(const std::vector<std::string>& lines)
{
    listed_.clear();
    for (const std::string& line : lines)
        if (const auto assembled = ListingLines::bytesOf(line); assembled && assembled->count > 0)
            listed_[assembled->address] = assembled->count;
}
