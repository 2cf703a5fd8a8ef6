#include "app/CMainFrame.h"
#include "app/CAsmChildFrame.h"
#include "app/CBoardPanel.h"
#include "app/CDisassemblyView.h"
#include "app/CMemChildFrame.h"
#include "app/CSplashWindow.h"
#include "app/CTarvik11App.h"
#include "document/CTarvik11Doc.h"
#include "app/CTarvik11View.h"
#include "app/CTarvikAsmView.h"
#include "app/KeyIndicators.h"
#include "app/SettingsStore.h"
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <memory>

namespace {

constexpr int kRecentFileCommands = CmdId::kFileMru4 - CmdId::kFileMru1 + 1;

// The status-bar prompt (before the line feed) and the tooltip (after it) of a command.
std::pair<QString, QString> commandTexts(int id)
{
    const char* text = CommandTables::commandString(id);
    if (!text)
        return {};
    const QString s = QString::fromLatin1(text);
    const qsizetype lf = s.indexOf(QLatin1Char('\n'));
    if (lf < 0)
        return {s, QString()};
    return {s.left(lf), s.mid(lf + 1)};
}

QIcon toolIcon(const char* name)
{
    QIcon icon;
    for (int size : {16, 24, 32, 48})
        icon.addFile(QStringLiteral(":/icons/%1-%2.png").arg(QLatin1String(name)).arg(size),
                     QSize(size, size));
    return icon;
}

// A recent-file entry shortened to at most 30 characters, keeping the file name whole if it can.
QString shortenPath(const QString& path)
{
    constexpr qsizetype kMax = 30;
    if (path.size() <= kMax)
        return path;
    const QString name = QFileInfo(path).fileName();
    const QString tail = QStringLiteral(".../") + name;
    if (tail.size() > kMax)
        return name.left(kMax - 3) + QStringLiteral("...");
    // Keep as many leading characters of the folder as still fit in front of ".../name".
    return path.left(kMax - tail.size()) + tail;
}

} // namespace

CMainFrame::CMainFrame()
{
    setWindowTitle(QStringLiteral("Tarvik11"));
    setObjectName(QStringLiteral("CMainFrame"));
    setAttribute(Qt::WA_DeleteOnClose, false);
}

CMainFrame::~CMainFrame()
{
    // The child frames go after this body; nothing may be refreshed while they do.
    built_ = false;
    qApp->removeEventFilter(this);
}

bool CMainFrame::create()
{
    if (built_)
        return true;
    mdiArea_ = new QMdiArea(this);
    mdiArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdiArea_);

    // Who carries a command when it is picked: the view with the focus (the active child frame's),
    // else the active document, else this window, else the application. Only Open is carried
    // twice: a document loads a program with it, the application opens a document.
    bindCommands(CTextView::commandTable(), [this] { return activeView(); });
    bindCommands(CTarvik11Doc::commandTable(), [this] { return activeDocument(); });
    bindCommands(commandTable(), [this] { return this; });
    bindCommands(CTarvik11App::commandTable(), [] { return CTarvik11App::instance(); });

    buildToolBar();
    buildStatusBar();
    for (const MenuDef& def : CommandTables::kMenuBar128)
        menus128_ << buildMenu(def);
    for (const MenuDef& def : CommandTables::kMenuBar129) {
        QMenu* menu = buildMenu(def);
        menus129_ << menu;
        if (def.items.data() == CommandTables::kWindow129)
            window129_ = menu;
    }
    connect(window129_, &QMenu::aboutToShow, this, &CMainFrame::rebuildWindowList);
    // Shortcut keys of commands that have neither a menu item nor a button.
    for (const AccelDef& accel : CommandTables::kAccelerators)
        buildAction(accel.id);

    connect(mdiArea_, &QMdiArea::subWindowActivated, this, [this] {
        updateMenuBar();
        updateTitle();
        updateCommandStates();
    });
    connect(qApp, &QApplication::focusChanged, this, [this] { updateCommandStates(); });
    connect(toolBar_, &QToolBar::visibilityChanged, this, [this] { updateCommandStates(); });
    qApp->installEventFilter(this);

    if (CTarvik11App* app = CTarvik11App::instance()) {
        boardPanel_ = new CBoardPanel(app->session(), this);
        dockToolWindow(boardPanel_, QStringLiteral("BoardPanel"));
        connect(dockOf(boardPanel_), &QDockWidget::visibilityChanged, this, [this] { updateCommandStates(); });
    }

    resize(900, 620);
    // The size and place of the last run (its docks come with the first document).
    restoreGeometry(SettingsStore::loadWindowGeometry());
    built_ = true;
    showing129_ = true; // forces the first fill
    updateMenuBar();
    updateCommandStates();
    updateIndicators();
    CSplashWindow::ShowSplashScreen(this);
    return true;
}

