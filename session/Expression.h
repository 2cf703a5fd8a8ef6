#pragma once
#include "session/DebugSession.h"

#include <cstdint>
#include <functional>
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
    // Reads the byte at address into byte; false, with error set, when the read failed.
    using ByteReader = std::function<bool(uint32_t address, uint8_t& byte, std::string& error)>;

    // Registers and memory read through the session's commands.
    explicit Expression(DebugSession& session) : session_(session) {}
    // Registers as given (PC included: a hit's record) and memory through readByte, for a
    // session that is inside a command of its own.
    Expression(DebugSession& session, const TargetRegisters& registers, ByteReader readByte)
        : session_(session), registers_(registers), readByte_(std::move(readByte)), pcGiven_(true) {}
    // The value of text; nothing, with error set, for a text that is no expression or a read
    // that failed.
    std::optional<int64_t> evaluate(const std::string& text, std::string& error);
    // Why text is no expression (its words checked against the registers and the program's
    // symbols, nothing read from the target); nothing when it is one.
    static std::optional<std::string> syntaxError(DebugSession& session, const std::string& text);

private:
    struct Parser;
    DebugSession& session_;
    std::optional<TargetRegisters> registers_;
    ByteReader readByte_;
    bool pcGiven_ = false; // PC is registers_->PC rather than where the session says it stopped
    bool dry_ = false;     // nothing is read: registers and bytes are 0
};
