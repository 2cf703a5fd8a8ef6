#include "CTarvik11Doc.h"
#include "ListingPath.h"
#include "ListingReader.h"
#include "CBlockFillDialog.h"
#include "CBreakpointsDialog.h"
#include "CCallSubroutineDialog.h"
#include "CDisplayMemoryDialog.h"
#include "CExecuteDialog.h"
#include "CFindByteDialog.h"
#include "CMoveMemoryDialog.h"
#include "CRegistersDialog.h"
#include "CSetBreakpointDialog.h"
#include "CSetMemoryDialog.h"
#include "CTargetLine.h"
#include "CTraceDialog.h"
#include "CommandIds.h"
#include "CommandTexts.h"
#include "DebugEngine.h"
#include "DocumentHost.h"
#include "MemoryDump.h"
#include "NumberParse.h"
#include "SerialPort.h"
#include "TalkerLink.h"
#include "TalkerSettings.h"
#include "TalkerStatus.h"
#include "TargetMemory.h"
#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QProgressBar>
#include <QStatusBar>
#include <QTextStream>
#include <QThread>
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

uint32_t parse(const QString& typed)
{
    return parseNumber(typed.toStdString());
}

// Transfers above this many bytes show a progress bar.
constexpr uint64_t kProgressThreshold = 1024;

