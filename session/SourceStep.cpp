#include "session/SourceStep.h"

namespace {

uint32_t programCounter(const DebugSession& s)
{
    return s.stoppedPC().value_or(s.currentPC()) & 0xFFFF;
}

} // namespace

SourceStep::SourceStep(DebugSession& session, Kind kind)
    : session_(session), kind_(kind), start_(session.sourceLines().placeOf(programCounter(session)))
{
}

bool SourceStep::arrived(uint32_t pc) const
{
    const SourceLines& lines = session_.sourceLines();
    // Code without lines ends the step: show it rather than run on blind. A line's start ends
    // it too, its own start included (the next round of a loop of one line).
    return !start_ || !lines.placeOf(pc) || lines.startsLine(pc);
}

SourceStep::Outcome SourceStep::advance()
{
    for (;;) {
        if (steps_ > 0 && (arrived(programCounter(session_)) || steps_ >= kMaxInstructionSteps))
            return Outcome::Done;
        ++steps_;
        result_ = kind_ == Kind::Over ? session_.stepOver() : session_.trace(std::nullopt);
        if (!result_.ok())
            return Outcome::Failed;
        if (session_.awaitingHit())
            return Outcome::Running;
    }
}
