#include "session/DebugSession.h"

#include "engine/CommandTexts.h"
#include "engine/DataFiles.h"
#include "engine/ElfProgram.h"
#include "engine/Disassembler.h"
#include "engine/IoRegisters.h"
#include "link/Deadline.h"
#include "engine/ListingPath.h"
#include "engine/MemoryDump.h"
#include "engine/RegisterText.h"
#include "hc11/Successors.h"
#include "link/UsbAdapter.h"
#include "session/BoardPins.h"
#include "sim/Board.h"
#include "sim/VirtualBoard.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>
#include <utility>

using CommandText::format;

namespace {

constexpr uint64_t kAddressSpace = 0x10000;
constexpr uint8_t kSwi = DebugEngine::kSwiOpcode;
// The in-process board's thread competes with ours for the processor: on a loaded machine a
// reply can take longer than a real line's 20 ms, and a short wait would report a silent talker.
constexpr int kInProcessBoardReadWaitMs = 250;
// The pause between pressing the in-process board's RESET and the download, as a user's would be.
constexpr auto kAfterResetPause = std::chrono::milliseconds(20);
// The name that stands for the in-process board as a port.
constexpr const char* kBoardPortName = "board";
// The timer's free-running counter (high byte; the low byte follows) in the register block.

std::string lowerCase(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

} // namespace

std::string CommandResult::errorText() const
{
    if (!refusal.empty())
        return refusal;
    if (!failureText.empty())
        return failureText;
    return talkerStatusText(status);
}

void DebugSession::Forwarder::showMessage(const std::string& text)
{
    // A successful start is news for the progress line, not a second box to acknowledge after
    // the RESET prompt: the boot's own result says it too.
    if (text == EngineMessage::kTalkerInitialized) {
        if (owner_.observer_)
            owner_.observer_->progressText(text);
        return;
    }
    owner_.say(text);
}

DebugSession::DebugSession()
{
    engine_.breakpointConfirmed = [this](uint32_t address) {
        // A breakpoint with rules may not stop: its hit is told once it does (programStopped).
        if (observer_ && !rules_.count(address & 0xFFFF))
            observer_->breakpointConfirmed(address);
    };
}

DebugSession::~DebugSession()
{
    // The engine goes first (declared after the port) and writes back every planted byte; the
    // board outlives the port that talks to it.
    observer_ = nullptr;
    engine_.setNotifier(nullptr);
    // The journal of planted bytes dies before the engine: the bytes go back (and the journal
    // learns it) while it still lives, and the engine's own last write-back records nothing.
    if (channel_.isOpen())
        (void)engine_.writeBackPlanted();
    engine_.journal = nullptr;
}

void DebugSession::say(const std::string& text)
{
    if (observer_)
        observer_->message(text);
}

// ---------------------------------------------------------------- board and settings

std::string DebugSession::startVirtualBoard(const VirtualBoardOptions& options, std::string* error)
{
    if (!board_) {
        VirtualBoardOptions inMemory = options;
        inMemory.line = BoardLineKind::Memory;
        auto board = std::make_unique<VirtualBoard>(inMemory);
        if (!board->start(error))
            return {};
        ownedBoard_ = std::move(board);
        attachBoard(ownedBoard_.get());
    }
    return boardDevice();
}

void DebugSession::attachBoard(VirtualBoard* board)
{
    board_ = board;
    channel_.setBoardLine(board ? board->memoryLine() : nullptr);
}

std::string DebugSession::boardDevice() const
{
    if (!board_)
        return {};
    return board_->memoryLine() ? std::string(kBoardPortName) : board_->devicePath();
}

BoardPins DebugSession::boardPins() const
{
    return BoardPins(board_);
}

bool DebugSession::pressBoardReset()
{
    if (!board_)
        return false;
    board_->pressReset();
    return true;
}

bool DebugSession::driveBoardPin(const std::string& name, const std::vector<std::string>& value, std::string* error)
{
    if (!board_) {
        *error = "the pins are the virtual board's: this needs the board in this process (--board)";
        return false;
    }
    const std::vector<std::string_view> words(value.begin(), value.end());
    PinSetting setting;
    if (!parseDrive(name, words, AnalogReference{}, &setting, error))
        return false;
    if (!board_->drivePin(setting)) {
        *error = "the board did not take the pin setting in time";
        return false;
    }
    return true;
}

std::string DebugSession::deviceFor(const std::string& portName) const
{
    if (board_ && portName == kBoardPortName)
        return boardDevice();
    return SerialPort::resolvePortName(portName, port_.ports);
}

int DebugSession::defaultReadWaitMs(const std::string& portName) const
{
    const bool local = board_ && (portName == kBoardPortName || deviceFor(portName) == boardDevice());
    return local ? kInProcessBoardReadWaitMs : 20;
}

bool DebugSession::programsEeprom(uint32_t first, uint32_t last) const
{
    return link_.eepromEnabled && last - first + 1 > BlockTransfer::kEepromRowBytes &&
           first <= static_cast<uint32_t>(memory_.eepromEnd) && last >= static_cast<uint32_t>(memory_.eepromStart);
}

// ---------------------------------------------------------------- shared rules

std::string numberRefusal(const std::string& text, const char* what, NumberProblem problem, uint32_t max)
{
    const std::string range = max == kByteMax ? "0-255 ($00-$ff)" : CommandText::format("0-%u ($0000-$%04x)", max, max);
    switch (problem) {
    case NumberProblem::None:
        return {};
    case NumberProblem::Empty:
        return std::string("Error: the ") + what + " is empty; it takes " + range;
    case NumberProblem::OutOfRange:
        return std::string("Error: the ") + what + " '" + text + "' is out of range: it takes " + range;
    case NumberProblem::NotANumber:
        break;
    }
    return std::string("Error: the ") + what + " '" + text +
           "' is not a number ($hex, %binary, #decimal or the default base)";
}

std::optional<uint32_t> DebugSession::number(const std::string& text, const char* what, CommandResult& result,
                                             uint32_t max) const
{
    const TypedNumber n = readTypedNumber(text, base_, max);
    // A word field (an address, X, Y, PC) also takes the program's symbols and FILE:LINE; a bare
    // word that names a symbol is the symbol before it is a number in the default base.
    if (max == kWordMax && n.problem != NumberProblem::Empty) {
        if (const std::optional<uint32_t> symbol = symbols_.addressOf(text))
            return symbol;
        if (n.problem == NumberProblem::None)
            return n.value;
        std::string why;
        if (const std::optional<uint32_t> value = resolveAddress(text, &why))
            return value;
        if (!why.empty()) {
            result.refusal = "Error: " + why;
            return std::nullopt;
        }
    }
    if (n.problem != NumberProblem::None) {
        result.refusal = numberRefusal(text, what, n.problem, max);
        if (n.problem == NumberProblem::NotANumber && max == kWordMax && (!symbols_.empty() || !sourceLines_.empty()))
            result.refusal += std::string(symbols_.empty() ? "" : ", a symbol") +
                              (sourceLines_.empty() ? "" : " or FILE:LINE");
        return std::nullopt;
    }
    return n.value;
}

bool DebugSession::range(const std::string& startText, const std::string& endText, uint32_t& start,
                         uint32_t& end, CommandResult& result) const
{
    const auto s = number(startText, "start address", result);
    if (!s)
        return false;
    const auto e = number(endText, "end address", result);
    if (!e)
        return false;
    if (*e < *s) {
        result.refusal = CommandText::kRangeOrder;
        return false;
    }
    start = *s;
    end = *e;
    return true;
}

bool DebugSession::refuseWhileBusy(CommandResult& result) const
{
    if (!busy_)
        return false;
    result.refusal = CommandText::kLineBusy;
    return true;
}

bool DebugSession::refuseWithoutTalker(CommandResult& result) const
{
    if (refuseWhileBusy(result))
        return true;
    switch (talkerGone_) {
    case TalkerGone::No:
        return false;
    case TalkerGone::BootFailed:
        result.refusal = CommandText::kNoTalkerBootFailed;
        return true;
    case TalkerGone::Reset:
        result.refusal = CommandText::kNoTalkerReset;
        return true;
    }
    return false;
}

std::string lostLineText(const BreakpointHit& hit)
{
    return hit.kind == BreakpointHitKind::None && hit.status != kTalkerOk ? CommandText::kLineGone : "";
}

void DebugSession::explainFailure(CommandResult& result)
{
    if (result.status == kTalkerOk || !result.refusal.empty() || !channel_.lineLost())
        return;
    // A line that hung up explains any failure better than the status the first missing byte gave.
    result.failureText = CommandText::kLineGone;
}

void DebugSession::noteLeftovers(CommandResult& result, const char* text) const
{
    std::string list;
    for (const BreakpointRecord& r : engine_.plantedRecords())
        list += (list.empty() ? "" : ", ") + format(CommandText::kSwiEntry, r.address, unsigned{r.savedOpcode});
    if (!list.empty())
        result.notes.push_back(format(text, list.c_str()));
}

BlockTransfer::Progress DebugSession::progressFor(uint64_t total, bool always)
{
    if (total <= kProgressThreshold && !always)
        return {};
    return [this](uint64_t done, uint64_t all) {
        if (observer_)
            observer_->transferProgress(done, all);
    };
}

void DebugSession::noteResumed()
{
    keepingRun_ = false;
    stoppedPC_.reset();
    dropGoal();
}

void DebugSession::dropGoal()
{
    if (goal_ && goal_->temporary)
        (void)engine_.removeBreakpoint(goal_->address); // gone already when it was hit
    goal_.reset();
}

bool DebugSession::settleGoal(BreakpointHit& hit)
{
    if (hit.kind == BreakpointHitKind::None && hit.status == kTalkerOk)
        return true;
    if (hit.kind == BreakpointHitKind::Hit && hit.address == goal_->address) {
        const uint32_t programSP = (hit.registers.SP + 8) & 0xFFFF;
        if (goal_->programSP && programSP != *goal_->programSP) {
            // A deeper call of a recursive routine returned here: not our return yet. A breakpoint
            // the user set here stops the program, as one of theirs inside the call does.
            if (goal_->temporary) {
                const TalkerStatus again = engine_.setBreakpoint(goal_->address);
                if (again == kTalkerOk || again == kTalkerBreakpointExists) {
                    engine_.currentPC = hit.address;
                    if (resumeAt(hit.address) == kTalkerOk)
                        return false;
                }
            }
        } else if (goal_->temporary) {
            hit.kind = BreakpointHitKind::StepDone;
            if (goal_->seekReturn) {
                // A call stepped over on the way to the frame's return came back: stepping goes on.
                dropGoal();
                engine_.currentPC = hit.address;
                TalkerStatus status = kTalkerOk;
                std::string why;
                const SeekEnd end = stepTowardReturn(status, why, false);
                if (end == SeekEnd::Running)
                    return false;
                if (end == SeekEnd::Failed)
                    say(talkerStatusText(status));
                else if (end == SeekEnd::NoReturn)
                    say(format(CommandText::kStepOutNoReturn, why.c_str(), engine_.currentPC));
                hit = seekStop(end);
                return true;
            }
        }
    }
    dropGoal();
    return true;
}

BreakpointHit DebugSession::noteStop(const BreakpointHit& stop)
{
    BreakpointHit hit = stop;
    if (!ruledHitStops(hit))
        return {}; // resumed: no rule at the breakpoint stops there
    placeTrap(hit);
    // A goal reached with its stack pointer (the program is back at the level it left), or a step
    // out's search that ended without a run: the session has followed the program's calls.
    const bool followed =
        (goal_ && goal_->programSP && hit.kind == BreakpointHitKind::Hit && hit.address == goal_->address &&
         ((hit.registers.SP + 8) & 0xFFFF) == *goal_->programSP) ||
        (!goal_ && hit.kind == BreakpointHitKind::StepDone);
    if (goal_ && !settleGoal(hit))
        return {}; // running on toward the goal
    if (hit.kind == BreakpointHitKind::Hit || hit.kind == BreakpointHitKind::NotInTable ||
        hit.kind == BreakpointHitKind::Stopped || hit.kind == BreakpointHitKind::RestoreFailed ||
        hit.kind == BreakpointHitKind::StepDone) {
        if (followed)
            dropReturnedCalls((hit.registers.SP + 8) & 0xFFFF);
        else
            loseCalls();
        runningFree_ = false;
        lastRegisters_ = hit.registers;
        stoppedPC_ = hit.address;
        // The next run, trace or step starts where the program stopped.
        if (hit.kind != BreakpointHitKind::RestoreFailed)
            engine_.currentPC = hit.address;
    }
    if (observer_ && (hit.kind != BreakpointHitKind::None || hit.status != kTalkerOk))
        observer_->programStopped(hit);
    return hit;
}

void DebugSession::takeWaitingStop(bool seenOnly)
{
    if (!talkerStarted_ || !channel_.isOpen() || (seenOnly && !link_.swiPending()))
        return;
    // A "J" that came while a service was left is the service's; the next command ends it.
    if (engine_.extended().serviceLeft())
        return;
    if (engine_.running) {
        const BreakpointHit hit = engine_.pollBreakpointHit();
        // A lost line is reported by the command that meets it.
        if (hit.kind != BreakpointHitKind::None)
            noteStop(hit);
        return;
    }
    if (!link_.pollSwi())
        return;
    // A program that runs without breakpoints (a call, a run without any, a trace step that gave
    // up) stopped at an SWI or an illegal opcode: the talker holds it now.
    BreakpointHit hit;
    TargetRegisters& r = hit.registers;
    if ((hit.status = link_.confirmSwi(r))) {
        hit.kind = BreakpointHitKind::ConfirmFailed;
        say(EngineMessage::kSwiConfirmFailed);
        noteStop(hit);
        return;
    }
    hit.address = r.PC;
    hit.kind = BreakpointHitKind::Stopped;
    engine_.heldAt = r.PC;
    engine_.currentPC = r.PC;
    (void)engine_.restoreTracepoints();
    noteStop(hit);
}

TalkerStatus DebugSession::userWrite(uint32_t address, uint32_t count, const uint8_t* data, bool showProgress)
{
    std::vector<uint8_t> bytes(data, data + count);
    engine_.keepSwisUnder(address, bytes.data(), count);
    const uint32_t last = address + count - 1;
    BlockTransfer writer(memory_, link_, showProgress ? progressFor(count, programsEeprom(address, last)) : nullptr);
    return writer.write(address, count, bytes.data());
}

CommandResult DebugSession::converse(CommandResult result, const std::string& progress,
                                     const std::function<TalkerStatus()>& work, const std::string& doneText)
{
    if (!result.refusal.empty() || refuseWithoutTalker(result))
        return result;
    if (observer_ && !progress.empty())
        observer_->progressText(progress);
    Busy busy(*this);
    takeWaitingStop();
    result.status = work();
    takeWaitingStop(true);
    if (result.status != kTalkerOk && engine_.extended().serviceCutShort())
        result.notes.push_back(CommandText::kServiceLeft);
    if (result.ok() && !doneText.empty())
        result.doneText = doneText;
    explainFailure(result);
    if (!result.ok() && !engine_.running)
        noteLeftovers(result, channel_.lineLost() ? CommandText::kSwisLeftAtEnd : CommandText::kSwisLeft);
    return result;
}

uint32_t DebugSession::startAddress(const std::optional<std::string>& addressText, CommandResult& result) const
{
    if (!addressText)
        return engine_.currentPC;
    return number(*addressText, "address", result).value_or(0);
}

// ---------------------------------------------------------------- start-up and S19

std::string fastLineRefusal(const std::string& sysfsRoot, const std::string& device, uint32_t fastRate)
{
    std::error_code ec;
    const std::filesystem::path real = std::filesystem::canonical(device, ec);
    const auto id = usbIdOfTty(sysfsRoot, ec ? device : real.string());
    const RateLimitedAdapter* adapter = id ? rateLimitedAdapter(*id) : nullptr;
    if (!adapter || fastRate <= adapter->highestRate)
        return {};
    return format(CommandText::kAdapterTooSlow, adapter->name, adapter->id.vendor, adapter->id.product,
                  device.c_str(), static_cast<unsigned>(fastRate));
}

CommandResult DebugSession::boot(const BootSettings& settings)
{
    CommandResult result;
    if (refuseWhileBusy(result))
        return result;
    const bool inProcessBoard = board_ && deviceFor(settings.port) == boardDevice();
    loseCalls();
    // The in-process board is reset by the session itself; a real one by its reset line, if wired.
    link_.resetPulse = inProcessBoard ? ResetPulse{} : settings.reset;
    // The button needs the user (a box to acknowledge); the line needs nobody (a progress line).
    if (link_.resetPulse.line == ResetLine::None)
        say(CommandText::kPressReset);
    else if (observer_)
        observer_->progressText(format(CommandText::kResetThroughLine, resetLineName(link_.resetPulse.line).c_str()));
    if (pressBoardReset()) {
        // The user's part: the button before the download. A board thread the machine keeps
        // waiting must have taken the press first, or the download's first bytes reach the chip
        // before its restart (and the boot loader misses its synchronisation character).
        const Deadline taken = Deadline::afterMs(2000);
        while (board_->resetPending() && !taken.expired())
            Deadline::afterMs(1).sleepUntil();
        Deadline(kAfterResetPause).sleepUntil();
    }
    Busy busy(*this);
    port_.readWaitMs = std::max(settings.readWaitMs, defaultReadWaitMs(settings.port));
    engine_.traceWaitMs = std::max(20, port_.readWaitMs);
    link_.chip = settings.chip;
    link_.rates = hostRatesFor(settings.crystalHz);
    engine_.fastLine = settings.fastLine;
    if (settings.fastLine && !inProcessBoard) {
        const std::string refusal = fastLineRefusal(sysfsRoot, deviceFor(settings.port), link_.rates.fast);
        if (!refusal.empty()) {
            engine_.fastLine = false;
            result.notes.push_back(refusal);
        }
    }
    if (settings.base)
        base_ = *settings.base;
    talkerStarted_ = false;
    runningFree_ = false;
    noteResumed();
    // A RAM talker named only by its default name (or not at all) is looked for where the
    // program and its data are; a file the user named is taken as it is.
    const std::string talkerFile =
        settings.talkerType == TalkerType::Ram ? talkerFileFor(settings.talkerFile) : settings.talkerFile;
    // The journal of planted bytes is kept for a port whose board outlives this process (not the
    // in-process board on its in-memory line); what an earlier session left is read before this
    // boot's own records replace the file.
    const std::string device = deviceFor(settings.port);
    const bool lasting = !(board_ && board_->memoryLine() && device == boardDevice());
    std::vector<BreakpointRecord> earlier;
    if (!lasting) {
        journal_.bind({});
        journalDevice_.clear();
    } else if (device != journalDevice_) {
        journal_.bind(device);
        journalDevice_ = device;
        earlier = journal_.read();
    } else {
        earlier = journal_.read(); // this session's own records and what it inherited
    }
    for (const BreakpointRecord& own : engine_.plantedRecords())
        earlier.erase(std::remove_if(earlier.begin(), earlier.end(),
                                     [&](const BreakpointRecord& r) { return r.address == own.address; }),
                      earlier.end());
    journal_.inherit(earlier);
    engine_.journal = journal_.bound() ? &journal_ : nullptr;
    bool cancelled = false;
    // Once the image is down, the start-up's exchanges (registers, CONFIG, the fast line) take
    // seconds at the boot's rates: the observer is kept alive through their waits.
    bool downloaded = false;
    link_.downloadProgress = [&](uint64_t done, uint64_t total) {
        if (observer_)
            observer_->transferProgress(done, total);
        cancelled = cancelled || (done < total && observer_ && observer_->cancelRequested());
        downloaded = downloaded || done == total;
        return !cancelled;
    };
    channel_.setWaitHook([&] {
        if (downloaded && observer_)
            observer_->keepAlive();
    });
    result.status = engine_.startTalker(device.empty() ? settings.port : device, settings.talkerType,
                                        talkerFile, settings.chipMode,
                                        settings.eepromEnable ? 1 : 0);
    channel_.setWaitHook(nullptr);
    link_.downloadProgress = nullptr;
    // The download measured the line and raised the read wait to fit it: the trace's wait follows.
    engine_.traceWaitMs = std::max(20, port_.readWaitMs);
    const TalkerLink::DownloadReport& download = link_.lastDownload();
    if (result.ok() && !earlier.empty()) {
        // Only an SWI still there is the earlier session's: the rest were written back some other
        // way (or the target's memory is another's now).
        std::vector<BreakpointRecord> still;
        for (const BreakpointRecord& r : earlier) {
            uint8_t byte = 0;
            if (link_.readMemory(r.address, 1, &byte) != kTalkerOk || byte == kSwi)
                still.push_back(r);
        }
        journal_.inherit(still);
        engine_.recordPlanted();
        std::string list;
        for (const BreakpointRecord& r : still)
            list += (list.empty() ? "" : ", ") + format(CommandText::kSwiEntry, r.address, unsigned{r.savedOpcode});
        if (!list.empty())
            result.notes.push_back(format(CommandText::kLeftBehind, list.c_str()));
    }
    if (result.ok()) {
        talkerStarted_ = true;
        talkerGone_ = TalkerGone::No;
        result.doneText = download.roundTrip.count() >= 0
                              ? format(CommandText::kTalkerDownloadedMeasured,
                                       static_cast<int>((download.roundTrip.count() + 999) / 1000), port_.readWaitMs)
                              : std::string(CommandText::kTalkerDownloaded);
    } else {
        // Whatever answered (a boot loader, a talker half started) is no talker to trust.
        talkerGone_ = TalkerGone::BootFailed;
    }
    if (!result.ok() && link_.resetError() != 0) {
        result.failureText = format(CommandText::kResetLineFailed, resetLineName(link_.resetPulse.line).c_str(),
                                    port_.deviceName().c_str(), std::strerror(link_.resetError()));
    } else if (!result.ok() && download.damagedAt >= 0) {
        result.failureText = download.damagedAt >= download.imageBytes
                                 ? std::string(CommandText::kTalkerDownloadDoubtful)
                                 : format(CommandText::kTalkerDownloadDamaged, download.damagedAt + 1);
    } else if (!result.ok() && channel_.lastOpenError() != 0) {
        if (result.status == kTalkerPortOpenFailed)
            result.failureText = talkerStatusText(result.status) + std::string(": ") +
                                 portOpenCause(channel_.lastOpenError(), port_.deviceName());
        const std::string hint = portOpenHint(channel_.lastOpenError(), port_.deviceName());
        if (!hint.empty())
            result.notes.push_back(hint);
    }
    if (cancelled)
        result.failureText = CommandText::kBootCancelled;
    return result;
}

CommandResult DebugSession::writeBackLeftBehind()
{
    std::vector<BreakpointRecord> left = journal_.inherited();
    return converse({}, "", [&] {
        TalkerStatus first = kTalkerOk;
        std::vector<BreakpointRecord> failed;
        for (BreakpointRecord r : left) {
            const TalkerStatus s = engine_.writeBackByte(r);
            if (s != kTalkerOk) {
                failed.push_back(r);
                first = first ? first : s;
            }
        }
        journal_.inherit(failed);
        engine_.recordPlanted();
        return first;
    }, CommandText::kLeftBehindWritten);
}

void DebugSession::forgetLeftBehind()
{
    journal_.inherit({});
    engine_.recordPlanted();
}

CommandResult DebugSession::loadS19(const std::string& path)
{
    if (ElfProgram::isElfFile(path))
        return loadElf(path);
    CommandResult result = converse({}, format(CommandText::kLoadProgress, path.c_str()), [&] {
        forgetProgram();
        engine_.s19Progress = progressFor(0, true);
        engine_.firstMismatch.reset();
        TalkerStatus s = engine_.loadS19(path);
        if (s == kTalkerOk)
            s = engine_.verifyS19(path); // every load is checked by reading the target back
        engine_.s19Progress = nullptr;
        return s;
    });
    explainS19Refusal(result, path);
    noteMismatch(result);
    if (!result.ok()) {
        if (result.refusal.empty()) {
            symbols_.clear(); // the target holds part of a program at best
            sourceLines_.clear();
        }
        return result;
    }
    // A program waiting after Stop is gone: the new one starts at its first record.
    if (!engine_.heldAt)
        stoppedPC_.reset();
    programEntry_ = engine_.currentPC;
    bool cut = false;
    const bool listed = readListingLines(listingPathFor(path), result.lines, &cut);
    noteListing(result.lines);
    if (!listed)
        result.notes.push_back(CommandText::kListingMissing);
    if (cut)
        result.notes.push_back(format(CommandText::kListingCut, kMaxListingLines));
    // The symbols are this program's or none. A missing map is no news worth a box at every
    // load (most assemblers write none): the disassembly then shows addresses only.
    (void)symbols_.load(symbolMapPathFor(path));
    if (symbols_.droppedSymbols() > 0)
        result.notes.push_back(format(CommandText::kSymbolsDropped, SymbolMap::kMaxSymbols, symbols_.droppedSymbols()));
    sourceLines_.clear();
    result.doneText = CommandText::kLoadDone;
    return result;
}

void DebugSession::noteMismatch(CommandResult& result) const
{
    if (result.status != kTalkerS19Mismatch || !engine_.firstMismatch)
        return;
    const DebugEngine::S19Mismatch& m = *engine_.firstMismatch;
    result.mismatchAddress = m.address;
    result.failureText = format(CommandText::kS19MismatchAt, talkerStatusText(result.status), m.address,
                                m.expected, m.found);
}

CommandResult DebugSession::verifyS19(const std::string& path)
{
    if (ElfProgram::isElfFile(path))
        return verifyElf(path);
    CommandResult result = converse({}, format(CommandText::kVerifyProgress, path.c_str()), [&] {
        engine_.s19Progress = progressFor(0, true);
        const TalkerStatus s = engine_.verifyS19(path);
        engine_.s19Progress = nullptr;
        return s;
    }, CommandText::kVerifyDone);
    explainS19Refusal(result, path);
    noteMismatch(result);
    return result;
}

void DebugSession::explainS19Refusal(CommandResult& result, const std::string& path) const
{
    if (result.status == kTalkerS19Invalid && !engine_.s19Problem().empty())
        result.failureText = format(CommandText::kS19Refused, talkerStatusText(kTalkerS19Invalid), path.c_str(),
                                    engine_.s19Problem().c_str());
}

bool DebugSession::refuseTalkerWrite(uint32_t address, uint32_t count, CommandResult& result) const
{
    if (!result.refusal.empty())
        return true;
    const std::optional<uint32_t> taken = engine_.talkerByteIn(address, count);
    if (taken)
        result.refusal = format(CommandText::kWriteOverTalker, *taken);
    return taken.has_value();
}

// ---------------------------------------------------------------- memory

CommandResult DebugSession::dump(const std::string& startText, const std::string& endText)
{
    CommandResult result;
    if (refuseWithoutTalker(result))
        return result;
    const auto start = number(startText, "start address", result);
    if (!start)
        return result;
    uint32_t end = 0;
    if (!endText.empty()) {
        const auto e = number(endText, "end address", result);
        if (!e)
            return result;
        end = *e;
    }
    const DumpRange r = MemoryDump::range(*start, end);
    result.rangeStart = r.start;
    result.rangeEnd = r.end;
    if (observer_)
        observer_->progressText(format(CommandText::kDumpProgress, r.start, r.end));
    if (!r.inOrder()) {
        result.refusal = CommandText::kDumpOrder;
        return result;
    }
    Busy busy(*this);
    takeWaitingStop();
    std::vector<uint8_t> bytes(r.count());
    BlockTransfer reader(memory_, link_, progressFor(bytes.size()));
    result.status = reader.read(r.start, r.count(), bytes.data());
    takeWaitingStop(true);
    explainFailure(result);
    if (!result.ok())
        return result;
    if (reader.changed())
        result.notes.push_back(CommandText::kReadChanging);
    engine_.lookThroughSwis(r.start, bytes.data(), r.count());
    if (observer_)
        observer_->progressText(CommandText::kDumpRead);
    result.lines = MemoryDump::lines(r.start, bytes.data(), bytes.size());
    result.doneText = CommandText::kDumpDone;
    return result;
}

CommandResult DebugSession::setMemory(const std::string& addressText, const std::string& valueText)
{
    CommandResult result;
    const auto address = number(addressText, "address", result);
    const auto value = address ? number(valueText, "value", result, kByteMax) : std::nullopt;
    const uint8_t byte = static_cast<uint8_t>(value.value_or(0));
    if (value)
        refuseTalkerWrite(*address, 1, result);
    return converse(result, result.refusal.empty() ? format(CommandText::kSetProgress, *address, static_cast<unsigned>(byte)) : "",
                    [&] { return userWrite(*address, 1, &byte, false); }, CommandText::kSetDone);
}

CommandResult DebugSession::fill(const std::string& startText, const std::string& endText, const std::string& byteText)
{
    CommandResult result;
    uint32_t start = 0;
    uint32_t end = 0;
    std::optional<uint32_t> value;
    if (range(startText, endText, start, end, result))
        value = number(byteText, "byte", result, kByteMax);
    const uint8_t byte = static_cast<uint8_t>(value.value_or(0));
    if (value)
        refuseTalkerWrite(start, end - start + 1, result);
    return converse(result, result.refusal.empty() ? format(CommandText::kFillProgress, start, end, static_cast<unsigned>(byte)) : "",
                    [&] {
                        const std::vector<uint8_t> bytes(end - start + 1, byte);
                        return userWrite(start, static_cast<uint32_t>(bytes.size()), bytes.data(), true);
                    },
                    CommandText::kFillDone);
}

CommandResult DebugSession::move(const std::string& startText, const std::string& endText, const std::string& destText)
{
    CommandResult result;
    uint32_t start = 0;
    uint32_t end = 0;
    std::optional<uint32_t> destination;
    if (range(startText, endText, start, end, result))
        destination = number(destText, "destination", result);
    const uint32_t count = end - start + 1;
    if (destination && *destination + static_cast<uint64_t>(count) > kAddressSpace)
        result.refusal = format(CommandText::kMoveBeyondEnd, *destination, count);
    if (destination)
        refuseTalkerWrite(*destination, count, result);
    bool changed = false;
    result = converse(result, result.refusal.empty() ? format(CommandText::kMoveProgress, start, end, *destination) : "",
                      [&] {
                          std::vector<uint8_t> block(count);
                          BlockTransfer reader(memory_, link_, progressFor(count));
                          if (TalkerStatus s = reader.read(start, count, block.data()))
                              return s;
                          changed = reader.changed();
                          // The program's bytes move, not the SWIs we planted in them.
                          engine_.lookThroughSwis(start, block.data(), count);
                          return userWrite(*destination, count, block.data(), true);
                      },
                      CommandText::kMoveDone);
    if (changed)
        result.notes.push_back(CommandText::kReadChanging);
    return result;
}

CommandResult DebugSession::find(const std::string& startText, const std::string& endText, const std::string& byteText)
{
    CommandResult result;
    uint32_t start = 0;
    uint32_t end = 0;
    std::optional<uint32_t> value;
    if (range(startText, endText, start, end, result))
        value = number(byteText, "byte", result, kByteMax);
    uint32_t found = 0;
    bool changed = false;
    result = converse(result, value ? format(CommandText::kFindProgress, *value, start) : "", [&] {
        const uint32_t count = end - start + 1;
        std::vector<uint8_t> block(count);
        BlockTransfer reader(memory_, link_, progressFor(count));
        if (TalkerStatus s = reader.read(start, count, block.data()))
            return s;
        changed = reader.changed();
        engine_.lookThroughSwis(start, block.data(), count);
        const auto it = std::find(block.begin(), block.end(), static_cast<uint8_t>(*value));
        if (it == block.end())
            return kTalkerSearchNotFound;
        found = start + static_cast<uint32_t>(it - block.begin());
        return kTalkerOk;
    });
    if (result.ok())
        result.doneText = format(CommandText::kFindDone, *value, found);
    if (changed)
        result.notes.push_back(CommandText::kReadChanging);
    return result;
}

// ---------------------------------------------------------------- disassembly

namespace {

constexpr const char* kDisassemblyProgress = "Disassembling $%04x-$%04x";
constexpr const char* kDisassemblyDone = "Disassembly complete";
constexpr const char* kDisassemblyLimit = "Error: addresses run from $0000 to $ffff";

} // namespace

CommandResult DebugSession::disassemble(const std::string& startText, const std::string& endText)
{
    CommandResult result;
    const auto start = number(startText, "start address", result);
    std::optional<uint32_t> end;
    if (start)
        end = endText.empty() ? std::min<uint32_t>(*start + kDisassemblyBytes - 1, 0xFFFF)
                              : number(endText, "end address", result);
    if (end && result.refusal.empty()) {
        if (*start > 0xFFFF || *end > 0xFFFF)
            result.refusal = kDisassemblyLimit;
        else if (*end < *start)
            result.refusal = CommandText::kRangeOrder;
    }
    if (!result.refusal.empty())
        return result;
    // A few bytes more than asked, so the last instruction that starts in the range is whole.
    const uint32_t last = std::min<uint32_t>(*end + kMaxInstructionBytes - 1, 0xFFFF);
    std::vector<uint8_t> bytes(last - *start + 1);
    bool changed = false;
    result = converse(result, format(kDisassemblyProgress, *start, *end), [&] {
        BlockTransfer reader(memory_, link_, progressFor(bytes.size()));
        if (TalkerStatus s = reader.read(*start, static_cast<uint32_t>(bytes.size()), bytes.data()))
            return s;
        changed = reader.changed();
        engine_.lookThroughSwis(*start, bytes.data(), static_cast<uint32_t>(bytes.size()));
        return kTalkerOk;
    }, kDisassemblyDone);
    if (!result.ok())
        return result;
    if (changed)
        result.notes.push_back(CommandText::kReadChanging);
    const auto lines = Disassembler::disassemble(static_cast<uint16_t>(*start), bytes, &symbols_, *end - *start + 1);
    result.lines = Disassembler::textLines(lines);
    result.rangeStart = *start;
    result.rangeEnd = lines.empty() ? *end : lines.back().address + static_cast<uint32_t>(lines.back().bytes.size()) - 1;
    return result;
}

// ---------------------------------------------------------------- registers

namespace {

std::vector<std::string> registerLines(const TargetRegisters& r, std::optional<uint32_t> shownPC)
{
    RegisterFields fields = RegisterText::fields(r);
    if (shownPC)
        fields.PC = format("$%04x", *shownPC);
    std::vector<std::string> lines;
    for (const RegisterFieldInfo& f : RegisterText::kFields) {
        std::string line = f.label;
        line.resize(16, ' ');
        line += fields.*f.text;
        if (f.text == &RegisterFields::CCR)
            line += std::string(" ") + RegisterText::kCcrLegend;
        lines.push_back(line);
    }
    return lines;
}

} // namespace

TalkerStatus readRegistersAgreed(TalkerLink& link, TargetRegisters& r, bool* changed)
{
    if (TalkerStatus s = link.readRegisters(r))
        return s;
    for (int read = 0; read < BlockTransfer::kAgreementReads; ++read) {
        TargetRegisters again;
        if (TalkerStatus s = link.readRegisters(again))
            return s;
        const bool agree = again == r;
        r = again;
        if (agree)
            return kTalkerOk;
    }
    if (changed)
        *changed = true;
    return kTalkerOk;
}

CommandResult DebugSession::readRegisters()
{
    TargetRegisters r;
    bool changed = false;
    CommandResult result =
        converse({}, "", [&] { return readRegistersAgreed(link_, r, &changed); });
    if (result.status != kTalkerOk) {
        result.failureText = CommandText::kRegisterReadFailed;
        explainFailure(result);
        return result;
    }
    if (changed)
        result.notes.push_back(CommandText::kReadChanging);
    if (result.ok()) {
        lastRegisters_ = r;
        result.lines = registerLines(r, stoppedPC_);
    }
    return result;
}

CommandResult DebugSession::writeRegisters(const TargetRegisters& registers)
{
    CommandResult result;
    if (refuseWithoutTalker(result))
        return result;
    loseCalls(); // a new PC or stack leaves the calls seen behind
    Busy busy(*this);
    takeWaitingStop();
    TargetRegisters r = registers;
    const uint32_t pc = registers.PC & 0xFFFF;
    // A held program is shown stopped at its SWI's address; the talker keeps it held only while
    // the frame's PC stays the one it stacked (the address after the SWI).
    const std::optional<uint32_t> held = engine_.heldAt;
    const bool keepsHeld = held && (pc == *held || pc == ((*held + 1) & 0xFFFF));
    // A program halted by Stop waits in the talker's idle loop with its PC shown as where it goes
    // on: written back unchanged, the frame keeps it waiting there rather than starting it.
    const bool afterStop = !held && stoppedPC_;
    // Any other PC resumes a held or stopped program there: the registers are written with the
    // program kept waiting, then it starts as a run does, with its breakpoints planted.
    const bool resumes = (held && !keepsHeld) || (afterStop && pc != *stoppedPC_);
    if (held)
        r.PC = (*held + 1) & 0xFFFF;
    else if (afterStop)
        r.PC = engine_.talkerIdleAddress;
    result.status = link_.writeRegisters(r);
    if (!result.ok()) {
        result.failureText = CommandText::kRegisterWriteFailed;
        explainFailure(result);
        return result;
    }
    lastRegisters_ = registers;
    if (resumes) {
        noteResumed();
        result.status = resumeAt(pc);
        if (!result.ok())
            explainFailure(result);
    }
    return result;
}

CommandResult DebugSession::writeRegisterTexts(const RegisterFields& texts)
{
    CommandResult result;
    TargetRegisters r = lastRegisters_;
    NumberProblem problem = NumberProblem::None;
    if (const RegisterFieldInfo* bad = RegisterText::apply(texts, r, base_, &problem)) {
        result.refusal = numberRefusal(texts.*bad->text, bad->label, problem, bad->max);
        return result;
    }
    return writeRegisters(r);
}

CommandResult DebugSession::setRegister(const std::string& name, const std::string& valueText)
{
    CommandResult result;
    if (refuseWithoutTalker(result))
        return result;
    const std::string n = lowerCase(name);
    static constexpr std::array<const char*, 6> kSettable{"a", "b", "x", "y", "pc", "ccr"};
    if (std::none_of(kSettable.begin(), kSettable.end(), [&](const char* s) { return n == s; })) {
        result.refusal = n == "sp" ? "Error: the stack pointer is shown only; it cannot be set"
                                   : "Error: setreg takes A, B, X, Y, PC or CCR, not '" + name + "'";
        return result;
    }
    const bool wide = n == "x" || n == "y" || n == "pc";
    std::string field = n;
    std::transform(field.begin(), field.end(), field.begin(), [](unsigned char c) { return std::toupper(c); });
    field = "register " + field;
    const auto value = number(valueText, field.c_str(), result, wide ? kWordMax : kByteMax);
    if (!value)
        return result;
    CommandResult read = readRegisters();
    if (!read.ok())
        return read;
    TargetRegisters r = lastRegisters_;
    if (stoppedPC_ && engine_.heldAt)
        r.PC = *engine_.heldAt; // the PC as shown: the held SWI's address
    if (n == "a")
        r.A = static_cast<uint8_t>(*value);
    else if (n == "b")
        r.B = static_cast<uint8_t>(*value);
    else if (n == "x")
        r.X = *value;
    else if (n == "y")
        r.Y = *value;
    else if (n == "pc")
        r.PC = *value;
    else
        r.CCR = static_cast<uint8_t>(*value);
    result = writeRegisters(r);
    if (!result.ok())
        return result;
    result.lines = registerLines(r, engine_.heldAt ? std::optional<uint32_t>(*engine_.heldAt) : std::nullopt);
    return result;
}

CommandResult DebugSession::readIoRegisterValues(bool includeDisturbing,
                                                 std::array<uint8_t, IoRegisters::kCount>& values,
                                                 std::array<bool, IoRegisters::kCount>& read)
{
    constexpr uint32_t kTcntHigh = 0x0E;
    CommandResult result;
    values.fill(0);
    read.fill(false);
    if (refuseWithoutTalker(result))
        return result;
    Busy busy(*this);
    takeWaitingStop();
    BlockTransfer reader(memory_, link_);
    // Runs of registers that may be read, each in one command.
    uint32_t offset = 0;
    while (offset < IoRegisters::kCount && result.ok()) {
        if (!includeDisturbing && IoRegisters::readDisturbs(offset)) {
            ++offset;
            continue;
        }
        // Runs of registers of one kind: those whose read disturbs the chip (asked for) are read
        // exactly once, since a second read would disturb it again; the others are taken when two
        // reads agree, except the free-running counter, which never reads the same twice.
        const bool disturbing = IoRegisters::readDisturbs(offset);
        uint32_t end = offset;
        while (end < IoRegisters::kCount && IoRegisters::readDisturbs(end) == disturbing)
            ++end;
        const uint32_t first = offset;
        if (disturbing)
            result.status = memory_.readBlock(IoRegisters::kBase + offset, end - offset, values.data() + offset);
        else
            result.status = reader.readAgreed(IoRegisters::kBase + offset, end - offset, values.data() + offset,
                                              [first](uint32_t i) {
                                                  const uint32_t at = first + i;
                                                  return at == kTcntHigh || at == kTcntHigh + 1;
                                              });
        std::fill(read.begin() + offset, read.begin() + end, true);
        offset = end;
    }
    takeWaitingStop(true);
    explainFailure(result);
    if (result.ok() && reader.changed())
        result.notes.push_back(CommandText::kReadChanging);
    return result;
}

CommandResult DebugSession::readIoRegisters(bool includeDisturbing)
{
    CommandResult result;
    std::array<uint8_t, IoRegisters::kCount> values{};
    std::array<bool, IoRegisters::kCount> read{};
    result = readIoRegisterValues(includeDisturbing, values, read);
    if (!result.ok())
        return result;
    for (uint32_t i = 0; i < IoRegisters::kCount; ++i)
        if (IoRegisters::info(i).name[0] != '\0')
            result.lines.push_back(IoRegisters::line(i, values[i], read[i]));
    return result;
}

// ---------------------------------------------------------------- breakpoints

std::vector<uint32_t> DebugSession::breakpoints() const
{
    std::vector<uint32_t> out;
    for (const auto& b : engine_.breakpoints)
        if (b.address != 0)
            out.push_back(b.address);
    return out;
}

CommandResult DebugSession::setBreakpoint(const std::string& addressText)
{
    CommandResult result;
    const auto address = number(addressText, "address", result);
    return converse(result, "", [&] { return engine_.setBreakpoint(*address); },
                    address ? format(CommandText::kBreakpointSet, *address) : "");
}

CommandResult DebugSession::removeBreakpoint(const std::string& addressText)
{
    CommandResult result;
    const auto address = number(addressText, "address", result);
    result = converse(result, "", [&] { return engine_.removeBreakpoint(*address); },
                      address ? format(CommandText::kBreakpointRemoved, *address) : "");
    pruneRules();
    if (result.status != kTalkerOk)
        result.failureText = format(CommandText::kBreakpointNotRemoved, *address);
    return result;
}

CommandResult DebugSession::clearBreakpoints()
{
    return converse({}, CommandText::kClearAllProgress, [&] {
        for (uint32_t address : breakpoints())
            (void)engine_.removeBreakpoint(address); // one that cannot come out stays in the table
        pruneRules();
        return kTalkerOk;
    }, CommandText::kClearAllDone);
}

// ---------------------------------------------------------------- execution

CommandResult DebugSession::execute(const std::optional<std::string>& addressText)
{
    CommandResult result;
    const uint32_t address = startAddress(addressText, result);
    return converse(result, CommandText::kExecuteProgress, [&] {
        noteResumed();
        loseCalls();
        // Kept breakpoints are set where a program stopped: the run steps off the one at its start.
        if (keepBreakpoints_)
            return resumeAt(address);
        const TalkerStatus s = engine_.execute(address, true);
        runningFree_ = s == kTalkerOk && !engine_.running;
        return s;
    }, CommandText::kExecuteDone);
}

CommandResult DebugSession::stop()
{
    return converse({}, CommandText::kStopProgress, [&] {
        const bool wasRunning = runState() == RunState::Running;
        noteResumed();
        loseCalls();
        const TalkerStatus s = engine_.stop();
        runningFree_ = runningFree_ && s != kTalkerOk;
        // A running program waits where it was stopped, and the next run, trace or step goes on
        // there; a held one is let go (its stop was shown when it came).
        if (s == kTalkerOk && wasRunning)
            stoppedPC_ = engine_.currentPC;
        return s;
    }, CommandText::kStopDone);
}

CommandResult DebugSession::callSubroutine(const std::optional<std::string>& addressText)
{
    CommandResult result;
    const uint32_t address = startAddress(addressText, result);
    return converse(result, CommandText::kCallProgress, [&] {
        noteResumed();
        loseCalls();
        const TalkerStatus s = engine_.callSubroutine(address);
        runningFree_ = s == kTalkerOk;
        return s;
    }, CommandText::kCallDone);
}

CommandResult DebugSession::trace(const std::optional<std::string>& addressText)
{
    CommandResult result;
    const uint32_t from = startAddress(addressText, result);
    // A trace from the program's entry starts it at its top level, where no call is open; one
    // elsewhere than where it stopped leaves the calls seen behind.
    if (result.refusal.empty() && addressText && from != engine_.currentPC)
        loseCalls();
    if (result.refusal.empty() && addressText && programEntry_ && from == *programEntry_) {
        calls_.clear();
        callsComplete_ = true;
    }
    return traceFrom(result, from, format(CommandText::kTraceProgress, from));
}

CommandResult DebugSession::traceFrom(CommandResult result, uint32_t from, const std::string& progress)
{
    result = converse(result, result.refusal.empty() ? progress : "", [&] {
        noteResumed();
        return engine_.traceStep(from);
    });
    if (!result.ok()) {
        loseCalls();
        recogniseResetAfterStep(result);
        return result;
    }
    followTrace();
    stoppedPC_ = engine_.currentPC;
    runningFree_ = false;
    result.doneText = format(CommandText::kTraceDone, engine_.currentPC);
    return result;
}

CommandResult DebugSession::continueTrace()
{
    return traceFrom({}, engine_.currentPC, format(CommandText::kContinueTraceProgress, engine_.currentPC));
}

// ---------------------------------------------------------------- stepping

TalkerStatus DebugSession::resumeAt(uint32_t from)
{
    // A breakpoint at the start would stop the program before it moves: one trace step first.
    if (engine_.hasBreakpoint(from)) {
        if (TalkerStatus s = engine_.traceStep(from))
            return s;
        from = engine_.currentPC;
    }
    stoppedPC_.reset();
    const TalkerStatus s = engine_.execute(from, true);
    runningFree_ = s == kTalkerOk && !engine_.running;
    return s;
}

CommandResult DebugSession::runFromStop(std::optional<StepGoal> goal, const std::string& progress)
{
    CommandResult result;
    if (refuseWithoutTalker(result))
        return result;
    if (observer_)
        observer_->progressText(progress);
    Busy busy(*this);
    takeWaitingStop();
    dropGoal();
    keepingRun_ = std::exchange(keepNextRun_, false);
    const uint32_t from = engine_.currentPC;
    if (goal && (result.status = setGoal(*goal)))
        return result;
    result.status = resumeAt(from);
    if (!result.ok()) {
        dropGoal();
        if (!engine_.running)
            noteLeftovers(result, CommandText::kSwisLeft);
    }
    return result; // the stop says the rest
}

CommandResult DebugSession::stepOver()
{
    CommandResult result;
    if (refuseWithoutTalker(result))
        return result;
    const uint32_t from = engine_.currentPC;
    Successors s;
    CpuRegisters cpu;
    {
        Busy busy(*this);
        takeWaitingStop();
        if ((result.status = instructionAt(from, s, cpu)))
            return result;
    }
    if (s.kind != FlowKind::Call)
        return trace(std::nullopt);
    return runFromStop(StepGoal{s.next, cpu.SP, false}, format(CommandText::kTraceProgress, from));
}

CommandResult DebugSession::continueRun(bool keep)
{
    keepNextRun_ = keep;
    CommandResult result = runFromStop(std::nullopt, format(CommandText::kContinueProgress, engine_.currentPC));
    keepNextRun_ = false;
    return result;
}

// ---------------------------------------------------------------- stops

bool DebugSession::talkerAnswers()
{
    if (busy_)
        return true;
    Busy busy(*this);
    for (int attempt = 0; attempt < 2; ++attempt) {
        TargetRegisters r;
        if (link_.readRegisters(r) == kTalkerOk)
            return true;
        // A "J" met on the way is a stop: the talker is there.
        if (link_.swiPending())
            return true;
    }
    return false;
}

void DebugSession::recogniseResetAfterStep(CommandResult& result)
{
    // A step that the line or a refusal ended says so already; one whose talker is still there
    // failed for its own reason; without a boot of ours no talker was known to be there.
    if (!result.refusal.empty() || result.status == kTalkerOk || !talkerStarted_ || !channel_.isOpen() ||
        channel_.lineLost() || talkerAnswers())
        return;
    // The tracepoints stay listed (in the journal too) until a boot writes them back: the chip
    // may still hold them, and no command reaches it before then.
    talkerGone_ = TalkerGone::Reset;
    result.failureText = CommandText::kStepMetReset;
}

std::vector<std::string> DebugSession::leftoverNotes() const
{
    CommandResult result;
    noteLeftovers(result, CommandText::kSwisLeft);
    return result.notes;
}

CommandResult DebugSession::endSession()
{
    CommandResult result;
    if (refuseWhileBusy(result) || engine_.plantedRecords().empty())
        return result;
    Busy busy(*this);
    if (channel_.isOpen() && talkerGone_ == TalkerGone::No)
        result.status = engine_.writeBackPlanted();
    if (!engine_.plantedRecords().empty()) {
        noteLeftovers(result, CommandText::kSwisLeftAtEnd);
        if (result.status == kTalkerOk)
            result.status = kTalkerNoResponse;
    }
    return result;
}

BreakpointHit DebugSession::pollForHit()
{
    if (busy_ || !engine_.running || talkerGone_ != TalkerGone::No)
        return {};
    Busy busy(*this);
    BreakpointHit hit = noteStop(engine_.pollBreakpointHit());
    // A hit resumed by its breakpoint's rules may meet the next one on the way: it is taken now,
    // not when the line next wakes a poll (its "J" has been read already).
    while (hit.kind == BreakpointHitKind::None && hit.status == kTalkerOk && engine_.running && link_.swiPending())
        hit = noteStop(engine_.pollBreakpointHit());
    return hit;
}

void DebugSession::pollFreeRunningStop()
{
    if (busy_ || engine_.running || !runningFree_)
        return;
    Busy busy(*this);
    takeWaitingStop();
}

WaitOutcome DebugSession::waitForHit(int ms, const std::function<bool()>& interrupted, BreakpointHit* hit)
{
    constexpr int kInterruptCheckMs = 100;
    const Deadline deadline = Deadline::afterMs(ms);
    for (;;) {
        if (interrupted && interrupted())
            return WaitOutcome::Interrupted;
        const BreakpointHit h = pollForHit();
        if (hit)
            *hit = h;
        switch (h.kind) {
        case BreakpointHitKind::Hit:
        case BreakpointHitKind::Stopped:
        case BreakpointHitKind::StepDone:
            return WaitOutcome::Stopped;
        case BreakpointHitKind::ConfirmFailed:
        case BreakpointHitKind::RestoreFailed:
        case BreakpointHitKind::NotInTable:
            return WaitOutcome::Failed;
        case BreakpointHitKind::None:
            if (h.status != kTalkerOk)
                return WaitOutcome::LineLost;
            break;
        }
        if (deadline.expired()) {
            if (!engine_.running || talkerAnswers())
                return WaitOutcome::TimedOut;
            talkerGone_ = TalkerGone::Reset;
            return WaitOutcome::TalkerGone;
        }
        const bool open = channel_.isOpen();
        // Woken now and then to ask about an interrupt: a signal may have gone to another thread.
        if (open)
            channel_.inputWithin(std::min(std::chrono::ceil<std::chrono::microseconds>(deadline.remaining()),
                                          std::chrono::microseconds(std::chrono::milliseconds(kInterruptCheckMs))));
        if (!open || channel_.lineLost()) {
            BreakpointHit lost; // hang-up or error: nothing will arrive
            lost.status = !open ? kTalkerPortNotOpen : kTalkerCommError;
            noteStop(lost);
            if (hit)
                *hit = lost;
            return WaitOutcome::LineLost;
        }
    }
}

bool DebugSession::awaitingHit() const
{
    return engine_.running != 0 && talkerGone_ == TalkerGone::No;
}

bool DebugSession::checkReturnedToTalker()
{
    if (busy_ || runState() != RunState::Running || engine_.running || !channel_.isOpen())
        return false;
    Busy busy(*this);
    takeWaitingStop();
    if (runState() != RunState::Running)
        return false;
    TargetRegisters r;
    if (link_.readRegisters(r) != kTalkerOk || (r.PC & 0xFFFF) != (engine_.talkerIdleAddress & 0xFFFF))
        return false;
    runningFree_ = false;
    return true;
}

RunState DebugSession::runState() const
{
    if (!talkerStarted_ || talkerGone_ != TalkerGone::No)
        return RunState::NoTalker;
    if (engine_.heldAt)
        return RunState::Held;
    if (engine_.running || runningFree_)
        return RunState::Running;
    return RunState::Idle;
}

std::optional<uint32_t> DebugSession::heldAt() const
{
    return engine_.heldAt;
}