template <typename Receiver>
void CMainFrame::bindCommands(std::span<const CommandBinding<Receiver>> table,
                              std::type_identity_t<std::function<Receiver*()>> current)
{
    for (const CommandBinding<Receiver>& binding : table) {
        // The tables are static data: the binding outlives every carrier made from it.
        const CommandBinding<Receiver>* bound = &binding;
        carriers_[binding.id].push_back(Carrier{
            [current] { return static_cast<QObject*>(current()); },
            [bound](QObject* object) { (static_cast<Receiver*>(object)->*bound->handler)(); },
            [bound](const QObject* object) { return bindingState(*bound, *static_cast<const Receiver*>(object)); },
        });
    }
}

std::pair<const CMainFrame::Carrier*, QObject*> CMainFrame::carrierOf(int id) const
{
    const auto it = carriers_.constFind(id);
    if (it == carriers_.cend())
        return {nullptr, nullptr};
    for (const Carrier& carrier : *it)
        if (QObject* object = carrier.current())
            return {&carrier, object};
    return {nullptr, nullptr};
}

void CMainFrame::runCommand(int id)
{
    // The state is asked again: an action may be triggered before a change reached it.
    const auto [carrier, object] = carrierOf(id);
    if (!carrier || !carrier->state(object).enabled)
        return;
    QPointer<QObject> ran = object;
    QPointer<CMainFrame> self = this;
    carrier->run(object);
    if (self) {
        emit commandRan(id, ran.data());
        updateCommandStates();
    }
}

QAction* CMainFrame::buildAction(int id)
{
    if (QAction* built = actions_.value(id))
        return built;
    const MenuItemDef* item = CommandTables::menuItemOf(id);
    const auto [prompt, tip] = commandTexts(id);
    const QString label = item ? QString::fromLatin1(item->label) : tip;
    auto* action = new QAction(this);
    // The menu shows the text after the tab as it stands ("Ctrl-D"), not the key's own text.
    action->setText(item && item->shortcutText ? label + QLatin1Char('\t') + QString::fromLatin1(item->shortcutText)
                                               : label);
    action->setStatusTip(prompt);
    action->setToolTip(tip.isEmpty() ? QString(label).remove(QLatin1Char('&')) : tip);
    action->setCheckable(CommandTables::isCheckCommand(id));
    QList<QKeySequence> keys;
    for (const AccelDef& accel : CommandTables::kAccelerators)
        if (accel.id == id)
            keys << QKeySequence(QString::fromLatin1(accel.keys));
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    if (const char* image = CommandTables::toolImageOf(id)) {
        action->setIcon(toolIcon(image));
        action->setIconVisibleInMenu(false);
    }
    connect(action, &QAction::triggered, this, [this, id] { runCommand(id); });
    // Held by the window too, so that its keys work whichever menu bar is shown.
    addAction(action);
    actions_.insert(id, action);
    return action;
}

