#pragma once
#include "session/DebugSession.h"

#include <cstdint>
#include <optional>
#include <string>

// Expressions over the stopped target, as a watch, a hover or a breakpoint condition types them:
// numbers in the project's notations, the program's symbols and FILE:LINE (all as
// DebugSession::resolveAddress reads them), the registers A B D X Y SP PC CCR (by name, before
// any symbol of that name; SP is the program's own), [ADDR] for the byte at an address,
// parentheses, unary - and !, + - & |, the comparisons == != < <= > >= (1 or 0) and && ||.
// Registers and memory are read only when the expression names them.
class Expression {
public:
    explicit Expression(DebugSession& session) : session_(session) {}
    // The value of text; nothing, with error set, for a text that is no expression or a read
    // that failed.
    std::optional<int64_t> evaluate(const std::string& text, std::string& error);

private:
    struct Parser;
    DebugSession& session_;
    std::optional<TargetRegisters> registers_;
};
