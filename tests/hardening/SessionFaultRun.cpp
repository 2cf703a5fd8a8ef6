#include "SessionFaultRun.h"

#include "engine/MemoryDump.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kMaxNotes = 40;
// A run waits for a hit for this many read waits.
constexpr int kHitWaits = 10;
constexpr int kTraceSteps = 8;
// Boots a fresh session tries from the EEPROM before it downloads the talker.
constexpr int kRomBootTries = 3;
// The user's bytes in the write scenario: neither the code's own bytes there nor an SWI.
constexpr uint8_t kSetValue = 0xA5;
constexpr uint8_t kFillValue = 0xC3;
// What the load scenario fills the loops code with first (a NOP, so breakpoints may go there).
constexpr uint8_t kLoopsBlank = 0x01;

std::string replaceK(const std::string& pattern, uint64_t k)
{
    std::string out;
    for (char c : pattern)
        out += c == 'K' ? std::to_string(k) : std::string(1, c);
    return out;
}

std::string hexByte(uint8_t byte)
{
    char text[8];
    std::snprintf(text, sizeof text, "$%02X", byte);
    return text;
}

MemoryImage slice(const MemoryImage& image, uint32_t first, uint32_t end)
{
    MemoryImage out{first, {}};
    if (first >= image.address && end <= image.address + image.bytes.size() && first <= end)
        out.bytes.assign(image.bytes.begin() + (first - image.address), image.bytes.begin() + (end - image.address));
    return out;
}

} // namespace

// ---------------------------------------------------------------- figures

SessionFigures& SessionFigures::operator+=(const SessionFigures& o)
{
    runs += o.runs;
    faults += o.faults;
    commands += o.commands;
    failedCommands += o.failedCommands;
    swisLeft += o.swisLeft;
    lostBytes += o.lostBytes;
    wrongSuccesses += o.wrongSuccesses;
    strayWrites += o.strayWrites;
    strayResults += o.strayResults;
    hangs += o.hangs;
    bootRetries += o.bootRetries;
    boardsReplaced += o.boardsReplaced;
    setupFailures += o.setupFailures;
    for (const auto& n : o.notes)
        if (notes.size() < kMaxNotes)
            notes.push_back(n);
    return *this;
}

bool SessionFigures::clean() const
{
    return swisLeft == 0 && lostBytes == 0 && wrongSuccesses == 0 && boardsReplaced == 0 && setupFailures == 0;
}

std::string SessionFigures::text() const
{
    return "sessions " + std::to_string(runs) + ", faults injected " + std::to_string(faults) + ", commands " +
           std::to_string(commands) + " (" + std::to_string(failedCommands) + " failed), SWIs left " +
           std::to_string(swisLeft) + ", bytes lost " + std::to_string(lostBytes) + ", wrong successes " +
           std::to_string(wrongSuccesses) + ", stray writes " + std::to_string(strayWrites) +
           ", stray results " + std::to_string(strayResults) + ", hangs " + std::to_string(hangs) +
           ", boots retried " + std::to_string(bootRetries) + ", boards replaced " + std::to_string(boardsReplaced) +
           ", failed preparations " + std::to_string(setupFailures);
}

// ---------------------------------------------------------------- model

void TargetModel::known(uint32_t address, const Bytes& bytes)
{
    for (size_t i = 0; i < bytes.size(); ++i)
        cells_[(address + i) & 0xFFFF] = Cell{{bytes[i]}, -1};
}

void TargetModel::written(uint32_t address, const Bytes& bytes, bool ok, int command)
{
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto it = cells_.find((address + i) & 0xFFFF);
        if (it == cells_.end())
            continue;
        Cell& cell = it->second;
        if (ok) {
            cell = Cell{{bytes[i]}, command};
            continue;
        }
        // A failed write may have reached the target, whole or in part.
        if (std::find(cell.allowed.begin(), cell.allowed.end(), bytes[i]) == cell.allowed.end())
            cell.allowed.push_back(bytes[i]);
        cell.promisedBy = -1;
    }
}

bool TargetModel::allows(uint32_t address, uint8_t byte) const
{
    const auto it = cells_.find(address & 0xFFFF);
    return it == cells_.end() ||
           std::find(it->second.allowed.begin(), it->second.allowed.end(), byte) != it->second.allowed.end();
}

