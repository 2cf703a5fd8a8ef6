#pragma once
#include <cstdint>
#include <optional>
#include <string>

// The base of typed numbers that carry no prefix. Settings files and the talker setup store it as
// 0 decimal, 1 hexadecimal, 2 binary.
enum class NumberBase : int { Decimal = 0, Hexadecimal = 1, Binary = 2 };
inline constexpr NumberBase kBaseDecimal = NumberBase::Decimal;
inline constexpr NumberBase kBaseHexadecimal = NumberBase::Hexadecimal;
inline constexpr NumberBase kBaseBinary = NumberBase::Binary;

// The stored number of a base; any number that names no base reads as decimal.
constexpr NumberBase numberBaseFromInt(int stored) {
    return stored == 1 ? NumberBase::Hexadecimal : stored == 2 ? NumberBase::Binary : NumberBase::Decimal;
}
constexpr int toInt(NumberBase base) { return static_cast<int>(base); }


// Typed text to a number 0..$FFFF: "$" hex, "%" binary, "#" decimal, else the default base.
// Anything unreadable gives 0.
unsigned parseNumber(const std::string& text, NumberBase defaultBase);

// The same reading, but text that is not a number (empty, blank, a prefix alone, too long, a stray
// character, a NUL anywhere) gives no value, so a typed zero ("0", "$0", "%00", "#0") can be told
// from a mistake. Any value it gives equals what parseNumber gives for the same text.
std::optional<unsigned> parseNumberStrict(const std::string& text, NumberBase defaultBase);

// What is wrong with a typed number.
enum class NumberProblem { None, Empty, NotANumber, OutOfRange };

// A typed number read for a field that takes 0..max: its value, or what is wrong with it.
struct TypedNumber {
    NumberProblem problem = NumberProblem::None;
    uint32_t value = 0; // 0 unless problem is None
};

// Reads typed text for a field that takes 0..max, with the prefixes and default base of
// parseNumber but neither its length limits nor its clamping: digits of any length are read whole
// (leading zeros, five decimal digits), so a value that does not fit is out of range rather than
// cut down, wrapped or taken for no number. Empty or blank text is Empty; a negative value is out
// of range.
TypedNumber readTypedNumber(const std::string& text, NumberBase defaultBase, uint32_t max);
