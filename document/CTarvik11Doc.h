#pragma once
#include <functional>
#include "session/BlockTransfer.h"
#include "engine/BreakpointHit.h"
#include "res/CommandTables.h"
#include "session/DebugSession.h"
#include "document/TargetServices.h"
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

class CBreakpointsDialog;
class CDisplayMemoryDialog;
class CIoRegistersDialog;
class CMemoryWatchDialog;
class CRegistersDialog;
class DocumentHost;
class QDialog;
class QProgressBar;
class QProgressDialog;
class QStatusBar;
class QTimer;

// The debugger document: the debugger commands adapted to Qt over the debug session (dialogs in,
// status bar and message boxes out), owner of the text of the Memory View and the Assembly View
// and of the four modeless tool windows. It is the session's observer while it exists.
class CTarvik11Doc : public QObject, public SessionObserver {
    Q_OBJECT
public:
    // Creates the hidden tool windows and records the document as the host's current document.
    CTarvik11Doc(DocumentHost& host, const QString& title, QObject* parent = nullptr);
    // Destroys the tool windows and empties both line arrays.
    ~CTarvik11Doc() override;

    // The document's name ("Tarvik1", ...), shown in the main window's title.
    QString title() const { return title_; }
    // The host the document reports through.
    DocumentHost& host() { return host_; }

    // Lets every view of the document rebuild its text.
    void UpdateAllViews();
    // Status 0: "Operation was successful" in the status bar; otherwise its message in a box.
    void ReportStatus(int32_t status);
    // Puts text into status-bar pane 0, paints it at once and dispatches pending events.
    void ShowStatusText(const QString& text);
    // Dispatches every pending event of the user-interface thread.
    static void PumpPendingMessages();

    // The commands the document carries, each with its handler and state rule (the main frame
    // runs them on the active document).
    static std::span<const CommandBinding<CTarvik11Doc>> commandTable();
    // True when the document carries command id.
    static bool carriesCommand(int id);
    // The state of command id; disabled when the document does not carry it.
    CommandState commandState(int id) const;
    // Runs command id as its menu item would, then emits commandStateChanged; false, with nothing
    // done, when the document does not carry it or it is disabled.
    bool runCommand(int id);

    // The Memory View's lines.
    QStringList memoryLines;
    // The lines of the listing of the last loaded S19 program (the Assembly View's text).
    QStringList listingLines;
    // The modeless Display Memory window.
    QPointer<CDisplayMemoryDialog> displayMemoryWindow;
    // The modeless Registers window.
    QPointer<CRegistersDialog> registersWindow;
    // The modeless Breakpoints window.
    QPointer<CBreakpointsDialog> breakpointsWindow;
    // The modeless I/O Registers window.
    QPointer<CIoRegistersDialog> ioRegistersWindow;
    // The modeless Memory Watch window.
    QPointer<CMemoryWatchDialog> memoryWatchWindow;
    // 1 while an Assembly View shows listingLines.
    int listingShown = 0;
    // The path of the program last loaded (empty before the first load).
    QString programPath;
    // The main frame's status bar, taken at construction.
    QPointer<QStatusBar> statusBar;
    // Data lines of the latest memory dump plus 2; the Memory View scrolls by it.
    int lastDumpLines = 0;

    // The Display Memory window's Display: reads the typed range and appends its dump.
    void DumpMemory();
    // A running program stopped: on a hit, the status text, the Registers window and the list.
    void OnBreakpointHit(const BreakpointHit& hit);
    // Shows a confirmed stop at a breakpoint at once, before the poll has finished with it.
    void OnBreakpointConfirmed(uint32_t address);
    // The objects the commands talk to the target through.
    const TargetServices& services() const { return services_; }

    // Where the program stands stopped (a hit, a trace or a step): the address the source view
    // marks; nothing while no program is stopped (none started, one running, or no talker).
    std::optional<uint32_t> stopAddress() const;
    // How many stops the document has shown; a view brings the stop into sight when it grows.
    int stopCount() const { return stopCount_; }
    // The breakpoint addresses of the session's table.
    std::vector<uint32_t> breakpointAddresses() const;
    // True when the talker listens and no program runs: a breakpoint may be set or removed and
    // the stopped program may be stepped or run on.
    bool targetListening() const;
    // The run state as the status bar shows it: "No talker", "Idle", "Running" or
    // "Stopped at $xxxx".
    static QString runStateText(const DebugSession* session);
    // Removes the breakpoint at address, or sets one there when there is none (a beep while the
    // target cannot take it); the Breakpoints window follows.
    void ToggleBreakpointAt(uint32_t address);
    // Runs the stopped program until it reaches address.
    void RunToAddress(uint32_t address);
    // Writes address as the program's PC (a held or stopped program continues from there when
    // it is next started; one held at a breakpoint goes on at once, as any other new PC makes it).
    void SetPcAt(uint32_t address);
    // Loads the S19 program at path as Open does once its file is chosen.
    void LoadProgram(const QString& path);

