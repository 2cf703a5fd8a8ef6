#include "link/ExtendedTalker.h"
#include "link/ByteChannel.h"
#include "link/TalkerLink.h"
#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace TalkerServices;

namespace {
// Services running and services left installed, in this process (read by a signal handler).
std::atomic<int> servicesRunning{0};
std::atomic<int> servicesLeft{0};
// Counts a service as running for its lifetime.
struct RunningService {
    RunningService() { ++servicesRunning; }
    ~RunningService() { --servicesRunning; }
    RunningService(const RunningService&) = delete;
    RunningService& operator=(const RunningService&) = delete;
};

constexpr size_t kImageSize = 256;
constexpr uint8_t kParkedCcr = 0xD0; // S, X and I set: nothing interrupts a service
constexpr uint8_t kInterruptMasks = 0x50;

// From the talker's frame and stopped_pc: whether it holds a program stopped at an SWI. Serving
// from its receive interrupt, it keeps its own stack pointer (the frame's address - 1) there.
bool heldAtSwi(const std::array<uint8_t, 4>& vars) {
    const auto frame = static_cast<uint16_t>(vars[0] << 8 | vars[1]);
    const auto stoppedPc = static_cast<uint16_t>(vars[2] << 8 | vars[3]);
    return stoppedPc != static_cast<uint16_t>(frame - 1);
}

} // namespace

std::optional<TalkerLayout> recogniseTalkerImage(const uint8_t* image, uint8_t switches) {
    if (image[kSignatureAt] != 'T' || image[kSignatureAt + 1] != 'k')
        return std::nullopt;
    TalkerLayout l;
    l.version = image[kVersionAt];
    l.stoppedPc = image[0xCF];
    l.getByte = image[0xD1];
    l.putByte = image[0xD2];
    l.idlePc = image[0xD4];
    l.frame = image[0xD5];
    l.goSwitch = image[0xD7];
    l.echoSwitch = image[0xD8];
    // The services call get_byte and put_byte by address, and the host reads frame and stopped_pc
    // as one block: a file whose layout differs is taken for a plain talker.
    if (l.version != kVersion || l.getByte != kGetByte || l.putByte != kPutByte ||
        l.stoppedPc != l.frame + 2 || l.stoppedPc >= kArea || l.idlePc >= kArea || l.goSwitch >= kArea ||
        l.echoSwitch >= kArea || image[l.goSwitch] != switches || image[l.echoSwitch] != switches)
        return std::nullopt;
    return l;
}

std::optional<TalkerLayout> recogniseTalkerFile(const std::vector<uint8_t>& file) {
    if (file.size() != kImageSize + 1 || file[0] != 0xFF)
        return std::nullopt;
    return recogniseTalkerImage(file.data() + 1, kRts);
}

std::vector<TalkerLink::ImagePatch> checkedModePatches(const TalkerLayout& layout) {
    return {{layout.goSwitch, kNop}, {layout.echoSwitch, kNop}};
}

std::optional<TalkerLayout> recogniseTalkerFile(const std::string& path) {
    // Looked at before the boot opens it: a FIFO or a device must not hold the host here.
    std::error_code error;
    if (path.find('\0') != std::string::npos || !std::filesystem::is_regular_file(path, error))
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::vector<uint8_t> bytes;
    char c = 0;
    while (bytes.size() <= kImageSize + 1 && in.get(c))
        bytes.push_back(static_cast<uint8_t>(c));
    return recogniseTalkerFile(bytes);
}

// ---------------------------------------------------------------- parking

TalkerStatus ExtendedTalker::readStable(uint32_t address, uint32_t count, uint8_t* out) {
    std::vector<uint8_t> previous(count), now(count);
    TalkerStatus status = kTalkerOk;
    for (int i = 0; i < 5; ++i) {
        status = link_.readMemory(address, count, now.data(), ReplyEnd::Settled);
        if (!status && i > 0 && now == previous) {
            std::copy(now.begin(), now.end(), out);
            return kTalkerOk;
        }
        if (!status)
            previous.swap(now);
    }
    return status ? status : kTalkerBadEcho;
}