QMenu* CMainFrame::buildMenu(const MenuDef& def)
{
    auto* menu = new QMenu(QString::fromLatin1(def.title), this);
    for (const MenuItemDef& item : def.items) {
        if (item.id == 0) {
            menu->addSeparator();
            continue;
        }
        menu->addAction(buildAction(item.id));
        if (item.id != CmdId::kFileMru1)
            continue;
        // The other recent-file entries follow the first, each shown while its file is listed.
        for (int i = 1; i < kRecentFileCommands; ++i) {
            QAction* entry = buildAction(CmdId::kFileMru1 + i);
            entry->setVisible(false);
            menu->addAction(entry);
        }
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::rebuildRecentFiles);
    }
    connect(menu, &QMenu::aboutToShow, this, &CMainFrame::updateCommandStates);
    return menu;
}

void CMainFrame::buildToolBar()
{
    toolBar_ = new QToolBar(tr("Toolbar"), this);
    toolBar_->setObjectName(QStringLiteral("toolBar128"));
    toolBar_->setIconSize(QSize(16, 16));
    toolBar_->setAllowedAreas(Qt::AllToolBarAreas);
    toolBar_->setMovable(true);
    toolBar_->setFloatable(true);
    for (const ToolButtonDef& button : CommandTables::kToolbar) {
        if (button.id == 0)
            toolBar_->addSeparator();
        else
            toolBar_->addAction(buildAction(button.id));
    }
    addToolBar(Qt::TopToolBarArea, toolBar_);
}

void CMainFrame::buildStatusBar()
{
    QStatusBar* bar = statusBar();
    readyPane_ = new QLabel(tr("Ready"), bar);
    bar->addWidget(readyPane_, 1);
    auto pane = [bar](const QString& text) {
        auto* label = new QLabel(text, bar);
        label->setAlignment(Qt::AlignCenter);
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("SCRL")) + 12);
        bar->addPermanentWidget(label);
        return label;
    };
    // The run state stands left of the key indicators; menu prompts never cover it.
    runStatePane_ = pane(QStringLiteral("No talker"));
    runStatePane_->setObjectName(QStringLiteral("runState"));
    runStatePane_->setMinimumWidth(runStatePane_->fontMetrics().horizontalAdvance(QStringLiteral("Stopped at $0000")) + 16);
    runStatePane_->setToolTip(tr("Where the target stands"));
    capPane_ = pane(QStringLiteral("CAP"));
    numPane_ = pane(QStringLiteral("NUM"));
    scrlPane_ = pane(QStringLiteral("SCRL"));
}

void CMainFrame::dockToolWindow(QWidget* window, const QString& name)
{
    if (!window)
        return;
    // One window of each name keeps its place across runs: that of the first document open. The
    // others' docks get names of their own (a stored layout names each dock once).
    QString unique = name;
    for (int n = 2; findChild<QDockWidget*>(unique, Qt::FindDirectChildrenOnly); ++n)
        unique = QStringLiteral("%1-%2").arg(name).arg(n);
    auto* dock = new QDockWidget(window->windowTitle(), this);
    dock->setObjectName(unique);
    dock->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea | Qt::BottomDockWidgetArea);
    dock->setWidget(window);
    window->show(); // shown and hidden from now on with its dock
    dock->hide();
    // Where the dock was when the layout was last stored (the docked ones of a document opened
    // later; the first document's all take theirs from restoreLayout), else hidden at the right.
    if (!restoreDockWidget(dock))
        addDockWidget(Qt::RightDockWidgetArea, dock);
    connect(window, &QObject::destroyed, dock, &QObject::deleteLater);
}

QDockWidget* CMainFrame::dockOf(const QWidget* window)
{
    return window ? qobject_cast<QDockWidget*>(window->parentWidget()) : nullptr;
}

void CMainFrame::restoreLayout()
{
    restoreState(SettingsStore::loadWindowState());
    if (boardPanel_ && !boardPanel_->available())
        dockOf(boardPanel_)->hide(); // shown last time on a virtual board
}

void CMainFrame::saveLayout()
{
    SettingsStore::saveWindowLayout(saveGeometry(), saveState());
}

