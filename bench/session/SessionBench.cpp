// Two session commands against references measured in the same run, on the virtual board in real
// time (2 MHz E clock, 9600 baud):
//   disassembling 4 KB against reading the same 4 KB plus 50 ms for the decoding and the lines;
//   a step over a JSR against a trace step of that JSR plus the run of the subroutine it calls
//   (from its first instruction to the return address, by a run to that address).
// Each figure is the median of several rounds.
//
// usage: bench_session [--rounds N] [--speed N]
#include "session/DebugSession.h"
#include "sim/VirtualBoard.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double secondsOf(const std::function<void()>& work)
{
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

[[noreturn]] void fail(const std::string& what, const CommandResult& r)
{
    std::fprintf(stderr, "bench_session: %s failed: %s\n", what.c_str(), r.errorText().c_str());
    std::exit(1);
}

void check(const std::string& what, const CommandResult& r)
{
    if (!r.ok())
        fail(what, r);
}

// Waits for the program to stop, unless the command's own exchange already met the stop.
void waitStop(DebugSession& s, const std::string& what)
{
    if (s.runState() == RunState::Held)
        return;
    if (const WaitOutcome w = s.waitForHit(20000, {}); w != WaitOutcome::Stopped) {
        std::fprintf(stderr, "bench_session: %s: no stop (outcome %d, state %d)\n", what.c_str(), static_cast<int>(w),
                     static_cast<int>(s.runState()));
        std::exit(1);
    }
}

// Prints what the session says besides its results (a failed stop's reason).
class Messages : public SessionObserver {
public:
    void message(const std::string& text) override { std::fprintf(stderr, "  %s\n", text.c_str()); }
};

} // namespace

int main(int argc, char** argv)
{
    int rounds = 5;
    double speed = 1.0;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--rounds"))
            rounds = std::max(1, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--speed"))
            speed = std::atof(argv[i + 1]);
    }
    VirtualBoardOptions options;
    options.speed = speed;
    VirtualBoard board(options);
    std::string error;
    if (!board.start(&error)) {
        std::fprintf(stderr, "bench_session: %s\n", error.c_str());
        return 1;
    }
    DebugSession session;
    Messages messages;
    session.setObserver(&messages);
    session.attachBoard(&board);
    BootSettings boot;
    boot.port = board.devicePath();
    boot.talkerFile = TARVIK11_TALKER_FILE;
    boot.chipMode = ChipMode::SpecialTest;
    boot.readWaitMs = 1000;
    boot.base = kBaseHexadecimal;
    check("boot", session.boot(boot));
    session.engine().traceWaitMs = 5000;
    check("load", session.loadS19(std::string(TARVIK11_EXAMPLES_DIR) + "/subroutine.s19"));

    // (a) 4 KB of external RAM: the sample and what follows it.
    std::vector<double> reads, disassemblies;
    for (int i = 0; i < rounds; ++i) {
        reads.push_back(secondsOf([&] { check("dump", session.dump("$c000", "$cfff")); }));
        disassemblies.push_back(secondsOf([&] { check("disassemble", session.disassemble("$c000", "$cfff")); }));
    }
    const double read4k = median(reads);
    const double disasm4k = median(disassemblies);
    std::printf("disassemble 4 KB %.3f s; read 4 KB %.3f s; reference read + 50 ms %.3f s\n", disasm4k, read4k,
                read4k + 0.050);
    std::printf("disasm_4k / (read_4k + 50ms)                     ratio %.3f\n", disasm4k / (read4k + 0.050));
    std::fflush(stdout);

    // (b) The sample's "jsr fill" at $c40a returns to $c40d. Each round stops the program at the
    // JSR, steps over it; then stops there again, traces into "fill" and runs to $c40d.
    // A breakpoint goes once it is hit, so each run to the JSR sets it again.
    const auto stopAtTheJsr = [&] {
        check("break", session.setBreakpoint("$c40a"));
        check("execute", session.execute(std::string("$c400")));
        waitStop(session, "execute");
    };
    std::vector<double> stepOvers, traces, runs;
    for (int i = 0; i < rounds; ++i) {
        stopAtTheJsr();
        stepOvers.push_back(secondsOf([&] {
            check("step over", session.stepOver());
            waitStop(session, "step over");
        }));
        if (session.stoppedPC() != 0xC40Du) {
            std::fprintf(stderr, "bench_session: the step over stopped elsewhere\n");
            return 1;
        }
        stopAtTheJsr();
        traces.push_back(secondsOf([&] { check("trace", session.trace(std::nullopt)); }));
        runs.push_back(secondsOf([&] {
            check("run to the return address", session.runUntil("$c40d"));
            waitStop(session, "run to the return address");
        }));
    }
    const double stepOver = median(stepOvers);
    const double trace = median(traces);
    const double run = median(runs);
    std::printf("step over JSR %.3f s; trace step of the JSR %.3f s; run of the subroutine to the return "
                "address (from its first instruction, a run to $c40d) %.3f s\n", stepOver, trace, run);
    std::printf("step_over / (trace_step + run_of_the_subroutine)  ratio %.3f\n", stepOver / (trace + run));
    return 0;
}
