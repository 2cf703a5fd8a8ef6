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
// printf formats: the file's line and the first address of its data that lies in the talker's
// RAM, or in the register block.
inline constexpr const char* kS19OverTalker =
    "line %u: data at $%04x would overwrite the talker in RAM ($0000-$00c9, $00f4-$00ff)";
inline constexpr const char* kS19OverRegisters =
    "line %u: data at $%04x would be written into the register block ($1000-$103f)";
// printf format: the file's line, the first address of its data in ROM, the ROM's name and range.
inline constexpr const char* kS19OverRom = "line %u: data at $%04x would be written into the %s ($%04x-$%04x)";
// printf format: where the program wrote over one of our SWIs, the byte it wrote, the byte the SWI
// displaced (not written back).
inline constexpr const char* kProgramByteKept =
    "The program wrote over the debugger's SWI at $%04x: its byte $%02x is kept (the byte the SWI displaced, "
    "$%02x, is not written back)";
} // namespace EngineMessage

// How the engine tells the user something that needs acknowledging; each front end implements it
// (the GUI with a modal message box, the command-line front end with a line of text).
class EngineNotifier {
public:
    virtual ~EngineNotifier() = default;
    // Shows text to the user and returns once it has been acknowledged.
    virtual void showMessage(const std::string& text) = 0;
};
