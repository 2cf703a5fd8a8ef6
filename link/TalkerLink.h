#pragma once
#include "hc11/ChipVariant.h"
#include "link/BoardWiring.h"
#include "link/Registers.h"
#include "link/TalkerStatus.h"
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class ByteChannel;

// Command bytes of the talker protocol; each is echoed as its bitwise complement.
namespace TalkerCmd {
inline constexpr uint8_t kReadMemory = 0x01;
inline constexpr uint8_t kWriteMemory = 0x41;
inline constexpr uint8_t kReadRegisters = 0x81;
inline constexpr uint8_t kWriteRegisters = 0xC1;
inline constexpr uint8_t kSwiConfirm = 0xB5;
inline constexpr uint8_t kSwiReport = 0x4A; // "J", sent unasked on a software interrupt
// Checked mode only: what the host sends after the arguments of $01, $41 and $C1, and after the
// frame of $C1. Anything else ends the command (after a frame: keeps it stopped).
inline constexpr uint8_t kGo = 0x00;
inline constexpr uint8_t kNoGo = 0xFF;
} // namespace TalkerCmd

// How the end of a reply is checked for a stray byte behind it. A byte doubled on its way to
// the host shifts the reply by one: the reply then looks complete one byte early and its real
// last byte trails behind it.
enum class ReplyEnd : uint8_t {
    Queued,  // looks only at what is queued now; a stray byte that comes later is met by the next
             // command (strayBeforeLastCommand)
    Settled, // first waits about two character times at the line's speed for a stray byte
};

// Host side of the talker byte protocol.
//
// Resynchronisation, all without sending anything the plain protocol does not send:
// - Before each command byte, input already queued is taken off the line: a "J" among it is kept
//   as a pending hit, anything else (the tail of an earlier, damaged exchange) is dropped.
// - Where an echo is expected, one "J" (the talker stopped at an SWI before it took the command:
//   it sends "J", then still serves the command) is kept as a pending hit, and one stray byte is
//   passed over; the echo must follow. So a wrong echo is reported one read wait after it came,
//   when nothing has followed it.
// - A reply ($01, $81, $B5) followed by stray bytes is not trusted: the exchange is repeated
//   once, and fails with 11 when the repeat is followed by stray bytes too.
//
// Checked mode (our own talker, switched on in the image it boots from): the talker sends back
// every byte it takes, and reads, writes and register writes wait for the host's go once their
// arguments came back right. The host sends a write's arguments at once where no doubled one can
// land in the go's place as $00 (else one at a time), then the go with the first piece of data;
// a piece is never more than half of what the talker still takes unless the bytes that could be
// carried beyond the end are harmless there (safeChunk), and goes once all before it came back,
// so the host always knows where the talker stands; after anything unexpected it sends $81 until
// the talker answers it as a command ($81 is harmless wherever it lands: a byte inside a confirmed
// range, a refused go, a register read). No damaged, lost or doubled byte on its way to the board
// can then make the talker write where the host did not confirm it; a write or register write
// that went wrong is done again. A "J" met on the way back into step is never dropped: right
// after a write's data it is a hit (unless the data's last byte was $4A, which a doubled byte
// would give as well), and wherever it was in doubt the talker's $B5 reply tells whether it holds
// a stopped program.
class TalkerLink {
public:
    // The link talks through the channel (a SerialPort, or a line to an in-process board).
    explicit TalkerLink(ByteChannel& port) : port_(port) {}

    // A byte of a talker image changed before the download.
    struct ImagePatch {
        uint8_t address;
        uint8_t value;
    };
    // Whether the talker speaks checked mode: set by the caller that patched the image it boots,
    // and confirmed (or corrected) by the boot's first command, which tells it from the answer.
    void setChecked(bool on) { checked_ = on; }
    bool checked() const { return checked_; }

    // What must happen before any command goes to the talker (run once per command, never from
    // inside itself); a non-zero status fails the command with it before anything is sent.
    void setCommandGate(std::function<TalkerStatus()> gate) { gate_ = std::move(gate); }