TalkerStatus ExtendedTalker::readStableRegisters(Registers& r) {
    Registers previous, now;
    TalkerStatus status = kTalkerOk;
    for (int i = 0; i < 5; ++i) {
        status = link_.readRegisters(now);
        if (!status && i > 0 && now == previous) {
            r = now;
            return kTalkerOk;
        }
        if (!status)
            previous = now;
    }
    return status ? status : kTalkerBadEcho;
}

int ExtendedTalker::replyWait() const { return std::max(replyWaitMs, link_.port().readWaitMs); }

bool ExtendedTalker::awaitStop(int waitMs) {
    ByteChannel& port = link_.port();
    const Deadline deadline = Deadline::afterMs(waitMs);
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::microseconds>(deadline.remaining());
        if (left.count() <= 0 || !port.inputWithin(left))
            return false;
        uint8_t byte = 0;
        if (port.read(&byte, 1) == 1 && byte == TalkerCmd::kSwiReport)
            return true;
    }
}

TalkerStatus ExtendedTalker::writeFrame(const Registers& r) {
    const TalkerStatus status = link_.writeRegisters(r);
    (void)link_.finishRegisterWrite(r, status);
    return status;
}

TalkerStatus ExtendedTalker::begin(Parking& p, bool& usable) {
    usable = false;
    if (!layout_)
        return kTalkerOk;
    if (TalkerStatus s = endLeft())
        return s;
    // A first look decides; a program that runs keeps the slots (and its registers change).
    Registers frame;
    std::array<uint8_t, 4> vars{}; // frame, stopped_pc
    if (TalkerStatus s = link_.readRegisters(frame))
        return s;
    if (TalkerStatus s = link_.readMemory(layout_->frame, 4, vars.data(), ReplyEnd::Settled))
        return s;
    bool held = heldAtSwi(vars);
    if (!held && frame.PC != layout_->idlePc)
        return kTalkerOk;
    // What is kept to be written back is read until two reads agree: a damaged byte in it would
    // be written back into the target.
    if (TalkerStatus s = readStableRegisters(frame))
        return s;
    if (TalkerStatus s = readStable(layout_->frame, 4, vars.data()))
        return s;
    held = heldAtSwi(vars);
    const bool idle = !held && frame.PC == layout_->idlePc;
    if (!held && !idle)
        return kTalkerOk;
    if (TalkerStatus s = readStable(kArea, kAreaSize, p.savedSlots.data()))
        return s;
    p.slotsSaved = true;
    p.frame = frame;
    p.stoppedPc = {vars[2], vars[3]};
    p.fromIdle = idle;
    usable = true;
    if (held) {
        p.parked = true;
        return kTalkerOk;
    }
    // An unused slot's SWI parks the talker, interrupts masked, on the idle frame's place.
    Registers park = frame;
    park.CCR = static_cast<uint8_t>(frame.CCR | kInterruptMasks);
    park.PC = kParkAt;
    for (int attempt = 0; attempt < 3; ++attempt) {
        (void)writeFrame(park); // a failed echo: the frame may have arrived all the same
        p.parked = true; // even when its "J" is lost: end() returns to the idle frame either way
        if (awaitStop(replyWait()))
            return kTalkerOk;
        // Parked with the "J" lost, or still idle (the frame did not arrive whole).
        Registers now;
        if (TalkerStatus r = readStableRegisters(now))
            return r;
        if (now.PC == kParkAt + 1)
            return kTalkerOk;
        if (now.PC != layout_->idlePc)
            return kTalkerNoResponse;
    }
    return kTalkerNoResponse;
}

