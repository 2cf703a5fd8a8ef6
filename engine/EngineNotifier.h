#pragma once
#include <string>

// The fixed message-box texts of the engine.
namespace EngineMessage {
inline constexpr const char* kTalkerInitialized = "Talker initialized successfully.";
inline constexpr const char* kSwiConfirmFailed = "SWI confirmation failed.";
inline constexpr const char* kNoReturn = "68HC11 failed to return control to Tarvik11.";
inline constexpr const char* kTracepointsNotRemoved = "Error: unable to remove all tracepoints.";
inline constexpr const char* kBreakpointsNotRemoved = "Error: unable to remove all breakpoints.";
inline constexpr const char* kHitNotInTable = "Unable to remove current breakpoint from table.";
inline constexpr const char* kTraceWaits =
    "Cannot trace WAI or STOP: the processor would wait for an interrupt or a reset.";
inline constexpr const char* kTraceIntoItself =
    "Cannot trace a call or return that continues inside its own instruction.";
// A printf format: the first address of the file's data that lies in the talker's RAM.
inline constexpr const char* kS19OverTalker =
    "S19 data at $%04x would overwrite the talker in RAM ($0000-$00ff); nothing was loaded.";
} // namespace EngineMessage

// How the engine tells the user something that needs acknowledging; each front end implements it
// (the GUI with a modal message box, the command-line front end with a line of text).
class EngineNotifier {
public:
    virtual ~EngineNotifier() = default;
    // Shows text to the user and returns once it has been acknowledged.
    virtual void showMessage(const std::string& text) = 0;
};
