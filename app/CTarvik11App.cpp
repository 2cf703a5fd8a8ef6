#include "app/CTarvik11App.h"
#include "app/CAboutDialog.h"
#include "app/CHelpWindow.h"
#include "app/CMainFrame.h"
#include "app/CSplashWindow.h"
#include "app/CTalkerSetupDialog.h"
#include "document/CMemoryWatchDialog.h"
#include "document/CTargetLine.h"
#include "document/CTarvik11Doc.h"
#include "app/CTarvikAsmView.h"
#include "res/CommandIds.h"
#include "session/DebugSession.h"
#include "app/SettingsStore.h"
#include "sim/VirtualBoard.h"
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrinter>
#include <QStatusBar>
#include <QThread>

namespace {

// A framework switch: "-name", or "/name" without a further "/" (which would be a path).
bool isSwitch(const QString& arg)
{
    if (arg.startsWith(QLatin1Char('-')))
        return true;
    return arg.startsWith(QLatin1Char('/')) && arg.size() > 1 && !arg.mid(1).contains(QLatin1Char('/'));
}

QString switchName(const QString& arg)
{
    QString name = arg;
    while (name.startsWith(QLatin1Char('-')) || name.startsWith(QLatin1Char('/')))
        name.remove(0, 1);
    return name;
}

} // namespace

// Outside any namespace, as the resource initialiser must be.
static void initResources()
{
    Q_INIT_RESOURCE(tarvik11);
}

CTarvik11App::CTarvik11App(int& argc, char** argv)
    : QApplication(argc, argv), session_(std::make_unique<DebugSession>())
{
    initResources();
    setOrganizationName(QStringLiteral("Tarvik11"));
    setApplicationName(QStringLiteral("Tarvik11"));
    setDesktopFileName(QStringLiteral("org.tarvik11.Tarvik11"));
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128})
        icon.addFile(QStringLiteral(":/icons/app-%1.png").arg(size), QSize(size, size));
    setWindowIcon(icon);
}

CTarvik11App::~CTarvik11App()
{
    delete help_.data();
    delete mainFrame_.data();
    // The documents observe the session: they go before it.
    qDeleteAll(findChildren<CTarvik11Doc*>(Qt::FindDirectChildrenOnly));
    targetLine_.reset();
    // Last: planted bytes go back into the target and the port closes before the board stops.
    session_.reset();
}

void CTarvik11App::ensureTargetLine()
{
    if (!targetLine_)
        targetLine_ = std::make_unique<CTargetLine>(*session_);
}

TargetServices CTarvik11App::targetServices()
{
    ensureTargetLine();
    return {session_.get(), targetLine_.get()};
}

CMainFrame* CTarvik11App::mainFrame() const
{
    return mainFrame_;
}

CTarvik11App* CTarvik11App::instance()
{
    return qobject_cast<CTarvik11App*>(QCoreApplication::instance());
}

bool CTarvik11App::splashWanted(const QStringList& arguments)
{
    for (const QString& arg : arguments) {
        if (!isSwitch(arg))
            continue;
        const QString name = switchName(arg);
        if (name.compare(QLatin1String("Embedding"), Qt::CaseInsensitive) == 0
            || name.compare(QLatin1String("Automation"), Qt::CaseInsensitive) == 0)
            return false;
    }
    return true;
}

