#pragma once
#include "link/Registers.h"
#include "link/TalkerLink.h"
#include "link/TalkerStatus.h"
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class TalkerLink;

// The service routines of our talker's extended mode and the numbers they run by. The routines
// are assembled with the talker (section .services of target/talker.s); these are copies of their
// bytes, which a test compares with the assembled ones.
namespace TalkerServices {
// Pseudo-vector slots a service is written over: SCI ($00C4) up to XIRQ ($00F1-$00F3).
inline constexpr uint32_t kArea = 0x00C4;
inline constexpr uint32_t kAreaSize = 0x30;
// An unused slot's SWI, where an idle talker is parked before a service is installed.
inline constexpr uint32_t kParkAt = 0x00C7;

// svc_fast: B = kFastConfirm, X = 0, Y = kSlowRateWord (A is its own).
inline constexpr std::array<uint8_t, 38> kFastLine{
    0xB6, 0x10, 0x2E, 0x84, 0x40, 0x27, 0xF9, 0x86, 0x20, 0x7F, 0x10, 0x2B, 0xB5, 0x10, 0x2E,
    0x26, 0x05, 0x09, 0x26, 0xF8, 0x20, 0x0B, 0xB6, 0x10, 0x2F, 0x11, 0x26, 0x05, 0x43, 0xB7,
    0x10, 0x2F, 0x3F, 0x18, 0xFF, 0x10, 0x2B, 0x3F};
inline constexpr uint8_t kRdrf = 0x20;
inline constexpr uint8_t kFastConfirm = 0x5A;
inline constexpr uint8_t kFastAnswer = 0xA5;
inline constexpr uint32_t kSlowRateWord = 0x3000; // BAUD $30, SCCR1 $00
// The host's rates for them with an 8 MHz crystal (the link's rates hold those of the board's).
inline constexpr uint32_t kFastBaud = 125000;
inline constexpr uint32_t kSlowBaud = 9600;
// The service's own wait for the confirmation: 65536 turns of 13 E cycles at 2 MHz.
inline constexpr int kFastTimeoutMs = 426;

// svc_ee: X = first address; the last address is patched in at kEepromLastOffset (high first).
inline constexpr std::array<uint8_t, 47> kEepromBlock{
    0x8C, 0x00, 0x00, 0x22, 0x29, 0x9D, 0x8F, 0x16, 0x9D, 0x8F, 0x53, 0xC4, 0x04, 0xCA, 0x12,
    0xF7, 0x10, 0x3B, 0xA7, 0x00, 0x5C, 0xF7, 0x10, 0x3B, 0x18, 0xCE, 0x0B, 0x54, 0x18, 0x09,
    0x26, 0xFC, 0x7F, 0x10, 0x3B, 0xA6, 0x00, 0x9D, 0x9A, 0xC5, 0x04, 0x26, 0xD5, 0x08, 0x20,
    0xD2, 0x3F};
inline constexpr size_t kEepromLastOffset = 1;
inline constexpr uint8_t kEraseOp = 0x00;
inline constexpr uint8_t kProgramOp = 0xFF; // also the filler that changes nothing
// One pulse of the service: 2900 turns of 7 E cycles.
inline constexpr int kPulseUs = 10150;

// svc_rd: serves checked reads of whole pages until a first byte other than kReadBlock; Y = 0.
inline constexpr std::array<uint8_t, 43> kCheckedRead{
    0x9D, 0x8F, 0x26, 0x26, 0x9D, 0x8F, 0x36, 0x9D, 0x8F, 0x36, 0x38, 0x9D, 0x8F, 0x16, 0x37,
    0x5F, 0xA6, 0x00, 0x9D, 0x9A, 0x37, 0x16, 0x18, 0x3A, 0x33, 0x08, 0x5A, 0x26, 0xF3, 0x33,
    0x5A, 0x26, 0xED, 0x18, 0x8F, 0x9D, 0x9A, 0x17, 0x9D, 0x9A, 0x20, 0xD6, 0x3F};
inline constexpr uint8_t kReadBlock = 0x00;
// Ends a service wherever it waits for a first byte and is dropped by the parked talker.
inline constexpr uint8_t kFiller = 0xFF;

// Where the layout bytes sit in the talker's image ($0000-$00FF).
inline constexpr uint32_t kSignatureAt = 0xCB; // "Tk"
inline constexpr uint32_t kVersionAt = 0xCE;
inline constexpr uint8_t kVersion = 2;
inline constexpr uint8_t kRts = 0x39;
inline constexpr uint8_t kNop = 0x01;
// What the copies above were assembled against (version 2).
inline constexpr uint8_t kGetByte = 0x8F;
inline constexpr uint8_t kPutByte = 0x9A;
} // namespace TalkerServices

