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
} // namespace EngineMessage

// How the engine tells the user something that needs acknowledging; each front end implements it
// (the GUI with a modal message box, the command-line front end with a line of text).
class EngineNotifier {
public:
    virtual ~EngineNotifier() = default;
    // Shows text to the user and returns once it has been acknowledged.
    virtual void showMessage(const std::string& text) = 0;
};