TalkerStatus ExtendedTalker::start(const Parking& p, uint8_t a, uint8_t b, uint32_t x, uint32_t y) {
    Registers r;
    r.SP = p.frame.SP;
    r.CCR = kParkedCcr;
    r.A = a;
    r.B = b;
    r.X = x;
    r.Y = y;
    r.PC = kArea;
    TalkerStatus status = kTalkerOk;
    // A checked register write that fails has kept the frame stopped: nothing started.
    for (int attempt = 0; attempt < 3; ++attempt)
        if (!(status = writeFrame(r)))
            return kTalkerOk;
    return status;
}

TalkerStatus ExtendedTalker::finish(Parking& p) {
    const TalkerStatus status = end(p);
    if (status) {
        if (!unfinished_)
            ++servicesLeft;
        unfinished_ = p;
        keptRead_ = keptRunning_ = false;
    }
    return status;
}

// Marks the object at work for its lifetime (restoring the mark it found).
struct ExtendedTalker::AtWork {
    explicit AtWork(bool& flag) : flag_(flag), was_(flag) { flag = true; }
    ~AtWork() { flag_ = was_; }
    AtWork(const AtWork&) = delete;
    AtWork& operator=(const AtWork&) = delete;
    bool& flag_;
    bool was_;
};

TalkerStatus ExtendedTalker::endLeftService() {
    // The services' own commands pass the link's gate too: they must not end what they use.
    if (atWork_)
        return kTalkerOk;
    return endLeft();
}

TalkerStatus ExtendedTalker::endLeft() {
    if (!unfinished_)
        return kTalkerOk;
    const AtWork working(atWork_);
    Parking left = *unfinished_;
    if (keptRead_ && keptRunning_) {
        // The read service still waits for a header: the filler ends it (a parked talker drops
        // the filler, so a second try after a failed one does no harm).
        const uint8_t filler = kFiller;
        if (link_.port().write(&filler, 1) != 0)
            return kTalkerCommError;
        if (!awaitStop(replyWait()))
            if (TalkerStatus s = resync())
                return s;
        keptRunning_ = false;
    }
    const TalkerStatus status = end(left);
    if (status)
        return status; // still installed; tried again before the next conversation
    unfinished_.reset();
    keptRead_ = false;
    keptRunning_ = false;
    --servicesLeft;
    return kTalkerOk;
}


ExtendedTalker::~ExtendedTalker() {
    if (unfinished_)
        --servicesLeft;
}

void ExtendedTalker::setLayout(std::optional<TalkerLayout> layout) {
    layout_ = layout;
    if (unfinished_)
        --servicesLeft; // the talker was booted afresh: nothing of the service is left
    unfinished_.reset();
    keptRead_ = keptRunning_ = false;
}

bool ExtendedTalker::anyServiceBusy() { return servicesRunning.load() > 0 || servicesLeft.load() > 0; }

TalkerStatus ExtendedTalker::end(Parking& p) {
    if (!p.parked)
        return kTalkerOk;
    TalkerStatus status = kTalkerOk;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (p.slotsSaved && (status = link_.writeMemory(kArea, kAreaSize, p.savedSlots.data())))
            continue;
        // A stopped program stays stopped: the frame's PC must equal stopped_pc again.
        if (!p.fromIdle && (status = link_.writeMemory(layout_->stoppedPc, 2, p.stoppedPc.data())))
            continue;
        status = writeFrame(p.frame);
        if (!status) {
            p.parked = false;
            return kTalkerOk;
        }
        // The frame may have gone in all the same: idle again, or held with the saved frame.
        Registers now;
        if (readStableRegisters(now) == kTalkerOk &&
            (p.fromIdle ? now.PC == layout_->idlePc : now == p.frame)) {
            p.parked = false;
            return kTalkerOk;
        }
    }
    return status;
}

// ---------------------------------------------------------------- faster line

