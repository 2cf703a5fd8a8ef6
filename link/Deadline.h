#pragma once
#include <chrono>
#include <cstdint>
#include <functional>

class TimeSource;

namespace deadline_detail {
// The calling thread's time source (header-only, so that a board can withdraw its clock without
// linking the link layer).
inline thread_local TimeSource* threadSource = nullptr;
} // namespace deadline_detail

// A point in time on the thread's link clock; all waiting of the link is measured against one.
// The link clock is the monotonic clock, unless a time source (a board on virtual time) is set
// for the thread: then time passes only while the host waits, and waiting runs the board.
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
    // Time left, never negative (round it up where a coarser unit is wanted: a wait of the time
    // rounded down to nothing would not bring the deadline nearer).
    Clock::duration remaining() const;
    // Waits until the deadline has passed (on virtual time: runs the board up to it); returns
    // at once when it already has.
    void sleepUntil() const;

    // Time that count characters of bitsPerCharacter bits take on a line of baud bits per second.
    static std::chrono::microseconds wireTime(int64_t count, int bitsPerCharacter, int baud);

    // Now on the thread's link clock.
    static Clock::time_point now();
    // The calling thread's time source (null: the monotonic clock).
    static TimeSource* timeSource() { return deadline_detail::threadSource; }
    // Sets the calling thread's time source (null: the monotonic clock); returns the one before.
    static TimeSource* setTimeSource(TimeSource* source) {
        TimeSource* before = deadline_detail::threadSource;
        deadline_detail::threadSource = source;
        return before;
    }

private:
    Clock::time_point at_;
    TimeSource* source_ = nullptr; // the clock the deadline was set on
};

// A clock on which time passes only when a waiting host lets it: a board on virtual time,
// whose time is its E cycles and which runs (as fast as the machine allows) while the host waits.
class TimeSource {
public:
    // A clock that goes is no longer the thread's.
    virtual ~TimeSource() {
        if (deadline_detail::threadSource == this)
            deadline_detail::threadSource = nullptr;
    }
    // Now on this clock.
    virtual Deadline::Clock::time_point now() const = 0;
    // Lets time pass until `until`, or less once `enough` (when given) holds.
    virtual void advance(Deadline::Clock::time_point until, const std::function<bool()>& enough) = 0;
};
