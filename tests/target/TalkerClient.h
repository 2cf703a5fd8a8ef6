#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

using Bytes = std::vector<uint8_t>;

// The register frame in wire order.
struct WireFrame {
    uint16_t sp = 0;
    uint8_t ccr = 0, b = 0, a = 0;
    uint16_t x = 0, y = 0, pc = 0;
    bool operator==(const WireFrame&) const = default;
};

// A plain client for the talker protocol on a pseudo-terminal, independent of the link library,
// so that every byte on the wire is spelled out here. Failures are reported through GoogleTest and
// a false result; reads give up after a generous deadline, so a silent target fails, never hangs.
class TalkerClient {
public:
    ~TalkerClient();
    // Opens the device raw, 8N1, at 1200 baud.
    bool open(const std::string& device);
    // Changes the line rate.
    bool setBaud(unsigned baud);
    bool send(const Bytes& bytes);
    // Exactly n bytes, or fewer when the deadline passed.
    Bytes receive(size_t n);
    // Downloads a talker file through the bootstrap loader, checks its echoes, goes to 9600 baud.
    bool boot(const Bytes& talkerFile);
    // Sends a command byte and checks its echo (the complement).
    bool command(uint8_t cmd);
    bool readMemory(uint16_t address, uint8_t count, Bytes* out); // $01 (count 0: 256)
    bool writeMemory(uint16_t address, const Bytes& data);        // $41
    bool readRegisters(WireFrame* frame);                          // $81
    bool writeRegisters(const WireFrame& frame);                   // $C1
    // Waits for the unasked "J", sends $B5 and returns the 14-byte reply.
    bool awaitStop(Bytes* reply);

private:
    int fd_ = -1;
};

// Whole file contents; empty when unreadable.
Bytes readFileBytes(const std::string& path);
// Symbols of an m68hc11-nm -n listing: name to value.
std::map<std::string, uint16_t> readSymbolMap(const std::string& path);
// The S1 records of an S-record file: address and data, in file order.
std::vector<std::pair<uint16_t, Bytes>> readS1Records(const std::string& path);