TalkerStatus ExtendedTalker::recoverSlowLine() {
    ByteChannel& port = link_.port();
    // The talker went back to 9600 by itself unless the confirmation reached it and only its
    // answer was lost; its "J" then came at the fast rate.
    // The service's wait is counted in E cycles: a slower crystal makes it longer.
    const int serviceWaitMs = static_cast<int>(int64_t(kFastTimeoutMs) * kFastBaud / std::max<uint32_t>(1, link_.rates.fast));
    if (awaitStop(serviceWaitMs + replyWait()))
        return kTalkerOk;
    Registers r;
    if (link_.readRegisters(r) == kTalkerOk)
        return kTalkerOk;
    if (port.setBaud(link_.rates.fast) != 0)
        return kTalkerCommError;
    if (link_.readRegisters(r) != kTalkerOk) {
        (void)port.setBaud(link_.rates.talker);
        return kTalkerNoResponse;
    }
    // It answers at the fast rate: BAUD = $30 through a checked write, whose last echo comes before the
    // change. Each byte goes after the echo of the one before; the reply to the command byte is
    // the byte itself and its complement.
    static constexpr uint8_t slow[] = {TalkerCmd::kWriteMemory, 0x01, 0x10, 0x2B, TalkerCmd::kGo, 0x30};
    bool sent = true;
    for (size_t i = 0; sent && i < sizeof slow; ++i) {
        uint8_t echo[2] = {};
        const int n = i == 0 ? 2 : 1;
        sent = port.write(slow + i, 1) == 0 && receive(echo, size_t(n)) && echo[0] == slow[i] &&
               (n == 1 || echo[1] == static_cast<uint8_t>(~slow[0]));
    }
    if (port.setBaud(link_.rates.talker) != 0)
        return kTalkerCommError;
    if (!sent)
        return kTalkerNoResponse;
    return link_.readRegisters(r);
}

TalkerStatus ExtendedTalker::switchToFastLine(bool& fast) {
    fast = false;
    const RunningService running;
    const AtWork working(atWork_);
    ByteChannel& port = link_.port();
    Parking p;
    bool usable = false;
    TalkerStatus status = begin(p, usable);
    if (!usable)
        return status;
    if (!status)
        status = link_.writeMemory(kArea, kFastLine.size(), kFastLine.data());
    if (!status)
        status = start(p, kRdrf, kFastConfirm, 0, kSlowRateWord);
    if (!status) {
        // The register write has left the host: the service is at the fast rate now.
        uint8_t reply[2] = {};
        int got = 0;
        if (port.setBaud(link_.rates.fast) == 0) {
            const uint8_t confirm = kFastConfirm;
            if (port.write(&confirm, 1) == 0)
                while (got < 2 && port.inputWithin(std::chrono::milliseconds(replyWait())) &&
                       port.read(reply + got, 1) == 1)
                    ++got;
        }
        fast = got == 2 && reply[0] == kFastAnswer && reply[1] == TalkerCmd::kSwiReport;
        link_.restartBaud = fast ? link_.rates.talker : 0;
        if (!fast) {
            if (port.setBaud(link_.rates.talker) != 0)
                status = kTalkerCommError;
            else
                status = recoverSlowLine();
        }
    }
    const TalkerStatus ended = finish(p);
    return status ? status : ended;
}

// ---------------------------------------------------------------- EEPROM blocks

bool ExtendedTalker::eepromStep(uint8_t op, uint8_t data, uint8_t& readBack) {
    ByteChannel& port = link_.port();
    const uint8_t step[2] = {op, data};
    // Both come back as the service takes them, then the byte read back after the pulse.
    uint8_t echo[2] = {};
    if (port.write(step, 2) != 0 || !receive(echo, 2) || echo[0] != op || echo[1] != data)
        return false;
    const auto wait = std::chrono::microseconds(kPulseUs * 2) + std::chrono::milliseconds(replyWait());
    return port.inputWithin(wait) && port.read(&readBack, 1) == 1;
}

