#include "sim/BoardRunner.h"
#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <poll.h>
#include <unistd.h>

namespace {
// Board time run between looks at the wall clock and the line, when the CPU is busy.
constexpr uint64_t kRealTimeSlice = 4000;  // 2 ms at 2 MHz
constexpr uint64_t kFastSlice = 20000; // short, so host bytes are taken (and stamped) promptly
// Longest sleep without a look at the wall clock.
constexpr double kMaxSleepSeconds = 0.2;
// The longest sleep while board time follows the wall clock: well below the boot loader's idle time.
constexpr double kPacedSleepSeconds = 0.001;
// Falling further behind than this (a stopped process, a slow machine) is forgiven, not caught up.
constexpr double kMaxLagSeconds = 0.25;
} // namespace

BoardRunner::BoardRunner(Board& board, LineEnd& line, double speed, std::string eepromFile,
                         LineFaults* faults, double latencySeconds)
    : board_(board), line_(line), speed_(speed), rate_(kEClockHz * (speed > 0 ? speed : 1.0)),
      eepromFile_(std::move(eepromFile)), faults_(faults),
      latency_(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(std::max(0.0, latencySeconds)))) {}

static_assert(BoardRunner::kNanosecondsPerCycle * kEClockHz == 1e9, "the E clock is 2 MHz");

BoardRunner::Clock::time_point BoardRunner::boardTime(uint64_t cycles) {
    // An hour past the clock's epoch, so that no board time reads as "no time" (the epoch).
    // In whole nanoseconds (an E cycle is 500 ns), so that boardCycles(boardTime(n)) is n again: a
    // time read back a nanosecond short would leave a deadline one cycle away that no run reaches.
    return Clock::time_point(std::chrono::hours(1)) + std::chrono::nanoseconds(cycles * kNanosecondsPerCycle);
}

uint64_t BoardRunner::boardCycles(Clock::time_point at) {
    // The first cycle at or after `at` (board time starts an hour past the clock's epoch).
    const auto since = std::chrono::duration_cast<std::chrono::nanoseconds>(at - boardTime(0)).count();
    return since <= 0 ? 0 : (uint64_t(since) + kNanosecondsPerCycle - 1) / kNanosecondsPerCycle;
}

BoardRunner::Clock::time_point BoardRunner::clockNow() const {
    return virtual_ ? boardTime(board_.now()) : Clock::now();
}

void BoardRunner::advance(uint64_t until, const std::function<bool()>& enough) {
    if (!virtual_) {
        virtual_ = true;
        nextExpiry_ = clockNow() + latency_;
    }
    for (;;) {
        pumpInput();
        flushOutput();
        releaseHeld();
        std::string error;
        if (!saveEepromIfChanged(&error))
            std::fprintf(stderr, "tarvik11-board: cannot save the EEPROM: %s\n", error.c_str());
        if ((enough && enough()) || board_.now() >= until)
            return;
        board_.runUntil(std::min(until, board_.now() + kLockstepSlice));
    }
}

void BoardRunner::resetNow() {
    pumpInput();
    pressResetButton();
}

uint64_t BoardRunner::wallTarget(Clock::time_point wall) const {
    const double elapsed = std::chrono::duration<double>(wall - wallMark_).count();
    return boardMark_ + uint64_t(std::max(0.0, elapsed) * rate_);
}

