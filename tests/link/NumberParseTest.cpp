#include "link/NumberParse.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

struct Case {
    std::string text;
    int base; // stored form: any number that names no base reads as decimal
    unsigned value;
};

TEST(NumberParse, Table) {
    const Case cases[] = {
        // Decimal default.
        {"1234", 0, 1234}, {"12345", 0, 0}, {"12a", 0, 0}, {"", 0, 0}, {"-1", 0, 0xFFFF},
        {"-0", 0, 0}, {"+5", 0, 5}, {"9999", 0, 9999}, {" 1234", 0, 0}, {" 123", 0, 123},
        {"123 ", 0, 0}, {"- 1", 0, 0}, {"+", 0, 0}, {"0x1", 0, 0}, {"12", 7, 12}, {"12", -1, 12},
        // Hexadecimal default.
        {"FFFF", 1, 0xFFFF}, {"1FFFF", 1, 0xFFFF}, {"10000", 1, 0xFFFF}, {"FFFFFF", 1, 0},
        {"0x1F", 1, 0x1F}, {"0X1f", 1, 0x1F}, {"abcd", 1, 0xABCD}, {"0x", 1, 0}, {"0xg", 1, 0},
        {"-0x1", 1, 0xFFFF}, {"12G", 1, 0},
        // Binary default.
        {"1111111111111111", 2, 0xFFFF}, {"11111111111111111", 2, 0}, {"102", 2, 0}, {"101", 2, 5},
        // Prefixes override the default.
        {"$1F", 0, 0x1F}, {"$FFFF", 2, 0xFFFF}, {"$10000", 0, 0}, {"%1010", 1, 10}, {"%12", 0, 0},
        {"#123", 1, 123}, {"#1234", 0, 0}, {"$", 0, 0}, {"%", 0, 0}, {"#", 2, 0}, {"$0x1F", 0, 0x1F},
        {"$ 1F", 0, 0x1F}, {"$-1", 0, 0xFFFF}, {"%-1", 0, 0xFFFF}, {"#-0", 0, 0}, {"$$1", 0, 0},
        {"%111111111111111", 0, 0x7FFF}, {"%1111111111111111", 0, 0},
        // Typed text ends at the first NUL.
        {std::string("12\0x", 4), 0, 12}, {std::string("\0" "5", 2), 0, 0},
        {std::string("$1\0" "FFFFFFFF", 11), 0, 1},
        // Bytes outside ASCII are not digits.
        {"\xB9", 0, 0}, {"1\xFF", 1, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseNumber(c.text, static_cast<NumberBase>(c.base)), c.value) << '"' << c.text << "\" base " << c.base;
}

// Any text gives a result within 16 bits; nothing longer than 16 characters is ever accepted.
TEST(NumberParse, AnyTextIsSafe) {
    const char alphabet[] = "0123456789abcdefxX$%#+- \t\x80\xFF";
    for (size_t length = 0; length <= 40; ++length) {
        for (size_t k = 0; k < sizeof alphabet - 1; ++k) {
            std::string text(length, alphabet[k]);
            for (NumberBase base : {kBaseDecimal, kBaseHexadecimal, kBaseBinary}) {
                const unsigned value = parseNumber(text, base);
                EXPECT_LE(value, 0xFFFFu);
                if (length > 16) {
                    EXPECT_EQ(value, 0u);
                }
            }
        }
    }
    for (int c = 0; c < 256; ++c)
        EXPECT_LE(parseNumber(std::string(1, static_cast<char>(c)), kBaseHexadecimal), 0xFFFFu);
    EXPECT_EQ(parseNumber(std::string(1 << 20, '1'), kBaseBinary), 0u);
}

// The strict parse tells a typed zero from text that is no number at all.
TEST(NumberParse, StrictRefusesWhatIsNoNumber) {
    struct StrictCase {
        std::string text;
        NumberBase base;
        std::optional<unsigned> value;
    };
    const StrictCase cases[] = {
        // Typed zeros in every spelling.
        {"0", kBaseDecimal, 0u}, {"$0", kBaseDecimal, 0u}, {"%00", kBaseHexadecimal, 0u}, {"#0", kBaseBinary, 0u},
        {"-0", kBaseDecimal, 0u}, {"+0", kBaseDecimal, 0u}, {" 0", kBaseDecimal, 0u}, {"0000", kBaseDecimal, 0u},
        {"0x0", kBaseHexadecimal, 0u}, {"$0x0", kBaseDecimal, 0u}, {"0", kBaseBinary, 0u}, {"\t0", kBaseDecimal, 0u},
        // Numbers read as parseNumber reads them, clamping included.
        {"1234", kBaseDecimal, 1234u}, {"FFFF", kBaseHexadecimal, 0xFFFFu}, {"1FFFF", kBaseHexadecimal, 0xFFFFu},
        {"-1", kBaseDecimal, 0xFFFFu}, {"%1010", kBaseDecimal, 10u}, {"101", kBaseBinary, 5u}, {"12", kBaseDecimal, 12u},
        // No number.
        {"", kBaseDecimal, std::nullopt}, {" ", kBaseDecimal, std::nullopt}, {"\t\t", kBaseHexadecimal, std::nullopt},
        {"$", kBaseDecimal, std::nullopt}, {"%", kBaseDecimal, std::nullopt}, {"#", kBaseDecimal, std::nullopt},
        {"+", kBaseDecimal, std::nullopt}, {"-", kBaseHexadecimal, std::nullopt}, {"abc", kBaseDecimal, std::nullopt},
        {"12a", kBaseDecimal, std::nullopt}, {"0 ", kBaseDecimal, std::nullopt}, {"0x", kBaseHexadecimal, std::nullopt},
        {"0x0", kBaseDecimal, std::nullopt}, {"2", kBaseBinary, std::nullopt}, {"$G", kBaseDecimal, std::nullopt},
        {"00000", kBaseDecimal, std::nullopt}, // too long: parseNumber's 0 here is no typed zero
        {"$00000", kBaseDecimal, std::nullopt}, {"- 0", kBaseDecimal, std::nullopt},
        {std::string("0\0", 2), kBaseDecimal, std::nullopt}, {std::string("\0" "0", 2), kBaseDecimal, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseNumberStrict(c.text, c.base), c.value) << '"' << c.text << "\" base " << toInt(c.base);
}

// Whatever the strict parse gives is what parseNumber gives; it refuses only texts that
// parseNumber reads as 0.
TEST(NumberParse, StrictAgreesWithParseNumber) {
    const char alphabet[] = "0123456789abcdefxX$%#+- \t\x80\xFF";
    for (size_t length = 0; length <= 17; ++length) {
        for (size_t k = 0; k < sizeof alphabet - 1; ++k) {
            for (size_t j = 0; j < sizeof alphabet - 1; j += 3) {
                std::string text(length, alphabet[k]);
                if (length > 0)
                    text[0] = alphabet[j];
                for (NumberBase base : {kBaseDecimal, kBaseHexadecimal, kBaseBinary}) {
                    const unsigned loose = parseNumber(text, base);
                    const std::optional<unsigned> strict = parseNumberStrict(text, base);
                    if (strict) {
                        EXPECT_EQ(*strict, loose) << '"' << text << "\" base " << toInt(base);
                    } else {
                        EXPECT_EQ(loose, 0u) << '"' << text << "\" base " << toInt(base);
                    }
                }
            }
        }
    }
}

} // namespace