// Our talker's layout, as its file declares it.
struct TalkerLayout {
    uint8_t version = 0;
    uint8_t stoppedPc = 0; // two bytes: the stopped program's PC
    uint8_t getByte = 0;
    uint8_t putByte = 0;
    uint8_t idlePc = 0;
    uint8_t frame = 0; // two bytes just below stoppedPc: the frame's SP
    uint8_t goSwitch = 0;   // RTS, NOP in checked mode
    uint8_t echoSwitch = 0; // RTS, NOP in checked mode
};

// The image bytes that switch our talker to checked mode.
std::vector<TalkerLink::ImagePatch> checkedModePatches(const TalkerLayout& layout);

// Our talker's layout from its 256-byte image, as in its file (switches RTS) or running in
// checked mode (switches NOP); nothing when it is not ours or is ours in a layout these services
// do not fit.
std::optional<TalkerLayout> recogniseTalkerImage(const uint8_t* image, uint8_t switches);
// Our talker's layout from a talker file's bytes (the sync byte $FF, then the 256-byte image),
// or nothing when the file is not ours or is ours in a layout these services do not fit.
std::optional<TalkerLayout> recogniseTalkerFile(const std::vector<uint8_t>& file);
// The same for a file on disk; nothing when it cannot be read.
std::optional<TalkerLayout> recogniseTalkerFile(const std::string& path);

// The host side of our talker's extended mode: the faster line, checked block reads, and EEPROM
// blocks programmed by the talker, each through a service routine written over the pseudo-vector
// slots for the time it runs (see target/talker.s); the commands themselves are checked by the
// link (TalkerLink's checked mode). It is used only once the talker was recognised as ours
// (setLayout); everything else keeps the plain protocol. A service runs only while no program
// runs: an idle talker is parked first, a program stopped at an SWI stays stopped. The slots are
// saved before (two reads that agree) and written back (and verified) after, so the target ends
// as it was, apart from what the service did. On a poor line (several failed blocks) a checked
// read fails rather than go on.
class ExtendedTalker {
public:
    explicit ExtendedTalker(TalkerLink& link) : link_(link) {}
    ~ExtendedTalker();
    ExtendedTalker(const ExtendedTalker&) = delete;
    ExtendedTalker& operator=(const ExtendedTalker&) = delete;

    // Our talker's layout (from the file just booted), or nothing for any other talker.
    // A service left installed by the talker booted before is forgotten (the boot restarted it).
    void setLayout(std::optional<TalkerLayout> layout);
    // True when the booted talker is ours.
    bool active() const { return layout_.has_value(); }
    // The layout in use (only while active).
    const TalkerLayout& layout() const { return *layout_; }

    // Moves both ends of the line to the fast rate (125000 baud with 8 MHz) and confirms it there.
    // fast tells the outcome: false leaves (or brings) both ends back at the talker's rate. A non-zero status means the
    // conversation itself failed (the target may not be as it was).
    [[nodiscard]] TalkerStatus switchToFastLine(bool& fast);

    // Programs count bytes of EEPROM from address through the EEPROM service: bytes
    // already equal are skipped, a byte is erased only when a bit must go from 0 to 1. handled is
    // false (and nothing was done) when the service cannot be used now: not our talker, or a
    // program runs. Otherwise the result is that of the block: 15 with failedAt at the first byte
    // that does not read back right after the repeats.
    [[nodiscard]] TalkerStatus programEeprom(uint32_t address, uint32_t count, const uint8_t* data,
                                             bool& handled, uint32_t& failedAt);

    // Reads count (at least 256) bytes through the checked-read service: every block comes with
    // the header the talker understood and a sum, and is read again when either is wrong; 11 when
    // the line stays too poor. handled is false (and nothing was done) when the service cannot be
    // used now. The talker's own RAM and the stopped program's frame, which the service itself
    // moves, are read afterwards the plain way, until two reads agree.
    [[nodiscard]] TalkerStatus readBlock(uint32_t address, uint32_t count, uint8_t* buffer, bool& handled);
    // True while a service is installed over the slots: the read service kept for the next
    // checked read, or any service whose end failed (the line went away during it). Nothing else
    // may go to the talker until endLeftService() succeeds (the link's command gate sees to it).
    bool serviceLeft() const { return unfinished_.has_value(); }
    // True while a service is installed because its end failed (not kept on purpose).
    bool serviceCutShort() const { return unfinished_.has_value() && !keptRead_; }
    // Ends an installed service: the slots written back, the frame (and a held program's stopped
    // PC) as before the service. 0 when none was installed or it is ended now. Does nothing while
    // this object itself talks to the talker.
    [[nodiscard]] TalkerStatus endLeftService();
    // True while any service runs or is left installed in this process: an end signal then waits
    // for the service's orderly end instead of ending the process at once.
    static bool anyServiceBusy();

