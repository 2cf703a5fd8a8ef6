// The checked mode of our own talker (see the class comment in TalkerLink.h and target/talker.s).
#include "link/ByteChannel.h"
#include "link/TalkerLink.h"

#include <algorithm>
#include <array>

namespace {

// Tries of a command, or of a write, before it fails.
constexpr int kAttempts = 3;
// Most $81 probes one return into step sends; a write of 256 bytes takes up to 261 of them.
constexpr int kMostProbes = 300;
// Probes in a row that meet silence before the line is given up.
constexpr int kSilentProbes = 3;
// Silences in a row, inside data, before the line is given up.
constexpr int kSilences = 3;
// Most data bytes in flight ahead of their echoes.
constexpr int kLongestChunk = 64;
// Character times of quiet after which nothing more is on its way.
constexpr int kQuietCharacters = 4;

uint8_t complement(uint8_t b) { return static_cast<uint8_t>(~b); }

} // namespace

void TalkerLink::drainUntilQuiet() {
    int taken = 0;
    uint8_t byte = 0;
    // Bounded, so that a line that never stops babbling cannot hold the host here.
    while (taken < 0x11000 && port_.inputWithin(port_.characterTime(kQuietCharacters)) &&
           port_.read(&byte, 1) == 1) {
        ++taken;
        // The tail of a reply, or a "J" of a program that stopped meanwhile: told apart later.
        if (byte == TalkerCmd::kSwiReport)
            maybeHit_ = true;
    }
}

TalkerLink::TalkerState TalkerLink::probeStopped() {
    // $B5 only reads: its reply carries stopped_pc (bytes 1-2) and the frame's PC (the last two).
    // A talker that holds a program stopped at an SWI keeps both equal; one that serves from the
    // receive interrupt keeps its stack pointer in stopped_pc, which no running program's PC is.
    if (!sendByte(TalkerCmd::kSwiConfirm))
        return TalkerState::Unknown;
    std::array<uint8_t, 15> reply{};
    int have = 0;
    while (have < int(reply.size()) && receiveByte(reply[size_t(have)]))
        ++have;
    if (have < int(reply.size()) || reply[0] != TalkerCmd::kSwiConfirm ||
        port_.inputWithin(port_.characterTime(kQuietCharacters)))
        return TalkerState::Unknown;
    return reply[2] == reply[13] && reply[3] == reply[14] ? TalkerState::Stopped : TalkerState::Serving;
}

bool TalkerLink::resyncChecked() {
    for (int round = 0; round < kAttempts; ++round) {
        if (!resyncOnce()) {
            maybeHit_ = false;
            return false;
        }
        if (!maybeHit_ || swiPending_) {
            maybeHit_ = false;
            return true;
        }
        // A "J" came where something else was expected: it is a hit only when the talker now
        // holds a stopped program. A resync never drops one.
        const TalkerState state = probeStopped();
        if (state != TalkerState::Unknown) {
            maybeHit_ = false;
            swiPending_ = swiPending_ || state == TalkerState::Stopped;
            return true;
        }
    }
    // The talker could not be asked: the "J" is kept, and confirming it will tell.
    maybeHit_ = false;
    swiPending_ = true;
    return true;
}

bool TalkerLink::resyncOnce() {
    if (resetting_)
        return false;
    int silent = 0;
    for (int probe = 0; probe < kMostProbes && silent < kSilentProbes; ++probe) {
        // What the talker still sends (the rest of a reply, the data of a read) goes first.
        drainUntilQuiet();
        if (!sendByte(TalkerCmd::kReadRegisters))
            return false;
        uint8_t byte = 0;
        if (!receiveByte(byte)) {
            ++silent;
            continue;
        }
        silent = 0;
        // A "J" before the probe came back: a program stopped before the talker took it (or a
        // doubled byte of ours with the J's value, which the probe after the resync tells).
        if (byte == TalkerCmd::kSwiReport) {
            maybeHit_ = true;
            if (!receiveByte(byte))
                continue;
        }
        if (byte != TalkerCmd::kReadRegisters) {
            maybeHit_ = maybeHit_ || byte == TalkerCmd::kSwiReport;
            continue;
        }
        // Taken as a command, it is answered at once; taken as anything else, nothing follows.
        if (!port_.inputWithin(port_.characterTime(kQuietCharacters)) || !receiveByte(byte) ||
            byte != complement(TalkerCmd::kReadRegisters))
            continue;
        std::array<uint8_t, 11> frame{};
        int have = 0;
        while (have < 11 && receiveByte(frame[size_t(have)]))
            ++have;
        if (have < 11)
            continue;
        drainUntilQuiet();
        return true;
    }
    return false;
}

