#include "CMainFrame.h"
#include "CAsmChildFrame.h"
#include "CMemChildFrame.h"
#include "CSplashWindow.h"
#include "CTarvik11App.h"
#include "CTarvik11Doc.h"
#include "CTarvik11View.h"
#include "CTarvikAsmView.h"
#include "KeyIndicators.h"
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QStatusBar>
#include <QToolBar>
#include <algorithm>

namespace {

constexpr const char* kIdProperty = "commandId";

bool isCheckCommand(int id)
{
    return std::ranges::find(CommandTables::kCheckCommands, id)
           != std::end(CommandTables::kCheckCommands);
}

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

    buildToolBar();
    buildStatusBar();
    for (const MenuDef& def : CommandTables::kMenuBar128)
        menus128_ << buildMenu(def);
    for (const MenuDef& def : CommandTables::kMenuBar129) {
        QMenu* menu = buildMenu(def);
        menus129_ << menu;
        if (def.items.data() == CommandTables::kFile129)
            file129_ = menu;
        if (def.items.data() == CommandTables::kWindow129)
            window129_ = menu;
    }
    connect(file129_, &QMenu::aboutToShow, this, &CMainFrame::rebuildRecentFiles);
    connect(window129_, &QMenu::aboutToShow, this, &CMainFrame::rebuildWindowList);
    buildShortcuts();

    connect(mdiArea_, &QMdiArea::subWindowActivated, this, [this] {
        updateMenuBar();
        updateTitle();
        updateCommandStates();
    });
    connect(qApp, &QApplication::focusChanged, this, [this] { updateCommandStates(); });
    qApp->installEventFilter(this);

    resize(900, 620);
    built_ = true;
    showing129_ = true; // forces the first fill
    updateMenuBar();
    updateCommandStates();
    updateIndicators();
    CSplashWindow::ShowSplashScreen(this);
    return true;
}

QAction* CMainFrame::makeAction(int id, const QString& text, QObject* parent)
{
    auto* action = new QAction(text, parent);
    action->setProperty(kIdProperty, id);
    const auto [prompt, tip] = commandTexts(id);
    action->setStatusTip(prompt);
    action->setToolTip(tip.isEmpty() ? QString(text).remove(QLatin1Char('&')).section(QLatin1Char('\t'), 0, 0) : tip);
    action->setCheckable(isCheckCommand(id));
    connect(action, &QAction::triggered, this, [this, id] { dispatch(id); });
    commandActions_ << action;
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
        QString text = QString::fromLatin1(item.label);
        if (item.shortcutText)
            text += QLatin1Char('\t') + QString::fromLatin1(item.shortcutText);
        QAction* action = makeAction(item.id, text, menu);
        menu->addAction(action);
        if (item.id == CmdId::kFileMru1)
            recentPlaceholder_ = action;
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
        if (button.id == 0) {
            toolBar_->addSeparator();
            continue;
        }
        QAction* action = makeAction(button.id, commandTexts(button.id).second, toolBar_);
        action->setIcon(toolIcon(button.image));
        action->setCheckable(false);
        toolBar_->addAction(action);
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
    capPane_ = pane(QStringLiteral("CAP"));
    numPane_ = pane(QStringLiteral("NUM"));
    scrlPane_ = pane(QStringLiteral("SCRL"));
}

