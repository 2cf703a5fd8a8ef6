#pragma once
#include "CommandTarget.h"
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <cstdint>

class CBreakpointsDialog;
class DocumentHost;
class QDialog;
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
    QPointer<QDialog> displayMemoryWindow;
    // The modeless Registers window.
    QPointer<QDialog> registersWindow;
    // The modeless Breakpoints window.
    QPointer<CBreakpointsDialog> breakpointsWindow;
    // 1 while an Assembly View shows listingLines.
    int listingShown = 0;
    // The main frame's status bar, taken at construction.
    QPointer<QStatusBar> statusBar;
    // Data lines of the latest memory dump plus 2; the Memory View scrolls by it.
    int lastDumpLines = 0;

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
    // A command's enabled or checked state may have changed.
    void commandStateChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static void toggleWindow(QDialog* window);

    DocumentHost& host_;
    QString title_;
};