bool CMainFrame::createMemoryView(CTarvik11Doc* doc)
{
    if (!doc || !mdiArea_)
        return false;
    auto* frame = new CMemChildFrame();
    auto* view = new CTarvik11View(doc);
    frame->setWidget(view);
    attachFrame(frame, view);
    return true;
}

void CMainFrame::OpenAsmView()
{
    QMdiSubWindow* active = activeChildFrame();
    CTarvik11Doc* doc = activeDocument();
    if (!active || !doc) {
        CTarvik11App::showMessage(this, QStringLiteral("Command failed."));
        return;
    }
    auto* frame = new CAsmChildFrame();
    auto* view = new CTarvikAsmView(doc);
    frame->setWidget(view);
    attachFrame(frame, view);
}

void CMainFrame::OnDisassemblyView()
{
    CTarvik11Doc* doc = activeDocument();
    if (!doc) {
        CTarvik11App::showMessage(this, QStringLiteral("Command failed."));
        return;
    }
    QString start, end;
    if (!CDisassemblyView::askRange(this, doc, start, end))
        return;
    // The range is read first: a refused or failed disassembly opens no window.
    auto view = std::make_unique<CDisassemblyView>(doc);
    const CommandResult result = view->showRange(start, end);
    if (!result.ok()) {
        CTarvik11App::showMessage(this, QString::fromStdString(result.errorText()));
        return;
    }
    auto* frame = new QMdiSubWindow();
    frame->setAttribute(Qt::WA_DeleteOnClose);
    CDisassemblyView* shown = view.release();
    frame->setWidget(shown);
    attachFrame(frame, shown);
}

void CMainFrame::attachFrame(QMdiSubWindow* frame, CTextView* view)
{
    const int earlier = static_cast<int>(childFrames().size());
    mdiArea_->addSubWindow(frame);
    if (auto* mem = qobject_cast<CMemChildFrame*>(frame))
        mem->applyFrameFlags();
    // Before the main window is first laid out the area has no size of its own yet.
    const QSize area = isVisible() ? mdiArea_->viewport()->size() : size() - QSize(0, 100);
    frame->resize(QSize(qMax(420, area.width() * 3 / 4), qMax(260, area.height() * 3 / 4)).boundedTo(area));
    // A new frame opens fully in sight: a title bar's step down and right of the top-left corner
    // for each frame already open, held inside the area.
    const int step = frame->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, frame);
    frame->move(qMax(0, qMin(earlier * step, area.width() - frame->width())),
                qMax(0, qMin(earlier * step, area.height() - frame->height())));
    view->OnInitialUpdate();
    frame->show();
    mdiArea_->setActiveSubWindow(frame);
    view->setFocus();
    if (CTarvik11Doc* doc = view->GetDocument()) {
        // One connection per document, however many views it has.
        disconnect(doc, &CTarvik11Doc::commandStateChanged, &childWatch_, nullptr);
        connect(doc, &CTarvik11Doc::commandStateChanged, &childWatch_, [this] { updateCommandStates(); });
    }
    connect(view, &QPlainTextEdit::selectionChanged, &childWatch_, [this] { updateCommandStates(); });
    connect(view, &QPlainTextEdit::textChanged, &childWatch_, [this] { updateCommandStates(); });
    // The commands on the cursor line's code follow the cursor.
    connect(view, &QPlainTextEdit::cursorPositionChanged, &childWatch_, [this] { updateCommandStates(); });
    connect(frame, &QObject::destroyed, &childWatch_, [this] {
        updateMenuBar();
        updateTitle();
        updateCommandStates();
    });
    updateMenuBar();
    updateTitle();
    updateCommandStates();
}

void CMainFrame::closeFramesOf(CTarvik11Doc* doc)
{
    for (QMdiSubWindow* frame : mdiArea_->subWindowList()) {
        auto* view = qobject_cast<CTextView*>(frame->widget());
        if (!view || view->GetDocument() != doc)
            continue;
        if (auto* mem = qobject_cast<CMemChildFrame*>(frame))
            mem->allowClose();
        frame->close();
    }
    updateMenuBar();
    updateTitle();
    updateCommandStates();
}

