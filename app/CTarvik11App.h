#pragma once
#include "document/CTarvik11Doc.h"
#include "res/CommandTables.h"
#include "document/DocumentHost.h"
#include "document/TalkerSettings.h"
#include <QApplication>
#include <QMap>
#include <QPointer>
#include <QStringList>
#include <memory>

class CMainFrame;
class CHelpWindow;
class CTargetLine;
class DebugSession;
class QPrinter;

// The application object: start-up, documents, default number base, help, About, settings.
class CTarvik11App : public QApplication, public DocumentHost {
    Q_OBJECT
public:
    CTarvik11App(int& argc, char** argv);
    ~CTarvik11App() override;

    // The one application object.
    static CTarvik11App* instance();

    // Start-up from the command line: splash, main frame, first document; false to end at once.
    bool InitInstance(const QStringList& arguments);
    // Closes the documents and the main frame, saves the recent-file list; returns exitCode.
    int ExitInstance(int exitCode);

    // The default number base for typed numbers (decimal at every start).
    int GetDefaultBase() const;
    // Replaces the default number base; any value other than 1 or 2 reads as decimal.
    void SetDefaultBase(int base);

    // Fills all seven talker settings from the store.
    static void LoadTalkerSettings(TalkerSettings& settings);
    // Writes all seven talker settings to the store.
    static void SaveTalkerSettings(const TalkerSettings& settings);

    // False when the arguments carry "Embedding" or "Automation" after "/" or "-".
    static bool splashWanted(const QStringList& arguments);

    // The COM name to device map in force (stored map, defaults, and this run's virtual board).
    QMap<QString, QString> portMap() const;
    // Stores a new COM name to device map and puts it in force.
    void setPortMap(const QMap<QString, QString>& map);
    // The device a port name stands for.
    QString deviceFor(const QString& portName) const;

    // The debug session every document's commands run in.
    DebugSession& session() { return *session_; }

    // The main frame, or nullptr.
    CMainFrame* mainFrame() const;
    // The debugger document most recently created; cleared when it is destroyed.
    QPointer<CTarvik11Doc> currentDoc;

    // File New: a new document with its Memory View.
    CTarvik11Doc* OnFileNew();
    // Opens a file as a new document and enters it in the recent-file list.
    CTarvik11Doc* OpenDocumentFile(const QString& path);
    // The recent-file list, most recent first.
    QStringList recentFiles() const { return recentFiles_; }
    // The printer shared by Print and Print Setup.
    QPrinter* printer();
    // The help window (created on first use).
    CHelpWindow* helpWindow();

    // DocumentHost
    void setCurrentDoc(CTarvik11Doc* doc) override;
    QStatusBar* mainStatusBar() override;
    QWidget* dialogOwner() override;
    void messageBox(const QString& text) override;
    bool askYesNo(const QString& text) override;
    bool openAsmView(CTarvik11Doc* doc) override;
    bool editTalkerSettings(TalkerSettings& settings) override;
    void closeDocument(CTarvik11Doc* doc) override;
    void placeToolWindow(QDialog* window, const QString& name) override;
    void noteProgramLoaded(const QString& path) override;
    TargetServices targetServices() override;

    // The commands the application carries: new and open documents, the recent files, print
    // setup, help, About and Exit.
    static std::span<const CommandBinding<CTarvik11App>> commandTable();

    // Shows a modal box captioned "Tarvik11" with OK and the warning icon.
    static void showMessage(QWidget* owner, const QString& text);

private:
    void OnNewDocument();
    void OnFileOpen();
    void OnFilePrintSetup();
    void OnAppAbout();
    void OnAppExit();
    void OnHelpContents();
    void OnHelpSearch();
    // Opens entry index of the recent-file list.
    template <int index>
    void OnRecentFile();
    // Enabled while the recent-file list has entry index.
    template <int index>
    CommandState recentFileState() const;

    void addToRecentFiles(const QString& path);
    // Creates the serial line's guard and breakpoint poll.
    void ensureTargetLine();
    void applyPortMap();

    QPointer<CMainFrame> mainFrame_;
    QPointer<CHelpWindow> help_;
    std::unique_ptr<QPrinter> printer_;
    QStringList recentFiles_;
    QMap<QString, QString> storedPorts_;
    QMap<QString, QString> runPorts_; // this run only (the virtual board)
    int nextDocNumber_ = 1;
    std::unique_ptr<DebugSession> session_;
    std::unique_ptr<CTargetLine> targetLine_;
};
