#include "sim/VirtualBoard.h"
#include "sim/Board.h"
#include "sim/BoardRunner.h"
#include "sim/MemoryLine.h"
#include "sim/PtyLine.h"
#include "sim/Stimulus.h"
#include <algorithm>
#include "link/Deadline.h"
#include <cmath>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/eventfd.h>
#include <chrono>
#include <thread>
#include <unistd.h>

bool parseLatencyMs(const std::string& text, double* ms) {
    if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int value = std::stoi(text);
    if (value > kMaxLatencyMs)
        return false;
    *ms = value;
    return true;
}

struct VirtualBoard::Impl : TimeSource {
    explicit Impl(VirtualBoardOptions o) : options(std::move(o)), board(options.chip) {}
    VirtualBoardOptions options;
    Board board;
    PtyLine pty;
    MemoryLine memory;
    LineFaults faults;
    std::thread thread;
    std::atomic<bool> stop{false};
    std::atomic<bool> reset{false};
    int wakeFd = -1;
    bool running = false;
    std::unique_ptr<BoardRunner> lockstep; // the runner of a board on virtual time

    // The board's clock, on virtual time.
    Deadline::Clock::time_point now() const override { return BoardRunner::boardTime(board.now()); }
    void advance(Deadline::Clock::time_point until, const std::function<bool()>& enough) override {
        if (!lockstep)
            return;
        lockstep->advance(BoardRunner::boardCycles(until), enough);
    }

    bool inMemory() const { return options.line == BoardLineKind::Memory || options.virtualTime; }
    LineEnd& line() { return inMemory() ? static_cast<LineEnd&>(memory) : pty; }

    void wake() {
        if (wakeFd >= 0) {
            const uint64_t one = 1;
            [[maybe_unused]] ssize_t n = ::write(wakeFd, &one, sizeof one);
        }
    }
};

VirtualBoard::VirtualBoard(VirtualBoardOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {
    impl_->faults.set(impl_->options.faults, impl_->options.faultSeed);
}

VirtualBoard::~VirtualBoard() { stop(); }

bool VirtualBoard::start(std::string* error) {
    Impl& d = *impl_;
    if (d.running) {
        if (error)
            *error = "the board is already running";
        return false;
    }
    if (d.options.speed < 0) {
        if (error)
            *error = "the speed must not be negative";
        return false;
    }
    if (!(d.options.latencyMs >= 0) || d.options.latencyMs > kMaxLatencyMs) {
        if (error)
            *error = "the latency timer must be from 0 to " + std::to_string(int(kMaxLatencyMs)) + " ms";
        return false;
    }
    std::vector<PinEvent> stimulus = d.options.stimulus;
    if (!d.options.stimulusFile.empty()) {
        StimulusParseResult file = loadStimulusFile(d.options.stimulusFile);
        if (!file.ok()) {
            if (error)
                *error = file.error;
            return false;
        }
        stimulus.insert(stimulus.end(), file.events.begin(), file.events.end());
        std::stable_sort(stimulus.begin(), stimulus.end(),
                         [](const PinEvent& a, const PinEvent& b) { return a.at < b.at; });
    }
    if (!d.options.eepromFile.empty() && !d.board.eeprom().loadFile(d.options.eepromFile, error))
        return false;
    if (d.inMemory()) {
        if (!d.memory.valid()) {
            if (error)
                *error = std::string("eventfd: ") + std::strerror(errno);
            return false;
        }
        d.memory.reopen();
    } else if (!d.pty.open(d.options.linkPath, error)) {
        return false;
    }
    d.wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (d.wakeFd < 0) {
        if (error)
            *error = std::string("eventfd: ") + std::strerror(errno);
        d.pty.close();
        return false;
    }
    d.board.powerOn(); // takes the loaded CONFIG
    d.board.setStimulus(std::move(stimulus));
    d.board.runUntil(d.board.now()); // publishes the pins as they start
    d.stop = false;
    d.reset = false;
    d.running = true;
    if (d.options.virtualTime) {
        d.lockstep = std::make_unique<BoardRunner>(d.board, d.memory, 0.0, d.options.eepromFile, &d.faults,
                                                   d.options.latencyMs / 1000.0);
        d.memory.setTimeSource(&d);
        // As after a press of RESET: the boot loader listens before the host's first character.
        d.lockstep->advance(d.board.now() + uint64_t(kResetSettleMs * kEClockHz / 1000), nullptr);
        return true;
    }
    d.thread = std::thread([&d] {
        BoardRunner runner(d.board, d.line(), d.options.speed, d.options.eepromFile, &d.faults,
                           d.options.latencyMs / 1000.0);
        runner.run(d.stop, d.reset, d.wakeFd);
        std::string saveError;
        if (!runner.saveEepromIfChanged(&saveError))
            std::fprintf(stderr, "tarvik11-board: cannot save the EEPROM: %s\n", saveError.c_str());
    });
    return true;
}

void VirtualBoard::stop() {
    Impl& d = *impl_;
    if (!d.running)
        return;
    if (d.lockstep) {
        std::string saveError;
        if (!d.lockstep->saveEepromIfChanged(&saveError))
            std::fprintf(stderr, "tarvik11-board: cannot save the EEPROM: %s\n", saveError.c_str());
        // No deadline of this thread may keep reading a clock that is gone.
        if (Deadline::timeSource() == &d)
            Deadline::setTimeSource(nullptr);
        d.memory.setTimeSource(nullptr);
        d.lockstep.reset();
    } else {
        d.stop = true;
        d.wake();
        d.thread.join();
    }
    d.running = false;
    d.pty.close();
    d.memory.hangUp();
    ::close(d.wakeFd);
    d.wakeFd = -1;
}

std::string VirtualBoard::devicePath() const { return impl_->inMemory() ? std::string() : impl_->pty.devicePath(); }

MemoryLine* VirtualBoard::memoryLine() const { return impl_->inMemory() ? &impl_->memory : nullptr; }

bool VirtualBoard::onVirtualTime() const { return impl_->options.virtualTime; }

void VirtualBoard::pressReset() {
    if (impl_->lockstep) {
        impl_->lockstep->resetNow();
        const uint64_t settle = impl_->board.now() + uint64_t(kResetSettleMs * kEClockHz / 1000);
        impl_->lockstep->advance(settle, nullptr);
        return;
    }
    impl_->reset = true;
    impl_->wake();
}

bool VirtualBoard::resetPending() const { return impl_->reset.load(); }

void VirtualBoard::setFaults(std::vector<FaultRule> faults, uint64_t seed) {
    impl_->faults.set(std::move(faults), seed);
    impl_->wake();
}

LineFaults::Stats VirtualBoard::faultStats() const { return impl_->faults.stats(); }

bool VirtualBoard::drivePin(const PinSetting& setting) {
    Impl& d = *impl_;
    const uint64_t ticket = d.board.postPinSetting(setting);
    if (!d.running || d.lockstep) { // no thread of its own: the caller's thread is the board's
        d.board.runUntil(d.board.now()); // takes it at once
        return true;
    }
    d.wake();
    for (int i = 0; i < 1000 && !d.board.pinsShow(ticket); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return d.board.pinsShow(ticket);
}

PinState VirtualBoard::pinState() const { return impl_->board.publishedPinState(); }
