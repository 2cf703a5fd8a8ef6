#include "NumberParse.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    std::string text;
    NumberBase base;
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
        EXPECT_EQ(parseNumber(c.text, c.base), c.value) << '"' << c.text << "\" base " << c.base;
}

TEST(NumberParse, DefaultBaseIsProcessWide) {
    EXPECT_EQ(GetDefaultBase(), 0);
    EXPECT_EQ(parseNumber("10"), 10u);
    SetDefaultBase(1);
    EXPECT_EQ(parseNumber("10"), 0x10u);
    SetDefaultBase(2);
    EXPECT_EQ(parseNumber("10"), 2u);
    SetDefaultBase(0);
    EXPECT_EQ(parseNumber("10"), 10u);
}

// Any text gives a result within 16 bits; nothing longer than 16 characters is ever accepted.
TEST(NumberParse, AnyTextIsSafe) {
    const char alphabet[] = "0123456789abcdefxX$%#+- \t\x80\xFF";
    for (size_t length = 0; length <= 40; ++length) {
        for (size_t k = 0; k < sizeof alphabet - 1; ++k) {
            std::string text(length, alphabet[k]);
            for (NumberBase base : {0, 1, 2}) {
                const unsigned value = parseNumber(text, base);
                EXPECT_LE(value, 0xFFFFu);
                if (length > 16) {
                    EXPECT_EQ(value, 0u);
                }
            }
        }
    }
    for (int c = 0; c < 256; ++c)
        EXPECT_LE(parseNumber(std::string(1, static_cast<char>(c)), 1), 0xFFFFu);
    EXPECT_EQ(parseNumber(std::string(1 << 20, '1'), 2), 0u);
}

} // namespace
