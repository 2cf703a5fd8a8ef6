#include "link/NumberParse.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace {

struct BaseRule {
    unsigned radix;
    size_t maxLength; // of the whole text, prefix included
};

constexpr BaseRule kDecimal{10, 4};
constexpr BaseRule kHex{16, 5};
constexpr BaseRule kBinary{2, 16};

BaseRule ruleForBase(NumberBase base) {
    switch (base) {
    case kBaseHexadecimal: return kHex;
    case kBaseBinary: return kBinary;
    default: return kDecimal;
    }
}

bool isBlank(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int digitValue(unsigned char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 10;
    return 99;
}

// Unsigned conversion of the whole of digits: blanks, one sign, "0x" in base 16, digits.
// Anything left over or nothing converted gives no value; values above $FFFF (negatives too)
// give $FFFF.
std::optional<unsigned> convert(std::string_view digits, unsigned radix) {
    size_t i = 0;
    while (i < digits.size() && isBlank(static_cast<unsigned char>(digits[i])))
        ++i;
    bool negative = false;
    if (i < digits.size() && (digits[i] == '+' || digits[i] == '-')) {
        negative = digits[i] == '-';
        ++i;
    }
    // "0x" counts as a prefix only when a hex digit follows; otherwise the "0" is the number.
    if (radix == 16 && i + 2 < digits.size() && digits[i] == '0' &&
        (digits[i + 1] == 'x' || digits[i + 1] == 'X') &&
        digitValue(static_cast<unsigned char>(digits[i + 2])) < 16)
        i += 2;
    const size_t firstDigit = i;
    uint64_t value = 0;
    for (; i < digits.size(); ++i) {
        const int d = digitValue(static_cast<unsigned char>(digits[i]));
        if (d >= static_cast<int>(radix))
            break;
        value = value * radix + static_cast<unsigned>(d);
        if (value > 0xFFFFFFFFu)
            value = 0x100000000u; // saturate; the result clamps to $FFFF anyway
    }
    if (i == firstDigit || i != digits.size())
        return std::nullopt;
    uint32_t result = value > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(value);
    if (negative)
        result = 0u - result;
    return result > 0xFFFFu ? 0xFFFFu : result;
}

// The one rule behind both parses: prefix, length limit, then the conversion.
std::optional<unsigned> readNumber(std::string_view typed, NumberBase defaultBase) {
    if (typed.empty())
        return std::nullopt;
    BaseRule rule{};
    size_t skip = 1;
    switch (typed.front()) {
    case '#': rule = kDecimal; break;
    case '$': rule = kHex; break;
    case '%': rule = kBinary; break;
    default:
        rule = ruleForBase(defaultBase);
        skip = 0;
        break;
    }
    if (typed.size() > rule.maxLength)
        return std::nullopt;
    return convert(typed.substr(skip), rule.radix);
}

} // namespace


unsigned parseNumber(const std::string& text, NumberBase defaultBase) {
    // The text is what the user typed: it ends at the first NUL.
    return readNumber(std::string_view(text.c_str()), defaultBase).value_or(0);
}

std::optional<unsigned> parseNumberStrict(const std::string& text, NumberBase defaultBase) {
    if (text.find('\0') != std::string::npos)
        return std::nullopt;
    return readNumber(text, defaultBase);
}