std::vector<std::pair<uint32_t, uint32_t>> TargetModel::blocks() const
{
    std::vector<std::pair<uint32_t, uint32_t>> out;
    for (const auto& [address, cell] : cells_) {
        (void)cell;
        if (!out.empty() && out.back().first + out.back().second == address)
            ++out.back().second;
        else
            out.push_back({address, 1});
    }
    return out;
}

void TargetModel::compare(uint32_t address, const Bytes& actual, Findings& findings) const
{
    for (size_t i = 0; i < actual.size(); ++i) {
        const uint32_t a = (address + i) & 0xFFFF;
        const auto it = cells_.find(a);
        if (it == cells_.end() || allows(a, actual[i]))
            continue;
        findings.differing.push_back(a);
        if (actual[i] == DebugEngine::kSwiOpcode)
            findings.swis.push_back(a);
        if (it->second.promisedBy >= 0)
            findings.brokenPromises.insert(it->second.promisedBy);
    }
}

// ---------------------------------------------------------------- one run's view

SessionRun::SessionRun(DebugSession& s, TargetModel& m, const std::map<std::string, uint32_t>& flowSymbols)
    : session(s), model(m), flowSymbols_(flowSymbols)
{
}

uint32_t SessionRun::flow(const std::string& symbol) const
{
    const auto it = flowSymbols_.find(symbol);
    return it == flowSymbols_.end() ? 0 : it->second;
}

std::string SessionRun::hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "$%04X", value & 0xFFFF);
    return text;
}

bool SessionRun::ran(const CommandResult& result, const std::string& what)
{
    ++commands;
    commandNames.push_back(what);
    lastOk_ = result.ok();
    if (!lastOk_)
        ++failedCommands;
    return lastOk_;
}

void SessionRun::wrote(uint32_t address, const Bytes& bytes)
{
    model.written(address, bytes, lastOk_, static_cast<int>(commandNames.size()) - 1);
}

void SessionRun::wrong(const std::string& why)
{
    wrongResults.push_back((commandNames.empty() ? std::string("?") : commandNames.back()) + " reported success: " + why);
}

void SessionRun::checkDump(const CommandResult& result)
{
    if (!result.ok())
        return;
    uint64_t bad = 0;
    std::string first;
    for (size_t n = 1; n < result.lines.size(); ++n) {
        const std::string& line = result.lines[n];
        if (line.size() < 8 + 3 * MemoryDump::kBytesPerLine || line[0] != '$') {
            wrong("an unreadable dump line '" + line + "'");
            return;
        }
        const uint32_t address = static_cast<uint32_t>(std::stoul(line.substr(1, 4), nullptr, 16));
        for (uint32_t i = 0; i < MemoryDump::kBytesPerLine; ++i) {
            const auto byte = static_cast<uint8_t>(std::stoul(line.substr(8 + 3 * i, 2), nullptr, 16));
            if (model.allows(address + i, byte))
                continue;
            if (bad++ == 0)
                first = hexByte(byte) + " at " + hex(address + i);
        }
    }
    if (bad)
        wrong("the dump shows " + std::to_string(bad) + " bytes the target does not hold, first " + first);
}

