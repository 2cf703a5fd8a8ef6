#pragma once
#include "TalkerStatus.h"
#include <cstdint>
#include <string>

class SerialPort;

// Command bytes of the talker protocol; each is echoed as its bitwise complement.
namespace TalkerCmd {
inline constexpr uint8_t kReadMemory = 0x01;
inline constexpr uint8_t kWriteMemory = 0x41;
inline constexpr uint8_t kReadRegisters = 0x81;
inline constexpr uint8_t kWriteRegisters = 0xC1;
inline constexpr uint8_t kSwiConfirm = 0xB5;
inline constexpr uint8_t kSwiReport = 0x4A; // "J", sent unasked on a software interrupt
} // namespace TalkerCmd

// Host side of the talker byte protocol.
class TalkerLink {
public:
    explicit TalkerLink(SerialPort& port) : port_(port) {}

    // Opens the port; any failure becomes 3.
    TalkerStatus openPort(const std::string& modeText);
    // Closes the port.
    void closePort();
    // Command $01: reads count bytes (low 8 bits sent, 0 = 256) into buffer.
    TalkerStatus readMemory(uint32_t address, uint32_t count, uint8_t* buffer);
    // Command $41, then verifies by reading the bytes back.
    TalkerStatus writeMemory(uint32_t address, uint32_t count, const uint8_t* data);
    // Command $81: the 11-byte register frame.
    TalkerStatus readRegisters(uint32_t& SP, uint8_t& CCR, uint8_t& B, uint8_t& A,
                               uint32_t& X, uint32_t& Y, uint32_t& PC);
    // Command $C1: sends the 11-byte register frame.
    TalkerStatus writeRegisters(uint32_t SP, uint8_t CCR, uint8_t B, uint8_t A,
                                uint32_t X, uint32_t Y, uint32_t PC);
    // True when the talker has reported a software interrupt ("J"); never waits.
    bool pollSwi();
    // Command $B5 and the stopped target's registers; PC is the address of the SWI.
    TalkerStatus confirmSwi(uint32_t& PC, uint32_t& SP, uint8_t& CCR, uint8_t& B, uint8_t& A,
                            uint32_t& X, uint32_t& Y);
    // Forces a target reset through the clock monitor.
    TalkerStatus resetTarget();
    // Downloads a 257-byte talker through the bootstrap loader, then reopens at 9600 baud.
    // Closes an open port first; 4 when the file is missing, unreadable or not a regular file.
    TalkerStatus bootRamTalker(const std::string& portName, const std::string& fileName);
    // Starts a talker resident in EEPROM, then reopens at 9600 baud. Closes an open port
    // first; 8 when the file is missing, unreadable or not a regular file.
    TalkerStatus bootRomTalker(const std::string& portName, const std::string& fileName);

    SerialPort& port() { return port_; }

    // Whether the target's EEPROM is switched on (CONFIG bit 0 as last seen).
    int32_t eepromEnabled = 0;

private:
    // True when the byte was handed to the port.
    bool sendByte(uint8_t byte);
    // True when one byte arrived within one read wait.
    bool receiveByte(uint8_t& byte);
    // Receives a 16-bit field, high byte first; a missing low byte leaves the high byte x 256.
    bool receiveWord(uint32_t& field);
    // Receives an 8-bit field, left alone when the byte does not arrive.
    bool receiveField(uint8_t& field);
    // Sends a command byte and checks its echo: 0, 1 unsent, 10 no echo, wrongEcho otherwise.
    TalkerStatus command(uint8_t cmd, TalkerStatus wrongEcho);
    // Sends count, address high, address low.
    TalkerStatus sendCountAndAddress(uint32_t count, uint32_t address);
    // Closes the port if open and opens it at the boot loader's 1200 baud.
    TalkerStatus openForBootLoader(const std::string& portName);
    // Reopens the port at 9600 baud and reads the configuration byte at configAddress.
    TalkerStatus reopenAndReadConfig(const std::string& portName, uint32_t configAddress);

    SerialPort& port_;
};
