#pragma once

class CTargetLine;
class DebugSession;

// What the document's commands talk to the target through: the debug session, and the user
// interface's watch over the serial line. Not owned; either may be null in a build or a test
// without them (the commands that need the session then do nothing).
struct TargetServices {
    DebugSession* session = nullptr;
    CTargetLine* line = nullptr;

    // True when every object a target command needs is there.
    bool complete() const { return session != nullptr; }
};
