#pragma once
#include "PtyPair.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

// A 68HC11 running the talker, modelled at the protocol level on the master end of a PtyPair.
// It serves $01/$41/$81/$C1/$B5 from a 64 KB memory and a register frame, logs every command,
// and models just enough of the chip to check EEPROM and start-up sequences:
//
// Memory: RAM everywhere (initially $00). While the EEPROM is on (CONFIG latch bit 0, initially $0D), $B600..$B7FF
//   is a separate EEPROM array (initially $FF) that ignores plain writes. While the EEPROM is off the
//   range is plain RAM. Registers $1000..$103F are plain bytes except:
//   PPROG $103B  EELAT (bit 1) makes the next writes to the array or CONFIG latch address and data
//                instead of storing; setting EEPGM (bit 0) with EELAT then executes the operation
//                chosen by BYTE/ROW/ERASE: byte, row (16 aligned bytes) or bulk erase to $FF, or
//                programming (array byte &= data: programming only clears bits). Clearing EELAT
//                ends latching. While EELAT is set, reads of the array and CONFIG return the
//                complement of the stored byte (so a verified write of a latched byte fails).
//   BPROT $1035  blocks protected by set bits are not changed by erase/program (event still logged
//                with blocked = true): bit 0 $B600-$B61F, 1 $B620-$B65F, 2 $B660-$B6DF, 3 $B6E0-$B7FF,
//                bit 4 CONFIG. $1F after a reset and at the start.
//   CONFIG $103F reads return the working latch; erase/program act on the EEPROM copy, which goes
//                into the latch (and switches the array on/off) at the next reset.
//   Reset        writing TEST1 $103E with bit 2 (FCM) while OPTION $1039 has bit 3 (CME) resets the
//                chip (if resetWorks): the read-back command of that write is swallowed unanswered,
//                registers return to reset values, CONFIG's EEPROM copy goes into the latch.
//
// Bootstrap: with setBootMode(true) the first byte is taken by the boot loader (not echoed, baud
// recorded): $00 starts the resident talker, anything else loads the next 256 bytes into $0000,
// each echoed as it is stored.
//
// All setters and getters are thread-safe and may be called while the host talks to the model.
class TalkerModel {
public:
    // One command as the model received it.
    struct Command {
        uint8_t kind = 0;      // the command byte ($01, $41, $81, $C1, $B5, or an unknown byte)
        uint16_t address = 0;  // memory commands
        int count = 0;         // bytes moved (1..256) for memory commands; 11 for $81/$C1; 14 for $B5
        std::vector<uint8_t> data; // bytes written ($41) or frame received ($C1)
        bool answered = true;  // false when swallowed (reset), refused (bad echo) or ignored (silent)
    };
    // EEPROM operations the chip carried out.
    enum class EepromOp { ByteErase, RowErase, BulkErase, Program };
    struct EepromEvent {
        EepromOp op;
        uint16_t address; // latched address
        uint8_t value;    // latched data
        bool blocked;     // BPROT prevented it
    };
    // The talker's register frame, as $81 sends it.
    struct Registers {
        uint16_t SP = 0x00F6;
        uint8_t CCR = 0xD0;
        uint8_t B = 0;
        uint8_t A = 0;
        uint16_t X = 0;
        uint16_t Y = 0;
        uint16_t PC = 0x0100;
    };

    static constexpr uint16_t kEepromStart = 0xB600;
    static constexpr uint16_t kEepromEnd = 0xB7FF;

    // Starts serving on pty's master at once.
    explicit TalkerModel(PtyPair& pty);
    // Stops the thread.
    ~TalkerModel();
    TalkerModel(const TalkerModel&) = delete;
    TalkerModel& operator=(const TalkerModel&) = delete;

    // Expects a bootstrap download before the first command.
    void setBootMode(bool on);
    // Sets CONFIG (latch and EEPROM copy); bit 0 switches the EEPROM array on.
    void setConfig(uint8_t value);
    // Consumes every byte without answering while on.
    void setSilent(bool on);
    // Whether the clock-monitor sequence resets the chip (default true).
    void setResetWorks(bool on);
    // The next command byte is answered with wrongEcho and then dropped.
    void failNextEcho(uint8_t wrongEcho);
    // The data of the next count memory reads arrives garbled, each read differently (the n-th
    // one's bytes XORed with n), as a noisy line would deliver them.
    void garbleReads(int count);
    // Narrows the EEPROM array to first..last (inside $B600..$B7FF) so tests stay short.
    void setEepromRange(uint16_t first, uint16_t last);
    // Reads of address return value whatever was written.
    void setReadBack(uint16_t address, uint8_t value);
    // Writes to first..last are ignored (ROM).
    void setRom(uint16_t first, uint16_t last);
    // Sends "J" as a software interrupt at swiAddress would (frame PC becomes swiAddress + 1).
    void raiseSwi(uint16_t swiAddress);
    // Sends arbitrary bytes to the host.
    void sendRaw(const std::vector<uint8_t>& bytes);