void BoardRunner::run(const std::atomic<bool>& stop, std::atomic<bool>& reset, int wakeFd) {
    wallMark_ = Clock::now();
    boardMark_ = board_.now();
    nextExpiry_ = wallMark_ + latency_;
    const bool fast = speed_ <= 0;
    while (!stop.load()) {
        if (reset.exchange(false)) {
            // What the host sent before it pressed the button is on the line before the press.
            pumpInput();
            pressResetButton();
        }
        const Clock::time_point wall = Clock::now();
        uint64_t target = wallTarget(wall);
        if (!fast && target > board_.now() + uint64_t(kMaxLagSeconds * rate_)) {
            boardMark_ = board_.now();
            wallMark_ = wall;
            target = board_.now();
        }
        bool sleep = false, pacing = false;
        if (fast) {
            if (board_.loaderTimesIdleLine()) {
                // Real time: the host's writes wait for the wire, so the loader must see the
                // pause between two of them as it is. The marks stay where the real time began,
                // so that running past the target by part of an instruction is not lost.
                if (!paced_) {
                    paced_ = true;
                    wallMark_ = wall;
                    boardMark_ = board_.now();
                    target = board_.now();
                }
                if (board_.now() < target)
                    board_.runUntil(target);
                sleep = pacing = true;
            } else if (!board_.idle())
                board_.runUntil(board_.now() + kFastSlice);
            else if (board_.now() < target)
                board_.runUntil(target); // idle time passes at least at wall-clock speed
            else if (board_.nextEventTime() != Sci::kNever)
                board_.runUntil(board_.nextEventTime());
            else
                sleep = true;
            if (!pacing)
                paced_ = false;
            if (!pacing && board_.now() >= target) {
                wallMark_ = wall;
                boardMark_ = board_.now();
            }
        } else {
            if (board_.now() < target)
                board_.runUntil(target);
            sleep = true;
        }
        pumpInput();
        flushOutput();
        const double heldSeconds = releaseHeld();
        std::string error;
        if (!saveEepromIfChanged(&error))
            std::fprintf(stderr, "tarvik11-board: cannot save the EEPROM: %s\n", error.c_str());
        if (!sleep || board_.nextEventTime() <= board_.now())
            continue;
        double seconds = std::min(pacing ? kPacedSleepSeconds : kMaxSleepSeconds, heldSeconds);
        if (!fast) {
            const uint64_t wake = board_.idle() ? board_.nextEventTime() : board_.now() + kRealTimeSlice;
            if (wake != Sci::kNever) {
                const double due = double(wake - boardMark_) / rate_;
                const double elapsed = std::chrono::duration<double>(Clock::now() - wallMark_).count();
                seconds = std::min(seconds, due - elapsed);
            }
        }
        if (seconds > 0)
            waitForInput(seconds, wakeFd);
    }
    flushOutput();
    sendPacket();
}

void BoardRunner::waitForInput(double seconds, int wakeFd) {
    pollfd fds[2] = {{line_.fd(), POLLIN, 0}, {wakeFd, POLLIN, 0}};
    const timespec timeout{time_t(seconds), long((seconds - std::floor(seconds)) * 1e9)};
    if (::ppoll(fds, wakeFd >= 0 ? 2 : 1, &timeout, nullptr) > 0 && wakeFd >= 0 && (fds[1].revents & POLLIN)) {
        uint64_t count;
        [[maybe_unused]] ssize_t n = ::read(wakeFd, &count, sizeof count);
    }
}

void BoardRunner::pumpInput() {
    uint8_t buffer[512];
    bool any = false;
    for (;;) {
        LineSettings settings;
        const size_t n = line_.read(buffer, sizeof buffer, &settings);
        if (n == 0)
            break;
        for (size_t i = 0; i < n; ++i)
            fromHost(buffer[i], settings);
        any = true;
    }
    if (any)
        board_.sync();
}

void BoardRunner::pressResetButton() {
    // Characters the host sent before the press have left its port (its writes wait for the wire):
    // they finish before the button goes down, however fast the board runs.
    const double wireFree = board_.rxWire().busyUntil();
    if (wireFree > double(board_.now()))
        board_.runUntil(uint64_t(std::ceil(wireFree)));
    board_.pressReset();
}

void BoardRunner::fromHost(uint8_t byte, const LineSettings& settings) {
    if (!faults_) {
        deliverToBoard(byte, settings);
        return;
    }
    const Clock::time_point now = clockNow();
    const LineFaults::Verdict v = faults_->pass(FaultDirection::ToBoard, byte, now);
    if (v.reset)
        board_.pressReset();
    for (int i = 0; i < v.count; ++i) {
        if (v.holdUntil > now || !heldToBoard_.empty())
            heldToBoard_.push_back({v.bytes[i], settings,
                                    std::max(v.holdUntil, heldToBoard_.empty() ? now : heldToBoard_.back().due)});
        else
            deliverToBoard(v.bytes[i], settings);
    }
}

void BoardRunner::deliverToBoard(uint8_t byte, const LineSettings& settings) {
    board_.rxWire().send(byte, settings, double(board_.now()));
}