TalkerStatus TalkerLink::checkedCommand(uint8_t cmd, TalkerStatus wrongEcho, bool& stray) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (sweepQueuedInput())
            stray = true;
        if (!sendByte(cmd))
            return kTalkerCommError;
        uint8_t byte = 0;
        bool got = receiveByte(byte);
        // The talker stopped at an SWI before it took the command: it sent "J", then serves it.
        if (got && byte == TalkerCmd::kSwiReport) {
            swiPending_ = true;
            stray = true;
            got = receiveByte(byte);
        }
        if (!got) {
            if (resetting_)
                return kTalkerNoResponse;
            // Nothing came back: the command was lost on its way (or the talker restarted at
            // another rate, or is gone).
            if (attempt == 0 && answersAtRestartRate(cmd, wrongEcho, stray))
                return kTalkerOk;
            if (!resyncChecked())
                return kTalkerNoResponse;
            continue;
        }
        if (byte == cmd && (cmd == TalkerCmd::kSwiConfirm || (receiveByte(byte) && byte == complement(cmd))))
            return kTalkerOk;
        // The talker took another byte, or ours as part of something else.
        stray = true;
        if (!resyncChecked())
            return kTalkerNoResponse;
    }
    return wrongEcho;
}

bool TalkerLink::checkedArguments(const uint8_t* args, int n, bool writes, bool withGo) {
    if (!writes) {
        // A read's arguments and go at once: a header shifted by a lost or doubled byte at worst
        // reads elsewhere, and its echoes tell.
        std::array<uint8_t, 4> sent{};
        std::copy(args, args + n, sent.begin());
        sent[size_t(n)] = TalkerCmd::kGo;
        std::array<uint8_t, 4> echoes{};
        int have = 0;
        if (port_.write(sent.data(), n + 1) != 0)
            return false;
        while (have <= n && receiveByte(echoes[size_t(have)]))
            ++have;
        if (have == n + 1 && std::equal(sent.begin(), sent.begin() + n + 1, echoes.begin()))
            return true;
        (void)resyncChecked();
        return false;
    }
    // The go goes out only once every argument came back right: a damaged argument never meets
    // a go. What a doubled argument can carry into the go's place is an argument from the middle
    // on (a byte at index j lands there only when j >= (n - 1) / 2); where none of those is $00,
    // all go at once and a doubled one is refused as the go.
    bool atOnce = true;
    for (int j = 0; j < n; ++j)
        atOnce = atOnce && (2 * j < n - 1 || args[j] != TalkerCmd::kGo);
    if (atOnce) {
        std::array<uint8_t, 3> echoes{};
        int have = 0;
        if (port_.write(args, n) != 0)
            return false;
        while (have < n && receiveByte(echoes[size_t(have)]))
            ++have;
        bool right = have == n && std::equal(args, args + n, echoes.begin()) &&
                     !port_.inputWithin(port_.characterTime(2));
        if (right && withGo)
            right = sendByte(TalkerCmd::kGo) && receiveByte(echoes[0]) && echoes[0] == TalkerCmd::kGo;
        if (!right)
            (void)resyncChecked();
        return right;
    }
    // One at a time, each after its echo. Before the last, a doubled byte must have shown: it
    // would make the talker take the last for the go.
    for (int i = 0; i < (withGo ? n + 1 : n); ++i) {
        const uint8_t b = i < n ? args[i] : TalkerCmd::kGo;
        uint8_t echo = 0;
        if ((i == n - 1 && port_.inputWithin(port_.characterTime(2))) || !sendByte(b) || !receiveByte(echo) ||
            echo != b) {
            // Lost, damaged or doubled: the talker fills what it still waits for with probes and
            // takes one of them for a refused go.
            (void)resyncChecked();
            return false;
        }
    }
    return true;
}