bool CTarvik11App::InitInstance(const QStringList& arguments)
{
    const QStringList args = arguments.mid(1);
    CSplashWindow::EnableSplashScreen(splashWanted(args));

    recentFiles_ = SettingsStore::loadRecentFiles();
    storedPorts_ = SettingsStore::loadPortMap();
    runPorts_.clear();
    session_->setBase(NumberBase::Decimal);

    QString boardError;
    bool boardFailed = false;
    if (args.contains(QLatin1String("--virtual-board"))) {
        std::string error;
        // Real time, like a board on the desk: the program a user runs idles the board thread
        // instead of keeping a core busy.
        VirtualBoardOptions options;
        options.speed = 1.0;
        // --latency=MS: the board behind a USB adapter's latency timer.
        // --chip=NAME: the chip on the board.
        // --stimulus=FILE: timed events on the board's pins.
        QString latencyText, chipText, stimulusPath;
        for (const QString& arg : args) {
            if (arg.startsWith(QLatin1String("--latency=")))
                latencyText = arg.mid(10);
            else if (arg.startsWith(QLatin1String("--chip=")))
                chipText = arg.mid(7);
            else if (arg.startsWith(QLatin1String("--stimulus=")))
                stimulusPath = arg.mid(11);
        }
        options.stimulusFile = stimulusPath.toStdString();
        const auto chip = findChip(chipText.toStdString());
        if (chip)
            options.chip = *chip;
        std::string device;
        if (!latencyText.isNull() && !parseLatencyMs(latencyText.toStdString(), &options.latencyMs))
            error = "--latency takes whole milliseconds from 0 to 255, not '" + latencyText.toStdString() + "'";
        else if (!chipText.isNull() && !chip)
            error = "--chip takes a1, a8, e1, e9 or 811e2, not '" + chipText.toStdString() + "'";
        else
            device = session_->startVirtualBoard(options, &error);
        if (device.empty()) {
            boardFailed = true;
            boardError = QString::fromStdString(error);
        } else {
            runPorts_.insert(QStringLiteral("COM1"), QString::fromStdString(device));
        }
    }
    applyPortMap();

    mainFrame_ = new CMainFrame();
    if (!mainFrame_->create())
        return false;

    QString file;
    for (const QString& arg : args)
        if (!isSwitch(arg)) {
            file = arg;
            break;
        }
    CTarvik11Doc* doc = file.isEmpty() ? OnFileNew() : OpenDocumentFile(file);
    if (!doc)
        return false;

    mainFrame_->restoreLayout();
    mainFrame_->show();
    mainFrame_->repaint();
    if (boardFailed)
        showMessage(mainFrame_, tr("The virtual board could not be started: %1").arg(boardError));
    else if (!runPorts_.isEmpty())
        mainFrame_->statusBar()->showMessage(tr("Virtual board as COM1 - choose Boot Talker to start"));
    return true;
}

int CTarvik11App::ExitInstance(int exitCode)
{
    if (mainFrame_) {
        mainFrame_->saveLayout();
        mainFrame_->closeAllDocuments();
    }
    delete help_.data();
    delete mainFrame_.data();
    SettingsStore::saveRecentFiles(recentFiles_);
    return exitCode;
}

int CTarvik11App::GetDefaultBase() const
{
    return toInt(session_->base());
}

void CTarvik11App::SetDefaultBase(int base)
{
    session_->setBase(numberBaseFromInt(base));
}

void CTarvik11App::LoadTalkerSettings(TalkerSettings& settings)
{
    SettingsStore::loadTalkerSettings(settings);
}

void CTarvik11App::SaveTalkerSettings(const TalkerSettings& settings)
{
    SettingsStore::saveTalkerSettings(settings);
}

QMap<QString, QString> CTarvik11App::portMap() const
{
    QMap<QString, QString> map;
    for (int i = 1; i <= 4; ++i)
        map.insert(QStringLiteral("COM%1").arg(i), QStringLiteral("/dev/ttyS%1").arg(i - 1));
    for (auto it = storedPorts_.cbegin(); it != storedPorts_.cend(); ++it)
        map.insert(it.key(), it.value());
    for (auto it = runPorts_.cbegin(); it != runPorts_.cend(); ++it)
        map.insert(it.key(), it.value());
    return map;
}

void CTarvik11App::setPortMap(const QMap<QString, QString>& map)
{
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        const QString device = it.value().trimmed();
        if (runPorts_.contains(it.key()) && runPorts_.value(it.key()) == device)
            continue; // this run's virtual board stays unsaved
        runPorts_.remove(it.key());
        if (device.isEmpty())
            storedPorts_.remove(it.key());
        else
            storedPorts_.insert(it.key(), device);
    }
    SettingsStore::savePortMap(storedPorts_);
    applyPortMap();
}