void CMainFrame::closeAllDocuments()
{
    auto* app = CTarvik11App::instance();
    QList<CTarvik11Doc*> docs;
    for (QMdiSubWindow* frame : mdiArea_->subWindowList())
        if (auto* view = qobject_cast<CTextView*>(frame->widget()))
            if (view->GetDocument() && !docs.contains(view->GetDocument()))
                docs << view->GetDocument();
    for (CTarvik11Doc* doc : docs) {
        if (app)
            app->closeDocument(doc);
        else
            closeFramesOf(doc);
    }
}

QList<QMdiSubWindow*> CMainFrame::childFrames() const
{
    QList<QMdiSubWindow*> frames;
    if (!mdiArea_)
        return frames;
    for (QMdiSubWindow* frame : mdiArea_->subWindowList())
        if (!frame->isHidden())
            frames << frame;
    return frames;
}

QMdiSubWindow* CMainFrame::activeChildFrame() const
{
    if (!mdiArea_)
        return nullptr;
    QMdiSubWindow* frame = mdiArea_->currentSubWindow();
    return frame && !frame->isHidden() ? frame : nullptr;
}

CTextView* CMainFrame::activeView() const
{
    QMdiSubWindow* frame = activeChildFrame();
    return frame ? qobject_cast<CTextView*>(frame->widget()) : nullptr;
}

CTarvik11Doc* CMainFrame::activeDocument() const
{
    CTextView* view = activeView();
    return view ? view->GetDocument() : nullptr;
}

void CMainFrame::updateCommandStates()
{
    if (!built_)
        return;
    for (auto it = actions_.cbegin(); it != actions_.cend(); ++it) {
        const auto [carrier, object] = carrierOf(it.key());
        const CommandState state = carrier ? carrier->state(object) : CommandState{false, false};
        it.value()->setEnabled(state.enabled);
        if (it.value()->isCheckable())
            it.value()->setChecked(state.checked);
    }
    updateRunState();
}

void CMainFrame::updateRunState()
{
    auto* app = CTarvik11App::instance();
    const QString text = CTarvik11Doc::runStateText(app ? &app->session() : nullptr);
    if (runStatePane_ && runStatePane_->text() != text)
        runStatePane_->setText(text);
}

void CMainFrame::updateMenuBar()
{
    if (!built_)
        return;
    const bool want129 = !childFrames().isEmpty();
    if (want129 == showing129_ && !menuBar()->actions().isEmpty())
        return;
    showing129_ = want129;
    menuBar()->clear();
    for (QMenu* menu : showing129_ ? menus129_ : menus128_)
        menuBar()->addMenu(menu);
}

void CMainFrame::updateTitle()
{
    if (!built_)
        return;
    CTarvik11Doc* doc = activeDocument();
    setWindowTitle(doc ? QStringLiteral("Tarvik11 - %1").arg(doc->title()) : QStringLiteral("Tarvik11"));
}

void CMainFrame::updateIndicators()
{
    const unsigned bits = KeyIndicators::state();
    if (bits == indicatorBits_)
        return;
    indicatorBits_ = bits;
    capPane_->setEnabled(bits & KeyIndicators::kCapsLock);
    numPane_->setEnabled(bits & KeyIndicators::kNumLock);
    scrlPane_->setEnabled(bits & KeyIndicators::kScrollLock);
}

void CMainFrame::rebuildRecentFiles()
{
    auto* app = CTarvik11App::instance();
    const QStringList files = app ? app->recentFiles() : QStringList();
    for (int i = 0; i < kRecentFileCommands; ++i) {
        QAction* entry = action(CmdId::kFileMru1 + i);
        if (i < files.size())
            entry->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(shortenPath(files[i])));
        else if (i == 0) // stands, disabled, for the empty list
            entry->setText(QString::fromLatin1(CommandTables::menuItemOf(CmdId::kFileMru1)->label));
        entry->setVisible(i == 0 || i < files.size());
    }
    updateCommandStates();
}

