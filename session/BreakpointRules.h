#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class DebugSession;
class Expression;

// What a breakpoint asks of a hit beyond stopping: a condition, a hit count, a message to log.
// The session judges each hit while the talker holds the program, and resumes the program itself
// when no rule at the address stops it (DebugSession::setBreakpoint, setBreakpointRules).
struct BreakpointRule {
    std::string condition;    // an Expression; the hit stops only when it is not 0 (empty: always)
    std::string hitCondition; // "N" or ">=N" (from the Nth hit on), "==N", ">N", "%N" (every Nth)
    std::string logMessage;   // logged at every hit that passes; {EXPR} is replaced by its value
    uint64_t hits = 0;        // hits counted so far (those whose condition held)
    int tag = 0;              // the front end's own name for the breakpoint (the editor's id)

    // True when the rule asks nothing: every hit stops.
    bool plain() const { return condition.empty() && hitCondition.empty() && logMessage.empty(); }
    // The rule as one line: "if COND hits N log "TEXT"" (empty for a plain rule).
    std::string describe() const;
};

// What one hit comes to.
struct HitVerdict {
    bool stop = true;              // false: resume the program
    std::vector<std::string> log;  // messages to show
    std::string error;             // why a condition or message could not be evaluated (the hit stops)
};

// Why a hit condition is no hit condition, or nothing when it is one.
std::optional<std::string> hitConditionError(const std::string& hitCondition);

// Why a rule cannot be used (its hit count, its condition's or a {EXPR}'s syntax, words that are
// no register, number or symbol), or nothing; nothing is read from the target.
std::optional<std::string> breakpointRuleError(DebugSession& session, const BreakpointRule& rule);

// Counts a hit at a breakpoint with rule and says whether it stops: a condition that is 0
// resumes (and does not count), a hit count not yet reached resumes, a log message is logged and
// resumes. A condition, hit count or message that cannot be evaluated stops, with the reason.
// Values come from expression (the stopped target's registers and memory).
HitVerdict judgeHit(Expression& expression, BreakpointRule& rule);

// The breakpoint words of a command line: ADDR [if COND] [hits N|==N|>=N|>N|%N] [log TEXT], in
// any order after the address; COND and TEXT run up to the next keyword (quote them to hold one).
struct BreakpointWords {
    std::string address;
    BreakpointRule rule;
};
// The address and rule of words (the command's arguments, already split); nothing, with error
// set, for a keyword without its value or one given twice.
std::optional<BreakpointWords> parseBreakpointWords(const std::vector<std::string>& words, std::string& error);
