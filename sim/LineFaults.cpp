#include "sim/LineFaults.h"
#include <numeric>

uint64_t LineFaults::Stats::total() const { return std::accumulate(injected.begin(), injected.end(), uint64_t{0}); }

void LineFaults::set(std::vector<FaultRule> specs, uint64_t seed) {
    std::lock_guard lock(mutex_);
    active_.clear();
    std::seed_seq base{uint32_t(seed), uint32_t(seed >> 32)};
    std::vector<uint32_t> seeds(specs.size());
    base.generate(seeds.begin(), seeds.end());
    for (size_t i = 0; i < specs.size(); ++i)
        active_.push_back(Active{specs[i], std::mt19937_64(seeds[i]), 0, 0});
    outageUntil_ = {};
    stats_ = {};
}

bool LineFaults::quiet() const {
    std::lock_guard lock(mutex_);
    return active_.empty() && outageUntil_ == Clock::time_point{};
}

LineFaults::Stats LineFaults::stats() const {
    std::lock_guard lock(mutex_);
    return stats_;
}

bool LineFaults::triggers(Active& a) {
    ++a.seen;
    if (a.spec.limit > 0 && a.fired >= a.spec.limit)
        return false;
    bool fire = false;
    if (a.spec.after > 0)
        fire = a.seen == a.spec.after;
    else if (a.spec.every > 0)
        fire = a.seen % a.spec.every == 0;
    else
        fire = std::uniform_real_distribution<double>(0.0, 1.0)(a.random) < a.spec.probability;
    if (fire)
        ++a.fired;
    return fire;
}

LineFaults::Verdict LineFaults::pass(FaultDirection direction, uint8_t byte, Clock::time_point now) {
    std::lock_guard lock(mutex_);
    Verdict v;
    v.bytes = {byte, byte};
    (direction == FaultDirection::ToBoard ? stats_.bytesToBoard : stats_.bytesToHost)++;
    if (outageUntil_ != Clock::time_point{}) {
        if (now < outageUntil_) {
            ++stats_.lostInOutage;
            v.count = 0;
            return v;
        }
        outageUntil_ = {};
    }
    // Every fault counts every byte it watches, whatever the others do to it.
    bool lost = false;
    bool outage = false;
    for (Active& a : active_) {
        if (!a.spec.watches(direction) || !triggers(a))
            continue;
        ++stats_.injected[size_t(a.spec.kind)];
        switch (a.spec.kind) {
        case FaultKind::Drop:
            lost = true;
            break;
        case FaultKind::Garble: {
            const uint8_t mask = uint8_t(std::uniform_int_distribution<int>(1, 255)(a.random));
            v.bytes[0] ^= mask;
            v.bytes[1] = v.bytes[0];
            break;
        }
        case FaultKind::Duplicate:
            v.count = 2;
            break;
        case FaultKind::Delay:
            v.holdUntil = std::max(v.holdUntil, now + std::chrono::milliseconds(a.spec.ms));
            break;
        case FaultKind::Outage:
            if (outageUntil_ == Clock::time_point{})
                outageUntil_ = now + std::chrono::milliseconds(a.spec.ms);
            lost = outage = true;
            break;
        case FaultKind::Reset:
            v.reset = true;
            break;
        }
    }
    if (lost)
        v.count = 0;
    if (direction == FaultDirection::ToBoard && !outage && (v.count != 1 || v.bytes[0] != byte))
        ++stats_.damagedToBoard;
    return v;
}