    // Opens the port; any failure becomes 3.
    [[nodiscard]] TalkerStatus openPort(const std::string& modeText);
    // Closes the port.
    void closePort();
    // Command $01: reads count bytes (low 8 bits sent, 0 = 256) into buffer. The reply's end is
    // checked as end says; a lone read whose data must be trusted passes ReplyEnd::Settled.
    [[nodiscard]] TalkerStatus readMemory(uint32_t address, uint32_t count, uint8_t* buffer,
                            ReplyEnd end = ReplyEnd::Queued);
    // Command $41, then verifies by reading the bytes back.
    [[nodiscard]] TalkerStatus writeMemory(uint32_t address, uint32_t count, const uint8_t* data);
    // Command $81: the 11-byte register frame (its end checked as ReplyEnd::Settled).
    // A frame cut short keeps the fields that arrived.
    [[nodiscard]] TalkerStatus readRegisters(Registers& registers);
    // Command $C1: sends the 11-byte register frame.
    [[nodiscard]] TalkerStatus writeRegisters(const Registers& registers);
    // After writeRegisters failed at its echo (failure 10 or 13): sends the frame the talker is
    // most likely still waiting for, unless the frame's bytes, taken as commands by a talker that
    // never got the $C1, would write anything. True when it was sent.
    bool finishRegisterWrite(const Registers& registers, TalkerStatus failure);
    // The register frame in the order of the $C1 command.
    static std::array<uint8_t, 11> frameBytes(const Registers& registers);
    // True when the talker has reported a software interrupt: a pending hit kept by an earlier
    // command (reported once), or a "J" read now from the line. Never waits.
    bool pollSwi();
    // True when a hit taken off the line by a command waits for pollSwi (nothing is consumed).
    // A readiness notifier on the port does not see such a hit: ask after every command.
    bool swiPending() const { return swiPending_; }
    // True when, since the reply before the last operation's first command, bytes other than the
    // echo came: queued before the command, or ahead of its echo (a "J" counts). That earlier
    // reply may have been shifted by a doubled byte and is not to be trusted.
    bool strayBeforeLastCommand() const { return strayBeforeCommand_; }
    // Command $B5 and the stopped target's registers; PC is the address of the SWI. Ends any
    // pending hit: it is the one being confirmed.
    [[nodiscard]] TalkerStatus confirmSwi(Registers& registers);
    // Forces a target reset through the clock monitor.
    [[nodiscard]] TalkerStatus resetTarget();
    // Downloads a talker through the bootstrap loader, then reopens at the talker's rate. The
    // file is the $FF the loader syncs on and the image: for a chip whose loader takes exactly
    // 256 bytes, 257 bytes; for one that takes up to its RAM, 2 to RAM size + 1 (5 otherwise).
    // Closes an open port first; 4 when the file is missing, unreadable or not a regular file;
    // 11 when an echo of the download was wrong, missing or doubled (lastDownload says where;
    // the chip then runs nothing until RESET). The read wait is raised to what the round trip
    // measured during the download needs (readWaitFor), the read wait set before as its floor.
    // patches change image bytes before they are sent (the file is left alone).
    [[nodiscard]] TalkerStatus bootRamTalker(const std::string& portName, const std::string& fileName,
                                             const std::vector<ImagePatch>& patches = {});
    // Starts a talker resident in EEPROM, then reopens at the talker's rate. Closes an open port
    // first; 8 when the file is missing, unreadable or not a regular file.
    [[nodiscard]] TalkerStatus bootRomTalker(const std::string& portName, const std::string& fileName);

    // The channel the link talks through.
    ByteChannel& port() { return port_; }

    // Bytes of a talker image the boot loader stores (after its synchronisation character).
    static constexpr int kTalkerImageBytes = 256;
    // What the last RAM talker download found on the line.
    struct DownloadReport {
        // The round trip of one byte beyond the characters' own wire time (an adapter's latency
        // shows here), the worst of a few measured at the end of the download; negative when the
        // download did not get that far.
        std::chrono::microseconds roundTrip{-1};
        // The image byte (0..imageBytes-1) whose echo was wrong, missing or doubled; imageBytes when
        // an extra echo followed the last byte (the chip has then started); -1 when none was.
        int damagedAt = -1;
        // The image bytes sent after the synchronisation character.
        int imageBytes = kTalkerImageBytes;
    };
    const DownloadReport& lastDownload() const { return download_; }
    // The longest read wait a measured round trip sets.
    static constexpr int kMaxDerivedReadWaitMs = 1000;
    // The read wait a line with the given round trip needs, never below floorMs (the user's
    // communications delay); floorMs itself when nothing was measured.
    static int readWaitFor(std::chrono::microseconds roundTrip, int floorMs);

