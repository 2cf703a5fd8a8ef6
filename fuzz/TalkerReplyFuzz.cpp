#include "FuzzCheck.h"
#include "FuzzEntries.h"
#include "FuzzPty.h"
#include "link/SerialPort.h"
#include "link/TalkerLink.h"

#include <algorithm>
#include <array>
#include <deque>
#include <string>
#include <thread>
#include <vector>

// Input: operation, count, address high, address low, then the talker's side as segments, each a
// two-byte length (high first) and that many bytes. Segment 0 waits on the line before the
// operation starts; segment k answers the k-th command byte the host sends, all of it at once
// right behind that byte (so its echo, data and any stray bytes arrive together).

namespace {

// All segments together stay well inside the terminal's input buffer.
constexpr size_t kMaxReplies = 1024;
// Long enough that an answer which is on its way always comes in time; each read the model
// expects to go unanswered costs this much.
constexpr int kReadWaitMs = 150;
// How long the far end waits for a host byte the model says will come.
constexpr int kHostByteWaitMs = 2000;

using Bytes = std::vector<uint8_t>;

// What the host sends, and what the far end sends right after the first of those bytes.
struct Step {
    Bytes host;
    Bytes answer;
};

// The link's side of the protocol as it must behave: the bytes queued for the host, consumed
// from the front, the host's bytes in order, and the status each operation has to end with.
class ProtocolModel {
public:
    explicit ProtocolModel(std::vector<Bytes> segments) : segments_(std::move(segments)) {
        if (!segments_.empty())
            queue_.assign(segments_[0].begin(), segments_[0].end());
    }