    // Faults on the way to the host. A reply is all the talker sends for one command: the echo,
    // then the data ($01) or the frame ($81); for $B5 the 14 bytes.
    // The next `times` replies carry their byte at index twice (index 0 is the echo).
    void doubleReplyByte(size_t index, int times = 1);
    // The next `times` replies of $01, $81 and $B5 are followed by the bytes extra.
    void trailReplies(const std::vector<uint8_t>& extra, int times = 1);
    // The next command finds the talker just stopped at an SWI at swiAddress: "J" goes out ahead
    // of its echo (the frame PC becomes swiAddress + 1), then the command is served as usual.
    void swiBeforeNextEcho(uint16_t swiAddress);

    // Memory as the host would read it (EEPROM array when on, else RAM).
    uint8_t peek(uint16_t address) const;
    // Stores bytes directly (EEPROM array when on and in range, else RAM), without logging.
    void poke(uint16_t address, const std::vector<uint8_t>& bytes);
    // The register frame.
    Registers registers() const;
    void setRegisters(const Registers& regs);
    // The CONFIG working latch and EEPROM copy.
    uint8_t configLatch() const;
    uint8_t configEeprom() const;

    // Commands received so far.
    std::vector<Command> commands() const;
    // EEPROM operations carried out so far.
    std::vector<EepromEvent> eepromEvents() const;
    // Forgets the command and EEPROM logs.
    void clearLogs();
    // Number of resets so far.
    int resets() const;
    // Bootstrap: the bytes received (257 for a RAM download, {0} for a resident start) and the
    // slave's baud rate when the first one arrived.
    std::vector<uint8_t> bootBytes() const;
    int bootBaud() const;

private:
    void run();
    // A byte from the host; -1 on time-out or stop.
    int nextByte(int timeoutMs);
    void serve(uint8_t cmd);
    // Sends part of the current reply (from offset sent on) with the faults in force for it; the
    // trailing bytes due go out behind the last part, in the same write.
    void replyLocked(const std::vector<uint8_t>& bytes, size_t& sent, bool faulty, bool last);
    void boot(uint8_t first);
    uint8_t readLocked(uint16_t address) const;
    void writeLocked(uint16_t address, uint8_t value);
    void pprogLocked(uint8_t value);
    bool protectedLocked(uint16_t address) const;
    void eraseLocked(uint16_t address);
    void resetLocked();
    bool inArrayLocked(uint16_t address) const;

    PtyPair& pty_;
    mutable std::mutex mutex_;
    std::atomic<bool> stop_{false};
    std::thread thread_;

    std::array<uint8_t, 0x10000> ram_{};
    std::array<uint8_t, kEepromEnd - kEepromStart + 1> eeprom_{};
    uint16_t eepromFirst_ = kEepromStart;
    uint16_t eepromLast_ = kEepromEnd;
    uint8_t configLatch_ = 0x0D;
    uint8_t configEeprom_ = 0x0D;
    bool latched_ = false;
    uint16_t latchAddress_ = 0;
    uint8_t latchData_ = 0;
    Registers regs_;
    bool bootPending_ = false;
    bool silent_ = false;
    bool resetWorks_ = true;
    bool swallowNext_ = false;
    int wrongEcho_ = -1;
    int garbledReadsLeft_ = 0;
    int garbledReadsDone_ = 0;
    size_t doubleIndex_ = 0;
    int doubleTimes_ = 0;
    std::vector<uint8_t> trail_;
    int trailTimes_ = 0;
    int swiBeforeEcho_ = -1;
    std::map<uint16_t, uint8_t> readBack_;
    std::vector<std::pair<uint16_t, uint16_t>> rom_;
    std::vector<Command> commands_;
    std::vector<EepromEvent> events_;
    int resets_ = 0;
    std::vector<uint8_t> bootBytes_;
    int bootBaud_ = 0;
};