    // Checked mode: how many of the n bytes a command stores, from data[taken] on (the talker has
    // taken the ones before), may be in flight at once, so that no byte doubled on its way to the
    // board can carry one of them beyond the end where it would start a write or be taken for a
    // go. endsCommand: memory data (what follows is taken as commands), else a frame (the go
    // follows). goFirst: data[0] is the go that starts the data.
    static int safeChunk(const uint8_t* data, int n, int taken, bool endsCommand, bool goFirst);
    // Called before each piece of a RAM talker's download, between pieces of the wait for their
    // echoes, and before and after each of the timed last bytes, with the bytes sent so far and
    // the total; once with done == total when the image is down. False abandons the download
    // (the boot then fails with 1 and the port is closed). Empty: the image goes out in one write.
    std::function<bool(uint64_t done, uint64_t total)> downloadProgress;
    // Bytes of the download sent between two progress calls: 50 ms of line time at 1200 baud.
    static constexpr int kDownloadPiece = 6;

    // Whether the target's EEPROM is switched on (CONFIG bit 0 as last seen).
    int32_t eepromEnabled = 0;
    // The configuration byte the last start read (CONFIG, or the ROM talker's copy of it).
    uint8_t configByte = 0;
    // The chip on the board: its boot loader's rule decides the download's length.
    ChipKind chip = kDefaultChip;
    // The host's rates for the board's crystal: boot loader, talker, fast line.
    LineRates rates;
    // The modem line that resets the board before a start (none: the user presses RESET).
    ResetPulse resetPulse;
    // The errno of the reset pulse of the last start that failed at it; 0 otherwise.
    int resetError() const { return resetError_; }
    // The rate a restarted talker answers at, set while the line runs faster than that (0: none).
    // When nothing at all answers a command, the line goes to this rate and the command is sent
    // once more; the line stays there if the talker answers (it was restarted), else goes back.
    uint32_t restartBaud = 0;

private:
    // After a command met silence on a faster line: true when the talker answers the command sent
    // again at restartBaud (the line then stays there).
    bool answersAtRestartRate(uint8_t cmd, TalkerStatus wrongEcho, bool& stray);
    // Takes queued input off the line, keeping a "J" as a pending hit; true when there was any.
    bool sweepQueuedInput();
    // Sweeps, sends a command byte and reads its echo (see the class comment): 0, 1 unsent,
    // 10 no echo, wrongEcho otherwise. stray is set when anything came before the echo.
    [[nodiscard]] TalkerStatus command(uint8_t cmd, TalkerStatus wrongEcho, bool& stray);
    // After a missing or damaged echo: finishes, harmlessly, the command the talker may be in
    // (told by the echo seen, else the command sent), so that the next command's bytes are not
    // taken as its rest, and drops what it answers.
    void finishUnwantedCommand(uint8_t echoSeen, uint8_t sent);
    int resetError_ = 0;
    // Set while a reset is forced: the silence after it is expected.
    bool resetting_ = false;
    // True when no stray byte follows the reply just read.
    bool replyEndsClean(ReplyEnd end);
    // One $01 exchange; overran is set when its reply is followed by stray bytes.
    [[nodiscard]] TalkerStatus readOnce(uint32_t address, uint32_t count, uint8_t* buffer, ReplyEnd end,
                          bool& stray, bool& overran);
    // readOnce, repeated once when overrun; 11 when the repeat overruns too.
    [[nodiscard]] TalkerStatus readChecked(uint32_t address, uint32_t count, uint8_t* buffer, ReplyEnd end,
                             bool& stray);
    // One $81 exchange.
    [[nodiscard]] TalkerStatus readRegistersOnce(Registers& r, bool& stray, bool& overran);
    // One $B5 exchange.
    [[nodiscard]] TalkerStatus confirmSwiOnce(Registers& r, bool& stray, bool& overran);
    // Forgets the pending hit and the stray mark (the line was closed or reopened).
    void forgetLineState();