    TalkerStatus readMemory(uint8_t count, uint16_t address, Bytes* bytes = nullptr) {
        bool stray = false;
        const TalkerStatus status = readChecked(count, address, bytes, stray);
        stray_ = stray;
        return status;
    }
    TalkerStatus writeMemory(uint8_t count, uint16_t address, const Bytes& data) {
        bool stray = false;
        const TalkerStatus status = command(TalkerCmd::kWriteMemory, kTalkerBadEcho, stray);
        stray_ = stray;
        if (status)
            return status;
        Bytes sent{count, static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
        sent.insert(sent.end(), data.begin(), data.end());
        steps_.push_back({sent, {}});
        Bytes back;
        bool readBackStray = false;
        if (TalkerStatus read = readChecked(count, address, &back, readBackStray))
            return read;
        return back == data ? kTalkerOk : kTalkerBadEcho;
    }
    TalkerStatus readRegisters(Bytes* frame) {
        return repeated([&](bool& stray, bool& overran) {
            if (TalkerStatus s = command(TalkerCmd::kReadRegisters, kTalkerBadEcho, stray))
                return s;
            return replyOf(11, kTalkerNoResponse, frame, overran);
        });
    }
    TalkerStatus writeRegisters(const Bytes& frame) {
        bool stray = false;
        const TalkerStatus status = command(TalkerCmd::kWriteRegisters, kTalkerRegisterWriteFailed, stray);
        stray_ = stray;
        if (status == kTalkerOk)
            steps_.push_back({frame, {}});
        return status;
    }
    bool pollSwi() {
        if (pending_) {
            pending_ = false;
            return true;
        }
        if (queue_.empty())
            return false;
        const uint8_t byte = queue_.front();
        queue_.pop_front();
        return byte == TalkerCmd::kSwiReport;
    }
    TalkerStatus confirmSwi(Bytes* frame) {
        const TalkerStatus status = repeated([&](bool& stray, bool& overran) {
            if (sweep())
                stray = true;
            sendCommand(TalkerCmd::kSwiConfirm);
            return replyOf(14, kTalkerNoResponse, frame, overran);
        });
        pending_ = false;
        return status;
    }
    TalkerStatus resetTarget() {
        static constexpr std::array<std::pair<uint16_t, uint8_t>, 4> kPrepare{
            {{0x00FD, 0x7E}, {0x00FE, 0x00}, {0x00FF, 0x00}, {0x1039, 0x08}}};
        for (const auto& [address, value] : kPrepare)
            if (TalkerStatus s = writeMemory(1, address, {value}))
                return s;
        resetting_ = true;
        const TalkerStatus s = writeMemory(1, 0x103E, {0x04});
        resetting_ = false;
        return s != kTalkerOk ? kTalkerOk : kTalkerResetFailed;
    }

    const std::vector<Step>& steps() const { return steps_; }
    Bytes hostBytes() const {
        Bytes all;
        for (const Step& s : steps_)
            all.insert(all.end(), s.host.begin(), s.host.end());
        return all;
    }
    bool pending() const { return pending_; }
    bool stray() const { return stray_; }

private:
    bool resetting_ = false;
    // Queued input taken off before a command: "J" kept as a pending hit, the rest dropped.
    bool sweep() {
        const bool any = !queue_.empty();
        if (std::find(queue_.begin(), queue_.end(), TalkerCmd::kSwiReport) != queue_.end())
            pending_ = true;
        queue_.clear();
        return any;
    }
    void sendCommand(uint8_t cmd) {
        ++commands_;
        Bytes answer = commands_ < segments_.size() ? segments_[commands_] : Bytes{};
        queue_.insert(queue_.end(), answer.begin(), answer.end());
        steps_.push_back({{cmd}, std::move(answer)});
    }
    bool take(uint8_t& byte) {
        if (queue_.empty())
            return false;
        byte = queue_.front();
        queue_.pop_front();
        return true;
    }
    // The echo, with one "J" and one stray byte allowed ahead of it.
    TalkerStatus command(uint8_t cmd, TalkerStatus wrongEcho, bool& stray) {
        if (sweep())
            stray = true;
        sendCommand(cmd);
        const auto echo = static_cast<uint8_t>(~cmd);
        bool hitSeen = false;
        bool straySeen = false;
        uint8_t strayByte = 0;
        for (;;) {
            uint8_t byte = 0;
            if (!take(byte)) {
                finishUnwanted(straySeen ? strayByte : echo, cmd);
                return straySeen ? wrongEcho : kTalkerNoResponse;
            }
            if (byte == echo)
                return kTalkerOk;
            if (byte == TalkerCmd::kSwiReport && !hitSeen) {
                hitSeen = true;
                pending_ = true;
            } else if (!straySeen) {
                straySeen = true;
                strayByte = byte;
            } else {
                finishUnwanted(strayByte, cmd);
                return wrongEcho;
            }
            stray = true;
        }
    }
    // The harmless end of the command the talker may be in after a missing or damaged echo, and
    // everything still on its way dropped.
    void finishUnwanted(uint8_t echoSeen, uint8_t sent) {
        if (resetting_)
            return;
        const auto other = static_cast<uint8_t>(~echoSeen);
        const bool known = other == TalkerCmd::kReadMemory || other == TalkerCmd::kWriteMemory ||
                           other == TalkerCmd::kReadRegisters || other == TalkerCmd::kWriteRegisters;
        const uint8_t inside = known ? other : sent;
        if (inside == TalkerCmd::kReadMemory)
            steps_.push_back({{0x02, 0x00, 0x02}, {}});
        else if (inside == TalkerCmd::kWriteMemory)
            steps_.push_back({{0x02, 0x10, 0x3A, 0x00, 0x00}, {}});
        else if (inside != TalkerCmd::kReadRegisters)
            return;
        if (std::find(queue_.begin(), queue_.end(), TalkerCmd::kSwiReport) != queue_.end())
            pending_ = true;
        queue_.clear();
    }
    // n reply bytes; short gives missing (everything there is consumed by the waiting reads).
    TalkerStatus replyOf(size_t n, TalkerStatus missing, Bytes* out, bool& overran) {
        if (queue_.size() < n) {
            queue_.clear();
            return missing;
        }
        if (out)
            out->assign(queue_.begin(), queue_.begin() + static_cast<long>(n));
        queue_.erase(queue_.begin(), queue_.begin() + static_cast<long>(n));
        overran = !queue_.empty();
        return kTalkerOk;
    }
    // One exchange, repeated once when stray bytes follow its reply; 11 when they follow the repeat too.
    template <typename Exchange> TalkerStatus repeated(Exchange exchange) {
        bool stray = false;
        bool overran = false;
        TalkerStatus status = exchange(stray, overran);
        stray_ = stray;
        if (status || !overran)
            return status;
        bool repeatStray = false;
        overran = false;
        if ((status = exchange(repeatStray, overran)))
            return status;
        return overran ? kTalkerBadEcho : kTalkerOk;
    }
    TalkerStatus readOnce(uint8_t count, uint16_t address, Bytes* bytes, bool& stray, bool& overran) {
        if (TalkerStatus s = command(TalkerCmd::kReadMemory, kTalkerBadEcho, stray))
            return s;
        steps_.push_back({{count, static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)}, {}});
        return replyOf(count == 0 ? 256 : count, kTalkerCommError, bytes, overran);
    }
    // readOnce, repeated once when overrun; 11 when the repeat overruns too.
    TalkerStatus readChecked(uint8_t count, uint16_t address, Bytes* bytes, bool& stray) {
        bool overran = false;
        if (TalkerStatus s = readOnce(count, address, bytes, stray, overran); s || !overran)
            return s;
        bool repeatStray = false;
        overran = false;
        if (TalkerStatus s = readOnce(count, address, bytes, repeatStray, overran))
            return s;
        return overran ? kTalkerBadEcho : kTalkerOk;
    }

