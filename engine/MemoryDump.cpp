#include "engine/MemoryDump.h"

#include <cstdio>

namespace {
constexpr uint32_t kAddressLimit = 0xFFFF;
} // namespace

void MemoryDump::alignRange(uint32_t& start, uint32_t& end)
{
    // Typed values never exceed $FFFF; only a defaulted end (start + 16) can, and then the dump
    // ends at the top of memory.
    start = (start & kAddressLimit) & ~0xFu;
    end = end > kAddressLimit ? kAddressLimit : (end | 0xFu);
}

DumpRange MemoryDump::range(uint32_t start, uint32_t end)
{
    DumpRange r{start, end == 0 ? start + kBytesPerLine : end};
    alignRange(r.start, r.end);
    return r;
}

const std::string& MemoryDump::headerLine()
{
    static const std::string header = [] {
        std::string h(7, ' ');
        char column[4];
        for (unsigned i = 0; i < kBytesPerLine; ++i) {
            std::snprintf(column, sizeof column, ".%02X", i);
            h += column;
        }
        return h + "\n";
    }();
    return header;
}

std::string MemoryDump::dataLine(uint32_t address, const uint8_t* bytes)
{
    std::string line;
    line.reserve(kLineLength);
    char field[16];
    std::snprintf(field, sizeof field, "$%04x - ", address & kAddressLimit);
    line += field;
    for (uint32_t i = 0; i < kBytesPerLine; ++i) {
        std::snprintf(field, sizeof field, "%02x ", bytes[i]);
        line += field;
    }
    for (uint32_t i = 0; i < kBytesPerLine; ++i)
        line += shownCharacter(bytes[i]);
    return line;
}

std::vector<std::string> MemoryDump::lines(uint32_t start, const uint8_t* bytes, size_t count)
{
    std::vector<std::string> out;
    out.reserve(count / kBytesPerLine + 1);
    out.push_back(headerLine());
    for (size_t offset = 0; offset + kBytesPerLine <= count; offset += kBytesPerLine)
        out.push_back(dataLine(start + static_cast<uint32_t>(offset), bytes + offset));
    return out;
}
