#pragma once
#include "res/CommandTables.h"
#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <type_traits>
#include <vector>

class CBoardPanel;
class CTarvik11Doc;
class CTextView;
class QDockWidget;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QToolBar;

// The MDI main window: one action per command, built from the command tables and shared by the
// menus, the toolbar and the shortcut keys; the status bar. Each action runs its command on the
// object that carries it: the focused view, the active document, this window or the application.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    CMainFrame();
    ~CMainFrame() override;

    // Builds the actions, toolbar, status bar and menus, then shows the splash screen.
    bool create();
    // Opens a Memory View child frame on doc.
    bool createMemoryView(CTarvik11Doc* doc);
    // Opens an Assembly View on the active document; "Command failed." when there is none.
    void OpenAsmView();
    // Puts a document's tool window into a hidden dock at the window's side, named name so that
    // its place and size (docked or floating) come back as they were last stored. The dock
    // hides when the window hides itself and goes away with the window.
    void dockToolWindow(QWidget* window, const QString& name);
    // The dock holding a tool window, or nullptr.
    static QDockWidget* dockOf(const QWidget* window);
    // Stores the window's size and place and the places of the docks.
    void saveLayout();
    // Puts the docks there are where saveLayout last stored them (the window's size and place
    // come back when it is created).
    void restoreLayout();
    // Closes every child frame that shows doc.
    void closeFramesOf(CTarvik11Doc* doc);
    // Closes every document.
    void closeAllDocuments();

    // The active child frame, its view and its document (nullptr when none).
    QMdiSubWindow* activeChildFrame() const;
    CTextView* activeView() const;
    CTarvik11Doc* activeDocument() const;
    // Open child frames (closed ones excluded).
    QList<QMdiSubWindow*> childFrames() const;

    // The one action of command id (menus, toolbar and shortcut keys hold it), or nullptr.
    QAction* action(int id) const { return actions_.value(id); }
    // Sets every action's enabled and checked state from the rule of the object carrying it now;
    // an action nobody carries is disabled.
    void updateCommandStates();

    // The resource id of the menu bar shown (128 or 129).
    int menuBarId() const { return showing129_ ? ResId::kDocument : ResId::kMainFrame; }
    QMdiArea* mdiArea() const { return mdiArea_; }
    QToolBar* toolBar() const { return toolBar_; }
    // The indicator panes: "CAP", "NUM", "SCRL".
    QList<QLabel*> indicatorPanes() const { return {capPane_, numPane_, scrlPane_}; }
    // The idle text of the message pane ("Ready").
    QLabel* readyPane() const { return readyPane_; }
    // The Board panel (the virtual board's pins); its dock stays hidden without a virtual board.
    CBoardPanel* boardPanel() const { return boardPanel_; }
    // The permanent pane with the target's run state ("No talker", "Idle", "Running",
    // "Stopped at $xxxx"), kept up to date with every command and stop.
    QLabel* runStatePane() const { return runStatePane_; }

signals:
    // Command id's handler ran on carrier (the view, document, main frame or application).
    void commandRan(int id, QObject* carrier);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // One object that may carry a command: the one there is now (nullptr: none), its handler for
    // the command and its rule for the command's state.
    struct Carrier {
        std::function<QObject*()> current;
        std::function<void(QObject*)> run;
        std::function<CommandState(const QObject*)> state;
    };

    // The commands the main frame carries.
    static std::span<const CommandBinding<CMainFrame>> commandTable();
    // Binds every command of table to the object current() returns at the time.
    template <typename Receiver>
    void bindCommands(std::span<const CommandBinding<Receiver>> table,
                      std::type_identity_t<std::function<Receiver*()>> current);
    // The carrier of id there is now and the object it is, or {nullptr, nullptr}.
    std::pair<const Carrier*, QObject*> carrierOf(int id) const;
    // Runs id on its carrier, unless nobody carries it or its rule disables it.
    void runCommand(int id);

    // The action of id, made from the tables on first use.
    QAction* buildAction(int id);
    QMenu* buildMenu(const MenuDef& def);
    void buildToolBar();
    void buildStatusBar();
    void updateMenuBar();
    void updateTitle();
    void updateIndicators();
    void updateRunState();
    void rebuildRecentFiles();
    void rebuildWindowList();
    void attachFrame(QMdiSubWindow* frame, CTextView* view);

    // The main frame's commands and their rules.
    void OnViewToolbar();
    void OnViewStatusBar();
    void OnWindowCascade();
    void OnWindowTile();
    void OnWindowArrange();
    // Opens a Disassembly view of a range the user names; it follows the PC from then on.
    void OnDisassemblyView();
    // Shows or hides the Board panel.
    void OnBoardPanel();
    CommandState boardPanelState() const;
    CommandState toolBarState() const;
    CommandState statusBarState() const;
    CommandState childFrameState() const;

    QMdiArea* mdiArea_ = nullptr;
    // Context of the connections from child frames, views and documents: a member, so it is gone
    // (and with it those connections) before the base class destroys the child frames.
    QObject childWatch_;
    QToolBar* toolBar_ = nullptr;
    QLabel* readyPane_ = nullptr;
    CBoardPanel* boardPanel_ = nullptr;
    QLabel* runStatePane_ = nullptr;
    QLabel* capPane_ = nullptr;
    QLabel* numPane_ = nullptr;
    QLabel* scrlPane_ = nullptr;
    QList<QMenu*> menus128_;
    QList<QMenu*> menus129_;
    // Every command's action, by command id.
    QHash<int, QAction*> actions_;
    // The objects that may carry each command, the first present taking it.
    QHash<int, std::vector<Carrier>> carriers_;
    QMenu* window129_ = nullptr;
    QList<QAction*> windowListActions_;
    bool showing129_ = false;
    bool built_ = false;
    unsigned indicatorBits_ = ~0u;
};
