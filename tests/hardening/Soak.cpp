// tarvik11-soak: the long fault run. Every debugger operation of the standard scenarios runs
// under each kind of line fault with a fixed seed; after each run the faults end, the talker is
// booted again and the samples' code is compared with what was loaded.
//
//   tarvik11-soak [--rounds N] [--seed S] [--wait MS] [--stride N] [--fault SPEC]... [--no-sweep]
//                 [--no-random]
//   tarvik11-soak --sessions [--plain] [--scenario TEXT] [--first K] [--sweep PATTERN]... [same options]
//
// The sweep injects an outage and a reset at every byte of each operation (every N-th byte with
// --stride N); the random part runs each operation N rounds under each fault kind (or under the
// faults given with --fault, in tarvik11-board's notation).
// Prints, per fault kind and in total: faults injected, operations run, hangs (operations that
// took longer than their bound), lost bytes (code bytes that differ, SWIs among them) and stray
// writes (code bytes that differ after a run in which a byte on its way to the board was dropped,
// changed or doubled: the talker protocol has no check that would let the talker refuse such a
// command, so these are reported apart).
// Exit status 0 when nothing hung, nothing was lost and every recovery worked; 1 otherwise;
// 2 for a bad argument.
//
// --sessions runs the debug session's commands, with our talker in checked mode (in the plain
// protocol with --plain), instead (a load over a running program's
// breakpoints, breakpoints and a hit, trace steps, a stop, writes over planted breakpoints, dumps)
// and ends every session by its exit, as a process's end does; a fresh session then boots and
// reads the target back. The sweep injects one fault at byte K = first (1, or --first K),
// first + N, ... of each scenario, counted in the fault's direction: a garbled or doubled byte to
// the host, a dropped, garbled or doubled byte to the board (or the patterns given with --sweep,
// "K" standing for the byte); the random part runs each scenario N rounds under each of those
// kinds at p = 0.003 (or under the --fault texts). --scenario TEXT keeps the scenarios whose name
// holds TEXT. Prints sessions, faults, commands, SWIs left, bytes lost, wrong successes (commands
// that reported success with a wrong result) and, apart, stray writes and results of runs in which
// a byte on its way to the board was damaged. Exit status 0 when no SWI was left, no byte lost, no
// success wrong and every fresh session booted; 1 otherwise; 2 for a bad argument.
//
//   tarvik11-soak --campaign N [--seed S] [--wait MS] [--first K]
//
// --campaign runs N sessions of the command-line front end, each booting the talker and running
// a scenario under one fault (a drop, a garble or a doubled byte, either way, once or at random)
// and ended by its end, Ctrl-C, SIGTERM, SIGHUP, RESET or a killed board; after each, a fresh
// session compares all of the external RAM, the EEPROM and CONFIG with what they should hold.
// Sessions K (1, or --first K) to K + N - 1 of the seed's campaign run: one session alone can be
// run again (TARVIK11_CAMPAIGN_TRACE=1 prints each session's output and timings on stderr).
// Prints the figures per ending and in total; exit status 0 when no SWI was left, no byte lost or
// written astray, no success wrong, nothing hung and every check worked; 1 otherwise.
#include "FaultCampaign.h"
#include "FaultSweep.h"
#include "SessionFaultRun.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>
#include <unistd.h>

