#pragma once
#include "sim/FaultRule.h"
#include <array>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <random>
#include <vector>

// Decides, byte by byte, what the virtual board's serial line does to the traffic under a set of
// faults. Each fault draws from a generator of its own, seeded from one seed, so a run with the
// same traffic injects the same faults. Thread-safe: the board thread passes bytes while another
// thread may replace the faults or read the figures.
class LineFaults {
public:
    using Clock = std::chrono::steady_clock;

    // What becomes of one byte.
    struct Verdict {
        std::array<uint8_t, 2> bytes{}; // the bytes to deliver, in order
        int count = 1;                  // how many of them: 0 (lost), 1 or 2 (duplicated)
        Clock::time_point holdUntil{};  // not delivered before this time (epoch: at once)
        bool reset = false;             // press the board's RESET button now
    };
    // Figures since the faults were last set.
    struct Stats {
        std::array<uint64_t, kFaultKindCount> injected{}; // faults injected, by kind
        uint64_t bytesToBoard = 0;  // bytes the host sent
        uint64_t bytesToHost = 0;   // bytes the board sent
        uint64_t lostInOutage = 0;  // bytes swallowed by an outage after the one that started it
        uint64_t damagedToBoard = 0; // bytes the host sent that a drop, garble or duplicate fault
                                     // took away, changed or doubled (outages are counted above)
        // Faults injected of every kind.
        uint64_t total() const;
    };

    LineFaults() = default;
    LineFaults(std::vector<FaultRule> specs, uint64_t seed) { set(std::move(specs), seed); }

    // Replaces the faults (an empty list ends them, and any outage) and clears the figures.
    void set(std::vector<FaultRule> specs, uint64_t seed);
    // Applies the faults to one byte crossing in direction (ToBoard or ToHost) at time now.
    Verdict pass(FaultDirection direction, uint8_t byte, Clock::time_point now);
    // True while no fault is set and no outage lasts (bytes then pass untouched).
    bool quiet() const;
    // The figures so far.
    Stats stats() const;

private:
    struct Active {
        FaultRule spec;
        std::mt19937_64 random;
        uint64_t seen = 0;
        uint64_t fired = 0;
    };
    bool triggers(Active& a);

    mutable std::mutex mutex_;
    std::vector<Active> active_;
    Clock::time_point outageUntil_{};
    Stats stats_;
};
