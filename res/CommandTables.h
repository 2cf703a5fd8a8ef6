#pragma once
#include "res/CommandIds.h"
#include <span>

// Enabled and checked state of one command.
struct CommandState {
    bool enabled = true;
    bool checked = false;
};

// One command an object of type Receiver carries: the handler that carries it out and the rule
// for its state (nullptr: always enabled, never checked).
template <typename Receiver>
struct CommandBinding {
    int id;
    void (Receiver::*handler)();
    CommandState (Receiver::*state)() const = nullptr;
};

// The binding of command id in table, or nullptr when the table does not carry it.
template <typename Receiver>
constexpr const CommandBinding<Receiver>* findBinding(std::span<const CommandBinding<Receiver>> table, int id)
{
    for (const CommandBinding<Receiver>& binding : table)
        if (binding.id == id)
            return &binding;
    return nullptr;
}

// The state of a bound command on receiver, by its rule.
template <typename Receiver>
CommandState bindingState(const CommandBinding<Receiver>& binding, const Receiver& receiver)
{
    return binding.state ? (receiver.*binding.state)() : CommandState{};
}

// One menu item: id 0 is a separator; the shortcut text is shown after the label in the menu.
struct MenuItemDef {
    int id;
    const char* label;
    const char* shortcutText;
};

// One drop-down menu of a menu bar.
struct MenuDef {
    const char* title;
    std::span<const MenuItemDef> items;
};

// One shortcut key (in QKeySequence portable text) and the command it sends.
struct AccelDef {
    const char* keys;
    int id;
};

// One toolbar button (id 0 is a separator) and the name of its image in the resources.
struct ToolButtonDef {
    int id;
    const char* image;
};

// A command's string: the status-bar prompt and, after a line feed, the tooltip (if any).
struct CommandStringDef {
    int id;
    const char* text;
};

