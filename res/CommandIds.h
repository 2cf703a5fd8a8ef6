#pragma once
#include <cstdint>

// Command identifiers shared by menus, shortcut keys, toolbar buttons and the string table.
namespace CmdId {
// Debugger commands carried by the document.
inline constexpr int kBlockFill = 32771;
inline constexpr int kFindByte = 32772;
inline constexpr int kMemoryDisplay = 32773;
inline constexpr int kMoveMemory = 32774;
inline constexpr int kSetMemory = 32775;
inline constexpr int kRegisterWindow = 32776;
inline constexpr int kSetBreakpoint = 32777;
inline constexpr int kClearBreakpoint = 32778;
inline constexpr int kListBreakpoints = 32779;
inline constexpr int kTrace = 32780;
inline constexpr int kCallSubroutine = 32781;
inline constexpr int kExecute = 32782;
inline constexpr int kStopExecution = 32783;
inline constexpr int kBootTalker = 32786;
inline constexpr int kVerifyS19 = 32791;
inline constexpr int kClearMemoryView = 32792;
inline constexpr int kClearAllBreakpoints = 32793;
inline constexpr int kContinueTrace = 32802;
// Source-level stepping and the I/O registers window.
inline constexpr int kStepOver = 32810;
inline constexpr int kStepOut = 32811;
inline constexpr int kRunToCursor = 32812;
inline constexpr int kContinue = 32813;
inline constexpr int kToggleBreakpoint = 32814;
inline constexpr int kIoRegisterWindow = 32815;
// The Disassembly view of a memory range.
inline constexpr int kDisassemblyView = 32816;
// The Memory Watch window.
inline constexpr int kMemoryWatch = 32817;
// The Board panel: the virtual board's pins.
inline constexpr int kBoardPanel = 32830;

// Cancels in-place editing of an embedded object; has no effect here.
inline constexpr int kCancelEditSrvr = 32768;

// Standard file, edit, window, view and application commands.
inline constexpr int kFileNew = 57600;
inline constexpr int kFileOpen = 57601;
inline constexpr int kFileClose = 57602;
inline constexpr int kFilePrintSetup = 57606;
inline constexpr int kFilePrint = 57607;
inline constexpr int kFileMru1 = 57616;
inline constexpr int kFileMru4 = 57619;
inline constexpr int kEditCopy = 57634;
inline constexpr int kEditFind = 57636;
inline constexpr int kEditRepeat = 57640;
inline constexpr int kEditSelectAll = 57642;
inline constexpr int kEditUndo = 57643;
inline constexpr int kWindowArrange = 57649;
inline constexpr int kWindowCascade = 57650;
inline constexpr int kWindowTile = 57651;
inline constexpr int kAppAbout = 57664;
inline constexpr int kAppExit = 57665;
inline constexpr int kHelpSearch = 57666;
inline constexpr int kHelpContents = 57670;
inline constexpr int kViewToolbar = 59392;
inline constexpr int kViewStatusBar = 59393;
} // namespace CmdId

// Resource identifiers of the two menu bars and the shortcut table.
namespace ResId {
inline constexpr int kMainFrame = 128; // menu while no document is open, shortcut keys, toolbar
inline constexpr int kDocument = 129;  // menu while a document is open
} // namespace ResId
