// Commands behind a USB adapter's latency timer (the virtual board's --latency, 16 ms by
// default), with our talker (checked and extended mode) and with the plain protocol: the time
// and the round trips of a trace step, a register write, a one-byte write, and a 4 KB and a 16 KB
// dump, and our talker's figures as ratios to the plain protocol's. The dumps are also given as
// ratios to the plain protocol's wire time at 9600 baud (ten bits a byte), timed from the command
// to its last line, each the first read after the boot or after a command that needs the slots
// (no service installed yet). Round trips are counted on the host's side of
// the board's in-memory line: each time the host takes bytes after it has sent some.
//
// usage: bench_link [--latency MS] [--steps N]
#include "session/DebugSession.h"
#include "sim/MemoryLine.h"
#include "sim/VirtualBoard.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

struct Figure {
    double seconds = 0;
    double roundTrips = 0;
};

struct Figures {
    Figure trace, registerWrite, byteWrite, dump4k, dump16k;
};

[[noreturn]] void fail(const std::string& what, const CommandResult& r)
{
    std::fprintf(stderr, "bench_link: %s failed: %s\n", what.c_str(), r.errorText().c_str());
    std::exit(1);
}

// Times `times` runs of a command and counts the line's round trips; per run.
Figure measure(MemoryLine& line, int times, const std::string& what, const std::function<CommandResult()>& command)
{
    const uint64_t trips = line.hostRoundTrips();
    const auto start = Clock::now();
    for (int i = 0; i < times; ++i) {
        const CommandResult r = command();
        if (!r.ok())
            fail(what, r);
        static FILE* const shown = std::fopen("/dev/null", "w"); // the lines go out as a front end's do
        for (const std::string& l : r.lines)
            if (shown)
                std::fprintf(shown, "%s\n", l.c_str());
    }
    Figure f;
    f.seconds = std::chrono::duration<double>(Clock::now() - start).count() / times;
    f.roundTrips = double(line.hostRoundTrips() - trips) / times;
    return f;
}

Figures run(bool ours, double latencyMs, int steps)
{
    VirtualBoardOptions options;
    options.speed = 1.0;
    options.line = BoardLineKind::Memory;
    options.latencyMs = latencyMs;
    VirtualBoard board(options);
    std::string error;
    if (!board.start(&error)) {
        std::fprintf(stderr, "bench_link: %s\n", error.c_str());
        std::exit(1);
    }
    MemoryLine& line = *board.memoryLine();
    DebugSession session;
    session.attachBoard(&board);
    session.engine().extendedMode = ours;
    BootSettings boot; // default settings
    boot.port = session.boardDevice();
    boot.talkerFile = TARVIK11_TALKER_FILE;
    boot.chipMode = ChipMode::SpecialTest;
    boot.base = kBaseHexadecimal;
    const CommandResult booted = session.boot(boot);
    if (!booted.ok())
        fail("boot", booted);
    std::printf("  %s: %s\n", ours ? "our talker" : "plain protocol", booted.doneText.c_str());
    std::fflush(stdout);

    Figures f;
    // The first reads after the boot: no warm-up.
    f.dump4k = measure(line, 1, "4 KB dump", [&] { return session.dump("$8000", "$8fff"); });
    // A register read puts the slots back (a read service kept installed ends): cold again.
    if (const CommandResult r = session.readRegisters(); !r.ok())
        fail("register read", r);
    f.dump16k = measure(line, 1, "16 KB dump", [&] { return session.dump("$8000", "$bfff"); });
    const CommandResult loaded = session.loadS19(std::string(TARVIK11_EXAMPLES_DIR) + "/loops.s19");
    if (!loaded.ok())
        fail("load", loaded);
    f.registerWrite = measure(line, 5, "register write", [&] { return session.setRegister("A", "12"); });
    f.byteWrite = measure(line, 5, "one-byte write", [&] { return session.setMemory("$c100", "$5a"); });
    const CommandResult first = session.trace(std::string("$c000"));
    if (!first.ok())
        fail("trace", first);
    f.trace = measure(line, steps, "trace step", [&] { return session.continueTrace(); });
    return f;
}

void row(const char* name, const Figure& ours, const Figure& plain)
{
    std::printf("%-16s %9.3f s %7.1f rt   %9.3f s %7.1f rt   time ratio %6.3f   round-trip ratio %6.3f\n", name,
                ours.seconds, ours.roundTrips, plain.seconds, plain.roundTrips, ours.seconds / plain.seconds,
                plain.roundTrips > 0 ? ours.roundTrips / plain.roundTrips : 0.0);
}

} // namespace

int main(int argc, char** argv)
{
    double latencyMs = 16;
    int steps = 10;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--latency"))
            latencyMs = std::atof(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--steps"))
            steps = std::max(1, std::atoi(argv[i + 1]));
    }
    std::printf("behind a latency timer of %.0f ms, real time\n", latencyMs);
    const Figures ours = run(true, latencyMs, steps);
    const Figures plain = run(false, latencyMs, steps);
    std::printf("%-16s %24s   %24s\n", "", "our talker", "plain protocol");
    row("trace step", ours.trace, plain.trace);
    row("register write", ours.registerWrite, plain.registerWrite);
    row("one-byte write", ours.byteWrite, plain.byteWrite);
    row("4 KB dump", ours.dump4k, plain.dump4k);
    row("16 KB dump", ours.dump16k, plain.dump16k);
    const double wire4k = 4096 * 10 / 9600.0, wire16k = 16384 * 10 / 9600.0;
    std::printf("4 KB dump / plain 9600 wire time (%.2f s):  our talker %.3f, plain protocol %.3f\n", wire4k,
                ours.dump4k.seconds / wire4k, plain.dump4k.seconds / wire4k);
    std::printf("16 KB dump / plain 9600 wire time (%.2f s): our talker %.3f, plain protocol %.3f\n", wire16k,
                ours.dump16k.seconds / wire16k, plain.dump16k.seconds / wire16k);
    return 0;
}
