#include "document/CTarvik11Doc.h"
#include "document/CBlockFillDialog.h"
#include "document/CBreakpointsDialog.h"
#include "document/CCallSubroutineDialog.h"
#include "document/CDisplayMemoryDialog.h"
#include "document/CExecuteDialog.h"
#include "document/CFindByteDialog.h"
#include "document/CIoRegistersDialog.h"
#include "document/CMemoryWatchDialog.h"
#include "document/CMoveMemoryDialog.h"
#include "document/CRegistersDialog.h"
#include "document/CSetBreakpointDialog.h"
#include "document/CSetMemoryDialog.h"
#include "document/CTargetLine.h"
#include "engine/DataFiles.h"
#include "session/DebugSession.h"
#include "document/CTraceDialog.h"
#include "res/CommandIds.h"
#include "engine/CommandTexts.h"
#include "document/DocumentHost.h"
#include "document/TalkerSettings.h"
#include <QApplication>
#include <QDockWidget>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProgressBar>
#include <QProgressDialog>
#include <QStatusBar>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <vector>

namespace {

QString statusMessage(int32_t status)
{
    return QString::fromLatin1(talkerStatusText(status));
}

// The hourglass for the length of a command, whichever way it ends.
class BusyCursor {
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// Gives up the rest of the time slice once, as every target command does before its exchange.
void yieldOnce()
{
    QThread::yieldCurrentThread();
}

// A command text with its numbers filled in.
template <typename... Args>
QString text(const char* format, Args... args)
{
    return QString::fromStdString(CommandText::format(format, args...));
}

QString hex4(uint32_t value)
{
    return text("$%04x", value & 0xFFFFu);
}

std::string typed(const QString& text)
{
    return text.toStdString();
}

bool visible(const QDialog* window)
{
    return window && window->isVisible();
}

// True when the talker listens and no program runs.
bool listening(const DebugSession& session)
{
    const RunState state = session.runState();
    return state == RunState::Idle || state == RunState::Held;
}

// Where the program stands stopped: the stop a hit, trace or step reported, else the SWI the
// talker holds it at; nothing while no program is stopped.
std::optional<uint32_t> stopOf(const DebugSession& session)
{
    if (!listening(session))
        return std::nullopt;
    if (const auto pc = session.stoppedPC())
        return pc;
    return session.heldAt();
}

} // namespace

CTarvik11Doc::CTarvik11Doc(DocumentHost& host, const QString& title, QObject* parent)
    : QObject(parent), host_(host), title_(title), services_(host.targetServices())
{
    QWidget* owner = host_.dialogOwner();
    displayMemoryWindow = new CDisplayMemoryDialog(owner);
    displayMemoryWindow->hide();
    displayMemoryWindow->setDocument(this);
    connect(displayMemoryWindow, &CDisplayMemoryDialog::dumpRequested, this, &CTarvik11Doc::DumpMemory);
    registersWindow = new CRegistersDialog(services_.session, owner);
    registersWindow->hide();
    registersWindow->setTargetLine(services_.line);
    registersWindow->setMessageHandler([this](const QString& message) { host_.messageBox(message); });
    breakpointsWindow = new CBreakpointsDialog(owner);
    breakpointsWindow->hide();
    ioRegistersWindow = new CIoRegistersDialog(services_.session, owner);
    ioRegistersWindow->hide();
    ioRegistersWindow->setTargetLine(services_.line);
    ioRegistersWindow->setMessageHandler([this](const QString& message) { host_.messageBox(message); });
    memoryWatchWindow = new CMemoryWatchDialog(services_.session, owner);
    memoryWatchWindow->hide();
    memoryWatchWindow->setTargetLine(services_.line);
    memoryWatchWindow->setMessageHandler([this](const QString& message) { host_.messageBox(message); });
    connect(this, &CTarvik11Doc::targetStateChanged, memoryWatchWindow, &CMemoryWatchDialog::targetStateChanged);
    for (QDialog* w : {static_cast<QDialog*>(displayMemoryWindow.data()),
                       static_cast<QDialog*>(registersWindow.data()),
                       static_cast<QDialog*>(breakpointsWindow.data()),
                       static_cast<QDialog*>(ioRegistersWindow.data()),
                       static_cast<QDialog*>(memoryWatchWindow.data())})
        w->installEventFilter(this);
    host_.placeToolWindow(displayMemoryWindow, QStringLiteral("DisplayMemoryWindow"));
    host_.placeToolWindow(registersWindow, QStringLiteral("RegistersWindow"));
    host_.placeToolWindow(breakpointsWindow, QStringLiteral("BreakpointsWindow"));
    host_.placeToolWindow(ioRegistersWindow, QStringLiteral("IoRegistersWindow"));
    host_.placeToolWindow(memoryWatchWindow, QStringLiteral("MemoryWatchWindow"));
    connect(breakpointsWindow, &CBreakpointsDialog::selectionChanged, this,
            &CTarvik11Doc::commandStateChanged);
    listingShown = 0;
    statusBar = host_.mainStatusBar();
    returnCheck_ = new QTimer(this);
    returnCheck_->setInterval(kReturnCheckMs);
    connect(returnCheck_, &QTimer::timeout, this, [this] {
        DebugSession* session = services_.session;
        if (!session || session->runState() != RunState::Running) {
            returnCheck_->stop();
            return;
        }
        if ((services_.line && services_.line->busy()) || !session->checkReturnedToTalker())
            return;
        returnCheck_->stop();
        emit commandStateChanged();
        emit targetStateChanged();
    });
    host_.setCurrentDoc(this);
    if (services_.session)
        services_.session->setObserver(this);
}

CTarvik11Doc::~CTarvik11Doc()
{
    if (services_.session)
        services_.session->setObserver(nullptr);
    delete displayMemoryWindow.data();
    delete registersWindow.data();
    delete breakpointsWindow.data();
    delete ioRegistersWindow.data();
    delete memoryWatchWindow.data();
    delete progress_.data();
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

void CTarvik11Doc::setStatusTextDirect(const QString& text)
{
    if (statusBar) {
        statusBar->showMessage(text);
        statusBar->repaint();
    }
}

void CTarvik11Doc::ReportStatus(int32_t status)
{
    if (status == 0)
        setStatusTextDirect(statusMessage(0));
    else
        host_.messageBox(statusMessage(status));
    PumpPendingMessages();
}

void CTarvik11Doc::ShowStatusText(const QString& text)
{
    setStatusTextDirect(text);
    PumpPendingMessages();
}

void CTarvik11Doc::PumpPendingMessages()
{
    if (QCoreApplication::instance()) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

std::span<const CommandBinding<CTarvik11Doc>> CTarvik11Doc::commandTable()
{
    using D = CTarvik11Doc;
    static constexpr CommandBinding<D> kCommands[] = {
        {CmdId::kExecute, &D::OnExecute},
        {CmdId::kStopExecution, &D::OnStopExecution, &D::stopExecutionState},
        {CmdId::kCallSubroutine, &D::OnCallSubroutine},
        {CmdId::kBootTalker, &D::OnBootTalker},
        {CmdId::kFindByte, &D::OnFindByte},
        {CmdId::kMoveMemory, &D::OnMoveMemory},
        {CmdId::kVerifyS19, &D::OnVerifyS19},
        {CmdId::kFileOpen, &D::OnOpenS19},
        {CmdId::kBlockFill, &D::OnBlockFill},
        {CmdId::kSetMemory, &D::OnSetMemory},
        {CmdId::kMemoryDisplay, &D::OnMemoryDisplay, &D::memoryDisplayState},
        {CmdId::kClearMemoryView, &D::OnClearMemoryView},
        {CmdId::kRegisterWindow, &D::OnRegisterWindow, &D::registerWindowState},
        {CmdId::kSetBreakpoint, &D::OnSetBreakpoint},
        {CmdId::kClearBreakpoint, &D::OnClearBreakpoint, &D::clearBreakpointState},
        {CmdId::kClearAllBreakpoints, &D::OnClearAllBreakpoints},
        {CmdId::kListBreakpoints, &D::OnListBreakpoints, &D::listBreakpointsState},
        {CmdId::kTrace, &D::OnTrace},
        {CmdId::kContinueTrace, &D::OnContinueTrace},
        {CmdId::kFileClose, &D::OnFileClose},
        {CmdId::kStepOver, &D::OnStepOver, &D::steppingState},
        {CmdId::kStepOut, &D::OnStepOut, &D::stepOutState},
        {CmdId::kContinue, &D::OnContinue, &D::steppingState},
        {CmdId::kIoRegisterWindow, &D::OnIoRegisterWindow, &D::ioRegisterWindowState},
        {CmdId::kMemoryWatch, &D::OnMemoryWatch, &D::memoryWatchState},
    };
    return kCommands;
}

bool CTarvik11Doc::carriesCommand(int id)
{
    return findBinding(commandTable(), id) != nullptr;
}

CommandState CTarvik11Doc::commandState(int id) const
{
    const CommandBinding<CTarvik11Doc>* binding = findBinding(commandTable(), id);
    return binding ? bindingState(*binding, *this) : CommandState{false, false};
}

bool CTarvik11Doc::runCommand(int id)
{
    const CommandBinding<CTarvik11Doc>* binding = findBinding(commandTable(), id);
    if (!binding || !bindingState(*binding, *this).enabled)
        return false;
    (this->*binding->handler)();
    emit commandStateChanged();
    return true;
}

CommandState CTarvik11Doc::memoryDisplayState() const
{
    return {true, visible(displayMemoryWindow)};
}

CommandState CTarvik11Doc::registerWindowState() const
{
    return {true, visible(registersWindow)};
}

CommandState CTarvik11Doc::listBreakpointsState() const
{
    return {true, visible(breakpointsWindow)};
}

CommandState CTarvik11Doc::clearBreakpointState() const
{
    return {breakpointsWindow && !breakpointsWindow->selectedText().isEmpty(), false};
}

CommandState CTarvik11Doc::ioRegisterWindowState() const
{
    return {true, visible(ioRegistersWindow)};
}

CommandState CTarvik11Doc::memoryWatchState() const
{
    return {true, visible(memoryWatchWindow)};
}

CommandState CTarvik11Doc::stopExecutionState() const
{
    const RunState state = services_.session ? services_.session->runState() : RunState::NoTalker;
    return {state == RunState::Running || state == RunState::Held, false};
}

CommandState CTarvik11Doc::steppingState() const
{
    return {targetListening(), false};
}

CommandState CTarvik11Doc::stepOutState() const
{
    return {targetListening() && stopAddress().has_value(), false};
}

bool CTarvik11Doc::targetListening() const
{
    return services_.session && listening(*services_.session);
}

std::optional<uint32_t> CTarvik11Doc::stopAddress() const
{
    return services_.session ? stopOf(*services_.session) : std::nullopt;
}

std::vector<uint32_t> CTarvik11Doc::breakpointAddresses() const
{
    return services_.session ? services_.session->breakpoints() : std::vector<uint32_t>{};
}

QString CTarvik11Doc::runStateText(const DebugSession* session)
{
    if (!session || session->runState() == RunState::NoTalker)
        return tr("No talker");
    if (session->runState() == RunState::Running)
        return tr("Running");
    const std::optional<uint32_t> at = stopOf(*session);
    return at ? tr("Stopped at %1").arg(hex4(*at)) : tr("Idle");
}

bool CTarvik11Doc::lineAvailable()
{
    if (!services_.complete()) {
        QApplication::beep();
        return false;
    }
    if ((services_.line && services_.line->busy()) || services_.session->busy()) {
        QApplication::beep();
        if (statusBar)
            statusBar->showMessage(QString::fromLatin1(CommandText::kLineBusy), 3000);
        return false;
    }
    return true;
}

void CTarvik11Doc::stepProgress(uint64_t done, uint64_t total)
{
    if (!statusBar || total == 0)
        return;
    if (!progress_) {
        progress_ = new QProgressBar(statusBar);
        progress_->setRange(0, 1000);
        progress_->setMaximumWidth(160);
        progress_->setTextVisible(false);
        statusBar->insertPermanentWidget(0, progress_);
    }
    progress_->setValue(static_cast<int>(done * 1000 / total));
    progress_->show();
    progress_->repaint();
    PumpPendingMessages();
}

void CTarvik11Doc::endProgress()
{
    if (progress_)
        progress_->hide();
}

void CTarvik11Doc::toggleWindow(QDialog* window)
{
    if (!window)
        return;
    // A docked window is shown and hidden with its dock, which keeps its place meanwhile.
    QWidget* frame = window;
    if (auto* dock = qobject_cast<QDockWidget*>(window->parentWidget()))
        frame = dock;
    if (window->isVisible()) {
        frame->hide();
    } else {
        window->show();
        frame->show();
        frame->raise();
    }
}

void CTarvik11Doc::OnMemoryDisplay() { toggleWindow(displayMemoryWindow); }

void CTarvik11Doc::OnIoRegisterWindow()
{
    toggleWindow(ioRegistersWindow);
    // Opened while the talker listens, the window shows the registers at once.
    if (visible(ioRegistersWindow) && targetListening() && !services_.session->busy())
        ioRegistersWindow->Refresh();
}
void CTarvik11Doc::OnMemoryWatch()
{
    toggleWindow(memoryWatchWindow);
    // Opened while the talker listens, the window reads its ranges at once.
    if (visible(memoryWatchWindow) && targetListening() && !services_.session->busy())
        memoryWatchWindow->Refresh();
}

void CTarvik11Doc::OnRegisterWindow() { toggleWindow(registersWindow); }
void CTarvik11Doc::OnListBreakpoints() { toggleWindow(breakpointsWindow); }

void CTarvik11Doc::OnClearMemoryView()
{
    BusyCursor busy;
    yieldOnce();
    memoryLines.clear();
    UpdateAllViews();
}

void CTarvik11Doc::OnFileClose()
{
    if (services_.line && services_.line->busy()) {
        QApplication::beep();
        return;
    }
    host_.closeDocument(this);
}

// ---------------------------------------------------------------- execution

void CTarvik11Doc::finish(const CommandResult& result)
{
    endProgress();
    // Values a running program changed while they were read are no news worth a box at every
    // look at its memory: the status bar says so instead of the done text.
    bool changing = false;
    for (const std::string& note : result.notes) {
        if (note == CommandText::kReadChanging)
            changing = true;
        else
            host_.messageBox(QString::fromStdString(note));
    }
    if (!result.refusal.empty() || !result.failureText.empty())
        host_.messageBox(QString::fromStdString(result.errorText()));
    else if (result.status != kTalkerOk)
        ReportStatus(result.status);
    else if (changing)
        ShowStatusText(QString::fromLatin1(CommandText::kReadChanging));
    else if (!result.doneText.empty())
        ShowStatusText(QString::fromStdString(result.doneText));
    emit commandStateChanged();
    emit targetStateChanged();
}

// ---------------------------------------------------------------- what the session reports

void CTarvik11Doc::progressText(const std::string& text)
{
    ShowStatusText(QString::fromStdString(text));
}

void CTarvik11Doc::transferProgress(uint64_t done, uint64_t total)
{
    if (!booting_) {
        stepProgress(done, total);
        return;
    }
    if (!bootProgress_) {
        bootProgress_ = new QProgressDialog(tr("Downloading the talker..."), tr("Cancel"), 0, 1000,
                                            host_.dialogOwner());
        bootProgress_->setObjectName(QStringLiteral("BootProgress"));
        bootProgress_->setWindowTitle(tr("Boot Talker"));
        // Not modal: the commands refuse themselves while the line is busy, as during any transfer.
        bootProgress_->setWindowModality(Qt::NonModal);
        bootProgress_->setAutoClose(false);
        bootProgress_->setAutoReset(false);
        bootProgress_->setMinimumDuration(0);
    }
    if (total > 0)
        bootProgress_->setValue(static_cast<int>(done * 1000 / total));
    if (done >= total && total > 0) {
        // The talker runs now: its start-up exchanges cannot be abandoned half way.
        bootProgress_->setLabelText(tr("Starting the talker..."));
        bootProgress_->setCancelButtonText(QString());
    }
    PumpPendingMessages();
}

bool CTarvik11Doc::cancelRequested()
{
    PumpPendingMessages();
    return bootProgress_ && bootProgress_->wasCanceled();
}

void CTarvik11Doc::keepAlive()
{
    PumpPendingMessages();
}

void CTarvik11Doc::message(const std::string& text)
{
    host_.messageBox(QString::fromStdString(text));
}

void CTarvik11Doc::breakpointConfirmed(uint32_t address)
{
    OnBreakpointConfirmed(address);
}

void CTarvik11Doc::programStopped(const BreakpointHit& hit)
{
    OnBreakpointHit(hit);
}

void CTarvik11Doc::breakpointLogged(uint32_t address, const std::string& text, bool error)
{
    // A breakpoint's log line (or why its rules failed) goes to the Memory View, the document's output.
    (void)address;
    const int first = static_cast<int>(memoryLines.size());
    memoryLines.append(QString::fromStdString(text));
    emit memoryLinesAppended(first);
    if (error)
        ShowStatusText(QString::fromStdString(text));
}

// ---------------------------------------------------------------- execution

void CTarvik11Doc::OnExecute()
{
    if (!lineAvailable())
        return;
    CExecuteDialog dialog(host_.dialogOwner());
    dialog.setAddress(hex4(services_.session->currentPC()));
    if (dialog.exec() != QDialog::Accepted)
        return;
    CTargetLine::Transfer transfer(services_.line);
    if (!transfer.granted())
        return;
    BusyCursor busy;
    yieldOnce();
    const int stops = stopCount_;
    finishRun(services_.session->execute(typed(dialog.address())), stops);
}

void CTarvik11Doc::OnStopExecution()
{
    if (!lineAvailable())
        return;
    CTargetLine::Transfer transfer(services_.line);
    BusyCursor busy;
    yieldOnce();
    const CommandResult result = services_.session->stop();
    // The program waits where it was stopped: the registers and the marker show that place.
    if (result.ok() && stopAddress())
        showStop();
    finish(result);
}

void CTarvik11Doc::OnCallSubroutine()
{
    if (!lineAvailable())
        return;
    CCallSubroutineDialog dialog(host_.dialogOwner());
    dialog.setAddress(hex4(services_.session->currentPC()));
    if (dialog.exec() != QDialog::Accepted)
        return;
    CTargetLine::Transfer transfer(services_.line);
    if (!transfer.granted())
        return;
    BusyCursor busy;
    yieldOnce();
    const int stops = stopCount_;
    const CommandResult result = services_.session->callSubroutine(typed(dialog.address()));
    // The talker says nothing when the subroutine returns into it: a look now and then tells.
    if (result.ok() && services_.session->runState() == RunState::Running)
        returnCheck_->start();
    finishRun(result, stops);
}

void CTarvik11Doc::OnBootTalker()
{
    if (services_.line && services_.line->busy()) {
        lineAvailable();
        return;
    }
    TalkerSettings settings;
    if (!host_.editTalkerSettings(settings) || !lineAvailable())
        return;
    CTargetLine::Transfer transfer(services_.line);
    if (!transfer.granted())
        return;
    BootSettings boot;
    boot.port = settings.port.toStdString();
    boot.talkerType = static_cast<TalkerType>(settings.talkerType);
    boot.talkerFile = settings.talkerFile.toStdString();
    boot.chipMode = static_cast<ChipMode>(settings.chipMode);
    boot.eepromEnable = settings.eepromEnable != 0;
    boot.readWaitMs = static_cast<int>(settings.commDelay);
    boot.fastLine = settings.fastLine;
    boot.base = numberBaseFromInt(settings.defaultBase);
    boot.chip = findChip(settings.chip.toStdString()).value_or(kDefaultChip);
    boot.crystalHz = settings.crystalHz;
    boot.reset = resetPulseFromText(settings.resetLine.toStdString()).value_or(ResetPulse{});
    services_.session->setKeepBreakpoints(settings.keepBreakpoints);
    // The session asks for RESET first (a modal box here), then starts the talker; the window
    // keeps painting during the download, which a progress box shows with Cancel.
    booting_ = true;
    const CommandResult result = services_.session->boot(boot);
    booting_ = false;
    delete bootProgress_.data();
    if (!result.ok() || services_.session->leftBehind().empty()) {
        finish(result);
        return;
    }
    // SWIs an earlier session on this port left in the program: one question instead of the
    // boot's note naming them; Yes writes their own bytes back, No forgets them.
    std::string list;
    for (const BreakpointRecord& r : services_.session->leftBehind())
        list += (list.empty() ? "" : ", ") + CommandText::format(CommandText::kSwiEntry, r.address,
                                                                 unsigned{r.savedOpcode});
    const std::string note = CommandText::format(CommandText::kLeftBehind, list.c_str());
    CommandResult booted = result;
    std::erase(booted.notes, note);
    finish(booted);
    if (host_.askYesNo(QString::fromStdString(note) + tr(".\n\nWrite these bytes back now? (No forgets them "
                                                         "and leaves the program as it is.)")))
        finish(services_.session->writeBackLeftBehind());
    else
        services_.session->forgetLeftBehind();
}

// ---------------------------------------------------------------- memory

void CTarvik11Doc::OnFindByte()
{
    if (!lineAvailable())
        return;
    CFindByteDialog dialog(host_.dialogOwner());
    if (dialog.exec() != QDialog::Accepted)
        return;
    CTargetLine::Transfer transfer(services_.line);
    if (!transfer.granted())
        return;
    BusyCursor busy;
    yieldOnce();
    finish(services_.session->find(typed(dialog.startAddress()), typed(dialog.endAddress()),
                                   typed(dialog.byteValue())));
}

void CTarvik11Doc::OnMoveMemory()
{
    if (!lineAvailable())
        return;
    CMoveMemoryDialog dialog(host_.dialogOwner());
    if (dialog.exec() != QDialog::Accepted)
        return;
    CTargetLine::Transfer transfer(services_.line);
    if (!transfer.granted())
        return;
    BusyCursor busy;
    yieldOnce();
    finish(services_.session->move(typed(dialog.startAddress()), typed(dialog.endAddress()),
                                   typed(dialog.destination())));
}

void CTarvik11Doc::OnBlockFill()
{
    if (!lineAvailable())
        return;
    CBlockFillDialog dialog(host_.dialogOwner());
    if (dialog.exec() != QDialog::Accepted)
        return;
    CTargetLine::Transfer transfer(services_.line);
    if (!transfer.granted())
        return;
    BusyCursor busy;
    yieldOnce();
    finish(services_.session->fill(typed(dialog.startAddress()), typed(dialog.endAddress()),
                                   typed(dialog.byteValue())));
}

void CTarvik11Doc::OnSetMemory()
{
    if (!lineAvailable())
        return;
    CSetMemoryDialog dialog(host_.dialogOwner());
    if (dialog.exec() != QDialog::Accepted)
        return;
    CTargetLine::Transfer transfer(services_.line);
    if (!transfer.granted())
        return;
    BusyCursor busy;
    yieldOnce();
    finish(services_.session->setMemory(typed(dialog.address()), typed(dialog.value())));
}

void CTarvik11Doc::DumpMemory()
{
    CDisplayMemoryDialog* window = displayMemoryWindow;
    if (!window || !lineAvailable())
        return;
    CTargetLine::Transfer transfer(services_.line);
    if (!transfer.granted())
        return;
    BusyCursor busy;
    yieldOnce();
    // An empty end field asks for one line, as an end of 0 does.
    const QString endText = window->endText().trimmed().isEmpty() ? QStringLiteral("0") : window->endText();
    CommandResult result = services_.session->dump(typed(window->startText()), typed(endText));
    if (result.ok() || result.refusal == CommandText::kDumpOrder)
        window->setRangeTexts(hex4(result.rangeStart), hex4(result.rangeEnd));
    if (result.ok()) {
        const int first = static_cast<int>(memoryLines.size());
        memoryLines.reserve(memoryLines.size() + static_cast<qsizetype>(result.lines.size()));
        for (const std::string& line : result.lines)
            memoryLines.append(QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())));
        lastDumpLines = static_cast<int>(result.lines.size()) + 1;
        emit memoryLinesAppended(first);
    }
    finish(result);
}

// ---------------------------------------------------------------- S19

QString CTarvik11Doc::chooseS19File()
{
    QFileDialog dialog(host_.dialogOwner(), tr("Open"));
    dialog.setObjectName(QStringLiteral("S19FileDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // No default suffix: a program file named without any extension must stay loadable.
    dialog.setNameFilters({tr("Programs (*.S19 *.s19 *.elf)"), tr("S19 Records (*.S19 *.s19)"),
                           tr("ELF Programs (*.elf)"), tr("All Files (*)")});
    // The sample programs are offered first, wherever the program was started from.
    const std::string samples = findSamplesFolder();
    if (!samples.empty())
        dialog.setDirectory(QString::fromStdString(samples));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

void CTarvik11Doc::OnVerifyS19()
{
    if (!lineAvailable())
        return;
    const QString path = chooseS19File();
    if (path.isEmpty())
        return;
    CTargetLine::Transfer transfer(services_.line);
    if (!transfer.granted())
        return;
    BusyCursor busy;
    yieldOnce();
    finish(services_.session->verifyS19(path.toStdString()));
}

void CTarvik11Doc::OnOpenS19()
{
    if (!lineAvailable())
        return;
    const QString path = chooseS19File();
    if (!path.isEmpty())
        LoadProgram(path);
}

void CTarvik11Doc::LoadProgram(const QString& path)
{
    if (!lineAvailable())
        return;
    CTargetLine::Transfer transfer(services_.line);
    if (!transfer.granted())
        return;
    BusyCursor busy;
    yieldOnce();
    CommandResult result = services_.session->loadS19(path.toStdString());
    if (result.ok())
        host_.noteProgramLoaded(QFileInfo(path).absoluteFilePath());
    if (result.ok()) {
        // The Assembly View shows this program's listing, or nothing: never the previous one's.
        QStringList lines;
        for (const std::string& line : result.lines)
            lines << QString::fromLocal8Bit(line.data(), static_cast<qsizetype>(line.size()));
        // A program with a line table shows its source files even without a listing.
        programPath = QFileInfo(path).absoluteFilePath();
        const bool source = !services_.session->sourceLines().empty();
        if ((!lines.isEmpty() || source) && !listingShown) {
            // Only a view that really opened shows the listing; otherwise the next load tries again.
            listingLines.clear();
            listingShown = host_.openAsmView(this) ? 1 : 0;
        }
        listingLines = lines;
    }
    finish(result);
    if (result.ok())
        UpdateAllViews();
}

// ---------------------------------------------------------------- breakpoints

void CTarvik11Doc::OnSetBreakpoint()
{
    if (!lineAvailable())
        return;
    CSetBreakpointDialog dialog(host_.dialogOwner());
    if (dialog.exec() != QDialog::Accepted)
        return;
    CTargetLine::Transfer transfer(services_.line);
    if (!transfer.granted())
        return;
    BusyCursor busy;
    yieldOnce();
    const CommandResult result = services_.session->setBreakpoint(typed(dialog.address()), dialog.rule());
    showBreakpoints();
    finish(result);
}

void CTarvik11Doc::OnClearBreakpoint()
{
    if (!lineAvailable())
        return;
    CTargetLine::Transfer transfer(services_.line);
    BusyCursor busy;
    yieldOnce();
    if (!breakpointsWindow || breakpointsWindow->selectedText().isEmpty())
        return;
    const CommandResult result = services_.session->removeBreakpoint(typed(breakpointsWindow->selectedAddress()));
    showBreakpoints();
    finish(result);
}

void CTarvik11Doc::OnClearAllBreakpoints()
{
    if (!lineAvailable())
        return;
    CTargetLine::Transfer transfer(services_.line);
    BusyCursor busy;
    yieldOnce();
    const CommandResult result = services_.session->clearBreakpoints();
    // A breakpoint whose removal failed is still in the table: the list keeps showing it.
    showBreakpoints();
    finish(result);
}

void CTarvik11Doc::showBreakpoints()
{
    if (!breakpointsWindow)
        return;
    breakpointsWindow->clearAll();
    for (uint32_t address : services_.session->breakpoints()) {
        QString rules;
        for (const BreakpointRule& rule : services_.session->breakpointRules(address))
            rules += (rules.isEmpty() ? "" : "; ") + QString::fromStdString(rule.describe()) +
                     tr(" (hit %1 times)").arg(rule.hits);
        breakpointsWindow->addAddress(address, rules);
    }
}

void CTarvik11Doc::OnBreakpointConfirmed(uint32_t address)
{
    beforeHitText_ = statusBar ? statusBar->currentMessage() : QString();
    setStatusTextDirect(text(CommandText::kBreakpointReached, address));
}

void CTarvik11Doc::OnBreakpointHit(const BreakpointHit& hit)
{
    // The early notice stands only for a handled hit.
    if (hit.kind == BreakpointHitKind::RestoreFailed)
        setStatusTextDirect(beforeHitText_);
    // A line lost while the program ran is news; the other failures were shown by the engine.
    if (const std::string lost = lostLineText(hit); !lost.empty()) {
        host_.messageBox(QString::fromStdString(lost));
        PumpPendingMessages();
        return;
    }
    // A stop at an SWI of the program's own (NotInTable) was announced by the engine's message;
    // like every other stop it moves the registers and the PC marker.
    const char* stopText = hit.kind == BreakpointHitKind::Hit          ? CommandText::kBreakpointReached
                           : hit.kind == BreakpointHitKind::Stopped    ? CommandText::kProgramStopped
                           : hit.kind == BreakpointHitKind::NotInTable ? CommandText::kProgramStopped
                           : hit.kind == BreakpointHitKind::StepDone   ? CommandText::kTraceDone
                                                                       : nullptr;
    if (!stopText)
        return;
    setStatusTextDirect(text(stopText, hit.address));
    ++stopCount_;
    if (registersWindow)
        registersWindow->ShowRegisters(hit.registers, hit.address);
    showBreakpoints();
    emit commandStateChanged();
    emit targetStateChanged();
}

// ---------------------------------------------------------------- trace

void CTarvik11Doc::OnTrace()
{
    if (!lineAvailable())
        return;
    CTraceDialog dialog(host_.dialogOwner());
    dialog.setAddress(hex4(services_.session->currentPC()));
    if (dialog.exec() != QDialog::Accepted)
        return;
    CTargetLine::Transfer transfer(services_.line);
    if (!transfer.granted())
        return;
    BusyCursor busy;
    yieldOnce();
    afterTrace(services_.session->trace(typed(dialog.address())));
}

void CTarvik11Doc::OnContinueTrace()
{
    if (!lineAvailable())
        return;
    CTargetLine::Transfer transfer(services_.line);
    BusyCursor busy;
    yieldOnce();
    afterTrace(services_.session->continueTrace());
}

void CTarvik11Doc::showStop()
{
    ++stopCount_;
    if (registersWindow) {
        registersWindow->ReadRegs();
        registersWindow->SetShownPC(services_.session->currentPC());
    }
}

void CTarvik11Doc::afterTrace(const CommandResult& result)
{
    if (result.ok())
        showStop();
    finish(result);
}

// ---------------------------------------------------------------- stepping

void CTarvik11Doc::finishRun(CommandResult result, int stopsBefore)
{
    // A program that stopped before its start command ended (the talker's report came with the
    // command's last bytes) was shown as stopped: its start text must not cover that.
    if (result.ok() && stopCount_ != stopsBefore && services_.session->runState() != RunState::Running)
        result.doneText.clear();
    finish(result);
}

void CTarvik11Doc::afterStep(const CommandResult& result, int stopsBefore)
{
    // A run toward the step's goal says nothing on success: its stop shows when the poll reports
    // it (the registers cannot be read while the program runs). A single step says where it ended.
    if (result.ok() && result.doneText.empty())
        finishRun(result, stopsBefore);
    else
        afterTrace(result);
}

void CTarvik11Doc::runStep(const std::function<CommandResult()>& step)
{
    if (!lineAvailable())
        return;
    CTargetLine::Transfer transfer(services_.line);
    BusyCursor busy;
    yieldOnce();
    const int stops = stopCount_;
    afterStep(step(), stops);
}

void CTarvik11Doc::OnStepOver() { runStep([this] { return services_.session->stepOver(); }); }
void CTarvik11Doc::OnStepOut() { runStep([this] { return services_.session->stepOut(); }); }
void CTarvik11Doc::OnContinue() { runStep([this] { return services_.session->continueRun(); }); }

void CTarvik11Doc::RunToAddress(uint32_t address)
{
    if (!targetListening()) {
        QApplication::beep();
        return;
    }
    runStep([&] { return services_.session->runUntil(typed(hex4(address))); });
}

void CTarvik11Doc::SetPcAt(uint32_t address)
{
    if (!targetListening()) {
        QApplication::beep();
        return;
    }
    if (!lineAvailable())
        return;
    CommandResult result;
    {
        CTargetLine::Transfer transfer(services_.line);
        if (!transfer.granted())
            return;
        BusyCursor busy;
        yieldOnce();
        result = services_.session->setRegister("pc", typed(hex4(address)));
    }
    if (result.ok() && registersWindow)
        registersWindow->ShowRegisters(services_.session->lastRegisters(), address & 0xFFFFu);
    if (result.ok() && result.doneText.empty())
        result.doneText = text("PC set to $%04x", address & 0xFFFFu).toStdString();
    finish(result);
}

void CTarvik11Doc::ToggleBreakpointAt(uint32_t address)
{
    if (!targetListening()) {
        QApplication::beep();
        return;
    }
    if (!lineAvailable())
        return;
    CTargetLine::Transfer transfer(services_.line);
    BusyCursor busy;
    yieldOnce();
    const std::vector<uint32_t> table = services_.session->breakpoints();
    const bool set = std::find(table.begin(), table.end(), address & 0xFFFFu) != table.end();
    const CommandResult result = set ? services_.session->removeBreakpoint(typed(hex4(address)))
                                     : services_.session->setBreakpoint(typed(hex4(address)));
    showBreakpoints();
    finish(result);
}
