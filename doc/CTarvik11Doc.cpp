#include "CTarvik11Doc.h"
#include "CBreakpointsDialog.h"
#include "CommandIds.h"
#include "DocumentHost.h"
#include "TalkerSettings.h"
#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QLabel>
#include <QStatusBar>
#include <QVBoxLayout>
#ifdef TARVIK11_HAVE_LINK
#include "TalkerStatus.h"
#endif

namespace {

// A tool window that the command set fills in; created hidden with the document.
QDialog* makeToolWindow(QWidget* owner, const QString& title)
{
    auto* window = new QDialog(owner);
    window->setWindowTitle(title);
    auto* layout = new QVBoxLayout(window);
    layout->addWidget(new QLabel(QObject::tr("No target data yet."), window));
    window->resize(260, 160);
    window->hide();
    return window;
}

QString statusMessage(int32_t status)
{
#ifdef TARVIK11_HAVE_LINK
    return QString::fromLatin1(talkerStatusText(status));
#else
    return status == 0 ? QStringLiteral("Operation was successful")
                       : QStringLiteral("Unknown Error");
#endif
}

using Handler = void (CTarvik11Doc::*)();
struct DocCommand {
    int id;
    Handler handler;
};

constexpr DocCommand kDocCommands[] = {
    {CmdId::kExecute, &CTarvik11Doc::OnExecute},
    {CmdId::kStopExecution, &CTarvik11Doc::OnStopExecution},
    {CmdId::kCallSubroutine, &CTarvik11Doc::OnCallSubroutine},
    {CmdId::kBootTalker, &CTarvik11Doc::OnBootTalker},
    {CmdId::kFindByte, &CTarvik11Doc::OnFindByte},
    {CmdId::kMoveMemory, &CTarvik11Doc::OnMoveMemory},
    {CmdId::kVerifyS19, &CTarvik11Doc::OnVerifyS19},
    {CmdId::kFileOpen, &CTarvik11Doc::OnOpenS19},
    {CmdId::kBlockFill, &CTarvik11Doc::OnBlockFill},
    {CmdId::kSetMemory, &CTarvik11Doc::OnSetMemory},
    {CmdId::kMemoryDisplay, &CTarvik11Doc::OnMemoryDisplay},
    {CmdId::kClearMemoryView, &CTarvik11Doc::OnClearMemoryView},
    {CmdId::kRegisterWindow, &CTarvik11Doc::OnRegisterWindow},
    {CmdId::kSetBreakpoint, &CTarvik11Doc::OnSetBreakpoint},
    {CmdId::kClearBreakpoint, &CTarvik11Doc::OnClearBreakpoint},
    {CmdId::kClearAllBreakpoints, &CTarvik11Doc::OnClearAllBreakpoints},
    {CmdId::kListBreakpoints, &CTarvik11Doc::OnListBreakpoints},
    {CmdId::kTrace, &CTarvik11Doc::OnTrace},
    {CmdId::kContinueTrace, &CTarvik11Doc::OnContinueTrace},
    {CmdId::kFileClose, &CTarvik11Doc::OnFileClose},
};

} // namespace

CTarvik11Doc::CTarvik11Doc(DocumentHost& host, const QString& title, QObject* parent)
    : QObject(parent), host_(host), title_(title)
{
    QWidget* owner = host_.dialogOwner();
    displayMemoryWindow = makeToolWindow(owner, tr("Display Memory"));
    registersWindow = makeToolWindow(owner, tr("Registers"));
    breakpointsWindow = new CBreakpointsDialog(owner);
    breakpointsWindow->hide();
    for (QDialog* w : {displayMemoryWindow.data(), registersWindow.data(),
                       static_cast<QDialog*>(breakpointsWindow.data())})
        w->installEventFilter(this);
    connect(breakpointsWindow, &CBreakpointsDialog::selectionChanged, this,
            &CTarvik11Doc::commandStateChanged);
    listingShown = 0;
    statusBar = host_.mainStatusBar();
    host_.setCurrentDoc(this);
}

