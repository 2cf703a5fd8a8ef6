#pragma once
#include "session/DebugSession.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What a breakpoint asks of a hit beyond stopping: a condition, a hit count, a message to log.
// The host judges each hit while the talker holds the program; a hit that is not to stop is
// resumed by the caller.
struct BreakpointRule {
    std::string condition;    // an Expression; the hit stops only when it is not 0 (empty: always)
    std::string hitCondition; // "N" or ">=N" (from the Nth hit on), "==N", ">N", "%N" (every Nth)
    std::string logMessage;   // logged at every hit that passes; {EXPR} is replaced by its value
    uint64_t hits = 0;        // hits counted so far (those whose condition held)

    // True when the rule asks nothing: every hit stops.
    bool plain() const { return condition.empty() && hitCondition.empty() && logMessage.empty(); }
};

// What one hit comes to.
struct HitVerdict {
    bool stop = true;              // false: resume the program
    std::vector<std::string> log;  // messages to show
    std::string error;             // why a condition or message could not be evaluated (the hit stops)
};

// Why a hit condition is no hit condition, or nothing when it is one.
std::optional<std::string> hitConditionError(const std::string& hitCondition);

// Counts a hit at a breakpoint with rule and says whether it stops: a condition that is 0
// resumes (and does not count), a hit count not yet reached resumes, a log message is logged and
// resumes. A condition, hit count or message that cannot be evaluated stops, with the reason.
HitVerdict judgeHit(DebugSession& session, BreakpointRule& rule);
