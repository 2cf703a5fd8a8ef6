#pragma once
#include <string>

// 0 decimal, 1 hexadecimal, 2 binary; any other value reads as decimal.
using NumberBase = int;

// The default base in force for typed numbers (owned by the application; decimal at start).
NumberBase GetDefaultBase();
void SetDefaultBase(NumberBase base);

// Typed text to a number 0..$FFFF: "$" hex, "%" binary, "#" decimal, else the default base.
// Anything unreadable gives 0.
unsigned parseNumber(const std::string& text);
unsigned parseNumber(const std::string& text, NumberBase defaultBase);