int TalkerLink::safeChunk(const uint8_t* data, int n, int taken, bool endsCommand, bool goFirst) {
    const int left = n - taken;
    if (left == 1)
        return 1;
    // Half of what the talker still takes is always safe: even if every byte in flight were
    // doubled, none would land beyond the end. A byte of a larger piece lands there only from
    // the middle of what is left on (a copy moves it one place, and only bytes before it can
    // have been doubled; one more place is allowed for an echo lost on its way back). The piece
    // may be larger when those bytes are harmless there: after data, no write command ($41,
    // $C1); after a frame, not the go either. A go in front of the piece that is refused makes
    // every byte of it a command: then none may start a write.
    auto startsWrite = [](uint8_t b) { return b == TalkerCmd::kWriteMemory || b == TalkerCmd::kWriteRegisters; };
    const int half = std::min(kLongestChunk, left / 2);
    const int landing = taken + std::max(0, (left - 2) / 2);
    const bool goInFront = goFirst && taken == 0;
    for (int c = std::min(kLongestChunk, left); c >= 1; --c) {
        bool safe = true;
        for (int j = taken; j < taken + c && safe; ++j)
            safe = !(goInFront && j > 0 && startsWrite(data[j])) &&
                   (c <= half || j < landing ||
                    !(startsWrite(data[j]) || (!endsCommand && data[j] == TalkerCmd::kGo)));
        if (safe)
            return c;
    }
    return 1;
}

bool TalkerLink::sendStream(const uint8_t* data, int n, bool endsCommand, bool goFirst, bool& exact, int& extra) {
    exact = true;
    extra = -1;
    int taken = 0;  // bytes the talker has taken, as told by what came back
    int sent = 0;   // bytes handed to the line, from the start
    int silences = 0;
    while (taken < n) {
        if (sent <= taken) {
            // All we sent came back; a doubled byte (the go's, or one of the last chunk's) comes
            // back a character later and counts as taken too.
            if (port_.inputWithin(port_.characterTime(2))) {
                uint8_t echo = 0;
                if (receiveByte(echo)) {
                    // One more than was sent: doubled on its way here or there, the host
                    // cannot tell which, and the piece is done again.
                    exact = false;
                    maybeHit_ = maybeHit_ || echo == TalkerCmd::kSwiReport;
                    ++taken;
                }
                continue;
            }
            const int chunk = safeChunk(data, n, taken, endsCommand, goFirst);
            if (port_.write(data + taken, chunk) != 0)
                return false;
            sent = taken + chunk;
        }
        uint8_t echo = 0;
        if (!receiveByte(echo)) {
            // What is still in flight was lost: the talker takes the rest from where it stands.
            if (++silences >= kSilences)
                return false;
            exact = false;
            sent = taken;
            continue;
        }
        silences = 0;
        if (echo != data[taken]) {
            exact = false;
            maybeHit_ = maybeHit_ || echo == TalkerCmd::kSwiReport;
        }
        ++taken;
    }
    uint8_t echo = 0;
    if (port_.inputWithin(port_.characterTime(2)) && receiveByte(echo)) {
        extra = echo;
        if (!endsCommand)
            return true; // the talker waits for the go: no program has run
        // A "J" after data whose last byte is no "J" is a program that stopped as soon as the
        // talker let it go on: a hit, and the talker is in step. After a last byte $4A it may as
        // well be that byte doubled: the resync that follows asks the talker.
        if (echo == TalkerCmd::kSwiReport && data[n - 1] != TalkerCmd::kSwiReport) {
            swiPending_ = true;
            extra = -1;
        }
        maybeHit_ = maybeHit_ || extra == TalkerCmd::kSwiReport;
    }
    return true;
}

