#include "link/Deadline.h"

#include <thread>

Deadline::Clock::time_point Deadline::now() {
    TimeSource* source = timeSource();
    return source ? source->now() : Clock::now();
}

Deadline::Deadline(std::chrono::microseconds fromNow) : source_(timeSource()) {
    at_ = (source_ ? source_->now() : Clock::now()) +
          (fromNow.count() > 0 ? fromNow : std::chrono::microseconds(0));
}

Deadline Deadline::afterMs(int ms) { return Deadline(std::chrono::milliseconds(ms > 0 ? ms : 0)); }

bool Deadline::expired() const { return (source_ ? source_->now() : Clock::now()) >= at_; }

int Deadline::remainingMs() const {
    const auto left = remaining();
    if (left <= Clock::duration::zero())
        return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(ms);
}

Deadline::Clock::duration Deadline::remaining() const {
    const auto left = at_ - (source_ ? source_->now() : Clock::now());
    return left > Clock::duration::zero() ? left : Clock::duration::zero();
}

void Deadline::sleepUntil() const {
    if (source_) {
        source_->advance(at_, nullptr);
        return;
    }
    // sleep_until on steady_clock resumes after EINTR by itself.
    while (!expired())
        std::this_thread::sleep_until(at_);
}

std::chrono::microseconds Deadline::wireTime(int64_t count, int bitsPerCharacter, int baud) {
    if (count <= 0 || bitsPerCharacter <= 0 || baud <= 0)
        return std::chrono::microseconds(0);
    return std::chrono::microseconds(count * bitsPerCharacter * 1000000 / baud);
}
