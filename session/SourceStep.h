#pragma once
#include "session/DebugSession.h"

#include <cstdint>
#include <optional>

// A step by source line over a session: instruction steps (calls run whole when stepping over)
// until the program stands at the start of another line of the program's line table, or leaves
// the lines it knows. A step that sets the program running (a call stepped over) hands back to
// the caller, who waits for its stop and then advances again.
class SourceStep {
public:
    enum class Kind { Over, Into };
    enum class Outcome {
        Done,    // the program stands at the start of another line (or beyond the known lines)
        Running, // a call runs: wait for the stop; on a StepDone stop, advance again
        Failed,  // a step failed: result() says why
    };
    // Instruction steps at most, so that a line that loops on itself ends the step.
    static constexpr int kMaxInstructionSteps = 1000;

    // A step from where the program stopped.
    SourceStep(DebugSession& session, Kind kind);
    // Steps on until the line changes or the program runs.
    Outcome advance();
    // The failing step's result.
    const CommandResult& result() const { return result_; }

private:
    // True when the step may end at pc.
    bool arrived(uint32_t pc) const;

    DebugSession& session_;
    Kind kind_;
    std::optional<SourcePlace> start_;
    int steps_ = 0;
    CommandResult result_;
};
