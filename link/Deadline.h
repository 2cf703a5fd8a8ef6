#pragma once
#include <chrono>
#include <cstdint>

// A point in time on the monotonic clock; all waiting of the link is measured against one.
class Deadline {
public:
    using Clock = std::chrono::steady_clock;

    // A deadline the given time from now (negative durations count as zero).
    explicit Deadline(std::chrono::microseconds fromNow);
    // A deadline ms milliseconds from now.
    static Deadline afterMs(int ms);

    // True once the deadline has passed.
    bool expired() const;
    // Whole milliseconds left, rounded up, never negative (suitable for poll()).
    int remainingMs() const;
    // Time left, never negative.
    Clock::duration remaining() const;
    // Sleeps until the deadline has passed; returns at once when it already has.
    void sleepUntil() const;

    // Time that count characters of bitsPerCharacter bits take on a line of baud bits per second.
    static std::chrono::microseconds wireTime(int64_t count, int bitsPerCharacter, int baud);

private:
    Clock::time_point at_;
};