TalkerStatus ExtendedTalker::eepromPass(const Parking& p, uint32_t address, uint32_t count,
                                        const uint8_t* data, const uint8_t* old) {
    ByteChannel& port = link_.port();
    uint32_t i = 0;
    while (i < count) {
        if (data[i] == old[i]) {
            ++i;
            continue;
        }
        // One run of bytes that change; the service ends after its last byte.
        uint32_t last = i;
        while (last + 1 < count && data[last + 1] != old[last + 1])
            ++last;
        const uint32_t lastAddress = address + last;
        std::array<uint8_t, kEepromBlock.size()> service = kEepromBlock;
        service[kEepromLastOffset] = static_cast<uint8_t>(lastAddress >> 8);
        service[kEepromLastOffset + 1] = static_cast<uint8_t>(lastAddress);
        if (TalkerStatus s = link_.writeMemory(kArea, service.size(), service.data()))
            return s;
        if (TalkerStatus s = start(p, 0, 0, address + i, 0))
            return s;
        bool inStep = true;
        for (; i <= last && inStep; ++i) {
            uint8_t back = 0;
            if ((data[i] & ~old[i]) != 0) // a bit goes from 0 to 1
                inStep = eepromStep(kEraseOp, 0xFF, back) && back == 0xFF;
            inStep = inStep && eepromStep(kProgramOp, data[i], back) && back == data[i];
        }
        if (inStep && awaitStop(replyWait())) {
            i = last + 1;
            continue;
        }
        // Out of step (a byte lost, doubled or damaged): the filler changes nothing wherever it
        // lands, and the service ends once it has passed the run's last byte.
        bool stopped = false;
        for (uint32_t n = 0; n < 2 * (last - i + 2) + 4 && !stopped; ++n) {
            const uint8_t filler = kProgramOp;
            if (port.write(&filler, 1) != 0)
                return kTalkerCommError;
            stopped = awaitStop(kPulseUs / 1000 * 2 + replyWait());
        }
        if (!stopped)
            return kTalkerNoResponse;
        i = last + 1; // the verification decides
    }
    return kTalkerOk;
}

TalkerStatus ExtendedTalker::programEeprom(uint32_t address, uint32_t count, const uint8_t* data, bool& handled,
                                           uint32_t& failedAt) {
    handled = false;
    failedAt = 0;
    if (!layout_ || count == 0)
        return kTalkerOk;
    const RunningService running;
    const AtWork working(atWork_);
    Parking p;
    bool usable = false;
    TalkerStatus status = begin(p, usable);
    if (!usable && !status)
        return kTalkerOk;
    handled = true;
    std::vector<uint8_t> old(count);
    for (int attempt = 0; !status; ++attempt) {
        for (uint32_t at = 0; !status && at < count; at += 256)
            status = link_.readMemory(address + at, std::min<uint32_t>(256, count - at), old.data() + at,
                                      ReplyEnd::Settled);
        if (status)
            break;
        const auto diff = std::mismatch(data, data + count, old.begin());
        if (diff.first == data + count) {
            failedAt = 0;
            break;
        }
        failedAt = address + static_cast<uint32_t>(diff.first - data);
        if (attempt == eepromAttempts) {
            status = kTalkerEepromProgramFailed;
            break;
        }
        status = eepromPass(p, address, count, data, old.data());
    }
    const TalkerStatus ended = finish(p);
    return status ? status : ended;
}

// ---------------------------------------------------------------- checked reads and writes

namespace {
constexpr uint32_t kPiece = 256;
constexpr uint32_t kLongestRun = 64; // pages of one checked read
constexpr uint32_t kTalkerRam = 0x100;
// The stopped program's frame and what a service pushes around it (SP .. SP + 8, calls below SP + 8).
constexpr uint32_t kFrameBelow = 4;
constexpr uint32_t kFrameAbove = 9;

uint16_t sumOf(const uint8_t* bytes, size_t n, uint16_t sum = 0) {
    for (size_t i = 0; i < n; ++i)
        sum = static_cast<uint16_t>(sum + bytes[i]);
    return sum;
}

} // namespace

bool ExtendedTalker::meetsServiceMemory(const Parking& p, uint32_t address, uint32_t count) {
    const uint32_t frameFirst = p.frame.SP >= kFrameBelow ? p.frame.SP - kFrameBelow : 0;
    const uint32_t end = address + count;
    return address < kTalkerRam || (address < frameFirst + kFrameBelow + kFrameAbove && end > frameFirst);
}

