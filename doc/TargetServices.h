#pragma once

class CTargetLine;
class DebugEngine;
class RegisterFrame;
class SerialPort;
class TalkerLink;
class TargetMemory;

// The process's single objects that the document's commands talk to the target through, and
// the user interface's guard of the serial line. Not owned; any may be null in a build or a test
// without them (the commands that need one then do nothing).
struct TargetServices {
    SerialPort* port = nullptr;
    TalkerLink* link = nullptr;
    TargetMemory* memory = nullptr;
    DebugEngine* engine = nullptr;
    RegisterFrame* registers = nullptr;
    CTargetLine* line = nullptr;

    // True when every object a target command needs is there.
    bool complete() const { return port && link && memory && engine && registers; }
};