QString CTarvik11App::deviceFor(const QString& portName) const
{
    const QMap<QString, QString> map = portMap();
    const QString key = portName.toUpper();
    if (map.contains(key))
        return map.value(key);
    return portName.startsWith(QLatin1Char('/')) ? portName : QString();
}

void CTarvik11App::applyPortMap()
{
    const QMap<QString, QString> map = portMap();
    auto& ports = session_->portMap();
    ports.clear();
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        ports[it.key().toStdString()] = it.value().toStdString();
}

CTarvik11Doc* CTarvik11App::OnFileNew()
{
    if (!mainFrame_)
        return nullptr;
    auto* doc = new CTarvik11Doc(*this, QStringLiteral("Tarvik%1").arg(nextDocNumber_++), this);
    if (!mainFrame_->createMemoryView(doc)) {
        delete doc;
        return nullptr;
    }
    return doc;
}

CTarvik11Doc* CTarvik11App::OpenDocumentFile(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable()) {
        recentFiles_.removeAll(info.absoluteFilePath());
        recentFiles_.removeAll(path);
        showMessage(mainFrame_, tr("Cannot open the file %1.").arg(path));
        return nullptr;
    }
    if (!mainFrame_)
        return nullptr;
    auto* doc = new CTarvik11Doc(*this, info.fileName(), this);
    if (!mainFrame_->createMemoryView(doc)) {
        delete doc;
        return nullptr;
    }
    addToRecentFiles(info.absoluteFilePath());
    return doc;
}

void CTarvik11App::addToRecentFiles(const QString& path)
{
    recentFiles_.removeAll(path);
    recentFiles_.prepend(path);
    while (recentFiles_.size() > SettingsStore::kRecentFileCount)
        recentFiles_.removeLast();
}

QPrinter* CTarvik11App::printer()
{
    if (!printer_)
        printer_ = std::make_unique<QPrinter>();
    return printer_.get();
}

CHelpWindow* CTarvik11App::helpWindow()
{
    if (!help_)
        help_ = new CHelpWindow();
    return help_;
}

void CTarvik11App::setCurrentDoc(CTarvik11Doc* doc)
{
    currentDoc = doc;
}

QStatusBar* CTarvik11App::mainStatusBar()
{
    return mainFrame_ ? mainFrame_->statusBar() : nullptr;
}

QWidget* CTarvik11App::dialogOwner()
{
    return mainFrame_;
}

void CTarvik11App::showMessage(QWidget* owner, const QString& text)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Tarvik11"), text, QMessageBox::Ok, owner);
    box.exec();
}

void CTarvik11App::messageBox(const QString& text)
{
    showMessage(mainFrame_, text);
}

bool CTarvik11App::askYesNo(const QString& text)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Tarvik11"), text, QMessageBox::Yes | QMessageBox::No,
                    mainFrame_);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void CTarvik11App::placeToolWindow(QDialog* window, const QString& name)
{
    if (mainFrame_)
        mainFrame_->dockToolWindow(window, name);
    // The watched ranges are settings: every document's window starts with them and stores them.
    if (auto* watch = qobject_cast<CMemoryWatchDialog*>(window)) {
        watch->setRangeTexts(SettingsStore::loadWatchRanges());
        watch->whileRunningBox()->setChecked(SettingsStore::loadWatchWhileRunning());
        auto store = [watch] { SettingsStore::saveWatch(watch->rangeTexts(), watch->whileRunningBox()->isChecked()); };
        connect(watch, &CMemoryWatchDialog::rangesChanged, watch, store);
        connect(watch->whileRunningBox(), &QCheckBox::toggled, watch, store);
    }
}