bool ExtendedTalker::receive(uint8_t* out, size_t n) {
    ByteChannel& port = link_.port();
    for (size_t got = 0; got < n;) {
        if (!port.inputWithin(std::chrono::milliseconds(replyWait())))
            return false;
        const int r = port.read(out + got, static_cast<int>(n - got));
        if (r <= 0)
            return false;
        got += static_cast<size_t>(r);
    }
    return true;
}

bool ExtendedTalker::drainToStop() {
    ByteChannel& port = link_.port();
    bool lastWasStop = false;
    const auto quiet = port.characterTime(8) + std::chrono::milliseconds(replyWait());
    while (port.inputWithin(quiet)) {
        uint8_t byte = 0;
        if (port.read(&byte, 1) == 1)
            lastWasStop = byte == TalkerCmd::kSwiReport;
    }
    return lastWasStop;
}

TalkerStatus ExtendedTalker::resync() {
    ByteChannel& port = link_.port();
    const uint8_t filler = kFiller;
    TalkerStatus status = kTalkerOk;
    for (int attempt = 0; attempt < 2; ++attempt) {
        // The filler may be lost on its way: the service then ends at the next one.
        if (port.write(&filler, 1) != 0)
            return kTalkerCommError;
        (void)drainToStop();
        Registers r;
        status = link_.readRegisters(r);
        (void)link_.pollSwi(); // a "J" the link kept is the service's end
        if (!status)
            break;
    }
    return status;
}

TalkerStatus ExtendedTalker::readOnce(uint32_t address, uint32_t pages, uint8_t* out, bool& bad) {
    ByteChannel& port = link_.port();
    bad = true;
    const uint8_t header[4] = {kReadBlock, static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8),
                               static_cast<uint8_t>(pages)};
    // One byte at a time, each after it came back: the host always knows how much of the header
    // the service has taken. Only the pages byte is followed by data at once.
    size_t taken = 0;
    for (int lost = 0; taken < 4 && lost < 3;) {
        if (port.write(header + taken, 1) != 0)
            return kTalkerCommError;
        uint8_t echo = 0;
        if (!receive(&echo, 1)) {
            ++lost; // lost on its way: sent again
            continue;
        }
        if (echo != header[taken] || (taken < 3 && port.inputWithin(port.characterTime(2)))) {
            // Damaged or doubled. A first byte other than $00 has ended the service; otherwise the
            // rest of the header asks for one page at $0000 (read and dropped), after which filler
            // ends the service. (A doubled byte moves the service one place on.)
            if (taken == 0 && echo != kReadBlock)
                return awaitStop(replyWait()) ? kTalkerOk : resync();
            const bool doubled = echo == header[taken];
            taken += doubled ? 2 : 1;
            static constexpr uint8_t onePage[4] = {kReadBlock, 0x00, 0x00, 0x01};
            for (; taken < 4; ++taken)
                if (port.write(onePage + taken, 1) != 0)
                    return kTalkerCommError;
            (void)drainToStop();
            return resync();
        }
        ++taken;
    }
    if (taken < 4)
        return kTalkerNoResponse;
    const uint32_t n = pages * kPiece;
    std::vector<uint8_t> reply(n + 2);
    bad = !receive(reply.data(), reply.size()) ||
          static_cast<uint16_t>(sumOf(reply.data(), n, readSum_)) != (reply[n] << 8 | reply[n + 1]) ||
          port.hasInput();
    if (!bad) {
        std::copy(reply.begin(), reply.begin() + n, out);
        readSum_ = static_cast<uint16_t>(out[n - 1] << 8);
        return kTalkerOk;
    }
    // The block's end is not where it should be: whatever is left comes first, then filler ends
    // the service (waiting for a first byte again, unless a lost byte keeps it inside the block,
    // which the filler then completes).
    (void)drainToStop();
    return resync();
}

