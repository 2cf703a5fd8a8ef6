#pragma once
#include <memory>

class SerialPort;
class TalkerLink;
class DebugEngine;
class RegisterFrame;
class TargetMemory;
class VirtualBoard;

// The process's single objects, built before the application object in this order: serial port
// (closed, read wait 20 ms), talker link, memory services, debugger engine (which uses the memory
// services), register frame; torn down in the reverse order, so the engine closes the port before
// the port itself goes.
class Singletons {
public:
    Singletons();
    ~Singletons();
    Singletons(const Singletons&) = delete;
    Singletons& operator=(const Singletons&) = delete;

    // The one instance while it exists, else nullptr.
    static Singletons* instance();

    // Each of these is nullptr when the library that provides it is not part of the build.
    SerialPort* port() const { return port_.get(); }
    TalkerLink* link() const { return link_.get(); }
    DebugEngine* engine() const { return engine_.get(); }
    RegisterFrame* registers() const { return registers_.get(); }
    TargetMemory* memory() const { return memory_.get(); }

    // Starts the in-process virtual board; its device path, or an empty string with error set.
    std::string startVirtualBoard(std::string* error);

    // Presses the virtual board's RESET button; false when there is no virtual board.
    bool pressVirtualReset();

private:
    // Declared first so that it outlives the port that talks to it.
    std::unique_ptr<VirtualBoard> board_;
    std::unique_ptr<SerialPort> port_;
    std::unique_ptr<TalkerLink> link_;
    std::unique_ptr<TargetMemory> memory_;
    std::unique_ptr<DebugEngine> engine_;
    std::unique_ptr<RegisterFrame> registers_;
};