void CMainFrame::rebuildWindowList()
{
    qDeleteAll(windowListActions_);
    windowListActions_.clear();
    const QList<QMdiSubWindow*> frames = childFrames();
    if (frames.isEmpty())
        return;
    windowListActions_ << window129_->addSeparator();
    int n = 1;
    for (QMdiSubWindow* frame : frames) {
        auto* action = window129_->addAction(QStringLiteral("&%1 %2").arg(n++).arg(frame->windowTitle()));
        action->setCheckable(true);
        action->setChecked(frame == activeChildFrame());
        QPointer<QMdiSubWindow> target = frame;
        connect(action, &QAction::triggered, this, [this, target] {
            if (target)
                mdiArea_->setActiveSubWindow(target);
        });
        windowListActions_ << action;
    }
}

std::span<const CommandBinding<CMainFrame>> CMainFrame::commandTable()
{
    static constexpr CommandBinding<CMainFrame> kCommands[] = {
        {CmdId::kViewToolbar, &CMainFrame::OnViewToolbar, &CMainFrame::toolBarState},
        {CmdId::kViewStatusBar, &CMainFrame::OnViewStatusBar, &CMainFrame::statusBarState},
        {CmdId::kWindowCascade, &CMainFrame::OnWindowCascade, &CMainFrame::childFrameState},
        {CmdId::kWindowTile, &CMainFrame::OnWindowTile, &CMainFrame::childFrameState},
        {CmdId::kWindowArrange, &CMainFrame::OnWindowArrange, &CMainFrame::childFrameState},
        {CmdId::kDisassemblyView, &CMainFrame::OnDisassemblyView, &CMainFrame::childFrameState},
        {CmdId::kBoardPanel, &CMainFrame::OnBoardPanel, &CMainFrame::boardPanelState},
    };
    return kCommands;
}

void CMainFrame::OnViewToolbar()
{
    toolBar_->setVisible(toolBar_->isHidden());
}

void CMainFrame::OnViewStatusBar()
{
    statusBar()->setVisible(statusBar()->isHidden());
}

void CMainFrame::OnWindowCascade()
{
    mdiArea_->cascadeSubWindows();
}

void CMainFrame::OnWindowTile()
{
    mdiArea_->tileSubWindows();
}

void CMainFrame::OnWindowArrange()
{
    int x = 0;
    for (QMdiSubWindow* frame : childFrames()) {
        if (!frame->isMinimized())
            continue;
        frame->move(x, mdiArea_->viewport()->height() - frame->height());
        x += frame->width();
    }
}

void CMainFrame::OnBoardPanel()
{
    QDockWidget* dock = dockOf(boardPanel_);
    dock->setVisible(dock->isHidden());
}

CommandState CMainFrame::boardPanelState() const
{
    const bool usable = boardPanel_ && boardPanel_->available();
    return {usable, usable && !dockOf(boardPanel_)->isHidden()};
}

CommandState CMainFrame::toolBarState() const
{
    return {true, !toolBar_->isHidden()};
}

CommandState CMainFrame::statusBarState() const
{
    return {true, !statusBar()->isHidden()};
}

CommandState CMainFrame::childFrameState() const
{
    return {activeChildFrame() != nullptr, false};
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    saveLayout(); // while the documents' docks still exist
    closeAllDocuments();
    event->accept();
    QMainWindow::closeEvent(event);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Hide:
        // A docked tool window that hid itself (its Close button, Escape) takes its dock along,
        // and is shown again for the dock's next showing.
        if (auto* window = qobject_cast<QWidget*>(watched)) {
            QDockWidget* dock = dockOf(window);
            if (dock && window->isHidden() && !dock->isHidden()) {
                dock->hide();
                window->setVisible(true);
            }
        }
        break;
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ApplicationActivate:
    case QEvent::WindowActivate:
        if (built_)
            updateIndicators();
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}
