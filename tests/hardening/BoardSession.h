#pragma once
// The debugger's host objects on a virtual board running as fast as it can, for fault and
// recovery runs. The board's EEPROM holds a start-up copy of our talker, so a talker boot after
// a fault takes one character (bootRom) instead of the 257-character download (bootRam).
#include "engine/DebugEngine.h"
#include "link/SerialPort.h"
#include "link/TalkerLink.h"
#include "link/TargetMemory.h"
#include "sim/VirtualBoard.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using Bytes = std::vector<uint8_t>;

// A block of target memory and its contents.
struct MemoryImage {
    uint32_t address = 0;
    Bytes bytes;
};

class BoardSession {
public:
    struct Options {
        std::string linkPath;           // symbolic link to the board's device (empty: none)
        std::vector<FaultRule> faults;  // line faults from the start
        uint64_t seed = 1;
        int readWaitMs = 100;           // the host's wait per awaited byte
        bool checkedTalker = false;     // our talker's image in checked mode (see TalkerLink)
    };

    // The EEPROM image file is made in workDir; nothing runs until start().
    BoardSession(const std::string& workDir, Options options);
    ~BoardSession();
    BoardSession(const BoardSession&) = delete;
    BoardSession& operator=(const BoardSession&) = delete;

    // Starts the board; false with a reason when the board or its EEPROM image cannot be made.
    bool start(std::string* error);
    // Stops the board (the device vanishes); the host objects stay as they are.
    void stopBoard();
    // A new board in place of the old one, with a fresh EEPROM image (its RAM starts cleared).
    bool restartBoard(std::string* error);

    // Presses RESET and starts the talker from EEPROM (special test mode: external RAM mapped),
    // up to attempts times: a character still arriving at RESET (or taken late by a board thread
    // that the machine held up) spoils the boot loader's synchronisation, as on a real board.
    TalkerStatus bootRom(int attempts = 3);
    // Presses RESET and downloads the talker through the boot loader (special test mode).
    TalkerStatus bootRam(int attempts = 2);

    // Reads a block of target memory (any length) into out.
    TalkerStatus read(uint32_t address, size_t count, Bytes* out);
    // Reads the block an image covers and says whether it holds the image's bytes.
    bool holds(const MemoryImage& image, TalkerStatus* status = nullptr);

    // Replaces the line faults (empty: none) and zeroes the figures.
    void setFaults(std::vector<FaultRule> faults, uint64_t seed = 1);
    // Bytes both ways since the faults were last set.
    uint64_t lineBytes() const;

    VirtualBoard& board() { return *board_; }
    std::string device() const { return board_->devicePath(); }

    SerialPort port;
    TalkerLink link{port};
    TargetMemory memory{link};
    DebugEngine engine{link, memory};

private:
    std::string eepromFile_;
    Options options_;
    std::unique_ptr<VirtualBoard> board_;
};

// Writes an EEPROM image file (array and CONFIG cell) holding the start-up copy of our talker;
// false with a reason when the talker or the start-up code is missing.
bool writeRomTalkerImage(const std::string& path, std::string* error, bool checkedTalker = false);
// The S1 records of an S-record file as one image per record; empty when unreadable.
std::vector<MemoryImage> readS19Images(const std::string& path);
// The records' span from the lowest to the highest address, with the records' bytes laid in
// (bytes between records take fill).
MemoryImage spanOf(const std::vector<MemoryImage>& images, uint8_t fill);
// One fault text parsed; an unparsable text gives a fault that never fires (and a message on stderr).
FaultRule faultOf(const std::string& text);
// Addresses where two blocks of equal start differ.
std::vector<uint32_t> differences(const MemoryImage& expected, const Bytes& actual);