TalkerStatus ExtendedTalker::readBlock(uint32_t address, uint32_t count, uint8_t* buffer, bool& handled) {
    handled = false;
    if (!layout_ || count < kPiece || address + count > 0x10000)
        return kTalkerOk;
    const RunningService inService;
    const AtWork working(atWork_);
    Parking p;
    bool usable = false;
    TalkerStatus status = kTalkerOk;
    // The read service kept from the read before is used again where this read needs nothing the
    // plain way: no parking, no saving, no installing.
    const bool reuse = unfinished_ && keptRead_ && !meetsServiceMemory(*unfinished_, address, count);
    const bool stillRunning = reuse && keptRunning_;
    if (reuse) {
        p = *unfinished_;
        unfinished_.reset();
        keptRead_ = keptRunning_ = false;
        --servicesLeft;
        usable = true;
    } else {
        status = begin(p, usable);
    }
    if (!usable && !status)
        return kTalkerOk;
    handled = true;
    if (!status && !reuse)
        status = link_.writeMemory(kArea, kCheckedRead.size(), kCheckedRead.data());
    // A service still running goes on with the next header (and its running sum).
    if (!status && !stillRunning) {
        status = start(p, 0, 0, 0, 0);
        readSum_ = 0;
    }
    // Whole pages; a count that is no multiple of 256 ends with the page that ends with it.
    uint32_t run = kLongestRun;
    int failures = 0;
    bool running = !status;
    uint32_t done = 0;
    std::vector<uint8_t> page(kPiece);
    while (!status && done < count && failures < serviceFailures) {
        const bool tail = count - done < kPiece;
        const uint32_t from = tail ? count - kPiece : done;
        const uint32_t pages = tail ? 1 : std::min(run, (count - done) / kPiece);
        std::vector<uint8_t> got(pages * kPiece);
        bool bad = true;
        if ((status = readOnce(address + from, pages, got.data(), bad)))
            break;
        if (!bad) {
            std::copy(got.begin() + (done - from), got.end(), buffer + done);
            done = from + pages * kPiece;
            run = std::min(kLongestRun, run * 2);
            continue;
        }
        ++failures;
        run = std::max<uint32_t>(1, run / 2);
        // The service has ended; it is started afresh unless the line is too poor for it.
        running = false;
        if (failures < serviceFailures) {
            readSum_ = 0;
            status = start(p, 0, 0, 0, 0);
            running = !status;
        }
    }
    // Kept installed, and running, for the next read when nothing of this one must be read the
    // plain way; any other command ends it first (the link's command gate), and so does every way
    // out.
    if (!status && done == count && keepReadService && !meetsServiceMemory(p, address, count)) {
        unfinished_ = p;
        keptRead_ = true;
        keptRunning_ = running;
        ++servicesLeft;
        return kTalkerOk;
    }
    if (running) {
        const uint8_t end = kFiller;
        if (link_.port().write(&end, 1) != 0 || !awaitStop(replyWait()))
            status = resync();
    }
    const Parking saved = p;
    const TalkerStatus ended = finish(p);
    if (status || ended)
        return status ? status : ended;
    // The slots read as the service, the talker's RAM and the frame as it left them: the plain way.
    const uint32_t frameFirst = saved.frame.SP >= kFrameBelow ? saved.frame.SP - kFrameBelow : 0;
    // A line too poor for the service fails the read: a plain read carries no check and could
    // report damaged bytes as read.
    if (done < count)
        return kTalkerBadEcho;
    const std::pair<uint32_t, uint32_t> plain[] = {{0, kTalkerRam}, {frameFirst, kFrameBelow + kFrameAbove}};
    for (const auto& [first, size] : plain) {
        const uint32_t from = std::max(first, address);
        const uint32_t to = std::min(first + size, address + count);
        if (from < to)
            if ((status = readStable(from, to - from, buffer + (from - address))))
                return status;
    }
    return kTalkerOk;
}
