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

// The digits of a number as typed: a sign and the magnitude (saturated at 2^32).
struct Digits {
    bool negative = false;
    uint64_t magnitude = 0;
};

// Reads the whole of digits: blanks, one sign, "0x" in base 16, digits. Anything left over or
// nothing converted gives no value.
std::optional<Digits> readDigits(std::string_view digits, unsigned radix) {
    size_t i = 0;
    while (i < digits.size() && isBlank(static_cast<unsigned char>(digits[i])))
        ++i;
    Digits d;
    if (i < digits.size() && (digits[i] == '+' || digits[i] == '-')) {
        d.negative = digits[i] == '-';
        ++i;
    }
    // "0x" counts as a prefix only when a hex digit follows; otherwise the "0" is the number.
    if (radix == 16 && i + 2 < digits.size() && digits[i] == '0' &&
        (digits[i + 1] == 'x' || digits[i + 1] == 'X') &&
        digitValue(static_cast<unsigned char>(digits[i + 2])) < 16)
        i += 2;
    const size_t firstDigit = i;
    for (; i < digits.size(); ++i) {
        const int v = digitValue(static_cast<unsigned char>(digits[i]));
        if (v >= static_cast<int>(radix))
            break;
        d.magnitude = d.magnitude * radix + static_cast<unsigned>(v);
        if (d.magnitude > 0xFFFFFFFFu)
            d.magnitude = 0x100000000u; // saturate: nothing above 32 bits is ever in range
    }
    if (i == firstDigit || i != digits.size())
        return std::nullopt;
    return d;
}

// Unsigned conversion of the whole of digits; values above $FFFF (negatives too) give $FFFF.
std::optional<unsigned> convert(std::string_view digits, unsigned radix) {
    const std::optional<Digits> d = readDigits(digits, radix);
    if (!d)
        return std::nullopt;
    uint32_t result = d->magnitude > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(d->magnitude);
    if (d->negative)
        result = 0u - result;
    return result > 0xFFFFu ? 0xFFFFu : result;
}

// The radix a typed text's first character chooses, and how many characters that prefix takes.
BaseRule ruleFor(std::string_view typed, NumberBase defaultBase, size_t& skip) {
    skip = 1;
    switch (typed.empty() ? '\0' : typed.front()) {
    case '#': return kDecimal;
    case '$': return kHex;
    case '%': return kBinary;
    default:
        skip = 0;
        return ruleForBase(defaultBase);
    }
}

// The one rule behind both parses: prefix, length limit, then the conversion.
std::optional<unsigned> readNumber(std::string_view typed, NumberBase defaultBase) {
    if (typed.empty())
        return std::nullopt;
    size_t skip = 0;
    const BaseRule rule = ruleFor(typed, defaultBase, skip);
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

TypedNumber readTypedNumber(const std::string& text, NumberBase defaultBase, uint32_t max) {
    if (text.find_first_not_of(" \t\n\v\f\r") == std::string::npos)
        return {NumberProblem::Empty, 0};
    if (text.find('\0') != std::string::npos)
        return {NumberProblem::NotANumber, 0};
    size_t skip = 0;
    const BaseRule rule = ruleFor(text, defaultBase, skip);
    const std::optional<Digits> d = readDigits(std::string_view(text).substr(skip), rule.radix);
    if (!d)
        return {NumberProblem::NotANumber, 0};
    if ((d->negative && d->magnitude != 0) || d->magnitude > max)
        return {NumberProblem::OutOfRange, 0};
    return {NumberProblem::None, static_cast<uint32_t>(d->magnitude)};
}
