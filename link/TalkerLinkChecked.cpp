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
           port_.read(&byte, 1) == 1)
        ++taken;
}

bool TalkerLink::resyncChecked() {
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
        // A "J" before the probe came back: a program stopped before the talker took it.
        if (byte == TalkerCmd::kSwiReport) {
            swiPending_ = true;
            if (!receiveByte(byte))
                continue;
        }
        if (byte != TalkerCmd::kReadRegisters)
            continue;
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

bool TalkerLink::checkedArguments(const uint8_t* args, int n, bool writes) {
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
    // One at a time, each after its echo. Before the last, a doubled byte must have shown: it
    // would make the talker take the last for the go.
    for (int i = 0; i <= n; ++i) {
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

bool TalkerLink::sendStream(const uint8_t* data, int n, bool& exact, int& extra) {
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
                    ++taken;
                }
                continue;
            }
            // Never more in flight than half of what the talker still takes: even if every one
            // of them were doubled, none of ours would land beyond the end.
            const int left = n - taken;
            const int chunk = left == 1 ? 1 : std::min(kLongestChunk, left / 2);
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
        if (echo != data[taken])
            exact = false;
        ++taken;
    }
    uint8_t echo = 0;
    if (port_.inputWithin(port_.characterTime(2)) && receiveByte(echo))
        extra = echo;
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
        if (!checkedArguments(args, 3, true)) {
            status = kTalkerBadEcho;
            stray = true;
            continue;
        }
        bool exact = false;
        int extra = -1;
        if (!sendStream(data, n, exact, extra)) {
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
        if (!checkedArguments(bytes.data(), 2, true)) {
            status = kTalkerRegisterWriteFailed;
            stray = true;
            continue;
        }
        bool exact = false;
        int extra = -1;
        if (!sendStream(bytes.data() + 2, 9, exact, extra)) {
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