void CMainFrame::buildShortcuts()
{
    for (const AccelDef& accel : CommandTables::kAccelerators) {
        auto* shortcut = new QShortcut(QKeySequence(QString::fromLatin1(accel.keys)), this);
        shortcut->setContext(Qt::WindowShortcut);
        shortcut->setProperty(kIdProperty, accel.id);
        const int id = accel.id;
        connect(shortcut, &QShortcut::activated, this, [this, id] { dispatch(id); });
        connect(shortcut, &QShortcut::activatedAmbiguously, this, [this, id] { dispatch(id); });
        shortcuts_ << shortcut;
    }
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

void CMainFrame::attachFrame(QMdiSubWindow* frame, CTextView* view)
{
    mdiArea_->addSubWindow(frame);
    if (auto* mem = qobject_cast<CMemChildFrame*>(frame))
        mem->applyFrameFlags();
    // Before the main window is first laid out the area has no size of its own yet.
    const QSize area = isVisible() ? mdiArea_->viewport()->size() : size() - QSize(0, 100);
    frame->resize(qMax(420, area.width() * 3 / 4), qMax(260, area.height() * 3 / 4));
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

QList<std::pair<CommandTarget*, QObject*>> CMainFrame::route() const
{
    QList<std::pair<CommandTarget*, QObject*>> targets;
    if (CTextView* view = activeView()) {
        targets.emplace_back(view, view);
        if (CTarvik11Doc* doc = view->GetDocument())
            targets.emplace_back(doc, doc);
    }
    if (QMdiSubWindow* frame = activeChildFrame())
        if (auto* target = dynamic_cast<CommandTarget*>(frame))
            targets.emplace_back(target, frame);
    targets.emplace_back(const_cast<CMainFrame*>(this), const_cast<CMainFrame*>(this));
    if (auto* app = CTarvik11App::instance())
        targets.emplace_back(app, app);
    return targets;
}

CmdUI CMainFrame::commandState(int id)
{
    for (const auto& [target, object] : route()) {
        CmdUI ui;
        if (target->updateCommand(id, ui))
            return ui;
    }
    return CmdUI{false, false};
}

bool CMainFrame::dispatch(int id)
{
    for (const auto& [target, object] : route()) {
        CmdUI ui;
        if (!target->updateCommand(id, ui))
            continue;
        if (!ui.enabled)
            return false;
        QPointer<QObject> carrier = object;
        QPointer<CMainFrame> self = this;
        if (!target->onCommand(id))
            continue;
        if (self) {
            emit commandRouted(id, carrier.data());
            updateCommandStates();
        }
        return true;
    }
    return false;
}

void CMainFrame::updateCommandStates()
{
    if (!built_)
        return;
    QHash<int, CmdUI> states;
    for (QAction* action : std::as_const(commandActions_)) {
        const int id = action->property(kIdProperty).toInt();
        auto it = states.find(id);
        if (it == states.end())
            it = states.insert(id, commandState(id));
        action->setEnabled(it->enabled);
        if (action->isCheckable())
            action->setChecked(it->checked);
    }
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
    qDeleteAll(recentActions_);
    recentActions_.clear();
    auto* app = CTarvik11App::instance();
    const QStringList files = app ? app->recentFiles() : QStringList();
    recentPlaceholder_->setVisible(files.isEmpty());
    for (int i = 0; i < files.size() && i < 4; ++i) {
        QAction* action = makeAction(CmdId::kFileMru1 + i,
                                     QStringLiteral("&%1 %2").arg(i + 1).arg(shortenPath(files[i])),
                                     file129_);
        file129_->insertAction(recentPlaceholder_, action);
        recentActions_ << action;
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

void CMainFrame::arrangeIcons()
{
    int x = 0;
    for (QMdiSubWindow* frame : childFrames()) {
        if (!frame->isMinimized())
            continue;
        frame->move(x, mdiArea_->viewport()->height() - frame->height());
        x += frame->width();
    }
}

bool CMainFrame::updateCommand(int id, CmdUI& ui)
{
    switch (id) {
    case CmdId::kViewToolbar:
        ui.checked = !toolBar_->isHidden();
        return true;
    case CmdId::kViewStatusBar:
        ui.checked = !statusBar()->isHidden();
        return true;
    case CmdId::kWindowArrange:
    case CmdId::kWindowCascade:
    case CmdId::kWindowTile:
        ui.enabled = activeChildFrame() != nullptr;
        return true;
    default:
        return false;
    }
}

bool CMainFrame::onCommand(int id)
{
    switch (id) {
    case CmdId::kViewToolbar:
        toolBar_->setVisible(toolBar_->isHidden());
        return true;
    case CmdId::kViewStatusBar:
        statusBar()->setVisible(statusBar()->isHidden());
        return true;
    case CmdId::kWindowCascade:
        mdiArea_->cascadeSubWindows();
        return true;
    case CmdId::kWindowTile:
        mdiArea_->tileSubWindows();
        return true;
    case CmdId::kWindowArrange:
        arrangeIcons();
        return true;
    default:
        return false;
    }
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    closeAllDocuments();
    event->accept();
    QMainWindow::closeEvent(event);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
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
