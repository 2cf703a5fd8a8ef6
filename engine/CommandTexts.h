#pragma once
#include <cstdarg>
#include <cstdio>
#include <string>

// The progress, success and message texts of the debugger's commands, shared by every front end
// (the GUI's status bar and message boxes, the command-line front end's output lines). Texts with
// conversions are printf formats; addresses are "$%04x", bytes "$%02x", both lower-case.
namespace CommandText {
// Boot Talker.
inline constexpr const char* kPressReset = "Please press the 68HC11 RESET button...";
inline constexpr const char* kResetThroughLine = "Resetting the 68HC11 through %s...";
inline constexpr const char* kResetLineFailed = "Unable to reset the board through %s on %s: %s";
inline constexpr const char* kAdapterTooSlow =
    "The %s adapter (USB %04x:%04x) on %s cannot make %u baud: the line stays at the talker's rate";
inline constexpr const char* kTalkerDownloaded = "Talker download successful";
// The same, with what the download measured of the line (its round trip beyond the characters'
// own time, and the read wait that follows from it).
inline constexpr const char* kTalkerDownloadedMeasured =
    "Talker download successful (link round trip %d ms, read wait %d ms)";
// A download whose echo came back wrong: its last byte was held back, so the chip ran nothing.
inline constexpr const char* kTalkerDownloadDamaged =
    "The talker download was damaged on the line (the echo of byte %d of 256 was wrong, missing or "
    "doubled); the chip was not started. Press the 68HC11 RESET button and boot again.";
// A service of our talker that the line interrupted could not be ended yet.
inline constexpr const char* kServiceLeft =
    "The line failed while the talker ran a service, and the service could not be ended yet: "
    "nothing else is sent to the talker until it is (the next command tries again; RESET ends it).";
// The same, found only after the last byte had gone: the chip runs an image that may be damaged.
inline constexpr const char* kTalkerDownloadDoubtful =
    "The talker download ended with an extra echo on the line; the chip may be running a damaged "
    "image. Press the 68HC11 RESET button and boot again.";
// The user abandoned the talker download (the chip waits for a RESET).
inline constexpr const char* kBootCancelled = "Talker download cancelled; press RESET before the next boot";
// Execute.
inline constexpr const char* kExecuteProgress = "Beginning program execution";
inline constexpr const char* kExecuteDone = "Executing program";
// Stop Execution.
inline constexpr const char* kStopProgress = "Stopping execution";
inline constexpr const char* kStopDone = "Execution stopped";
// Call Subroutine (the same text before and after).
inline constexpr const char* kCallProgress = "Calling Subroutine";
inline constexpr const char* kCallDone = "Calling Subroutine";
// Find Byte: the typed value (not cut to a byte) and the start; the value and the first match.
inline constexpr const char* kFindProgress = "Searching for $%02x starting at $%04x...";
inline constexpr const char* kFindDone = "Value %02x found at location $%04x";
// Move Memory Block: start, end, destination; the progress text ends in a line feed.
inline constexpr const char* kMoveProgress = "Moving block - source $%04x-$%04x - dest $%04x\n";
inline constexpr const char* kMoveDone = "Memory move successful.";
// Verify S19: the file's path.
inline constexpr const char* kVerifyProgress = "Verifying S19 File: %s";
inline constexpr const char* kVerifyDone = "S19 Memory Image Verified";
// A verify's difference: the status's text, the address, the file's byte and the target's.
inline constexpr const char* kS19MismatchAt = "%s at $%04x (file $%02x, memory $%02x)";
// Load S19: the file's path.
inline constexpr const char* kLoadProgress = "Loading S19 record %s into memory...";
inline constexpr const char* kListingMissing = "Unable to open LST file, S19 loaded successfully";
inline constexpr const char* kLoadDone = "S19 record loaded successfully";
// A listing or symbol map larger than what is kept: how much is kept, how much was left out.
inline constexpr const char* kListingCut = "Note: only the first %zu lines of the listing are shown";
inline constexpr const char* kSymbolsDropped = "Note: only the first %zu names of the symbol map are used; %zu more were left out";
// Block Fill: start, end, byte. The order message refuses an end below the start.
inline constexpr const char* kRangeOrder = "Start Address cannot be greater than End Address";
inline constexpr const char* kFillProgress = "Filling block $%04x to $%04x with $%02x";
inline constexpr const char* kFillDone = "Block Fill successful";
// Set Memory Location: address, byte.
inline constexpr const char* kSetProgress = "Setting location $%04x to $%02x";
inline constexpr const char* kSetDone = "Memory set successful";
// Breakpoints: the address.
inline constexpr const char* kBreakpointSet = "Breakpoint set at $%04x";
inline constexpr const char* kBreakpointNotRemoved = "Unable to remove breakpoint $%04x";
inline constexpr const char* kBreakpointRemoved = "Breakpoint $%04x Removed";
inline constexpr const char* kClearAllProgress = "Removing all breakpoints";
inline constexpr const char* kClearAllDone = "Breakpoint list cleared";
inline constexpr const char* kBreakpointEntry = "$%04x";
// A running program stopped at a breakpoint: the address.
inline constexpr const char* kBreakpointReached = "Breakpoint reached at $%04x";
// Trace and Continue Trace: the address traced from; the address reached.
inline constexpr const char* kTraceProgress = "Beginning trace at $%04x";
inline constexpr const char* kContinueTraceProgress = "Continuing trace at $%04x";
inline constexpr const char* kTraceDone = "Trace completed at $%04x";
// Step out, run to an address, continue: where the program stopped (and where it runs to). A step
// over a call shows the trace texts; each ends with the trace's or a breakpoint's stop text.
inline constexpr const char* kStepOutProgress = "Stepping out at $%04x to $%04x";
inline constexpr const char* kRunUntilProgress = "Running from $%04x to $%04x";
inline constexpr const char* kContinueProgress = "Continuing execution at $%04x";
// A step out that looks for its frame's return by stepping: where the program stopped.
inline constexpr const char* kStepOutSearchProgress = "Stepping out at $%04x: stepping to the return";
// A step out where the session has followed the program since its entry and saw no call: the entry.
inline constexpr const char* kStepOutTopLevel =
    "Error: the program is at its top level (no call since its entry at $%04x): there is no return to step out to";
// A step out whose stepping found no return: why, and where the program is held now.
inline constexpr const char* kStepOutNoReturn = "Step out found no return: %s; the program is held at $%04x";
inline constexpr const char* kNoReturnSwi = "the program reaches its own SWI";
inline constexpr const char* kNoReturnWait = "the program reaches a WAI or STOP";
inline constexpr const char* kNoReturnUndefined = "the program reaches an undefined opcode";
inline constexpr const char* kNoReturnWithin = "no RTS or RTI within %d instructions";
// Run to an address: refused at $0000 (no breakpoint can go there) and inside an instruction (the
// address, the instruction's start, what shows it); a note for an address nothing vouches for.
inline constexpr const char* kUntilZero = "Error: no breakpoint can be planted at $0000; nothing was run";
inline constexpr const char* kUntilInside =
    "Error: $%04x starts no instruction: it lies inside the bytes at $%04x (%s); nothing was run";
inline constexpr const char* kInsideByListing = "the listing";
inline constexpr const char* kInsideByDisassembly = "disassembled from $%04x";
inline constexpr const char* kUntilUnproven =
    "Note: no listing line, symbol or known instruction start shows $%04x to start an instruction; if it "
    "does not, the SWI planted there corrupts the instruction it lies in";
// Memory display: start and end of the rounded range.
inline constexpr const char* kDumpProgress = "Retrieving memory block $%04x-$%04x";
inline constexpr const char* kDumpOrder = "Ending Address must be larger than the Starting Address";
inline constexpr const char* kDumpRead = "Memory Read Successful";
inline constexpr const char* kDumpDone = "Memory dump successful";
// A read whose repeats never agreed (a running program keeps changing what was read): the last
// read is shown.
inline constexpr const char* kReadChanging =
    "Note: the values changed while they were read (the program is running); the last read is shown";
// Registers window.
inline constexpr const char* kRegisterReadFailed = "Register Read Failed!";
inline constexpr const char* kRegisterWriteFailed = "Error while writing registers";
// A block move whose destination would run past $FFFF: start of the destination, its length.
inline constexpr const char* kMoveBeyondEnd = "Destination block $%04x of %u bytes runs past $ffff";

// A user write (set, fill, move) that reaches into the RAM talker: the first such address.
inline constexpr const char* kWriteOverTalker =
    "Error: $%04x belongs to the talker in RAM ($0000-$00c9, $00f4-$00ff); nothing was written";
// A refused S19 file: the status's text, the file's path and what is wrong with it.
inline constexpr const char* kS19Refused = "%s: %s, %s";
// A command that needs the talker while none runs: the last boot failed, or the board was reset
// (or went quiet) under a running program or a trace step.
inline constexpr const char* kNoTalkerBootFailed =
    "No talker is running: the last boot failed. Press RESET and boot the talker again";
inline constexpr const char* kNoTalkerReset =
    "No talker is running: the board was reset. Boot the talker again";

// The serial line hung up or its device vanished while a command or a wait used it.
inline constexpr const char* kLineGone =
    "The serial line went away (the board, its cable or the port's adapter is gone): nothing more "
    "can reach the talker. Reconnect and boot the talker again";

// A wait for a stop ran out and the talker did not answer either.
inline constexpr const char* kTalkerGone =
    "The talker does not answer: the board was reset or lost power (or the program keeps interrupts "
    "masked). Boot the talker again";

// A trace step got no answer and the talker does not answer either.
inline constexpr const char* kStepMetReset =
    "The trace step did not end: the talker does not answer, so the board was reset or lost power. "
    "Boot the talker again";

// SWIs of ours that a failed command or a lost talker left in the program: the list of
// "$address (its own byte $xx)" texts. While the talker answers the next command that reaches
// it writes them back; at the end of a session nobody will.
inline constexpr const char* kSwisLeft =
    "The program may still hold the debugger's SWI ($3f) at %s; the next command that reaches the "
    "talker, or the next boot, writes these bytes back";
inline constexpr const char* kSwisLeftAtEnd =
    "The debugger's SWI ($3f) could not be taken out of the program at %s: write these bytes back "
    "(or load the program again) after the next boot";
inline constexpr const char* kLeftBehind =
    "An earlier session on this port left the debugger's SWI ($3f) in the program at %s";
inline constexpr const char* kLeftBehindWritten = "Bytes an earlier session left planted written back";
inline constexpr const char* kSwiEntry = "$%04x (its own byte $%02x)";

// A command started while another still talks to the target.
inline constexpr const char* kLineBusy = "Another command is still talking to the target";
// A program run without breakpoints stopped at an SWI or an illegal opcode: the address.
inline constexpr const char* kProgramStopped = "Program stopped at $%04x";

// The text of format with its arguments filled in.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
inline std::string format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        text.resize(static_cast<size_t>(length));
    }
    va_end(again);
    return text;
}
} // namespace CommandText
