#include "FuzzCheck.h"
#include "FuzzEntries.h"
#include "FuzzPty.h"
#include "SerialPort.h"
#include "TalkerLink.h"

#include <array>
#include <string>
#include <termios.h>
#include <vector>

namespace {

// Replies beyond this stay well inside the terminal's input buffer.
constexpr size_t kMaxReplies = 1024;

// The talker's side of the protocol as the host must see it: the replies queued for the host,
// consumed from the front, and the status each operation has to end with.
class ProtocolModel {
public:
    explicit ProtocolModel(std::vector<uint8_t> replies) : r_(std::move(replies)) {}

    // Command $01: echo, then n bytes.
    TalkerStatus readMemory(int n, std::vector<uint8_t>* bytes = nullptr) {
        if (TalkerStatus s = echo(TalkerCmd::kReadMemory, kTalkerBadEcho))
            return s;
        if (left() < static_cast<size_t>(n)) {
            pos_ = r_.size();
            return kTalkerCommError;
        }
        if (bytes)
            bytes->assign(r_.begin() + static_cast<long>(pos_), r_.begin() + static_cast<long>(pos_ + n));
        pos_ += static_cast<size_t>(n);
        return kTalkerOk;
    }
    // Command $41, then the read-back, which must return the bytes written.
    TalkerStatus writeMemory(const std::vector<uint8_t>& data) {
        if (TalkerStatus s = echo(TalkerCmd::kWriteMemory, kTalkerBadEcho))
            return s;
        std::vector<uint8_t> back;
        if (TalkerStatus s = readMemory(static_cast<int>(data.size()), &back))
            return s;
        return back == data ? kTalkerOk : kTalkerBadEcho;
    }
    // Command $81: echo, then the 11-byte frame.
    TalkerStatus readRegisters(std::vector<uint8_t>* frame) {
        if (TalkerStatus s = echo(TalkerCmd::kReadRegisters, kTalkerBadEcho))
            return s;
        return take(11, frame);
    }
    // Command $C1: echo only.
    TalkerStatus writeRegisters() { return echo(TalkerCmd::kWriteRegisters, kTalkerRegisterWriteFailed); }
    // Command $B5: 14 bytes, no echo.
    TalkerStatus confirmSwi(std::vector<uint8_t>* frame) { return take(14, frame); }
    // True when the first byte waiting is "J" (one byte consumed when any is waiting).
    bool pollSwi() {
        if (left() == 0)
            return false;
        return r_[pos_++] == TalkerCmd::kSwiReport;
    }

private:
    size_t left() const { return r_.size() - pos_; }
    TalkerStatus echo(uint8_t cmd, TalkerStatus wrongEcho) {
        if (left() == 0)
            return kTalkerNoResponse;
        return r_[pos_++] == static_cast<uint8_t>(~cmd) ? kTalkerOk : wrongEcho;
    }
    TalkerStatus take(size_t n, std::vector<uint8_t>* bytes) {
        if (left() < n) {
            pos_ = r_.size();
            return kTalkerNoResponse;
        }
        if (bytes)
            bytes->assign(r_.begin() + static_cast<long>(pos_), r_.begin() + static_cast<long>(pos_ + n));
        pos_ += n;
        return kTalkerOk;
    }

    std::vector<uint8_t> r_;
    size_t pos_ = 0;
};

// A port opened once on a pseudo-terminal. Every reply is queued before the operation starts,
// so a read that finds nothing may give up at once and writes need no pacing.
struct Rig {
    FuzzPty pty;
    SerialPort port;
    TalkerLink link{port};
    bool ready = false;
    Rig() {
        port.readWaitMs = 0;
        port.paceOnPseudoTerminal = false;
        ready = pty.valid() && port.open(pty.slavePath() + ":9600,n,8,1") == 0;
    }
};

uint16_t word(const std::vector<uint8_t>& f, size_t at) {
    return static_cast<uint16_t>(f[at] << 8 | f[at + 1]);
}

void expectStatus(const char* op, TalkerStatus got, TalkerStatus expected) {
    fuzzExpect(got == expected, std::string(op) + " ended with status " + std::to_string(got) +
                                    ", the replies call for " + std::to_string(expected));
}

} // namespace