double BoardRunner::releaseHeld() {
    const Clock::time_point now = clockNow();
    if (heldToBoard_.empty() && heldToHost_.empty())
        return std::max(std::min(kMaxSleepSeconds, releasePacket(now)), 0.0005);
    bool any = false;
    while (!heldToBoard_.empty() && heldToBoard_.front().due <= now) {
        deliverToBoard(heldToBoard_.front().byte, heldToBoard_.front().settings);
        heldToBoard_.pop_front();
        any = true;
    }
    if (any)
        board_.sync();
    while (!heldToHost_.empty() && heldToHost_.front().due <= now) {
        toAdapter(heldToHost_.front().byte, now);
        heldToHost_.pop_front();
    }
    double seconds = std::min(kMaxSleepSeconds, releasePacket(now));
    for (const auto* queue : {&heldToBoard_, &heldToHost_})
        if (!queue->empty())
            seconds = std::min(seconds, std::chrono::duration<double>(queue->front().due - now).count());
    return std::max(seconds, 0.0005);
}

void BoardRunner::flushOutput() {
    const auto characters = board_.takeTransmitted();
    if (characters.empty())
        return;
    const LineSettings host = line_.hostSettings();
    for (const Sci::TxCharacter& c : characters)
        toHost(c, host);
}

void BoardRunner::toHost(const Sci::TxCharacter& c, const LineSettings& host) {
    uint8_t byte;
    if (!hostReceives(c, host, &byte))
        return;
    const Clock::time_point now = clockNow();
    if (!faults_) {
        toAdapter(byte, now);
        return;
    }
    const LineFaults::Verdict v = faults_->pass(FaultDirection::ToHost, byte, now);
    if (v.reset)
        board_.pressReset();
    for (int i = 0; i < v.count; ++i) {
        if (v.holdUntil > now || !heldToHost_.empty())
            heldToHost_.push_back({v.bytes[i], host,
                                   std::max(v.holdUntil, heldToHost_.empty() ? now : heldToHost_.back().due)});
        else
            toAdapter(v.bytes[i], now);
    }
}

void BoardRunner::toAdapter(uint8_t byte, Clock::time_point now) {
    if (latency_ == Clock::duration::zero()) {
        line_.write(byte); // a full host queue loses the byte, as an unread UART would
        return;
    }
    releasePacket(now); // an expiry that passed while the buffer was empty only restarted the timer
    packet_.push_back(byte);
    if (packet_.size() >= kAdapterPacketBytes) {
        sendPacket();
        nextExpiry_ = now + latency_;
    }
}

void BoardRunner::sendPacket() {
    for (const uint8_t byte : packet_)
        line_.write(byte);
    packet_.clear();
}

double BoardRunner::releasePacket(Clock::time_point now) {
    if (latency_ == Clock::duration::zero())
        return kMaxSleepSeconds;
    if (now >= nextExpiry_) {
        sendPacket();
        // The timer restarts at its expiry; expiries missed while the runner slept passed with
        // an empty buffer.
        const auto missed = (now - nextExpiry_) / latency_;
        nextExpiry_ += latency_ * (missed + 1);
    }
    if (packet_.empty())
        return kMaxSleepSeconds;
    return std::chrono::duration<double>(nextExpiry_ - now).count();
}

bool BoardRunner::hostReceives(const Sci::TxCharacter& c, const LineSettings& host, uint8_t* byte) {
    const double sciBaud = kEClockHz / c.bitCycles;
    if (std::fabs(double(host.baud) - sciBaud) > 0.03 * sciBaud || host.dataBits != 8)
        return false;
    if (c.nineBits) {
        if (host.parity == LineSettings::Parity::None) {
            if (!c.ninthBit)
                return false; // a space where the host expects the stop bit
        } else {
            const bool odd = std::popcount(unsigned(c.value)) & 1;
            const bool expected = host.parity == LineSettings::Parity::Even ? odd : !odd;
            if (c.ninthBit != expected)
                return false;
        }
    } else if (host.parity != LineSettings::Parity::None) {
        return false;
    }
    *byte = c.value;
    return true;
}

bool BoardRunner::saveEepromIfChanged(std::string* error) {
    if (!board_.eeprom().takeChanged() || eepromFile_.empty())
        return true;
    return board_.eeprom().saveFile(eepromFile_, error);
}
