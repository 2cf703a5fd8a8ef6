// tarvik11-soak: the long fault run. Every debugger operation of the standard scenarios runs
// under each kind of line fault with a fixed seed; after each run the faults end, the talker is
// booted again and the samples' code is compared with what was loaded.
//
//   tarvik11-soak [--rounds N] [--seed S] [--wait MS] [--stride N] [--fault SPEC]... [--no-sweep]
//                 [--no-random]
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
#include "FaultSweep.h"

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

bool number(const char* text, long long* value)
{
    char* end = nullptr;
    *value = std::strtoll(text, &end, 10);
    return end != text && *end == '\0' && *value >= 0;
}

void print(const char* label, const SweepFigures& f)
{
    std::printf("%-34s %s\n", label, f.text().c_str());
    for (const auto& n : f.notes)
        std::printf("    %s\n", n.c_str());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    long long rounds = 20, seed = 1, wait = 60, stride = 1;
    bool sweep = true, randomFaults = true;
    std::vector<std::string> faultTexts;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--rounds" && hasValue && number(argv[i + 1], &rounds)) {
            ++i;
        } else if (a == "--seed" && hasValue && number(argv[i + 1], &seed)) {
            ++i;
        } else if (a == "--wait" && hasValue && number(argv[i + 1], &wait) && wait >= 10) {
            ++i;
        } else if (a == "--stride" && hasValue && number(argv[i + 1], &stride) && stride >= 1) {
            ++i;
        } else if (a == "--fault" && hasValue) {
            FaultRule spec;
            std::string error;
            if (!FaultRule::parse(argv[++i], &spec, &error)) {
                std::fprintf(stderr, "tarvik11-soak: %s\n", error.c_str());
                return 2;
            }
            faultTexts.push_back(argv[i]);
        } else if (a == "--no-sweep") {
            sweep = false;
        } else if (a == "--no-random") {
            randomFaults = false;
        } else {
            std::fprintf(stderr, "usage: tarvik11-soak [--rounds N] [--seed S] [--wait MS (>= 10)] [--stride N] "
                                 "[--fault SPEC]... [--no-sweep] [--no-random]\n");
            return 2;
        }
    }

    char dir[] = "/tmp/tarvik11-soak-XXXXXX";
    if (!::mkdtemp(dir)) {
        std::perror("tarvik11-soak: mkdtemp");
        return 1;
    }
    int result = 0;
    {
        SampleTarget target(dir, {});
        std::string error;
        if (!target.prepare(&error)) {
            std::fprintf(stderr, "tarvik11-soak: %s\n", error.c_str());
            ::rmdir(dir);
            return 1;
        }
        FaultSweep runner(target, static_cast<int>(wait), 1000);
        const auto scenarios = standardScenarios();
        const auto start = std::chrono::steady_clock::now();
        std::printf("tarvik11-soak: seed %lld, %lld rounds per scenario and fault kind, read wait %lld ms\n", seed,
                    rounds, wait);
        SweepFigures total;
        if (sweep) {
            for (const char* pattern : kSweeps) {
                SweepFigures kind;
                for (const auto& s : scenarios)
                    kind += runner.sweep(s, pattern, 1, static_cast<uint64_t>(stride));
                print((std::string("every byte: ") + pattern).c_str(), kind);
                total += kind;
            }
        }
        if (faultTexts.empty())
            for (const char* text : kRandomFaults)
                faultTexts.push_back(text);
        if (randomFaults) {
            for (const std::string& text : faultTexts) {
                SweepFigures kind;
                for (const auto& s : scenarios)
                    kind += runner.random(s, {faultOf(text)}, static_cast<uint64_t>(seed), static_cast<int>(rounds));
                print(text.c_str(), kind);
                total += kind;
            }
        }
        total.notes.clear();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        print("total", total);
        std::printf("time %.0f s\n", seconds);
        result = total.clean() ? 0 : 1;
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return result;
}
