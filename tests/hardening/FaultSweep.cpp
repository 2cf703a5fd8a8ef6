#include "FaultSweep.h"

#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kMaxNotes = 40;
// Polls for a breakpoint hit go on for this many read waits.
constexpr int kHitWaits = 10;
constexpr int kTraceSteps = 8;

std::string replaceK(const std::string& pattern, uint64_t k)
{
    std::string out;
    for (char c : pattern)
        out += c == 'K' ? std::to_string(k) : std::string(1, c);
    return out;
}

TalkerStatus breakpointsAt(SampleTarget& t, std::initializer_list<uint32_t> addresses)
{
    if (TalkerStatus s = t.clearBreakpoints())
        return s;
    for (uint32_t a : addresses)
        if (TalkerStatus s = t.engine.setBreakpoint(a))
            return s;
    return kTalkerOk;
}

// Breakpoints in all three samples, the counter running (it never meets one).
TalkerStatus counterRunning(SampleTarget& t)
{
    if (TalkerStatus s = breakpointsAt(t, {SampleTarget::kLoopsFill, SampleTarget::kLoopsOuter, t.flow("f_nop"),
                                           t.flow("f_bsr")}))
        return s;
    return t.engine.execute(SampleTarget::kCounter, true);
}

void reloadSamples(SampleTarget& t)
{
    for (const char* name : {"loops.s19", "counter.s19", "flow.s19"})
        (void)t.engine.loadS19(SampleTarget::example(name));
}

} // namespace

SweepFigures& SweepFigures::operator+=(const SweepFigures& o)
{
    faults += o.faults;
    operations += o.operations;
    hangs += o.hangs;
    lostBytes += o.lostBytes;
    straySwis += o.straySwis;
    strayWrites += o.strayWrites;
    plantedLeft += o.plantedLeft;
    bootRetries += o.bootRetries;
    bootFailures += o.bootFailures;
    redoFailures += o.redoFailures;
    for (const auto& n : o.notes)
        if (notes.size() < kMaxNotes)
            notes.push_back(n);
    return *this;
}

bool SweepFigures::clean() const
{
    return hangs == 0 && lostBytes == 0 && plantedLeft == 0 && bootFailures == 0 && redoFailures == 0;
}

std::string SweepFigures::text() const
{
    return "faults injected " + std::to_string(faults) + ", operations " + std::to_string(operations) +
           ", hangs " + std::to_string(hangs) + ", lost bytes " + std::to_string(lostBytes) + " (SWIs left " +
           std::to_string(straySwis) + "), stray writes " + std::to_string(strayWrites) + ", records left planted " + std::to_string(plantedLeft) +
           ", boots retried " + std::to_string(bootRetries) + ", failed boots " + std::to_string(bootFailures) + ", failed repeats " + std::to_string(redoFailures);
}

std::vector<Scenario> standardScenarios()
{
    std::vector<Scenario> out;
    out.push_back({"run to a breakpoint",
                   [](SampleTarget& t) {
                       return breakpointsAt(t, {SampleTarget::kLoopsFill, SampleTarget::kLoopsOuter, t.flow("f_nop")});
                   },
                   [](SampleTarget& t) {
                       bool hit = false;
                       if (t.engine.execute(SampleTarget::kLoops, true) == kTalkerOk) {
                           const auto until = std::chrono::steady_clock::now() +
                                              std::chrono::milliseconds(kHitWaits * t.session.port.readWaitMs);
                           while (std::chrono::steady_clock::now() < until) {
                               const BreakpointHit h = t.engine.pollBreakpointHit();
                               if (h.kind != BreakpointHitKind::None || h.status != kTalkerOk) {
                                   hit = h.kind == BreakpointHitKind::Hit && h.address == SampleTarget::kLoopsFill;
                                   break;
                               }
                               std::this_thread::sleep_for(std::chrono::milliseconds(2));
                           }
                       }
                       const TalkerStatus stopped = t.engine.stop();
                       return hit && stopped == kTalkerOk;
                   }});
    out.push_back({"trace eight steps",
                   [](SampleTarget& t) { return breakpointsAt(t, {SampleTarget::kLoopsFill, t.flow("f_bra")}); },
                   [](SampleTarget& t) {
                       t.engine.currentPC = t.flow("flow");
                       for (int i = 0; i < kTraceSteps; ++i)
                           if (t.engine.traceStep(t.engine.currentPC) != kTalkerOk)
                               return false;
                       return t.engine.currentPC == t.flow("f_brset_d");
                   }});
    out.push_back({"stop a running program", counterRunning, [](SampleTarget& t) {
                       return t.engine.stop() == kTalkerOk && t.engine.currentPC >= SampleTarget::kCounter &&
                              t.engine.currentPC < SampleTarget::kCounterCodeEnd;
                   }});
    out.push_back({"load over planted breakpoints", counterRunning, [](SampleTarget& t) {
                       const TalkerStatus loaded = t.engine.loadS19(SampleTarget::example("loops.s19"));
                       const TalkerStatus stopped = t.engine.stop();
                       return loaded == kTalkerOk && stopped == kTalkerOk;
                   }});
    return out;
}

FaultSweep::FaultSweep(SampleTarget& target, int shortWaitMs, int longWaitMs)
    : target_(target), shortWaitMs_(shortWaitMs), longWaitMs_(longWaitMs)
{
}

void FaultSweep::note(SweepFigures& figures, const std::string& text)
{
    if (figures.notes.size() < kMaxNotes)
        figures.notes.push_back(text);
}

