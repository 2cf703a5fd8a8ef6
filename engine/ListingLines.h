#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

// Lines of an assembler listing as the Assembly View shows them.
namespace ListingLines {

// The address of the code a listing line assembles, or nothing. A line that assembles bytes
// starts with its source line number, one blank, the address in four hex digits, one blank and
// the first byte ("   8 c400 8E DF FF    \t\tlds\t#0xdfff"); comment, label and directive lines
// without bytes, the continuation lines of long data ("  30      00 00 00 00"), page headers
// and a value shown where an address would be ("   7 103b   PPROG equ $103b") give nothing.
std::optional<uint32_t> addressOf(std::string_view line);

// The address of a line that assembles bytes and how many of them the line shows (the bytes of
// long data that continue on the next lines are not counted).
struct Assembled {
    uint32_t address = 0;
    uint32_t count = 0;
};
std::optional<Assembled> bytesOf(std::string_view line);

} // namespace ListingLines