    // Runs the command gate; its status.
    [[nodiscard]] TalkerStatus passGate();
    // True when the byte was handed to the port.
    bool sendByte(uint8_t byte);
    // True when one byte arrived within one read wait.
    bool receiveByte(uint8_t& byte);
    // Receives a 16-bit field, high byte first; a missing low byte leaves the high byte x 256.
    bool receiveWord(uint32_t& field);
    // Receives an 8-bit field, left alone when the byte does not arrive.
    bool receiveField(uint8_t& field);
    // Sends count, address high, address low.
    [[nodiscard]] TalkerStatus sendCountAndAddress(uint32_t count, uint32_t address);
    // Closes the port if open, opens it at the boot loader's rate and pulses the reset line when
    // one is chosen (a failed pulse is 1, with resetError()).
    [[nodiscard]] TalkerStatus openForBootLoader(const std::string& portName);
    // Sends the talker image (synchronisation character first) to the boot loader, checking every
    // echo and holding the last byte back when one was wrong; with timedTail the last bytes go one
    // at a time and measure the line's round trip (only where the loader waits for all of them).
    [[nodiscard]] TalkerStatus downloadImage(const uint8_t* image, int size, bool timedTail);
    // Reads count echoes that must equal sent (image bytes from firstIndex on) within wait; false
    // (and damagedAt set) at the first one wrong or missing.
    bool takeEchoes(const uint8_t* sent, int count, int firstIndex, std::chrono::microseconds wait);
    // True (and damagedAt set to index) when more input follows the echoes expected.
    bool strayEchoFollows(int index);
    // Reads the configuration byte with the talker's first command, whose answer also tells
    // whether the talker is in checked mode (checked() follows it).
    [[nodiscard]] TalkerStatus readConfigTellingMode(uint32_t configAddress, uint8_t& config);
    // Reopens the port at the talker's rate (with a reset line chosen, switches the open port
    // instead: closing and opening would move the line) and reads the configuration byte at
    // configAddress.
    [[nodiscard]] TalkerStatus reopenAndReadConfig(const std::string& portName, uint32_t configAddress);

    // ---- checked mode
    // command() in checked mode: the command byte must come back, then (but for $B5) its
    // complement; anything else brings the talker back into step and the command is sent again.
    [[nodiscard]] TalkerStatus checkedCommand(uint8_t cmd, TalkerStatus wrongEcho, bool& stray);
    // Sends the arguments (at most three) and, withGo, the go; false (the talker back in step,
    // nothing done) when any came back wrong. A read's go goes with them. Those of a write or
    // register write go at once where no doubled one can land in the go's place as $00, else
    // one at a time, each after the echo of the one before; their go only after all came back.
    bool checkedArguments(const uint8_t* args, int n, bool writes, bool withGo = true);

    // Sends data the talker stores, until it has taken n bytes. False when it stopped answering.
    // exact: every byte came back as sent. extra: a byte that came back after the last one (a
    // doubled last byte, which whatever follows took), or -1. endsCommand: the last byte ends the
    // command, so a program may go on and stop at once (a "J" behind it is kept as a hit).
    // goFirst: data[0] is the go that starts the command's data.
    bool sendStream(const uint8_t* data, int n, bool endsCommand, bool goFirst, bool& exact, int& extra);
    // $81 until the talker answers it as a command; false when the line stays silent. A "J" met
    // on the way is kept as a pending hit when the talker then holds a stopped program.
    bool resyncChecked();
    // One round of $81 probes (resyncChecked without the look at a "J" it met).
    bool resyncOnce();
    // What a talker in step is doing, as its $B5 reply tells.
    enum class TalkerState : uint8_t { Unknown, Serving, Stopped };
    // Asks an in-step talker with $B5 whether it holds a program stopped at an SWI.
    TalkerState probeStopped();
    // Takes everything off the line until it is quiet for a few character times.
    void drainUntilQuiet();
    [[nodiscard]] TalkerStatus writeMemoryChecked(uint32_t address, uint32_t count, const uint8_t* data,
                                                  bool& stray);
    [[nodiscard]] TalkerStatus writeRegistersChecked(const Registers& r, bool& stray);

    ByteChannel& port_;
    DownloadReport download_;
    std::function<TalkerStatus()> gate_;
    bool inGate_ = false;
    bool checked_ = false;
    bool swiPending_ = false;
    bool strayBeforeCommand_ = false;
    // Checked mode: a $4A was taken where something else was expected, and may have been a "J".
    bool maybeHit_ = false;
};