    // Whether the read service stays installed after a checked read, for the next one.
    bool keepReadService = true;
    // Blocks shorter than this go the plain way (a service costs about 300 bytes of traffic).
    uint32_t serviceMinimum = 512;
    // EEPROM parts shorter than this are programmed the plain way.
    uint32_t eepromMinimum = 16;
    // Failed blocks after which a checked read fails (11). A failed block halves the block (64
    // pages down to one), a good one doubles it.
    int serviceFailures = 6;
    // The longest silence, in milliseconds, before a service's reply is given up (the port's read
    // wait when that is longer).
    int replyWaitMs = 200;
    // How often a block is tried before it fails.
    int eepromAttempts = 3;

private:
    // What begin() found and changed, for end().
    struct Parking {
        Registers frame;                   // the frame to return to
        std::array<uint8_t, 2> stoppedPc{}; // the talker's stopped_pc before
        bool fromIdle = false;
        bool parked = false;               // the talker runs parked now
        std::array<uint8_t, TalkerServices::kAreaSize> savedSlots{};
        bool slotsSaved = false;
    };
    // Register write; after a missing or damaged echo the frame is sent all the same where that is
    // harmless (see TalkerLink::finishRegisterWrite). The link's status is returned.
    [[nodiscard]] TalkerStatus writeFrame(const Registers& r);
    // Parks the talker and saves the slots; usable false (nothing changed) when a program runs.
    [[nodiscard]] TalkerStatus begin(Parking& p, bool& usable);
    // Writes the slots back and returns to the saved frame.
    [[nodiscard]] TalkerStatus end(Parking& p);
    // Starts the installed service with the parked frame's SP and these registers.
    [[nodiscard]] TalkerStatus start(const Parking& p, uint8_t a, uint8_t b, uint32_t x, uint32_t y);
    // replyWaitMs, or the port's read wait when that is longer.
    int replyWait() const;
    // Waits up to waitMs for the talker's "J"; other bytes before it are dropped.
    bool awaitStop(int waitMs);
    // One pass of the EEPROM service over address..address+count-1 (the service is installed).
    [[nodiscard]] TalkerStatus eepromPass(const Parking& p, uint32_t address, uint32_t count,
                                          const uint8_t* data, const uint8_t* old);
    // Sends op and data and receives the byte read back; false when it does not come.
    bool eepromStep(uint8_t op, uint8_t data, uint8_t& readBack);
    // Collects exactly n bytes, each within the reply wait; false when one does not come.
    bool receive(uint8_t* out, size_t n);
    // Takes everything that arrives until the line is quiet; true when the last byte was "J".
    bool drainToStop();
    // Ends a service that waits for a block's first byte (filler), and checks that the parked
    // talker answers; any "J" met on the way is the service's, never a program's.
    [[nodiscard]] TalkerStatus resync();
    // One block of a checked read; bad is set when it must be repeated (the service has then
    // ended).
    [[nodiscard]] TalkerStatus readOnce(uint32_t address, uint32_t pages, uint8_t* out, bool& bad);
    // Reads until two reads in a row agree (a few tries, else 11): the copies begin() keeps.
    [[nodiscard]] TalkerStatus readStable(uint32_t address, uint32_t count, uint8_t* out);
    [[nodiscard]] TalkerStatus readStableRegisters(Registers& r);
    // After a failed confirmation: finds the rate the parked talker answers at and leaves both ends at 9600.
    [[nodiscard]] TalkerStatus recoverSlowLine();

    struct AtWork;
    // Ends what begin() started; on a failure it is kept and ended again by the next begin().
    [[nodiscard]] TalkerStatus finish(Parking& p);

    TalkerLink& link_;
    std::optional<TalkerLayout> layout_;
    // Ends unfinished_ (whoever asks).
    [[nodiscard]] TalkerStatus endLeft();
    // Whether a read of [address, address + count) meets the talker's RAM or the frame the
    // services move, which are read the plain way once the service is gone.
    static bool meetsServiceMemory(const Parking& p, uint32_t address, uint32_t count);

    std::optional<Parking> unfinished_;
    bool keptRead_ = false;    // unfinished_ is the read service, kept installed on purpose
    bool keptRunning_ = false; // and still running, waiting for the next block's header
    bool atWork_ = false;   // this object talks to the talker: the command gate stays open
    // Where the read service's sum starts for the next block.
    uint16_t readSum_ = 0;
};
