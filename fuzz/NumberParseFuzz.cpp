#include "FuzzCheck.h"
#include "FuzzEntries.h"
#include "link/NumberParse.h"

#include <string>

namespace {

// The value of text as digits of radix only ("" or any other character: no value).
bool plainDigits(const std::string& text, unsigned radix, unsigned long& value) {
    if (text.empty())
        return false;
    value = 0;
    for (char c : text) {
        unsigned d = 0;
        if (c >= '0' && c <= '9')
            d = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            d = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            d = static_cast<unsigned>(c - 'A' + 10);
        else
            return false;
        if (d >= radix)
            return false;
        value = value * radix + d;
    }
    return true;
}

// The largest number of digits each base reads, and the base's radix.
struct Base {
    char prefix;
    unsigned radix;
    size_t digits;
};
constexpr Base kBases[3] = {{'#', 10, 3}, {'$', 16, 4}, {'%', 2, 15}};

} // namespace

int fuzzNumberParse(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string typed = text.substr(0, text.find('\0'));
    for (NumberBase base : {kBaseDecimal, kBaseHexadecimal, kBaseBinary}) {
        const unsigned value = parseNumber(text, base);
        fuzzExpect(value <= 0xFFFF, "parseNumber gave a value above $FFFF");
        fuzzExpect(parseNumber(typed, base) == value, "parseNumber read past the first NUL");
    }

    // Plain prefixed numbers, short enough for every base's length limit, read as their value
    // (clamped to $FFFF); unprefixed plain digits read in the default base.
    for (const Base& b : kBases) {
        unsigned long expected = 0;
        if (typed.size() >= 2 && typed.front() == b.prefix && typed.size() - 1 <= b.digits &&
            plainDigits(typed.substr(1), b.radix, expected))
            fuzzExpect(parseNumber(typed, kBaseDecimal) == (expected > 0xFFFF ? 0xFFFFu : expected),
                       "parseNumber misread plain prefixed digits");
    }
    for (NumberBase base : {kBaseDecimal, kBaseHexadecimal, kBaseBinary}) {
        const Base& b = kBases[toInt(base)];
        unsigned long expected = 0;
        if (typed.size() <= b.digits && plainDigits(typed, b.radix, expected))
            fuzzExpect(parseNumber(typed, base) == (expected > 0xFFFF ? 0xFFFFu : expected),
                       "parseNumber misread plain digits in the default base");
    }
    return 0;
}
