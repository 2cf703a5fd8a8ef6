#pragma once
#include "CommandTarget.h"
#include "CommandTables.h"
#include <QHash>
#include <QMainWindow>
#include <QPointer>

class CTarvik11Doc;
class CTextView;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QShortcut;
class QToolBar;

// The MDI main window: menus, toolbar, shortcut keys and status bar built from the command
// tables, and the command route view, document, child frame, main frame, application.
class CMainFrame : public QMainWindow, public CommandTarget {
    Q_OBJECT
public:
    CMainFrame();
    ~CMainFrame() override;

    // Builds the toolbar, status bar, menus and shortcut keys, then shows the splash screen.
    bool create();
    // Opens a Memory View child frame on doc.
    bool createMemoryView(CTarvik11Doc* doc);
    // Opens an Assembly View on the active document; "Command failed." when there is none.
    void OpenAsmView();
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

    // The state of a command along the route; disabled when nobody carries it.
    CmdUI commandState(int id);
    // Sends a command along the route; false when it is disabled or nobody carries it.
    bool dispatch(int id);
    // Refreshes the enabled and checked state of every menu item and toolbar button.
    void updateCommandStates();

    // The resource id of the menu bar shown (128 or 129).
    int menuBarId() const { return showing129_ ? ResId::kDocument : ResId::kMainFrame; }
    QMdiArea* mdiArea() const { return mdiArea_; }
    QToolBar* toolBar() const { return toolBar_; }
    // The indicator panes: "CAP", "NUM", "SCRL".
    QList<QLabel*> indicatorPanes() const { return {capPane_, numPane_, scrlPane_}; }
    // The idle text of the message pane ("Ready").
    QLabel* readyPane() const { return readyPane_; }

    bool updateCommand(int id, CmdUI& ui) override;
    bool onCommand(int id) override;

signals:
    // A command was carried out by carrier.
    void commandRouted(int id, QObject* carrier);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QMenu* buildMenu(const MenuDef& def);
    QAction* makeAction(int id, const QString& text, QObject* parent);
    void buildToolBar();
    void buildStatusBar();
    void buildShortcuts();
    void updateMenuBar();
    void updateTitle();
    void updateIndicators();
    void rebuildRecentFiles();
    void rebuildWindowList();
    void arrangeIcons();
    void attachFrame(QMdiSubWindow* frame, CTextView* view);
    QList<std::pair<CommandTarget*, QObject*>> route() const;

    QMdiArea* mdiArea_ = nullptr;
    // Context of the connections from child frames, views and documents: a member, so it is gone
    // (and with it those connections) before the base class destroys the child frames.
    QObject childWatch_;
    QToolBar* toolBar_ = nullptr;
    QLabel* readyPane_ = nullptr;
    QLabel* capPane_ = nullptr;
    QLabel* numPane_ = nullptr;
    QLabel* scrlPane_ = nullptr;
    QList<QMenu*> menus128_;
    QList<QMenu*> menus129_;
    QList<QAction*> commandActions_;
    QList<QShortcut*> shortcuts_;
    QMenu* file129_ = nullptr;
    QMenu* window129_ = nullptr;
    QAction* recentPlaceholder_ = nullptr;
    QList<QAction*> recentActions_;
    QList<QAction*> windowListActions_;
    bool showing129_ = false;
    bool built_ = false;
    unsigned indicatorBits_ = ~0u;
};