BreakpointHit SessionRun::waitForStop(int waits)
{
    const auto until = Clock::now() + std::chrono::milliseconds(static_cast<int64_t>(waits) * session.port().readWaitMs);
    for (;;) {
        if (!stops_.empty())
            return stops_.front();
        if (!session.awaitingHit() || Clock::now() >= until)
            return {};
        (void)session.pollForHit(); // a stop comes back through programStopped
        if (stops_.empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void SessionRun::restartCounting()
{
    commands = 0;
    failedCommands = 0;
    wrongResults.clear();
    commandNames.clear();
    stops_.clear();
    lastOk_ = false;
}

void SessionRun::programStopped(const BreakpointHit& hit)
{
    stops_.push_back(hit);
    if (hit.kind == BreakpointHitKind::Hit && expectedHits.count(hit.address) == 0)
        wrongResults.push_back("a hit was reported at " + hex(hit.address));
}

// ---------------------------------------------------------------- scenarios

namespace {

// Breakpoints in all three samples and at the counter's first instruction, which it never runs
// again once it loops; the counter runs from its loop.
bool counterRunningWithBreakpoints(SessionRun& r, std::string& why)
{
    for (uint32_t a : {SessionFaultRun::kCounter, SessionFaultRun::kLoopsFill, SessionFaultRun::kLoopsOuter,
                       r.flow("f_nop")}) {
        const CommandResult set = r.session.setBreakpoint(SessionRun::hex(a));
        if (!set.ok()) {
            why = "break " + SessionRun::hex(a) + ": " + set.errorText();
            return false;
        }
    }
    const CommandResult run = r.session.execute(SessionRun::hex(SessionFaultRun::kCounterLoop));
    if (!run.ok())
        why = "run: " + run.errorText();
    return run.ok();
}

bool nothingToPrepare(SessionRun&, std::string&)
{
    return true;
}

} // namespace

std::vector<SessionScenario> sessionScenarios()
{
    using Run = SessionFaultRun;
    std::vector<SessionScenario> out;

    out.push_back({"load over a running program's breakpoints",
                   [](SessionRun& r, std::string& why) {
                       // The loops code blanked first, so that the load changes every byte of it.
                       const CommandResult blank = r.session.fill(SessionRun::hex(Run::kLoops),
                                                                  SessionRun::hex(Run::kLoopsCodeEnd - 1),
                                                                  hexByte(kLoopsBlank));
                       if (!blank.ok()) {
                           why = "fill: " + blank.errorText();
                           return false;
                       }
                       r.model.known(Run::kLoops, Bytes(Run::kLoopsCodeEnd - Run::kLoops, kLoopsBlank));
                       return counterRunningWithBreakpoints(r, why);
                   },
                   [](SessionRun& r) {
                       const std::string file = SampleTarget::example("loops.s19");
                       r.ran(r.session.loadS19(file), "load loops.s19");
                       for (const MemoryImage& record : readS19Images(file))
                           r.wrote(record.address, record.bytes);
                   }});

    out.push_back({"set breakpoints and run to a hit", nothingToPrepare, [](SessionRun& r) {
                       // The first breakpoint that was set on the program's way is the one it meets.
                       for (uint32_t a : {Run::kLoopsFill, Run::kLoopsOuter, r.flow("f_nop")})
                           if (r.ran(r.session.setBreakpoint(SessionRun::hex(a)), "break " + SessionRun::hex(a)) &&
                               r.expectedHits.empty() && a != r.flow("f_nop"))
                               r.expectedHits.insert(a);
                       if (r.ran(r.session.execute(SessionRun::hex(Run::kLoops)), "run"))
                           (void)r.waitForStop(kHitWaits);
                   }});

    out.push_back({"trace eight steps",
                   [](SessionRun& r, std::string& why) {
                       for (uint32_t a : {Run::kLoopsFill, r.flow("f_bra")}) {
                           const CommandResult set = r.session.setBreakpoint(SessionRun::hex(a));
                           if (!set.ok()) {
                               why = "break: " + set.errorText();
                               return false;
                           }
                       }
                       return true;
                   },
                   [](SessionRun& r) {
                       // Where each step ends, from the flow sample's map.
                       const uint32_t steps[kTraceSteps] = {r.flow("flow") + 3, r.flow("f_pre18"), r.flow("f_nop"),
                                                            r.flow("f_nop") + 1, r.flow("f_beq"),   r.flow("f_bne"),
                                                            r.flow("f_bra"),     r.flow("f_brset_d")};
                       for (int i = 0; i < kTraceSteps; ++i) {
                           const CommandResult step = i == 0 ? r.session.trace(SessionRun::hex(r.flow("flow")))
                                                             : r.session.continueTrace();
                           // A failed step may have run its instruction: later steps start from
                           // registers no one knows, so only an unbroken chain is judged.
                           if (!r.ran(step, "trace step " + std::to_string(i + 1)))
                               return;
                           if (r.session.currentPC() != steps[i]) {
                               r.wrong("ended at " + SessionRun::hex(r.session.currentPC()) + ", not " +
                                       SessionRun::hex(steps[i]));
                               return; // later steps start from there
                           }
                       }
                   }});

    out.push_back({"stop a running program and run it again", counterRunningWithBreakpoints, [](SessionRun& r) {
                       if (r.ran(r.session.stop(), "stop") &&
                           (r.session.currentPC() < Run::kCounter || r.session.currentPC() >= Run::kCounterCodeEnd))
                           r.wrong("the program stopped at " + SessionRun::hex(r.session.currentPC()) +
                                   ", outside the counter");
                       r.ran(r.session.execute(SessionRun::hex(Run::kCounterLoop)), "run again");
                   }});

    out.push_back({"write over planted breakpoints while the program runs", counterRunningWithBreakpoints,
                   [](SessionRun& r) {
                       r.ran(r.session.setMemory(SessionRun::hex(Run::kCounter), hexByte(kSetValue)), "set");
                       r.wrote(Run::kCounter, Bytes{kSetValue});
                       // Over both loops breakpoints.
                       const uint32_t first = Run::kLoopsFill - 1, last = Run::kLoopsOuter + 1;
                       r.ran(r.session.fill(SessionRun::hex(first), SessionRun::hex(last), hexByte(kFillValue)), "fill");
                       r.wrote(first, Bytes(last - first + 1, kFillValue));
                       const CommandResult dumped =
                           r.session.dump(SessionRun::hex(Run::kLoops), SessionRun::hex(Run::kLoops + 0x2F));
                       if (r.ran(dumped, "dump of the written code"))
                           r.checkDump(dumped);
                   }});

    out.push_back({"dump the code while the program runs", counterRunningWithBreakpoints, [](SessionRun& r) {
                       for (const auto& [first, last] : {std::pair{Run::kLoops, Run::kLoops + 0x2F},
                                                         std::pair{Run::kCounter, Run::kCounter + 0x1F},
                                                         std::pair{r.flow("flow"), r.flow("data")}}) {
                           const CommandResult dumped = r.session.dump(SessionRun::hex(first), SessionRun::hex(last));
                           if (r.ran(dumped, "dump " + SessionRun::hex(first)))
                               r.checkDump(dumped);
                       }
                   }});
    return out;
}

// ---------------------------------------------------------------- the runs

namespace {
BoardSession::Options boardOptions(bool checkedTalker)
{
    BoardSession::Options options;
    options.checkedTalker = checkedTalker;
    return options;
}
} // namespace

SessionFaultRun::SessionFaultRun(const std::string& workDir, int shortWaitMs, int longWaitMs, bool checkedTalker)
    : board_(workDir, boardOptions(checkedTalker)), shortWaitMs_(shortWaitMs), longWaitMs_(longWaitMs)
{
}

SessionFaultRun::~SessionFaultRun()
{
    session_.reset(); // before the board it talks to
}

void SessionFaultRun::note(SessionFigures& figures, const std::string& text)
{
    if (figures.notes.size() < kMaxNotes)
        figures.notes.push_back(text);
}

void SessionFaultRun::setWaits(int ms)
{
    session_->port().readWaitMs = ms;
    session_->engine().traceWaitMs = ms;
}

bool SessionFaultRun::prepare(std::string* error)
{
    std::ifstream map(SampleTarget::example("flow.map"));
    std::string address, kind, name;
    while (map >> address >> kind >> name)
        flowSymbols_[name] = static_cast<uint32_t>(std::stoul(address, nullptr, 16));
    const MemoryImage loops = spanOf(readS19Images(SampleTarget::example("loops.s19")), 0);
    const MemoryImage counter = spanOf(readS19Images(SampleTarget::example("counter.s19")), 0);
    const MemoryImage flow = spanOf(readS19Images(SampleTarget::example("flow.s19")), 0);
    const auto symbol = [&](const char* n) { return flowSymbols_.count(n) ? flowSymbols_[n] : 0; };
    code_ = {slice(loops, kLoops, kLoopsCodeEnd), slice(counter, kCounter, kCounterCodeEnd),
             slice(flow, symbol("flow"), symbol("data"))};
    for (const MemoryImage& image : code_) {
        if (image.bytes.empty()) {
            *error = "a sample, or the flow sample's map, is missing";
            return false;
        }
    }
    if (!board_.start(error))
        return false;
    if (!freshSession(nullptr)) {
        *error = "the first session did not boot";
        return false;
    }
    return true;
}

bool SessionFaultRun::freshSession(SessionFigures* figures)
{
    session_.reset();
    session_ = std::make_unique<DebugSession>();
    session_->attachBoard(&board_.board());
    BootSettings boot;
    boot.port = board_.device();
    boot.talkerType = TalkerType::Rom;
    boot.talkerFile = TARVIK11_TALKER_FILE;
    boot.chipMode = ChipMode::SpecialTest;
    // The start-up in EEPROM reads no CONFIG, so the EEPROM counts as off: off keeps CONFIG as is.
    boot.eepromEnable = false;
    boot.readWaitMs = longWaitMs_;
    // The board's boot loader takes the first character after RESET as its synchronisation
    // character; one still in flight spoils it, as on a real board, and another boot cures that.
    for (int attempt = 0; attempt <= kRomBootTries; ++attempt) {
        if (attempt == kRomBootTries) {
            boot.talkerType = TalkerType::Ram;
            boot.eepromEnable = true; // the board's CONFIG has the EEPROM on
        }
        if (session_->boot(boot).ok()) {
            setWaits(longWaitMs_);
            return true;
        }
        if (figures)
            ++figures->bootRetries;
    }
    return false;
}

bool SessionFaultRun::replaceBoard(SessionFigures& figures, const std::string& label)
{
    session_.reset();
    std::string error;
    if (!board_.restartBoard(&error)) {
        note(figures, label + ": a new board did not start: " + error);
        return false;
    }
    if (!freshSession(&figures)) {
        note(figures, label + ": no session booted on a new board");
        session_.reset();
        return false;
    }
    return true;
}

bool SessionFaultRun::loadSamples(TargetModel& model, std::string& why)
{
    // A sample whose code is intact is not loaded again (the loads take most of a run's time).
    static constexpr const char* kFiles[] = {"loops.s19", "counter.s19", "flow.s19"};
    for (size_t i = 0; i < code_.size(); ++i) {
        const MemoryImage& image = code_[i];
        Bytes now(image.bytes.size());
        if (session_->memory().readBlock(image.address, static_cast<uint32_t>(now.size()), now.data()) == kTalkerOk &&
            now == image.bytes)
            continue;
        const CommandResult loaded = session_->loadS19(SampleTarget::example(kFiles[i]));
        if (!loaded.ok()) {
            why = std::string("load ") + kFiles[i] + ": " + loaded.errorText();
            return false;
        }
    }
    for (const MemoryImage& image : code_)
        model.known(image.address, image.bytes);
    return true;
}

SessionFaultRun::Outcome SessionFaultRun::runOnce(const SessionScenario& scenario, const std::vector<FaultRule>& faults,
                                                  uint64_t seed, uint64_t boundMs, const std::string& label,
                                                  SessionFigures& f)
{
    Outcome out;
    if (!session_ && !replaceBoard(f, label))
        return out;
    setWaits(longWaitMs_);
    TargetModel model;
    SessionRun run(*session_, model, flowSymbols_);
    session_->setObserver(&run);
    std::string why;
    if (!loadSamples(model, why) || !scenario.setup(run, why)) {
        ++f.setupFailures;
        note(f, label + ": preparing without faults: " + why);
        session_->setObserver(nullptr);
        (void)freshSession(&f);
        return out;
    }
    run.restartCounting();

    // Without faults nothing is lost on the line, and a reply that the loaded machine delays must
    // not count as one: the long wait.
    setWaits(faults.empty() ? longWaitMs_ : shortWaitMs_);
    board_.setFaults(faults, seed);
    const Clock::time_point start = Clock::now();
    scenario.commands(run);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    out.line = board_.board().faultStats();
    board_.setFaults({});
    // The exit, as at the end of a process: the session goes, writing back what our SWIs displaced.
    setWaits(longWaitMs_);
    session_->setObserver(nullptr);
    session_.reset();

    ++f.runs;
    f.faults += out.line.total();
    f.commands += run.commands;
    f.failedCommands += run.failedCommands;
    // No check of the protocol covers a byte damaged on its way to the board (see strayWrites).
    const bool stray = out.line.damagedToBoard > 0;
    const std::string strayNote = stray ? " (a byte on its way to the board was damaged)" : "";
    bool clean = true;
    if (boundMs > 0 && static_cast<uint64_t>(ms) > boundMs) {
        ++f.hangs;
        clean = false;
        note(f, label + ": the commands took " + std::to_string(ms) + " ms (bound " + std::to_string(boundMs) + " ms)");
    }

    if (!freshSession(&f)) {
        if (stray) {
            note(f, label + ": no session booted after the exit" + strayNote + "; a new board takes over");
        } else {
            ++f.boardsReplaced;
            note(f, label + ": no session booted after the exit; a new board takes over");
        }
        (void)replaceBoard(f, label);
        return out;
    }
    TargetModel::Findings found;
    for (const auto& [first, count] : model.blocks()) {
        Bytes actual(count);
        if (TalkerStatus s = session_->memory().readBlock(first, count, actual.data())) {
            ++f.setupFailures;
            note(f, label + ": reading back " + SessionRun::hex(first) + " failed: " + talkerStatusText(s));
            return out;
        }
        model.compare(first, actual, found);
    }
    const uint64_t wrongCount = run.wrongResults.size() + found.brokenPromises.size();
    if (stray) {
        f.strayWrites += found.differing.size();
        f.strayResults += wrongCount;
    } else {
        f.lostBytes += found.differing.size();
        f.swisLeft += found.swis.size();
        f.wrongSuccesses += wrongCount;
    }
    for (const std::string& w : run.wrongResults)
        note(f, label + ": " + w + strayNote);
    for (int c : found.brokenPromises)
        note(f, label + ": " + run.commandNames.at(static_cast<size_t>(c)) +
                    " reported success, but its bytes are not there after the exit" + strayNote);
    if (!found.differing.empty())
        note(f, label + ": " + std::to_string(found.differing.size()) + " tracked bytes differ after the exit, first at " +
                    SessionRun::hex(found.differing.front()) +
                    (found.swis.empty() ? "" : " (" + std::to_string(found.swis.size()) + " SWIs among them)") + strayNote);
    out.clean = clean && wrongCount == 0 && found.differing.empty();
    return out;
}

std::optional<LineFaults::Stats> SessionFaultRun::measure(const SessionScenario& scenario, SessionFigures* figures)
{
    SessionFigures f;
    const Outcome out = runOnce(scenario, {}, 1, 0, scenario.name + " / no faults", f);
    const bool ok = out.clean && f.runs == 1 && f.failedCommands == 0 && f.clean();
    if (!ok) {
        ++f.setupFailures;
        note(f, scenario.name + ": goes wrong without faults");
    }
    f.runs = f.commands = f.failedCommands = 0; // not a run under faults
    if (figures)
        *figures += f;
    if (!ok)
        return std::nullopt;
    return out.line;
}

uint64_t SessionFaultRun::bytesIn(const LineFaults::Stats& line, FaultDirection direction)
{
    switch (direction) {
    case FaultDirection::ToBoard:
        return line.bytesToBoard;
    case FaultDirection::ToHost:
        return line.bytesToHost;
    case FaultDirection::Both:
        break;
    }
    return line.bytesToBoard + line.bytesToHost;
}

SessionFigures SessionFaultRun::sweepWith(const SessionScenario& scenario, const std::string& pattern, uint64_t first,
                                          const std::function<uint64_t(uint64_t)>& stride)
{
    SessionFigures f;
    const std::optional<LineFaults::Stats> line = measure(scenario, &f);
    if (!line)
        return f;
    const uint64_t watched = bytesIn(*line, faultOf(replaceK(pattern, 1)).direction);
    const uint64_t step = std::max<uint64_t>(1, stride(watched));
    const uint64_t boundMs =
        (bytesIn(*line, FaultDirection::Both) + 8 + kHitWaits) * static_cast<uint64_t>(shortWaitMs_) + 2000;
    for (uint64_t k = first; k <= watched; k += step) {
        const std::string text = replaceK(pattern, k);
        (void)runOnce(scenario, {faultOf(text)}, 1, boundMs, scenario.name + " / " + text, f);
    }
    return f;
}

SessionFigures SessionFaultRun::sweep(const SessionScenario& scenario, const std::string& pattern, uint64_t first,
                                      uint64_t stride)
{
    return sweepWith(scenario, pattern, first, [stride](uint64_t) { return stride; });
}

SessionFigures SessionFaultRun::spread(const SessionScenario& scenario, const std::string& pattern, uint64_t first,
                                       uint64_t runs)
{
    return sweepWith(scenario, pattern, first, [first, runs](uint64_t watched) {
        return watched > first && runs > 0 ? (watched - first) / runs + 1 : watched;
    });
}

SessionFigures SessionFaultRun::random(const SessionScenario& scenario, const std::vector<FaultRule>& faults,
                                       uint64_t seed, int rounds)
{
    SessionFigures f;
    const std::optional<LineFaults::Stats> line = measure(scenario, &f);
    if (!line)
        return f;
    const uint64_t bytes = bytesIn(*line, FaultDirection::Both);
    uint64_t longestDelay = 0;
    for (const auto& spec : faults)
        if (spec.kind == FaultKind::Delay || spec.kind == FaultKind::Outage)
            longestDelay += spec.ms;
    const uint64_t boundMs = (bytes + 8 + kHitWaits) * (static_cast<uint64_t>(shortWaitMs_) + longestDelay) + 2000;
    for (int r = 0; r < rounds; ++r) {
        std::string text;
        for (const auto& spec : faults)
            text += (text.empty() ? "" : " + ") + spec.text();
        (void)runOnce(scenario, faults, seed + static_cast<uint64_t>(r), boundMs,
                      scenario.name + " / " + text + " / seed " + std::to_string(seed + static_cast<uint64_t>(r)), f);
    }
    return f;
}