CTarvik11Doc::~CTarvik11Doc()
{
    delete displayMemoryWindow.data();
    delete registersWindow.data();
    delete breakpointsWindow.data();
    memoryLines.clear();
    listingLines.clear();
}

bool CTarvik11Doc::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show || event->type() == QEvent::Hide)
        emit commandStateChanged();
    return QObject::eventFilter(watched, event);
}

void CTarvik11Doc::UpdateAllViews()
{
    emit linesChanged();
}

void CTarvik11Doc::ReportStatus(int32_t status)
{
    if (status == 0) {
        if (statusBar) {
            statusBar->showMessage(statusMessage(0));
            statusBar->repaint();
        }
    } else {
        host_.messageBox(statusMessage(status));
    }
    PumpPendingMessages();
}

void CTarvik11Doc::ShowStatusText(const QString& text)
{
    if (statusBar) {
        statusBar->showMessage(text);
        statusBar->repaint();
    }
    PumpPendingMessages();
}

void CTarvik11Doc::PumpPendingMessages()
{
    if (QCoreApplication::instance()) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

bool CTarvik11Doc::updateCommand(int id, CmdUI& ui)
{
    auto visible = [](const QDialog* w) { return w && w->isVisible(); };
    switch (id) {
    case CmdId::kMemoryDisplay:
        ui.checked = visible(displayMemoryWindow);
        return true;
    case CmdId::kRegisterWindow:
        ui.checked = visible(registersWindow);
        return true;
    case CmdId::kListBreakpoints:
        ui.checked = visible(breakpointsWindow);
        return true;
    case CmdId::kClearBreakpoint:
        ui.enabled = breakpointsWindow && !breakpointsWindow->selectedText().isEmpty();
        return true;
    default:
        for (const auto& c : kDocCommands)
            if (c.id == id) {
                ui.enabled = true;
                return true;
            }
        return false;
    }
}

bool CTarvik11Doc::onCommand(int id)
{
    for (const auto& c : kDocCommands)
        if (c.id == id) {
            (this->*c.handler)();
            emit commandStateChanged();
            return true;
        }
    return false;
}

void CTarvik11Doc::toggleWindow(QDialog* window)
{
    if (!window)
        return;
    if (window->isVisible()) {
        window->hide();
    } else {
        window->show();
        window->raise();
    }
}

void CTarvik11Doc::OnMemoryDisplay() { toggleWindow(displayMemoryWindow); }
void CTarvik11Doc::OnRegisterWindow() { toggleWindow(registersWindow); }
void CTarvik11Doc::OnListBreakpoints() { toggleWindow(breakpointsWindow); }

void CTarvik11Doc::OnClearMemoryView()
{
    memoryLines.clear();
    UpdateAllViews();
}

void CTarvik11Doc::OnBootTalker()
{
    TalkerSettings settings;
    if (!host_.editTalkerSettings(settings))
        return;
    // The download itself runs through the debugger engine with the command set.
}

void CTarvik11Doc::OnFileClose()
{
    host_.closeDocument(this);
}

// Target commands; their exchanges with the talker run through the debugger engine.
void CTarvik11Doc::OnExecute() {}
void CTarvik11Doc::OnStopExecution() {}
void CTarvik11Doc::OnCallSubroutine() {}
void CTarvik11Doc::OnFindByte() {}
void CTarvik11Doc::OnMoveMemory() {}
void CTarvik11Doc::OnVerifyS19() {}
void CTarvik11Doc::OnOpenS19() {}
void CTarvik11Doc::OnBlockFill() {}
void CTarvik11Doc::OnSetMemory() {}
void CTarvik11Doc::OnSetBreakpoint() {}
void CTarvik11Doc::OnClearBreakpoint() {}
void CTarvik11Doc::OnClearAllBreakpoints() {}
void CTarvik11Doc::OnTrace() {}
void CTarvik11Doc::OnContinueTrace() {}