namespace {

// One fault text per kind, at rates that hit most operations a few times.
constexpr const char* kRandomFaults[] = {
    "drop,p=0.01", "garble,p=0.01", "duplicate,p=0.01", "delay,p=0.05,ms=30", "outage,p=0.01,ms=150",
    "reset,p=0.01",
};
// Faults at every byte of every operation, one run each.
constexpr const char* kSweeps[] = {"outage,after=K,ms=600000", "reset,after=K"};
// The session runs' faults: on bytes to the host, then (judged apart) on bytes to the board.
constexpr const char* kSessionRandomFaults[] = {
    "garble,p=0.003,dir=to-host", "duplicate,p=0.003,dir=to-host", "drop,p=0.003,dir=to-board",
    "garble,p=0.003,dir=to-board", "duplicate,p=0.003,dir=to-board",
};
constexpr const char* kSessionSweeps[] = {
    "garble,after=K,dir=to-host", "duplicate,after=K,dir=to-host", "drop,after=K,dir=to-board",
    "garble,after=K,dir=to-board", "duplicate,after=K,dir=to-board",
};

bool number(const char* text, long long* value)
{
    char* end = nullptr;
    *value = std::strtoll(text, &end, 10);
    return end != text && *end == '\0' && *value >= 0;
}

template <typename Figures>
void print(const char* label, const Figures& f)
{
    std::printf("%-34s %s\n", label, f.text().c_str());
    for (const auto& n : f.notes)
        std::printf("    %s\n", n.c_str());
    std::fflush(stdout);
}

struct Settings {
    long long rounds = 20, seed = 1, wait = 60, stride = 1, first = 1;
    bool sweep = true, randomFaults = true;
    bool plainTalker = false; // --sessions: our talker in the plain protocol (--plain)
    std::vector<std::string> faultTexts;
    std::string scenario; // only scenarios whose name holds this text (--sessions)
    std::vector<std::string> sweepPatterns; // the sweep's faults, "K" for the byte (--sessions)
};

// The engine runs; 0 when clean, 1 otherwise.
int runEngine(const char* dir, Settings settings)
{
    SampleTarget target(dir, {});
    std::string error;
    if (!target.prepare(&error)) {
        std::fprintf(stderr, "tarvik11-soak: %s\n", error.c_str());
        return 1;
    }
    FaultSweep runner(target, static_cast<int>(settings.wait), 1000);
    const auto scenarios = standardScenarios();
    const auto start = std::chrono::steady_clock::now();
    std::printf("tarvik11-soak: seed %lld, %lld rounds per scenario and fault kind, read wait %lld ms\n",
                settings.seed, settings.rounds, settings.wait);
    SweepFigures total;
    if (settings.sweep) {
        for (const char* pattern : kSweeps) {
            SweepFigures kind;
            for (const auto& s : scenarios)
                kind += runner.sweep(s, pattern, 1, static_cast<uint64_t>(settings.stride));
            print((std::string("every byte: ") + pattern).c_str(), kind);
            total += kind;
        }
    }
    if (settings.faultTexts.empty())
        for (const char* text : kRandomFaults)
            settings.faultTexts.push_back(text);
    if (settings.randomFaults) {
        for (const std::string& text : settings.faultTexts) {
            SweepFigures kind;
            for (const auto& s : scenarios)
                kind += runner.random(s, {faultOf(text)}, static_cast<uint64_t>(settings.seed),
                                      static_cast<int>(settings.rounds));
            print(text.c_str(), kind);
            total += kind;
        }
    }
    total.notes.clear();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    print("total", total);
    std::printf("time %.0f s\n", seconds);
    return total.clean() ? 0 : 1;
}

// The session runs; 0 when clean, 1 otherwise.
int runSessions(const char* dir, Settings settings)
{
    SessionFaultRun runner(dir, static_cast<int>(settings.wait), 1000, !settings.plainTalker);
    std::string error;
    if (!runner.prepare(&error)) {
        std::fprintf(stderr, "tarvik11-soak: %s\n", error.c_str());
        return 1;
    }
    std::vector<SessionScenario> scenarios;
    for (SessionScenario& s : sessionScenarios())
        if (s.name.find(settings.scenario) != std::string::npos)
            scenarios.push_back(std::move(s));
    const auto start = std::chrono::steady_clock::now();
    std::printf("tarvik11-soak --sessions: seed %lld, %lld rounds per scenario and fault kind, stride %lld, "
                "read wait %lld ms\n",
                settings.seed, settings.rounds, settings.stride, settings.wait);
    SessionFigures total;
    if (settings.sweep) {
        if (settings.sweepPatterns.empty())
            for (const char* pattern : kSessionSweeps)
                settings.sweepPatterns.push_back(pattern);
        for (const std::string& pattern : settings.sweepPatterns) {
            SessionFigures kind;
            for (const auto& s : scenarios)
                kind += runner.sweep(s, pattern, static_cast<uint64_t>(settings.first),
                                     static_cast<uint64_t>(settings.stride));
            print((std::string("every byte: ") + pattern).c_str(), kind);
            total += kind;
        }
    }
    if (settings.faultTexts.empty())
        for (const char* text : kSessionRandomFaults)
            settings.faultTexts.push_back(text);
    if (settings.randomFaults) {
        for (const std::string& text : settings.faultTexts) {
            SessionFigures kind;
            for (const auto& s : scenarios)
                kind += runner.random(s, {faultOf(text)}, static_cast<uint64_t>(settings.seed),
                                      static_cast<int>(settings.rounds));
            print(text.c_str(), kind);
            total += kind;
        }
    }
    total.notes.clear();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    print("total", total);
    std::printf("time %.0f s\n", seconds);
    return total.clean() ? 0 : 1;
}

// The campaign; 0 when clean, 1 otherwise.
int runCampaign(const char* dir, const Settings& settings, long long sessions)
{
    // The sessions' planted-byte journals go to the work folder, not the user's.
    ::setenv("XDG_STATE_HOME", dir, 1);
    FaultCampaign campaign(dir, static_cast<int>(settings.wait));
    std::string error;
    if (!campaign.prepare(&error)) {
        std::fprintf(stderr, "tarvik11-soak: %s\n", error.c_str());
        return 1;
    }
    std::printf("tarvik11-soak --campaign: %lld sessions, seed %lld, read wait %lld ms; line bytes of the scenarios:",
                sessions, settings.seed, settings.wait);
    for (size_t s = 0; s < campaignScenarios().size(); ++s)
        std::printf(" %llu", static_cast<unsigned long long>(campaign.trafficOf(s)));
    std::printf("\n");
    const auto start = std::chrono::steady_clock::now();
    constexpr int kEnds = 6;
    CampaignFigures byEnd[kEnds];
    CampaignFigures total;
    for (long long i = settings.first - 1; i < settings.first - 1 + sessions; ++i) {
        const CampaignSession s = campaign.plan(static_cast<uint64_t>(settings.seed), static_cast<uint64_t>(i));
        const CampaignFigures f = campaign.run(s);
        byEnd[static_cast<int>(s.end)] += f;
        total += f;
    }
    for (int e = 0; e < kEnds; ++e)
        print((std::string("ended by ") + sessionEndName(static_cast<SessionEnd>(e))).c_str(), byEnd[e]);
    total.notes.clear();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    print("total", total);
    std::printf("time %.0f s\n", seconds);
    return total.clean() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    Settings settings;
    bool sessions = false;
    long long campaignSessions = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--rounds" && hasValue && number(argv[i + 1], &settings.rounds)) {
            ++i;
        } else if (a == "--seed" && hasValue && number(argv[i + 1], &settings.seed)) {
            ++i;
        } else if (a == "--wait" && hasValue && number(argv[i + 1], &settings.wait) && settings.wait >= 10) {
            ++i;
        } else if (a == "--stride" && hasValue && number(argv[i + 1], &settings.stride) && settings.stride >= 1) {
            ++i;
        } else if (a == "--first" && hasValue && number(argv[i + 1], &settings.first) && settings.first >= 1) {
            ++i;
        } else if (a == "--fault" && hasValue) {
            FaultRule spec;
            std::string error;
            if (!FaultRule::parse(argv[++i], &spec, &error)) {
                std::fprintf(stderr, "tarvik11-soak: %s\n", error.c_str());
                return 2;
            }
            settings.faultTexts.push_back(argv[i]);
        } else if (a == "--no-sweep") {
            settings.sweep = false;
        } else if (a == "--no-random") {
            settings.randomFaults = false;
        } else if (a == "--sessions") {
            sessions = true;
        } else if (a == "--campaign" && hasValue && number(argv[i + 1], &campaignSessions) && campaignSessions >= 1) {
            ++i;
        } else if (a == "--plain") {
            settings.plainTalker = true;
        } else if (a == "--sweep" && hasValue) {
            FaultRule spec;
            std::string error;
            std::string text = argv[++i];
            for (char& c : text)
                c = c == 'K' ? '1' : c;
            if (!FaultRule::parse(text, &spec, &error)) {
                std::fprintf(stderr, "tarvik11-soak: %s\n", error.c_str());
                return 2;
            }
            settings.sweepPatterns.push_back(argv[i]);
        } else if (a == "--scenario" && hasValue) {
            settings.scenario = argv[++i];
        } else {
            std::fprintf(stderr, "usage: tarvik11-soak [--campaign N | --sessions [--plain] [--scenario TEXT] [--first K] [--sweep PATTERN]...] [--rounds N] [--seed S] [--wait MS (>= 10)] "
                                 "[--stride N] [--fault SPEC]... [--no-sweep] [--no-random]\n");
            return 2;
        }
    }

    char dir[] = "/tmp/tarvik11-soak-XXXXXX";
    if (!::mkdtemp(dir)) {
        std::perror("tarvik11-soak: mkdtemp");
        return 1;
    }
    const int result = campaignSessions > 0 ? runCampaign(dir, settings, campaignSessions)
                       : sessions           ? runSessions(dir, settings)
                                            : runEngine(dir, settings);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return result;
}