TalkerStatus FaultSweep::recover(SweepFigures* figures)
{
    // The boot loader takes the first character after RESET as its synchronisation character; one
    // that the host sent just before (or that the board read late, after the host's port had
    // changed its rate) makes it miss the boot. As on a real board, the cure is another boot.
    TalkerStatus s = target_.session.bootRom(1);
    for (int attempt = 0; attempt < 3 && s != kTalkerOk; ++attempt) {
        if (figures)
            ++figures->bootRetries;
        s = attempt < 2 ? target_.session.bootRom(1) : target_.session.bootRam(1);
    }
    return s;
}

uint64_t FaultSweep::measure(const Scenario& scenario)
{
    target_.session.port.readWaitMs = longWaitMs_;
    target_.engine.traceWaitMs = longWaitMs_;
    if (scenario.setup(target_) != kTalkerOk)
        return 0;
    target_.session.setFaults({});
    const bool ok = scenario.operation(target_);
    const uint64_t bytes = target_.session.lineBytes();
    return ok ? bytes : 0;
}

void FaultSweep::runOnce(const Scenario& scenario, const std::vector<FaultRule>& faults, uint64_t seed,
                         uint64_t boundMs, const std::string& label, SweepFigures& f)
{
    SampleTarget& t = target_;
    BoardSession& s = t.session;
    s.port.readWaitMs = longWaitMs_;
    t.engine.traceWaitMs = longWaitMs_;
    if (TalkerStatus st = scenario.setup(t)) {
        note(f, label + ": setup failed: " + talkerStatusText(st));
        ++f.redoFailures;
        (void)recover(nullptr);
        return;
    }
    s.port.readWaitMs = shortWaitMs_;
    t.engine.traceWaitMs = shortWaitMs_;
    s.setFaults(faults, seed);
    const Clock::time_point start = Clock::now();
    (void)scenario.operation(t);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    const LineFaults::Stats line = s.board().faultStats();
    f.faults += line.total();
    const bool commandsDamaged = line.damagedToBoard > 0;
    ++f.operations;
    s.setFaults({});
    s.port.readWaitMs = longWaitMs_;
    t.engine.traceWaitMs = longWaitMs_;
    if (static_cast<uint64_t>(ms) > boundMs) {
        ++f.hangs;
        note(f, label + ": took " + std::to_string(ms) + " ms (bound " + std::to_string(boundMs) + " ms)");
    }

    if (TalkerStatus st = recover(&f)) {
        ++f.bootFailures;
        note(f, label + ": no boot worked after the fault (" + talkerStatusText(st) + "); a new board takes over");
        std::string error;
        if (!s.restartBoard(&error) || s.bootRom() != kTalkerOk) {
            note(f, label + ": the new board failed too: " + error);
            return;
        }
        reloadSamples(t);
        t.engine.breakpoints = {};
        t.engine.tracepoints = {};
        return;
    }
    if (!t.nothingPlanted()) {
        ++f.plantedLeft;
        note(f, label + ": a record is still planted after the boot");
    }
    // stray: the differing bytes are the line's doing (see strayWrites).
    auto check = [&](const std::string& when, bool stray) {
        const SampleTarget::Damage d = t.damage();
        if (d.differing.empty())
            return;
        if (stray) {
            f.strayWrites += d.differing.size();
        } else {
            f.lostBytes += d.differing.size();
            f.straySwis += d.swis.size();
        }
        char at[16];
        std::snprintf(at, sizeof at, "$%04X", d.differing.front());
        note(f, label + ": " + std::to_string(d.differing.size()) + " code bytes differ " + when + ", first at " +
                    at + (d.swis.empty() ? "" : " (SWIs among them)") +
                    (stray ? " (a byte on its way to the board was damaged)" : ""));
        // Put the samples back, so the next run starts from them.
        reloadSamples(t);
    };
    check("after the boot", commandsDamaged);
    // A fully working session: the operation again, without faults, all the way.
    const bool redoSetup = scenario.setup(t) == kTalkerOk;
    if (!redoSetup || !scenario.operation(t)) {
        ++f.redoFailures;
        note(f, label + ": the operation failed when repeated without faults");
        (void)recover(nullptr);
    }
    check("after the repeat", false);
}

SweepFigures FaultSweep::sweep(const Scenario& scenario, const std::string& pattern, uint64_t first, uint64_t stride)
{
    SweepFigures f;
    const uint64_t bytes = measure(scenario);
    if (bytes == 0) {
        ++f.redoFailures;
        note(f, scenario.name + ": fails without faults");
        return f;
    }
    const uint64_t boundMs = (bytes + 8) * static_cast<uint64_t>(shortWaitMs_) + 2000;
    for (uint64_t k = first; k <= bytes; k += stride) {
        const std::string text = replaceK(pattern, k);
        runOnce(scenario, {faultOf(text)}, 1, boundMs, scenario.name + " / " + text, f);
    }
    return f;
}

SweepFigures FaultSweep::random(const Scenario& scenario, const std::vector<FaultRule>& faults, uint64_t seed,
                                int rounds)
{
    SweepFigures f;
    const uint64_t bytes = measure(scenario);
    if (bytes == 0) {
        ++f.redoFailures;
        note(f, scenario.name + ": fails without faults");
        return f;
    }
    uint64_t longestDelay = 0;
    for (const auto& spec : faults)
        if (spec.kind == FaultKind::Delay || spec.kind == FaultKind::Outage)
            longestDelay += spec.ms;
    const uint64_t boundMs = (bytes + 8) * (static_cast<uint64_t>(shortWaitMs_) + longestDelay) + 2000;
    for (int r = 0; r < rounds; ++r)
        runOnce(scenario, faults, seed + static_cast<uint64_t>(r), boundMs,
                scenario.name + " / round " + std::to_string(r), f);
    return f;
}