    std::vector<Bytes> segments_;
    size_t commands_ = 0;
    std::deque<uint8_t> queue_;
    std::vector<Step> steps_;
    bool pending_ = false;
    bool stray_ = false;
};

// A port reopened for every input on one pseudo-terminal. Writes need no pacing.
struct Rig {
    FuzzPty pty;
    SerialPort port;
    TalkerLink link{port};
    bool ready = false;
    Rig() {
        port.readWaitMs = kReadWaitMs;
        port.paceOnPseudoTerminal = false;
        ready = pty.valid() && link.openPort(pty.slavePath() + ":9600,n,8,1") == kTalkerOk;
    }
    // A fresh line: nothing queued either way, no pending hit, no stray mark.
    bool reset() {
        link.closePort();
        pty.discard();
        return link.openPort(pty.slavePath() + ":9600,n,8,1") == kTalkerOk;
    }
};

uint16_t word(const Bytes& f, size_t at) { return static_cast<uint16_t>(f[at] << 8 | f[at + 1]); }

void expectStatus(const char* op, TalkerStatus got, TalkerStatus expected) {
    fuzzExpect(got == expected, std::string(op) + " ended with status " + std::to_string(got) +
                                    ", the replies call for " + std::to_string(expected));
}

std::vector<Bytes> segmentsOf(const uint8_t* data, size_t size) {
    std::vector<Bytes> segments;
    size_t total = 0;
    size_t at = 0;
    while (at + 2 <= size) {
        size_t length = static_cast<size_t>(data[at] << 8 | data[at + 1]);
        at += 2;
        length = std::min({length, size - at, kMaxReplies - total});
        segments.emplace_back(data + at, data + at + length);
        at += length;
        total += length;
    }
    return segments;
}

} // namespace