TalkerStatus TalkerLink::writeMemoryChecked(uint32_t address, uint32_t count, const uint8_t* data, bool& stray) {
    const int n = (count & 0xFF) == 0 ? 256 : static_cast<int>(count & 0xFF);
    const uint8_t args[3] = {static_cast<uint8_t>(count), static_cast<uint8_t>(address >> 8),
                             static_cast<uint8_t>(address)};
    TalkerStatus status = kTalkerBadEcho;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if ((status = command(TalkerCmd::kWriteMemory, kTalkerBadEcho, stray)))
            return status;
        if (!checkedArguments(args, 3, true, false)) {
            status = kTalkerBadEcho;
            stray = true;
            continue;
        }
        bool exact = false;
        int extra = -1;
        // The go leads the data: a talker that refuses it takes them as commands, which the
        // pieces' rule makes harmless.
        std::array<uint8_t, 257> stream{};
        stream[0] = TalkerCmd::kGo;
        std::copy(data, data + n, stream.begin() + 1);
        if (!sendStream(stream.data(), n + 1, true, true, exact, extra)) {
            (void)resyncChecked();
            return kTalkerNoResponse;
        }
        // The talker is brought back into step after a doubled last byte (which it took as a
        // command of its own) and after a piece that went wrong (an echo doubled on its way here
        // leaves it waiting for a byte).
        if ((extra >= 0 || !exact) && !resetting_)
            (void)resyncChecked();
        if (exact)
            return kTalkerOk;
        // Something inside the confirmed range went wrong: the range is written again.
        status = kTalkerBadEcho;
        stray = true;
    }
    return status;
}

TalkerStatus TalkerLink::writeRegistersChecked(const Registers& r, bool& stray) {
    const std::array<uint8_t, 11> bytes = frameBytes(r);
    TalkerStatus status = kTalkerRegisterWriteFailed;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if ((status = command(TalkerCmd::kWriteRegisters, kTalkerRegisterWriteFailed, stray)))
            return status;
        if (!checkedArguments(bytes.data(), 2, true, false)) {
            status = kTalkerRegisterWriteFailed;
            stray = true;
            continue;
        }
        bool exact = false;
        int extra = -1;
        std::array<uint8_t, 10> stream{};
        stream[0] = TalkerCmd::kGo;
        std::copy(bytes.begin() + 2, bytes.end(), stream.begin() + 1);
        if (!sendStream(stream.data(), 10, false, true, exact, extra)) {
            (void)resyncChecked();
            return kTalkerNoResponse;
        }
        status = kTalkerRegisterWriteFailed;
        stray = stray || !exact || extra >= 0;
        // A byte after the frame: its last byte doubled on the way here (the talker still waits
        // for the go) or there (the talker took the copy for the go). Only a copy that is no go
        // can have kept the frame stopped; after a copy that is one, the go is sent all the same
        // (a talker that went on drops it as no command).
        if (!exact || (extra >= 0 && extra != TalkerCmd::kGo)) {
            // The talker keeps the damaged frame stopped; the next try replaces it.
            (void)sendByte(TalkerCmd::kNoGo);
            drainUntilQuiet();
            continue;
        }
        if (!sendByte(TalkerCmd::kGo))
            return kTalkerCommError;
        uint8_t echo = 0;
        bool got = receiveByte(echo);
        // A program that went on at a doubled $00 may have stopped at an SWI before our go came.
        if (got && echo == TalkerCmd::kSwiReport) {
            swiPending_ = true;
            got = receiveByte(echo);
        }
        if (got && echo == TalkerCmd::kGo)
            return kTalkerOk;
        // The go was damaged (the frame stays stopped), lost (the talker still waits for it:
        // the register read below is refused as one) or only its echo was (the frame went on).
        stray = true;
        // A "J" that comes with the read means the frame went on and the program stopped again.
        Registers now;
        bool readStray = false, overran = false;
        const bool hitBefore = swiPending_;
        if (readRegistersOnce(now, readStray, overran) == kTalkerOk && !overran && now == r &&
            swiPending_ == hitBefore)
            continue; // still stopped at the frame as written
        return kTalkerOk;
    }
    return status;
}
