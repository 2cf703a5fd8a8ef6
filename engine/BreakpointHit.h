#pragma once
#include "link/TalkerStatus.h"
#include "engine/TargetRegisters.h"
#include <cstdint>

// What one poll for a breakpoint hit found.
enum class BreakpointHitKind {
    None,          // not running, or no "J" from the talker yet
    Hit,           // stopped at a breakpoint: address and registers are set, the breakpoint is removed
    ConfirmFailed, // a "J" arrived but the SWI confirmation failed; still running, polling goes on
    RestoreFailed, // confirmed, but the breakpoints could not all be written back; no longer running
    NotInTable,    // stopped at an SWI that is no breakpoint of the table (address and registers set)
    Stopped,       // a program run without breakpoints stopped at an SWI or illegal opcode (address set)
    StepDone,      // a step over, step out or run to an address reached its goal (address and registers set)
};

// The result record of DebugEngine::pollBreakpointHit.
struct BreakpointHit {
    BreakpointHitKind kind = BreakpointHitKind::None;
    uint32_t address = 0;          // address of the SWI that stopped the program
    TargetRegisters registers;     // the stopped target's registers, PC = address
    TalkerStatus status = kTalkerOk; // the failing link status for ConfirmFailed and RestoreFailed
};