int fuzzTalkerReply(const uint8_t* data, size_t size) {
    static Rig rig;
    if (size < 4 || !rig.ready || !rig.reset())
        return 0;
    const uint8_t op = data[0] % 8;
    const auto count = data[1];
    const auto address = static_cast<uint16_t>(data[2] << 8 | data[3]);
    const int n = count == 0 ? 256 : count;
    const std::vector<Bytes> segments = segmentsOf(data + 4, size - 4);
    Bytes payload(static_cast<size_t>(n));
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<uint8_t>(address + i * 7);
    const uint32_t SP = address, X = address ^ 0xFFFF, Y = count * 257u, PC = (address + 1u) & 0xFFFF;
    const uint8_t CCR = data[1], B = data[2], A = data[3];
    const Bytes frameSent{static_cast<uint8_t>(SP >> 8), static_cast<uint8_t>(SP), CCR, B, A,
                          static_cast<uint8_t>(X >> 8), static_cast<uint8_t>(X),
                          static_cast<uint8_t>(Y >> 8), static_cast<uint8_t>(Y),
                          static_cast<uint8_t>(PC >> 8), static_cast<uint8_t>(PC)};

    // The model runs first; its steps then drive the far end while the link does the same.
    ProtocolModel model(segments);
    Bytes memory, frame, later;
    TalkerStatus expected = kTalkerOk, expectedLater = kTalkerOk;
    bool expectedPoll = false;
    switch (op) {
    case 0: expected = model.readMemory(count, address, &memory); break;
    case 7:
        expected = model.readMemory(count, address, &memory);
        if (expected == kTalkerOk)
            expectedLater = model.readRegisters(&later);
        break;
    case 1: expected = model.writeMemory(count, address, payload); break;
    case 2: expected = model.readRegisters(&frame); break;
    case 3: expected = model.writeRegisters(frameSent); break;
    case 4: expectedPoll = model.pollSwi(); break;
    case 5: expected = model.confirmSwi(&frame); break;
    case 6: expected = model.resetTarget(); break;
    }

    const Bytes before = segments.empty() ? Bytes{} : segments[0];
    if (!rig.pty.send(before) || !FuzzPty::awaitQueued(rig.port.descriptor(), before.size(), 2000))
        return 0;
    Bytes heard;
    bool farEndKeptStep = true;
    std::thread farEnd([&] {
        for (const Step& step : model.steps()) {
            const Bytes got = rig.pty.receive(step.host.size(), kHostByteWaitMs);
            heard.insert(heard.end(), got.begin(), got.end());
            if (got != step.host) {
                farEndKeptStep = false;
                return;
            }
            if (!step.answer.empty() && !rig.pty.send(step.answer)) {
                farEndKeptStep = false;
                return;
            }
        }
    });

    std::array<uint8_t, 256> buffer{};
    Registers got;
    switch (op) {
    case 0:
    case 7:
        expectStatus("readMemory", rig.link.readMemory(address, count, buffer.data()), expected);
        if (expected == kTalkerOk) {
            fuzzExpect(std::equal(memory.begin(), memory.end(), buffer.begin()),
                       "readMemory stored other bytes than the talker sent");
            if (op == 7)
                expectStatus("readRegisters after readMemory",
                             rig.link.readRegisters(got), expectedLater);
        }
        break;
    case 1: expectStatus("writeMemory", rig.link.writeMemory(address, count, payload.data()), expected); break;
    case 2:
        expectStatus("readRegisters", rig.link.readRegisters(got), expected);
        if (expected == kTalkerOk)
            fuzzExpect(got == Registers{word(frame, 0), frame[2], frame[3], frame[4], word(frame, 5),
                                        word(frame, 7), word(frame, 9)},
                       "readRegisters misplaced a field of the frame");
        break;
    case 3: expectStatus("writeRegisters", rig.link.writeRegisters(Registers{SP, CCR, B, A, X, Y, PC}), expected); break;
    case 4: fuzzExpect(rig.link.pollSwi() == expectedPoll, "pollSwi disagrees with the line and the pending hit"); break;
    case 5:
        expectStatus("confirmSwi", rig.link.confirmSwi(got), expected);
        if (expected == kTalkerOk)
            fuzzExpect(got == Registers{word(frame, 3), frame[5], frame[6], frame[7], word(frame, 8),
                                        word(frame, 10), (word(frame, 1) - 1u) & 0xFFFF},
                       "confirmSwi misplaced a field of the stop frame");
        break;
    case 6: expectStatus("resetTarget", rig.link.resetTarget(), expected); break;
    }
    farEnd.join();

    fuzzExpect(rig.link.swiPending() == model.pending(), "the pending hit differs from the bytes that came");
    if (op != 4)
        fuzzExpect(rig.link.strayBeforeLastCommand() == model.stray(),
                   "the stray mark differs from the bytes that came before the command");
    Bytes more = rig.pty.receive(1, 0);
    heard.insert(heard.end(), more.begin(), more.end());
    fuzzExpect(farEndKeptStep && heard == model.hostBytes(), "the host's bytes on the line differ from the protocol");
    return 0;
}
