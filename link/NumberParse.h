#pragma once
#include <optional>
#include <string>

// The base of typed numbers that carry no prefix: 0 decimal, 1 hexadecimal, 2 binary; any other
// value reads as decimal. Kept a plain integer because it is stored and passed on as one.
using NumberBase = int;
inline constexpr NumberBase kBaseDecimal = 0;
inline constexpr NumberBase kBaseHexadecimal = 1;
inline constexpr NumberBase kBaseBinary = 2;


// Typed text to a number 0..$FFFF: "$" hex, "%" binary, "#" decimal, else the default base.
// Anything unreadable gives 0.
unsigned parseNumber(const std::string& text, NumberBase defaultBase);

// The same reading, but text that is not a number (empty, blank, a prefix alone, too long, a stray
// character, a NUL anywhere) gives no value, so a typed zero ("0", "$0", "%00", "#0") can be told
// from a mistake. Any value it gives equals what parseNumber gives for the same text.
std::optional<unsigned> parseNumberStrict(const std::string& text, NumberBase defaultBase);