    // What the session reports while a command runs.
    void progressText(const std::string& text) override;
    void transferProgress(uint64_t done, uint64_t total) override;
    void message(const std::string& text) override;
    void breakpointConfirmed(uint32_t address) override;
    void programStopped(const BreakpointHit& hit) override;
    void breakpointLogged(uint32_t address, const std::string& text, bool error) override;
    bool cancelRequested() override;
    void keepAlive() override;

    // Command handlers, one per command.
    void OnExecute();
    void OnStopExecution();
    void OnCallSubroutine();
    void OnBootTalker();
    void OnFindByte();
    void OnMoveMemory();
    void OnVerifyS19();
    void OnOpenS19();
    void OnBlockFill();
    void OnSetMemory();
    void OnMemoryDisplay();
    void OnClearMemoryView();
    void OnRegisterWindow();
    void OnSetBreakpoint();
    void OnClearBreakpoint();
    void OnClearAllBreakpoints();
    void OnListBreakpoints();
    void OnTrace();
    void OnContinueTrace();
    void OnFileClose();
    void OnStepOver();
    void OnStepOut();
    void OnContinue();
    void OnIoRegisterWindow();
    void OnMemoryWatch();

signals:
    // The lines changed: every view rebuilds its text.
    void linesChanged();
    // memoryLines grew by the lines from index first on (the rest is unchanged).
    void memoryLinesAppended(int first);
    // A command's enabled or checked state may have changed.
    void commandStateChanged();
    // After every command and stop: the run state, the stop address or the breakpoints may have
    // changed.
    void targetStateChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The state rules: the tool windows' check marks; Clear Breakpoint needs a selected entry.
    CommandState memoryDisplayState() const;
    CommandState registerWindowState() const;
    CommandState listBreakpointsState() const;
    CommandState clearBreakpointState() const;
    CommandState ioRegisterWindowState() const;
    CommandState memoryWatchState() const;
    // Stop needs a program that runs or is held; the stepping commands a listening talker; Step
    // Out a stopped program.
    CommandState stopExecutionState() const;
    CommandState steppingState() const;
    CommandState stepOutState() const;

    static void toggleWindow(QDialog* window);
    // False (with a beep and a note in the status bar) while another command talks to the target
    // or the objects to talk through are missing.
    bool lineAvailable();
    // Puts text into status-bar pane 0 at once, without dispatching events.
    void setStatusTextDirect(const QString& text);
    // Shows the transfer's progress in the status bar's progress bar and dispatches events.
    void stepProgress(uint64_t done, uint64_t total);
    // Ends a command: its notes and any failure in message boxes, else its done text in the
    // status bar.
    void finish(const CommandResult& result);
    // Hides the progress bar.
    void endProgress();
    // The Breakpoints window shows the session's table.
    void showBreakpoints();
    // A trace step ended: the Registers window shows where it stopped.
    void afterTrace(const CommandResult& result);
    // The program stands stopped at a new place: the Registers window reads the registers there
    // and the views mark it.
    void showStop();
    // A command that starts the program ended; stopsBefore is stopCount() when it began. A
    // stop shown meanwhile keeps its text in the status bar.
    void finishRun(CommandResult result, int stopsBefore);
    // A step or run from the stop ended its command: a step that was one trace step ends as a
    // trace does; a run ends as finishRun says.
    // Runs a step command (step over or out, continue, run to) on the line, then shows its end.
    void runStep(const std::function<CommandResult()>& step);
    void afterStep(const CommandResult& result, int stopsBefore);
    // Runs the S19 file-open dialog; the chosen path, or empty after Cancel.
    QString chooseS19File();

    DocumentHost& host_;
    QString title_;
    TargetServices services_;
    QPointer<QProgressBar> progress_;
    // While a boot runs: its download's progress box with Cancel (made at the first report).
    bool booting_ = false;
    QPointer<QProgressDialog> bootProgress_;
    // While a called subroutine runs: a look every kReturnCheckMs whether it is back in the talker.
    QTimer* returnCheck_ = nullptr;
    static constexpr int kReturnCheckMs = 250;
    // The status text before an early stop notice, shown again if the stop then fails.
    QString beforeHitText_;
    int stopCount_ = 0;
};