namespace CommandTables {

inline constexpr MenuItemDef kSep{0, nullptr, nullptr};

// ---- Menu bar 128: no document open ----
inline constexpr MenuItemDef kFile128[] = {
    {CmdId::kFileNew, "&Memory View", nullptr},
    {CmdId::kBootTalker, "&Boot Talker...", nullptr},
    {CmdId::kAppExit, "E&xit", nullptr},
};
inline constexpr MenuItemDef kHelp128[] = {
    {CmdId::kHelpContents, "&Contents...", nullptr},
    {CmdId::kHelpSearch, "&Search...", nullptr},
    kSep,
    {CmdId::kAppAbout, "&About Tarvik11...", nullptr},
};
inline constexpr MenuDef kMenuBar128[] = {
    {"&File", kFile128},
    {"&Help", kHelp128},
};

// ---- Menu bar 129: a document open ----
inline constexpr MenuItemDef kFile129[] = {
    {CmdId::kFileOpen, "&Open S19 Record...", "Ctrl+O"},
    {CmdId::kVerifyS19, "Verify S19 Record...", nullptr},
    {CmdId::kFileClose, "&Close", nullptr},
    kSep,
    {CmdId::kFilePrint, "&Print...", "Ctrl+P"},
    {CmdId::kFilePrintSetup, "P&rint Setup...", nullptr},
    kSep,
    {CmdId::kFileMru1, "Recent File", nullptr},
    kSep,
    {CmdId::kBootTalker, "&Boot Talker...", nullptr},
    {CmdId::kAppExit, "E&xit", nullptr},
};
inline constexpr MenuItemDef kEdit129[] = {
    {CmdId::kEditUndo, "&Undo", "Ctrl+Z"},
    kSep,
    {CmdId::kEditCopy, "&Copy", "Ctrl+C"},
    {CmdId::kEditSelectAll, "Select A&ll", "Ctrl+A"},
    kSep,
    {CmdId::kEditFind, "&Find...", "Ctrl+F"},
    {CmdId::kEditRepeat, "F&ind Next", "F3"},
};
inline constexpr MenuItemDef kView129[] = {
    {CmdId::kViewToolbar, "&Toolbar", nullptr},
    {CmdId::kViewStatusBar, "&Status Bar", nullptr},
    kSep,
    {CmdId::kMemoryWatch, "Memory &Watch", "Ctrl+Shift+W"},
    {CmdId::kBoardPanel, "&Board Panel", nullptr},
};
inline constexpr MenuItemDef kMemory129[] = {
    {CmdId::kBlockFill, "&Block Fill...", "Ctrl+Shift+F"},
    {CmdId::kSetMemory, "&Set Memory Location...", "Ctrl+S"},
    {CmdId::kMoveMemory, "M&ove Memory Block...", nullptr},
    kSep,
    {CmdId::kMemoryDisplay, "&Memory Display...", "Ctrl-D"},
    {CmdId::kFindByte, "&Find Byte...", nullptr},
    {CmdId::kClearMemoryView, "&Clear Memory View", nullptr},
    kSep,
    {CmdId::kRegisterWindow, "&Register Window...", "Ctrl+R"},
    {CmdId::kIoRegisterWindow, "&I/O Registers...", nullptr},
    {CmdId::kDisassemblyView, "&Disassembly...", "Ctrl+Shift+D"},
};
inline constexpr MenuItemDef kBreakpoint129[] = {
    {CmdId::kSetBreakpoint, "&Set Breakpoint...", nullptr},
    {CmdId::kClearBreakpoint, "&Clear Breakpoint", nullptr},
    {CmdId::kClearAllBreakpoints, "Clear &All Breakpoints", nullptr},
    {CmdId::kListBreakpoints, "&List Breakpoints...", "Ctrl+B"},
    {CmdId::kToggleBreakpoint, "To&ggle Breakpoint", "F9"},
    kSep,
    {CmdId::kTrace, "&Trace...", "Ctrl+Shift+T"},
    {CmdId::kContinueTrace, "C&ontinue Trace", "Ctrl+T, F11"},
    {CmdId::kStepOver, "Step O&ver", "F10"},
    {CmdId::kStepOut, "Step O&ut", "Shift+F11"},
};
inline constexpr MenuItemDef kProgram129[] = {
    {CmdId::kCallSubroutine, "&Call Subroutine...", "Ctrl+U"},
    {CmdId::kExecute, "&Execute...", "Ctrl+E"},
    {CmdId::kStopExecution, "&Stop Execution", "Shift+F5"},
    kSep,
    {CmdId::kContinue, "Co&ntinue", "F5"},
    {CmdId::kRunToCursor, "&Run to Cursor", "Ctrl+F10"},
};
inline constexpr MenuItemDef kWindow129[] = {
    {CmdId::kWindowCascade, "&Cascade", nullptr},
    {CmdId::kWindowTile, "&Tile", nullptr},
    {CmdId::kWindowArrange, "&Arrange Icons", nullptr},
};
inline constexpr MenuDef kMenuBar129[] = {
    {"&File", kFile129},
    {"&Edit", kEdit129},
    {"&View", kView129},
    {"&Memory", kMemory129},
    {"&Breakpoint", kBreakpoint129},
    {"&Program", kProgram129},
    {"&Window", kWindow129},
    {"&Help", kHelp128},
};

// ---- Shortcut keys (table 128), active in every state ----
inline constexpr AccelDef kAccelerators[] = {
    {"Ctrl+A", CmdId::kEditSelectAll},
    {"Ctrl+B", CmdId::kListBreakpoints},
    {"Ctrl+C", CmdId::kEditCopy},
    {"Ctrl+D", CmdId::kMemoryDisplay},
    {"Ctrl+E", CmdId::kExecute},
    {"Ctrl+F", CmdId::kEditFind},
    {"Ctrl+Shift+F", CmdId::kBlockFill},
    {"Ctrl+O", CmdId::kFileOpen},
    {"Ctrl+P", CmdId::kFilePrint},
    {"Ctrl+R", CmdId::kRegisterWindow},
    {"Ctrl+S", CmdId::kSetMemory},
    {"Ctrl+T", CmdId::kContinueTrace},
    {"Ctrl+Shift+T", CmdId::kTrace},
    {"Ctrl+U", CmdId::kCallSubroutine},
    {"Esc", CmdId::kCancelEditSrvr},
    {"Ctrl+Ins", CmdId::kEditCopy},
    {"F5", CmdId::kContinue},
    {"F9", CmdId::kToggleBreakpoint},
    {"F10", CmdId::kStepOver},
    {"Shift+F11", CmdId::kStepOut},
    {"Ctrl+F10", CmdId::kRunToCursor},
    // Step Into and Stop as debuggers have them, beside the keys above.
    {"F11", CmdId::kContinueTrace},
    {"Shift+F5", CmdId::kStopExecution},
    {"Ctrl+Shift+D", CmdId::kDisassemblyView},
    {"Ctrl+Shift+W", CmdId::kMemoryWatch},
};

// ---- Toolbar 128, left to right ----
inline constexpr ToolButtonDef kToolbar[] = {
    {CmdId::kBootTalker, "boot"},
    {CmdId::kFileOpen, "open"},
    {CmdId::kVerifyS19, "verify"},
    {0, nullptr},
    {CmdId::kFilePrint, "print"},
    {CmdId::kEditCopy, "copy"},
    {0, nullptr},
    {CmdId::kMemoryDisplay, "memory"},
    {CmdId::kSetMemory, "setmem"},
    {CmdId::kBlockFill, "fill"},
    {0, nullptr},
    {CmdId::kExecute, "execute"},
    {CmdId::kCallSubroutine, "subroutine"},
    {CmdId::kStopExecution, "stop"},
    {0, nullptr},
    {CmdId::kSetBreakpoint, "breakpoint"},
    {CmdId::kClearAllBreakpoints, "clearbreaks"},
    {CmdId::kTrace, "trace"},
    {0, nullptr},
    {CmdId::kToggleBreakpoint, "togglebreak"},
    {CmdId::kStepOver, "stepover"},
    {CmdId::kStepOut, "stepout"},
    {CmdId::kRunToCursor, "runtocursor"},
    {CmdId::kContinue, "continue"},
    {0, nullptr},
    {CmdId::kHelpSearch, "help"},
};

// ---- String table: prompt, line feed, tooltip ----
inline constexpr CommandStringDef kCommandStrings[] = {
    {CmdId::kBootTalker, "Initialize the talker\nBoot Talker"},
    {CmdId::kFileOpen, "Open an S19 Record\nOpen"},
    {CmdId::kVerifyS19, "Verify an S19 Record on the 68HC11\nVerify S19"},
    {CmdId::kFilePrint, "Print the active document\nPrint"},
    {CmdId::kEditCopy, "Copy the selection and put it on the Clipboard\nCopy"},
    {CmdId::kMemoryDisplay, "Display memory range\nDisplay Memory"},
    {CmdId::kSetMemory, "Set memory location to specified value\nSet Memory"},
    {CmdId::kBlockFill, "Fill a memory block with the specified byte\nFill Memory Block"},
    {CmdId::kExecute, "Execute a program at the specified address\nExecute"},
    {CmdId::kCallSubroutine, "Execute a subroutine\nExecute Subroutine"},
    {CmdId::kStopExecution, "Stop program execution\nStop"},
    {CmdId::kSetBreakpoint, "Set a breakpoint\nSet Breakpoint"},
    {CmdId::kClearAllBreakpoints, "Remove all breakpoints from the breakpoint list\nClear All Breakpoints"},
    {CmdId::kTrace, "Trace program execution\nTrace"},
    {CmdId::kHelpSearch, "Search the on-line help index\nHelp Search"},
    {CmdId::kFileNew, "Create the memory view\nMemory View"},
    {CmdId::kFindByte, "Find a specified byte in memory\nFind Byte"},
    {CmdId::kMoveMemory, "Move a block of memory\nMove Memory"},
    {CmdId::kRegisterWindow, "Display the 68HC11 registers\nRegisters Window"},
    {CmdId::kClearBreakpoint, "Clear the selected breakpoint\nClear Breakpoint"},
    {CmdId::kListBreakpoints, "Display a list of the breakpoints\nBreakpoint list"},
    {CmdId::kClearMemoryView, "Clear the memory view window\nClear Memory View"},
    {CmdId::kContinueTrace, "Continue tracing from current program counter location\nContinue Trace"},
    {CmdId::kFileClose, "Close the active document\nClose"},
    {CmdId::kFilePrintSetup, "Change the printer and printing options\nPrint Setup"},
    {CmdId::kFileMru1, "Open this document"},
    {CmdId::kFileMru1 + 1, "Open this document"},
    {CmdId::kFileMru1 + 2, "Open this document"},
    {CmdId::kFileMru4, "Open this document"},
    {CmdId::kEditFind, "Find the specified text\nFind"},
    {CmdId::kEditRepeat, "Repeat the last action\nRepeat"},
    {CmdId::kEditSelectAll, "Select the entire document\nSelect All"},
    {CmdId::kEditUndo, "Undo the last action\nUndo"},
    {CmdId::kWindowArrange, "Arrange icons at the bottom of the window\nArrange Icons"},
    {CmdId::kWindowCascade, "Arrange windows so they overlap\nCascade Windows"},
    {CmdId::kWindowTile, "Arrange windows as non-overlapping tiles\nTile Windows"},
    {CmdId::kAppAbout, "Display program information, version number and copyright\nAbout"},
    {CmdId::kAppExit, "Quit the application; prompts to save documents\nExit"},
    {CmdId::kHelpContents, "Display the on-line help contents\nHelp Contents"},
    {CmdId::kViewToolbar, "Show or hide the toolbar\nToggle ToolBar"},
    {CmdId::kViewStatusBar, "Show or hide the status bar\nToggle StatusBar"},
    {CmdId::kStepOver, "Run the next instruction; a subroutine call runs until it returns\nStep Over"},
    {CmdId::kStepOut, "Run until the subroutine the program stopped in returns\nStep Out"},
    {CmdId::kRunToCursor, "Run the program until it reaches the Assembly View line of the cursor\nRun to Cursor"},
    {CmdId::kContinue, "Run the program on from where it stopped, with its breakpoints\nContinue"},
    {CmdId::kToggleBreakpoint, "Set or remove a breakpoint at the Assembly View line of the cursor\nToggle Breakpoint"},
    {CmdId::kIoRegisterWindow, "Display the 68HC11 I/O registers at $1000-$103F\nI/O Registers Window"},
    {CmdId::kDisassemblyView, "Disassemble a memory range with the program's symbols; the view follows the program where it stops\nDisassembly"},
    {CmdId::kMemoryWatch, "Watch memory ranges by address or symbol, read again at every stop; edit a byte in place\nMemory Watch"},
    {CmdId::kBoardPanel, "Show the virtual board's pins: port levels, input pins to flip, analog inputs to set\nBoard Panel"},
};

// Commands whose items carry a check mark.
inline constexpr int kCheckCommands[] = {
    CmdId::kMemoryDisplay, CmdId::kRegisterWindow, CmdId::kListBreakpoints,
    CmdId::kViewToolbar, CmdId::kViewStatusBar, CmdId::kIoRegisterWindow, CmdId::kMemoryWatch,
    CmdId::kBoardPanel,
};

// Whether the items and the button of a command carry a check mark.
constexpr bool isCheckCommand(int id)
{
    for (int check : kCheckCommands)
        if (check == id)
            return true;
    return false;
}

// The string of a command, or nullptr when it has none.
constexpr const char* commandString(int id)
{
    for (const auto& s : kCommandStrings)
        if (s.id == id)
            return s.text;
    return nullptr;
}

// The menu item of a command (label and shown shortcut text), or nullptr when no menu has it.
constexpr const MenuItemDef* menuItemOf(int id)
{
    for (std::span<const MenuDef> bar : {std::span<const MenuDef>(kMenuBar129), std::span<const MenuDef>(kMenuBar128)})
        for (const MenuDef& menu : bar)
            for (const MenuItemDef& item : menu.items)
                if (item.id == id)
                    return &item;
    return nullptr;
}

// The name of a command's toolbar image, or nullptr when the toolbar has no button for it.
constexpr const char* toolImageOf(int id)
{
    for (const ToolButtonDef& button : kToolbar)
        if (button.id == id)
            return button.image;
    return nullptr;
}

constexpr bool sameText(const char* a, const char* b)
{
    if (!a || !b)
        return a == b;
    while (*a && *a == *b)
        ++a, ++b;
    return *a == *b;
}

// Each command has one action, so every item of it must read the same in both menu bars.
constexpr bool menuItemsAgree()
{
    for (std::span<const MenuDef> bar : {std::span<const MenuDef>(kMenuBar128), std::span<const MenuDef>(kMenuBar129)})
        for (const MenuDef& menu : bar)
            for (const MenuItemDef& item : menu.items) {
                if (item.id == 0)
                    continue;
                const MenuItemDef* first = menuItemOf(item.id);
                if (!sameText(first->label, item.label) || !sameText(first->shortcutText, item.shortcutText))
                    return false;
            }
    return true;
}
static_assert(menuItemsAgree(), "a command's item reads the same in every menu");

// A menu item whose command has a shortcut key shows a shortcut text of its own (the menu would
// otherwise add the key's text itself).
constexpr bool shortcutKeysShown()
{
    // Walks the items themselves: a sanitizing build does not take a pointer to a table element
    // compared with null as a constant.
    for (const AccelDef& accel : kAccelerators)
        for (std::span<const MenuDef> bar : {std::span<const MenuDef>(kMenuBar128), std::span<const MenuDef>(kMenuBar129)})
            for (const MenuDef& menu : bar)
                for (const MenuItemDef& item : menu.items)
                    if (item.id == accel.id && !item.shortcutText)
                        return false;
    return true;
}
static_assert(shortcutKeysShown(), "every menu item with a shortcut key shows a shortcut text");

// A key sends one command only.
constexpr bool shortcutKeysDistinct()
{
    for (size_t i = 0; i < std::size(kAccelerators); ++i)
        for (size_t j = i + 1; j < std::size(kAccelerators); ++j)
            if (sameText(kAccelerators[i].keys, kAccelerators[j].keys))
                return false;
    return true;
}
static_assert(shortcutKeysDistinct(), "no key is bound to two commands");

constexpr int countButtons()
{
    int n = 0;
    for (const auto& b : kToolbar)
        n += b.id != 0;
    return n;
}
static_assert(countButtons() == 20, "the toolbar has fifteen buttons and five for stepping");
static_assert(kToolbar[0].id == CmdId::kBootTalker && kToolbar[17].id == CmdId::kTrace &&
              kToolbar[std::size(kToolbar) - 1].id == CmdId::kHelpSearch);

} // namespace CommandTables
