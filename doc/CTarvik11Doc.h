#pragma once
#include <functional>
#include "BlockTransfer.h"
#include "BreakpointHit.h"
#include "CommandTarget.h"
#include "TargetServices.h"
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <cstdint>

class CBreakpointsDialog;
class CDisplayMemoryDialog;
class CRegistersDialog;
class DocumentHost;
class QDialog;
class QProgressBar;
class QStatusBar;

// The debugger document: the single carrier of the debugger commands, owner of the text of the
// Memory View and the Assembly View and of the three modeless tool windows.
class CTarvik11Doc : public QObject, public CommandTarget {
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

    bool updateCommand(int id, CmdUI& ui) override;
    bool onCommand(int id) override;

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
    // 1 while an Assembly View shows listingLines.
    int listingShown = 0;
    // The main frame's status bar, taken at construction.
    QPointer<QStatusBar> statusBar;
    // Data lines of the latest memory dump plus 2; the Memory View scrolls by it.
    int lastDumpLines = 0;

    // Rounds the range out to whole 16-byte lines (start down, end up; an end above $FFFF gives 0).
    static void AlignDumpRange(uint32_t& start, uint32_t& end);
    // The Display Memory window's Display: reads the typed range and appends its dump.
    void DumpMemory();
    // A running program stopped: on a hit, the status text, the Registers window and the list.
    void OnBreakpointHit(const BreakpointHit& hit);
    // Shows a confirmed stop at a breakpoint at once, before the poll has finished with it.
    void OnBreakpointConfirmed(uint32_t address);
    // The objects the commands talk to the target through.
    const TargetServices& services() const { return services_; }

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

signals:
    // The lines changed: every view rebuilds its text.
    void linesChanged();
    // memoryLines grew by the lines from index first on (the rest is unchanged).
    void memoryLinesAppended(int first);
    // A command's enabled or checked state may have changed.
    void commandStateChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static void toggleWindow(QDialog* window);
    // False (with a beep and a note in the status bar) while another command talks to the target
    // or the objects to talk through are missing.
    bool lineAvailable();
    // Puts text into status-bar pane 0 at once, without dispatching events.
    void setStatusTextDirect(const QString& text);
    // Shows the transfer's progress in the status bar's progress bar and dispatches events.
    void stepProgress(uint64_t done, uint64_t total);
    // Ends a command: the status's message box on a failure, else doneText in the status bar.
    void finish(TalkerStatus status, const char* doneText);
    // True for a block of more than one EEPROM row that the memory services will program.
    bool programsEeprom(uint32_t first, uint32_t last) const;
    // Runs an S19 load or verify with its progress shown in the status bar.
    TalkerStatus withS19Progress(const std::function<TalkerStatus()>& operation);
    // Hides the progress bar.
    void endProgress();
    // The progress callback for a transfer of totalBytes: none for short ones (1 KB or less)
    // unless always is set (EEPROM programming is slow).
    BlockTransfer::Progress progressFor(uint64_t totalBytes, bool always = false);
    // Runs the S19 file-open dialog; the chosen path, or empty after Cancel.
    QString chooseS19File();

    DocumentHost& host_;
    QString title_;
    TargetServices services_;
    QPointer<QProgressBar> progress_;
    // The status text before an early stop notice, shown again if the stop then fails.
    QString beforeHitText_;
};
