#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A memory dump range after its end has been defaulted and both ends rounded out to whole lines.
struct DumpRange {
    uint32_t start = 0;
    uint32_t end = 0;
    // False when the end lies before the start (the dump is then refused).
    bool inOrder() const { return start <= end; }
    // Bytes from start to end inclusive (a multiple of 16 when in order).
    uint32_t count() const { return inOrder() ? end - start + 1 : 0; }
};

// The hexadecimal and character dump of the Memory View: range rounding and line formatting.
class MemoryDump {
public:
    // Bytes shown on one data line.
    static constexpr uint32_t kBytesPerLine = 16;
    // Characters of one data line: "$xxxx - ", 16 times "xx ", 16 characters.
    static constexpr size_t kLineLength = 72;

    // Rounds start down and end up to whole 16-byte lines; an end above $FFFF becomes 0.
    static void alignRange(uint32_t& start, uint32_t& end);
    // The range to dump for typed start and end: an end of 0 means start + 16; then aligned.
    static DumpRange range(uint32_t start, uint32_t end);
    // The column header, ending in a line feed.
    static const std::string& headerLine();
    // One data line for the 16 bytes at address.
    static std::string dataLine(uint32_t address, const uint8_t* bytes);
    // The header and every data line of count bytes (whole lines only) read from start.
    static std::vector<std::string> lines(uint32_t start, const uint8_t* bytes, size_t count);
    // A byte as the character column shows it: printable ASCII as itself, anything else ".".
    static char shownCharacter(uint8_t byte) { return byte >= 0x20 && byte <= 0x7E ? static_cast<char>(byte) : '.'; }
};