constexpr const char* kLineBusy = "Another command is still talking to the target";

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
    : QObject(parent), host_(host), title_(title), services_(host.targetServices())
{
    QWidget* owner = host_.dialogOwner();
    displayMemoryWindow = new CDisplayMemoryDialog(owner);
    displayMemoryWindow->hide();
    displayMemoryWindow->setDocument(this);
    connect(displayMemoryWindow, &CDisplayMemoryDialog::dumpRequested, this, &CTarvik11Doc::DumpMemory);
    registersWindow = new CRegistersDialog(services_.registers, owner);
    registersWindow->hide();
    registersWindow->setTargetLine(services_.line);
    registersWindow->setMessageHandler([this](const QString& message) { host_.messageBox(message); });
    breakpointsWindow = new CBreakpointsDialog(owner);
    breakpointsWindow->hide();
    for (QDialog* w : {static_cast<QDialog*>(displayMemoryWindow.data()),
                       static_cast<QDialog*>(registersWindow.data()),
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

bool CTarvik11Doc::lineAvailable()
{
    if (!services_.complete()) {
        QApplication::beep();
        return false;
    }
    if (services_.line && services_.line->busy()) {
        QApplication::beep();
        if (statusBar)
            statusBar->showMessage(QString::fromLatin1(kLineBusy), 3000);
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

TalkerStatus CTarvik11Doc::withS19Progress(const std::function<TalkerStatus()>& operation)
{
    services_.engine->s19Progress = [this](uint64_t done, uint64_t total) { stepProgress(done, total); };
    const TalkerStatus s = operation();
    services_.engine->s19Progress = nullptr;
    endProgress();
    return s;
}

void CTarvik11Doc::finish(TalkerStatus status, const char* doneText)
{
    if (status)
        ReportStatus(status);
    else
        ShowStatusText(QString::fromLatin1(doneText));
}

bool CTarvik11Doc::programsEeprom(uint32_t first, uint32_t last) const
{
    return services_.link->eepromEnabled && last - first + 1 > BlockTransfer::kEepromRowBytes &&
           first <= static_cast<uint32_t>(services_.memory->eepromEnd) &&
           last >= static_cast<uint32_t>(services_.memory->eepromStart);
}

BlockTransfer::Progress CTarvik11Doc::progressFor(uint64_t totalBytes, bool always)
{
    if (totalBytes <= kProgressThreshold && !always)
        return {};
    return [this](uint64_t done, uint64_t total) { stepProgress(done, total); };
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

void CTarvik11Doc::OnExecute()
{
    if (!lineAvailable())
        return;
    CExecuteDialog dialog(host_.dialogOwner());
    dialog.setAddress(hex4(services_.engine->currentPC));
    if (dialog.exec() != QDialog::Accepted)
        return;
    CTargetLine::Transfer transfer(services_.line);
    if (!transfer.granted())
        return;
    BusyCursor busy;
    yieldOnce();
    ShowStatusText(QString::fromLatin1(CommandText::kExecuteProgress));
    const uint32_t address = parse(dialog.address());
    finish(services_.engine->execute(address, true), CommandText::kExecuteDone);
}

void CTarvik11Doc::OnStopExecution()
{
    if (!lineAvailable())
        return;
    CTargetLine::Transfer transfer(services_.line);
    BusyCursor busy;
    yieldOnce();
    ShowStatusText(QString::fromLatin1(CommandText::kStopProgress));
    finish(services_.engine->stop(), CommandText::kStopDone);
}

void CTarvik11Doc::OnCallSubroutine()
{
    if (!lineAvailable())
        return;
    CCallSubroutineDialog dialog(host_.dialogOwner());
    dialog.setAddress(hex4(services_.engine->currentPC));
    if (dialog.exec() != QDialog::Accepted)
        return;
    CTargetLine::Transfer transfer(services_.line);
    if (!transfer.granted())
        return;
    BusyCursor busy;
    yieldOnce();
    ShowStatusText(QString::fromLatin1(CommandText::kCallProgress));
    const uint32_t address = parse(dialog.address());
    finish(services_.engine->callSubroutine(address), CommandText::kCallDone);
}

void CTarvik11Doc::OnBootTalker()
{
    if (services_.line && services_.line->busy()) {
        lineAvailable();
        return;
    }
    TalkerSettings settings;
    if (!host_.editTalkerSettings(settings))
        return;
    host_.messageBox(QString::fromLatin1(CommandText::kPressReset));
    host_.pressBoardReset();
    if (!lineAvailable())
        return;
    CTargetLine::Transfer transfer(services_.line);
    if (!transfer.granted())
        return;
    BusyCursor busy;
    services_.port->readWaitMs = static_cast<int>(settings.commDelay);
    host_.setDefaultBase(settings.defaultBase);
    const TalkerStatus s = services_.engine->startTalker(
        settings.port.toStdString(), settings.talkerType, settings.talkerFile.toStdString(),
        settings.chipMode, settings.eepromEnable);
    finish(s, CommandText::kTalkerDownloaded);
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
    const uint32_t start = parse(dialog.startAddress());
    const uint32_t end = parse(dialog.endAddress());
    const uint32_t value = parse(dialog.byteValue());
    // An end below the start would make a huge wrapped count: refused like Block Fill.
    if (end < start) {
        host_.messageBox(QString::fromLatin1(CommandText::kRangeOrder));
        return;
    }
    ShowStatusText(text(CommandText::kFindProgress, value, start));
    uint32_t found = 0;
    if (TalkerStatus s = services_.memory->search(start, end - start + 1, value & 0xFF, found))
        ReportStatus(s);
    else
        ShowStatusText(text(CommandText::kFindDone, value, found));
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
    const uint32_t start = parse(dialog.startAddress());
    const uint32_t end = parse(dialog.endAddress());
    const uint32_t destination = parse(dialog.destination());
    if (end < start) {
        host_.messageBox(QString::fromLatin1(CommandText::kRangeOrder));
        return;
    }
    const uint32_t count = end - start + 1;
    // A destination block running past $FFFF is refused before any traffic.
    if (static_cast<uint64_t>(destination) + count > 0x10000) {
        host_.messageBox(text(CommandText::kMoveBeyondEnd, destination, count));
        return;
    }
    ShowStatusText(text(CommandText::kMoveProgress, start, end, destination));
    const uint32_t last = destination + count - 1;
    const bool eeprom = programsEeprom(destination, last);
    BlockTransfer mover(*services_.memory, *services_.link, progressFor(count, eeprom));
    const TalkerStatus s = mover.move(start, count, destination);
    endProgress();
    finish(s, CommandText::kMoveDone);
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
    const uint32_t start = parse(dialog.startAddress());
    const uint32_t end = parse(dialog.endAddress());
    const uint32_t value = parse(dialog.byteValue()) & 0xFF;
    if (end < start) {
        host_.messageBox(QString::fromLatin1(CommandText::kRangeOrder));
        return;
    }
    ShowStatusText(text(CommandText::kFillProgress, start, end, value));
    const uint32_t count = end - start + 1;
    const bool eeprom = programsEeprom(start, end);
    BlockTransfer filler(*services_.memory, *services_.link, progressFor(count, eeprom));
    const TalkerStatus s = filler.fill(start, count, value);
    endProgress();
    finish(s, CommandText::kFillDone);
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
    const uint32_t address = parse(dialog.address());
    const uint8_t value = static_cast<uint8_t>(parse(dialog.value()) & 0xFF);
    ShowStatusText(text(CommandText::kSetProgress, address, static_cast<unsigned>(value)));
    finish(services_.memory->writeBlock(address, 1, &value), CommandText::kSetDone);
}

void CTarvik11Doc::AlignDumpRange(uint32_t& start, uint32_t& end)
{
    MemoryDump::alignRange(start, end);
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
    uint32_t start = parse(window->startText());
    uint32_t end = parse(window->endText());
    if (end == 0)
        end = start + MemoryDump::kBytesPerLine;
    AlignDumpRange(start, end);
    window->setRangeTexts(hex4(start), hex4(end));
    setStatusTextDirect(text(CommandText::kDumpProgress, start, end));
    if (start > end) {
        host_.messageBox(QString::fromLatin1(CommandText::kDumpOrder));
        return;
    }
    const uint32_t count = end - start + 1;
    std::vector<uint8_t> buffer(count);
    BlockTransfer reader(*services_.memory, *services_.link, progressFor(count));
    const TalkerStatus s = reader.read(start, count, buffer.data());
    endProgress();
    if (s) {
        ReportStatus(s);
        return;
    }
    ShowStatusText(QString::fromLatin1(CommandText::kDumpRead));
    lastDumpLines = 2;
    const int first = static_cast<int>(memoryLines.size());
    const std::vector<std::string> lines = MemoryDump::lines(start, buffer.data(), count);
    memoryLines.reserve(memoryLines.size() + static_cast<qsizetype>(lines.size()));
    for (size_t i = 0; i < lines.size(); ++i) {
        memoryLines.append(QString::fromLatin1(lines[i].data(), static_cast<qsizetype>(lines[i].size())));
        if (i > 0)
            ++lastDumpLines;
    }
    emit memoryLinesAppended(first);
    ShowStatusText(QString::fromLatin1(CommandText::kDumpDone));
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
    dialog.setNameFilters({tr("S19 Records (*.S19 *.s19)"), tr("All Files (*)")});
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
    ShowStatusText(text(CommandText::kVerifyProgress, path.toLocal8Bit().constData()));
    finish(withS19Progress([&] { return services_.engine->verifyS19(path.toStdString()); }),
           CommandText::kVerifyDone);
}

void CTarvik11Doc::OnOpenS19()
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
    ShowStatusText(text(CommandText::kLoadProgress, path.toLocal8Bit().constData()));
    TalkerStatus s = withS19Progress([&] { return services_.engine->loadS19(path.toStdString()); });
    if (!s)
        s = withS19Progress([&] { return services_.engine->verifyS19(path.toStdString()); });
    if (s) {
        ReportStatus(s);
        return;
    }
    const QString listingPath = QString::fromStdString(listingPathFor(path.toStdString()));
    QStringList lines;
    if (ListingReader::read(listingPath, lines)) {
        if (!listingShown) {
            // Only a view that really opened shows the listing; otherwise the next load tries again.
            listingLines.clear();
            listingShown = host_.openAsmView(this) ? 1 : 0;
        }
        listingLines = lines;
    } else {
        host_.messageBox(QString::fromLatin1(CommandText::kListingMissing));
    }
    ShowStatusText(QString::fromLatin1(CommandText::kLoadDone));
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
    const uint32_t address = parse(dialog.address());
    if (TalkerStatus s = services_.engine->setBreakpoint(address)) {
        ReportStatus(s);
        return;
    }
    if (breakpointsWindow)
        breakpointsWindow->addAddress(address);
    ShowStatusText(text(CommandText::kBreakpointSet, address));
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
    const uint32_t address = parse(breakpointsWindow->selectedText());
    if (services_.engine->removeBreakpoint(address) != kTalkerOk) {
        host_.messageBox(text(CommandText::kBreakpointNotRemoved, address));
        return;
    }
    breakpointsWindow->removeSelected();
    ShowStatusText(text(CommandText::kBreakpointRemoved, address));
}

void CTarvik11Doc::OnClearAllBreakpoints()
{
    if (!lineAvailable())
        return;
    CTargetLine::Transfer transfer(services_.line);
    BusyCursor busy;
    yieldOnce();
    ShowStatusText(QString::fromLatin1(CommandText::kClearAllProgress));
    std::array<uint32_t, DebugEngine::kBreakpointCount> addresses{};
    services_.engine->listBreakpoints(addresses);
    for (uint32_t address : addresses)
        if (address != 0)
            (void)services_.engine->removeBreakpoint(address);
    if (breakpointsWindow) {
        breakpointsWindow->clearAll();
        // A breakpoint whose removal failed is still in the table: the list keeps showing it.
        services_.engine->listBreakpoints(addresses);
        for (uint32_t address : addresses)
            if (address != 0)
                breakpointsWindow->addAddress(address);
    }
    ShowStatusText(QString::fromLatin1(CommandText::kClearAllDone));
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
    if (hit.kind == BreakpointHitKind::None && hit.status != kTalkerOk) {
        ReportStatus(hit.status);
        return;
    }
    if (hit.kind != BreakpointHitKind::Hit)
        return;
    setStatusTextDirect(text(CommandText::kBreakpointReached, hit.address));
    if (registersWindow) {
        registersWindow->ReadRegs();
        registersWindow->SetShownPC(hit.address);
    }
    if (breakpointsWindow)
        breakpointsWindow->removeAddress(hit.address);
    emit commandStateChanged();
}

// ---------------------------------------------------------------- trace

void CTarvik11Doc::OnTrace()
{
    if (!lineAvailable())
        return;
    CTraceDialog dialog(host_.dialogOwner());
    dialog.setAddress(hex4(services_.engine->currentPC));
    if (dialog.exec() != QDialog::Accepted)
        return;
    CTargetLine::Transfer transfer(services_.line);
    if (!transfer.granted())
        return;
    BusyCursor busy;
    yieldOnce();
    const uint32_t address = parse(dialog.address());
    ShowStatusText(text(CommandText::kTraceProgress, address));
    if (TalkerStatus s = services_.engine->traceStep(address)) {
        ReportStatus(s);
        return;
    }
    const uint32_t pc = services_.engine->currentPC;
    if (registersWindow) {
        registersWindow->ReadRegs();
        registersWindow->SetShownPC(pc);
    }
    ShowStatusText(text(CommandText::kTraceDone, pc));
}

void CTarvik11Doc::OnContinueTrace()
{
    if (!lineAvailable())
        return;
    CTargetLine::Transfer transfer(services_.line);
    BusyCursor busy;
    yieldOnce();
    const uint32_t from = services_.engine->currentPC;
    ShowStatusText(text(CommandText::kContinueTraceProgress, from));
    if (TalkerStatus s = services_.engine->traceStep(from)) {
        ReportStatus(s);
        return;
    }
    const uint32_t pc = services_.engine->currentPC;
    if (registersWindow) {
        registersWindow->ReadRegs();
        registersWindow->SetShownPC(pc);
    }
    ShowStatusText(text(CommandText::kTraceDone, pc));
}
