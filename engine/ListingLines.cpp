#include "engine/ListingLines.h"

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

} // namespace

namespace {

// The address of a listing line that assembles bytes, with the index of its first byte's digits.
std::optional<uint32_t> parseAddress(std::string_view line, size_t& bytesAt)
{
    size_t i = 0;
    while (i < line.size() && line[i] == ' ')
        ++i;
    // The source line number.
    const size_t numberStart = i;
    while (i < line.size() && isDigit(line[i]))
        ++i;
    if (i == numberStart || i >= line.size() || line[i] != ' ')
        return std::nullopt;
    ++i;
    // The address: exactly four hex digits, then one blank. Lines without an address pad this
    // column with blanks, so a second blank here means there is none.
    uint32_t address = 0;
    for (int n = 0; n < 4; ++n, ++i) {
        const int v = i < line.size() ? hexValue(line[i]) : -1;
        if (v < 0)
            return std::nullopt;
        address = (address << 4) | static_cast<uint32_t>(v);
    }
    if (i >= line.size() || line[i] != ' ')
        return std::nullopt;
    ++i;
    // The first byte: an even run of hex digits ended by a blank or the end of the line.
    const size_t bytesStart = i;
    while (i < line.size() && hexValue(line[i]) >= 0)
        ++i;
    const size_t digits = i - bytesStart;
    if (digits == 0 || digits % 2 != 0 || (i < line.size() && !isBlank(line[i])))
        return std::nullopt;
    bytesAt = bytesStart;
    return address;
}

} // namespace

std::optional<uint32_t> ListingLines::addressOf(std::string_view line)
{
    size_t bytesAt = 0;
    return parseAddress(line, bytesAt);
}

std::optional<ListingLines::Assembled> ListingLines::bytesOf(std::string_view line)
{
    size_t i = 0;
    const std::optional<uint32_t> address = parseAddress(line, i);
    if (!address)
        return std::nullopt;
    // Bytes are pairs of hex digits one blank apart; the source text follows after a wider gap.
    uint32_t count = 0;
    const auto pairAt = [&](size_t at) {
        return at + 1 < line.size() && hexValue(line[at]) >= 0 && hexValue(line[at + 1]) >= 0 &&
               (at + 2 == line.size() || isBlank(line[at + 2]));
    };
    while (pairAt(i)) {
        ++count;
        i += 2;
        if (i + 1 >= line.size() || line[i] != ' ')
            break;
        ++i;
    }
    return Assembled{*address, count};
}