bool CTarvik11App::openAsmView(CTarvik11Doc* doc)
{
    if (!mainFrame_)
        return false;
    mainFrame_->OpenAsmView();
    for (QMdiSubWindow* frame : mainFrame_->childFrames())
        if (auto* view = qobject_cast<CTarvikAsmView*>(frame->widget()))
            if (view->GetDocument() == doc)
                return true;
    return false;
}

bool CTarvik11App::editTalkerSettings(TalkerSettings& settings)
{
    CTalkerSetupDialog dialog(mainFrame_);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    settings = dialog.settings();
    return true;
}

void CTarvik11App::closeDocument(CTarvik11Doc* doc)
{
    if (!doc)
        return;
    if (mainFrame_)
        mainFrame_->closeFramesOf(doc);
    doc->deleteLater();
}

std::span<const CommandBinding<CTarvik11App>> CTarvik11App::commandTable()
{
    static_assert(CmdId::kFileMru4 - CmdId::kFileMru1 + 1 == SettingsStore::kRecentFileCount);
    static constexpr CommandBinding<CTarvik11App> kCommands[] = {
        {CmdId::kFileNew, &CTarvik11App::OnNewDocument},
        {CmdId::kFileOpen, &CTarvik11App::OnFileOpen},
        {CmdId::kFilePrintSetup, &CTarvik11App::OnFilePrintSetup},
        {CmdId::kAppAbout, &CTarvik11App::OnAppAbout},
        {CmdId::kAppExit, &CTarvik11App::OnAppExit},
        {CmdId::kHelpContents, &CTarvik11App::OnHelpContents},
        {CmdId::kHelpSearch, &CTarvik11App::OnHelpSearch},
        {CmdId::kFileMru1, &CTarvik11App::OnRecentFile<0>, &CTarvik11App::recentFileState<0>},
        {CmdId::kFileMru1 + 1, &CTarvik11App::OnRecentFile<1>, &CTarvik11App::recentFileState<1>},
        {CmdId::kFileMru1 + 2, &CTarvik11App::OnRecentFile<2>, &CTarvik11App::recentFileState<2>},
        {CmdId::kFileMru4, &CTarvik11App::OnRecentFile<3>, &CTarvik11App::recentFileState<3>},
    };
    return kCommands;
}

void CTarvik11App::OnNewDocument()
{
    OnFileNew();
}

void CTarvik11App::OnFileOpen()
{
    const QString path = QFileDialog::getOpenFileName(mainFrame_, tr("Open"));
    if (!path.isEmpty())
        OpenDocumentFile(path);
}

void CTarvik11App::OnFilePrintSetup()
{
    QPageSetupDialog dialog(printer(), mainFrame_);
    dialog.exec();
}

void CTarvik11App::OnAppAbout()
{
    CAboutDialog about(mainFrame_);
    about.exec();
}

void CTarvik11App::OnAppExit()
{
    if (mainFrame_)
        mainFrame_->close();
}

void CTarvik11App::OnHelpContents()
{
    helpWindow()->showContents();
}

void CTarvik11App::OnHelpSearch()
{
    helpWindow()->showSearch(QString());
}

template <int index>
void CTarvik11App::OnRecentFile()
{
    if (index >= recentFiles_.size())
        return;
    const QString path = recentFiles_.at(index);
    // A program goes into the active document while its talker listens; any other entry (or a
    // program with no talker to take it) opens a document named after the file, as before.
    CTarvik11Doc* doc = mainFrame_ ? mainFrame_->activeDocument() : nullptr;
    if (doc && doc->targetListening() && path.endsWith(QLatin1String(".s19"), Qt::CaseInsensitive)) {
        doc->LoadProgram(path);
        return;
    }
    OpenDocumentFile(path);
}

void CTarvik11App::noteProgramLoaded(const QString& path)
{
    addToRecentFiles(path);
}

template <int index>
CommandState CTarvik11App::recentFileState() const
{
    return {index < recentFiles_.size(), false};
}