int fuzzTalkerReply(const uint8_t* data, size_t size) {
    static Rig rig;
    if (size < 4 || !rig.ready)
        return 0;
    const uint8_t op = data[0] % 8;
    const uint32_t count = data[1];
    const uint32_t address = static_cast<uint32_t>(data[2] << 8 | data[3]);
    const int n = count == 0 ? 256 : static_cast<int>(count);
    std::vector<uint8_t> replies(data + 4, data + std::min(size, 4 + kMaxReplies));

    // Nothing left over from the last input on either side.
    ::tcflush(rig.port.descriptor(), TCIFLUSH);
    rig.pty.discard();
    if (!rig.pty.send(replies) || !FuzzPty::awaitQueued(rig.port.descriptor(), replies.size(), 2000))
        return 0;

    ProtocolModel model(replies);
    std::vector<uint8_t> payload(static_cast<size_t>(n));
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<uint8_t>(address + i * 7);
    std::vector<uint8_t> expectedSent;
    const auto countAndAddress = [&](uint8_t cmd) {
        expectedSent.insert(expectedSent.end(), {cmd, static_cast<uint8_t>(count),
                                                 static_cast<uint8_t>(address >> 8),
                                                 static_cast<uint8_t>(address)});
    };

    switch (op) {
    case 0:
    case 7: {
        std::array<uint8_t, 256> buffer{};
        std::vector<uint8_t> bytes;
        const TalkerStatus expected = model.readMemory(n, &bytes);
        expectStatus("readMemory", rig.link.readMemory(address, count, buffer.data()), expected);
        if (expected == kTalkerOk) {
            fuzzExpect(std::equal(bytes.begin(), bytes.end(), buffer.begin()),
                       "readMemory stored other bytes than the talker sent");
            countAndAddress(TalkerCmd::kReadMemory);
        }
        if (op == 7 && expected == kTalkerOk) {
            // Registers right after, from the bytes that are left.
            std::vector<uint8_t> frame;
            uint32_t SP = 0, X = 0, Y = 0, PC = 0;
            uint8_t CCR = 0, B = 0, A = 0;
            const TalkerStatus next = model.readRegisters(&frame);
            expectStatus("readRegisters after readMemory",
                         rig.link.readRegisters(SP, CCR, B, A, X, Y, PC), next);
            expectedSent.push_back(TalkerCmd::kReadRegisters); // sent whatever the echo is
        }
        break;
    }
    case 1: {
        const TalkerStatus expected = model.writeMemory(payload);
        expectStatus("writeMemory", rig.link.writeMemory(address, count, payload.data()), expected);
        if (expected == kTalkerOk) {
            countAndAddress(TalkerCmd::kWriteMemory);
            expectedSent.insert(expectedSent.end(), payload.begin(), payload.end());
            countAndAddress(TalkerCmd::kReadMemory);
        }
        break;
    }
    case 2: {
        std::vector<uint8_t> frame;
        uint32_t SP = 0, X = 0, Y = 0, PC = 0;
        uint8_t CCR = 0, B = 0, A = 0;
        const TalkerStatus expected = model.readRegisters(&frame);
        expectStatus("readRegisters", rig.link.readRegisters(SP, CCR, B, A, X, Y, PC), expected);
        if (expected == kTalkerOk) {
            fuzzExpect(SP == word(frame, 0) && CCR == frame[2] && B == frame[3] && A == frame[4] &&
                           X == word(frame, 5) && Y == word(frame, 7) && PC == word(frame, 9),
                       "readRegisters misplaced a field of the frame");
            expectedSent.push_back(TalkerCmd::kReadRegisters);
        }
        break;
    }
    case 3: {
        const uint32_t SP = address, X = address ^ 0xFFFF, Y = count * 257, PC = (address + 1) & 0xFFFF;
        const uint8_t CCR = data[1], B = data[2], A = data[3];
        const TalkerStatus expected = model.writeRegisters();
        expectStatus("writeRegisters", rig.link.writeRegisters(SP, CCR, B, A, X, Y, PC), expected);
        if (expected == kTalkerOk)
            expectedSent = {TalkerCmd::kWriteRegisters,
                            static_cast<uint8_t>(SP >> 8), static_cast<uint8_t>(SP), CCR, B, A,
                            static_cast<uint8_t>(X >> 8), static_cast<uint8_t>(X),
                            static_cast<uint8_t>(Y >> 8), static_cast<uint8_t>(Y),
                            static_cast<uint8_t>(PC >> 8), static_cast<uint8_t>(PC)};
        break;
    }
    case 4: {
        const bool expected = model.pollSwi();
        fuzzExpect(rig.link.pollSwi() == expected, "pollSwi disagrees with the first byte waiting");
        break;
    }
    case 5: {
        std::vector<uint8_t> frame;
        uint32_t PC = 0, SP = 0, X = 0, Y = 0;
        uint8_t CCR = 0, B = 0, A = 0;
        const TalkerStatus expected = model.confirmSwi(&frame);
        expectStatus("confirmSwi", rig.link.confirmSwi(PC, SP, CCR, B, A, X, Y), expected);
        if (expected == kTalkerOk) {
            fuzzExpect(PC == ((word(frame, 1) - 1u) & 0xFFFF) && SP == word(frame, 3) &&
                           CCR == frame[5] && B == frame[6] && A == frame[7] &&
                           X == word(frame, 8) && Y == word(frame, 10),
                       "confirmSwi misplaced a field of the stop frame");
            expectedSent.push_back(TalkerCmd::kSwiConfirm);
        }
        break;
    }
    case 6: {
        // Four verified writes prepare the reset; the fifth must fail, as the reset cuts it off.
        static constexpr std::array<uint8_t, 5> kValues{0x7E, 0x00, 0x00, 0x08, 0x04};
        TalkerStatus expected = kTalkerOk;
        for (size_t i = 0; i < 4 && expected == kTalkerOk; ++i)
            expected = model.writeMemory({kValues[i]});
        if (expected == kTalkerOk)
            expected = model.writeMemory({kValues[4]}) != kTalkerOk ? kTalkerOk : kTalkerResetFailed;
        expectStatus("resetTarget", rig.link.resetTarget(), expected);
        break;
    }
    }

    if (!expectedSent.empty()) {
        std::vector<uint8_t> sent = rig.pty.collect(expectedSent.size(), 1000);
        const std::vector<uint8_t> more = rig.pty.collect(1, 0);
        sent.insert(sent.end(), more.begin(), more.end());
        fuzzExpect(sent == expectedSent, "the host's bytes on the line differ from the protocol");
    }
    return 0;
}
