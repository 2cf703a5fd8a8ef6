// A session in the whole application on its virtual board, as a new user would run it: Boot
// Talker through the setup dialog (confirming the RESET message presses the board's button),
// load a sample program with its listing, dump memory, set breakpoints and run to one with the
// Registers and Breakpoints windows open; the Assembly View marks the stop, a click in its gutter
// adds a breakpoint, and the status bar's run state follows. With TARVIK11_SCREENSHOT set to a
// file name, the screen is saved there at the end (run under Xvfb by screenshot.sh), and the I/O
// Registers window beside it (NAME-io.png), then the program loaded as an ELF (NAME-elf.png).
#include "document/CBreakpointsDialog.h"
#include "document/CDisplayMemoryDialog.h"
#include "document/CIoRegistersDialog.h"
#include "document/CMemoryWatchDialog.h"
#include "app/CMainFrame.h"
#include "document/CRegistersDialog.h"
#include "app/CTalkerSetupDialog.h"
#include "app/CTarvik11App.h"
#include "document/CTarvik11Doc.h"
#include "app/CTarvikAsmView.h"
#include "res/CommandIds.h"
#include <QFileInfo>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>
#include <deque>
#include <functional>

namespace {

// Answers the modal windows that open, one handler each, in order; records message-box texts.
class ModalScript : public QObject {
public:
    std::deque<std::function<void(QWidget*)>> steps;
    QStringList boxes;

    ModalScript()
    {
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || modal == last_)
                return;
            last_ = modal;
            if (auto* box = qobject_cast<QMessageBox*>(modal))
                boxes << box->text();
            if (steps.empty()) {
                modal->close();
                return;
            }
            auto step = steps.front();
            steps.pop_front();
            step(modal);
        });
        timer->start(5);
    }
    void add(std::function<void(QWidget*)> step) { steps.push_back(std::move(step)); }
    void ok() { add([](QWidget* w) { QTest::mouseClick(okButton(w), Qt::LeftButton); }); }
    void typeAndOk(QList<QPair<int, QString>> typed)
    {
        add([typed](QWidget* w) {
            for (const auto& [id, text] : typed) {
                auto* edit = w->findChild<QLineEdit*>(QString::number(id));
                edit->selectAll();
                QTest::keyClicks(edit, text);
            }
            QTest::mouseClick(okButton(w), Qt::LeftButton);
        });
    }
    static QPushButton* okButton(QWidget* w)
    {
        if (auto* box = qobject_cast<QMessageBox*>(w))
            return qobject_cast<QPushButton*>(box->button(QMessageBox::Ok));
        return w->findChild<QPushButton*>("1");
    }

private:
    QPointer<QWidget> last_;
};

} // namespace

class SessionTest : public QObject {
    Q_OBJECT

    CMainFrame* frame() { return CTarvik11App::instance()->mainFrame(); }
    CTarvik11Doc* doc() { return CTarvik11App::instance()->currentDoc; }
    QString status() { return frame()->statusBar()->currentMessage(); }
    QString runState() { return frame()->runStatePane()->text(); }
    CTarvikAsmView* listingView()
    {
        for (QMdiSubWindow* f : frame()->childFrames())
            if (auto* v = qobject_cast<CTarvikAsmView*>(f->widget()))
                return v;
        return nullptr;
    }
    // Picks command id as the user would: its action, enabled, triggered.
    void trigger(int id)
    {
        frame()->activateWindow();
        QAction* action = frame()->action(id);
        QVERIFY(action && action->isEnabled());
        action->trigger();
    }

private slots:
    void session()
    {
        CTarvik11App* app = CTarvik11App::instance();
        QVERIFY(app->InitInstance({"tarvik11", "--virtual-board", "-Embedding"}));
        QVERIFY(QTest::qWaitForWindowExposed(frame()));
        ModalScript script;
        QCOMPARE(runState(), QString("No talker"));

        // Boot Talker: the setup dialog and the RESET message (the start-up's success is the status bar's).
        script.add([](QWidget* w) {
            auto* setup = qobject_cast<CTalkerSetupDialog*>(w);
            QVERIFY(setup);
            auto* file = qobject_cast<QLineEdit*>(setup->control(SetupId::kTalkerFile));
            file->setText(TARVIK11_TALKER_FILE);
            qobject_cast<QComboBox*>(setup->control(SetupId::kChipMode))->setCurrentIndex(1);
            qobject_cast<QComboBox*>(setup->control(SetupId::kPort))->setCurrentText("COM1");
            QTest::mouseClick(ModalScript::okButton(setup), Qt::LeftButton);
        });
        script.ok();
        trigger(CmdId::kBootTalker);
        QCOMPARE(script.boxes, QStringList({"Please press the 68HC11 RESET button..."}));
        QVERIFY(status().startsWith("Talker download successful (link round trip "));
        QCOMPARE(runState(), QString("Idle"));
        QVERIFY(!frame()->action(CmdId::kStopExecution)->isEnabled());

        // Load a sample: its listing opens in the Assembly View.
        script.add([](QWidget* w) {
            auto* files = qobject_cast<QFileDialog*>(w);
            QVERIFY(files);
            files->selectFile(TARVIK11_EXAMPLES_DIR "/subroutine.s19");
            static_cast<QDialog*>(files)->accept();
        });
        trigger(CmdId::kFileOpen);
        QCOMPARE(status(), QString("S19 record loaded successfully"));
        QCOMPARE(doc()->listingShown, 1);
        // The program heads File > Recent File, whose first entry loads it again into this document.
        const QString program = QFileInfo(TARVIK11_EXAMPLES_DIR "/subroutine.s19").absoluteFilePath();
        QCOMPARE(CTarvik11App::instance()->recentFiles().value(0), program);
        const int documents = frame()->childFrames().size();
        trigger(CmdId::kFileMru1);
        QCOMPARE(status(), QString("S19 record loaded successfully"));
        QCOMPARE(frame()->childFrames().size(), documents);
        bool listing = false;
        for (QMdiSubWindow* f : frame()->childFrames())
            if (auto* v = qobject_cast<CTarvikAsmView*>(f->widget()))
                listing = v->toPlainText().contains("c419 3F");
        QVERIFY(listing);

        // A dump from the Display Memory window.
        trigger(CmdId::kMemoryDisplay);
        CDisplayMemoryDialog* dump = doc()->displayMemoryWindow;
        QVERIFY(dump->isVisible());
        dump->setRangeTexts("$c400", "$c44f");
        QTest::mouseClick(dump->findChild<QPushButton*>("1"), Qt::LeftButton);
        QCOMPARE(status(), QString("Memory dump successful"));
        QCOMPARE(doc()->memoryLines.value(1), QString("$c400 - 8e df ff ce c4 37 86 aa c6 08 bd c4 1a 86 55 c6 .....7........U."));

        // Breakpoints, the two tool windows, and a run to the first breakpoint.
        for (const char* address : {"$c40d", "$c416"}) {
            script.typeAndOk({{1042, address}});
            trigger(CmdId::kSetBreakpoint);
        }
        trigger(CmdId::kListBreakpoints);
        trigger(CmdId::kRegisterWindow);
        QCOMPARE(doc()->breakpointsWindow->entries(), QStringList({"$c40d", "$c416"}));
        script.ok(); // Execute opens with the program's start
        trigger(CmdId::kExecute);
        QTRY_COMPARE_WITH_TIMEOUT(status(), QString("Breakpoint reached at $c40d"), 10000);
        QCOMPARE(doc()->breakpointsWindow->entries(), QStringList{"$c416"});
        QCOMPARE(doc()->registersWindow->field(CRegistersDialog::kPCId)->text(), QString("$C40D"));
        QCOMPARE(runState(), QString("Stopped at $c40d"));
        QVERIFY(frame()->action(CmdId::kStopExecution)->isEnabled());
        QVERIFY(frame()->action(CmdId::kStepOver)->isEnabled());

        // The Assembly View marks the stop; a click in its gutter adds a breakpoint at fill.
        frame()->mdiArea()->tileSubWindows();
        CTarvikAsmView* source = listingView();
        QVERIFY(source);
        QCOMPARE(source->markedLine(), source->lineOf(0xC40D));
        QCOMPARE(source->breakpointLines(), QList<int>{source->lineOf(0xC416)});
        const QPoint fill = source->gutterPointOf(source->lineOf(0xC41A));
        QVERIFY(!fill.isNull());
        QTest::mouseClick(source->gutter(), Qt::LeftButton, {}, fill);
        QCOMPARE(status(), QString("Breakpoint set at $c41a"));
        QCOMPARE(doc()->breakpointsWindow->entries(), QStringList({"$c416", "$c41a"}));
        QCOMPARE(source->breakpointLines(), QList<int>({source->lineOf(0xC416), source->lineOf(0xC41A)}));
        QCOMPARE(runState(), QString("Stopped at $c40d"));
        // The I/O Registers window reads the block when it opens.
        trigger(CmdId::kIoRegisterWindow);
        QVERIFY(doc()->ioRegistersWindow->isVisible());
        QVERIFY(doc()->ioRegistersWindow->lines().size() > 40);
        QVERIFY(script.boxes.size() == 1);

        const QString shot = qEnvironmentVariable("TARVIK11_SCREENSHOT");
        if (!shot.isEmpty()) {
            // The tool windows sit in their docks at the window's right.
            frame()->move(0, 0);
            frame()->resize(1270, 700);
            trigger(CmdId::kIoRegisterWindow);
            // The Memory Watch window with the area the program fills.
            trigger(CmdId::kMemoryWatch);
            QVERIFY(doc()->memoryWatchWindow->addRange("area #16"));
            frame()->mdiArea()->tileSubWindows();
            frame()->mdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(listingView()->parentWidget()));
            QTest::qWait(300);
            QVERIFY(QGuiApplication::primaryScreen()->grabWindow(0).save(shot));
            // The main window alone, docks included, whatever the screen's size.
            QVERIFY(frame()->grab().save((shot.endsWith(".png") ? shot.chopped(4) : shot) + "-frame.png"));
            trigger(CmdId::kIoRegisterWindow);
            QTest::qWait(300);
            const QString ioShot = (shot.endsWith(".png") ? shot.chopped(4) : shot) + "-io.png";
            QVERIFY(doc()->ioRegistersWindow->grab().save(ioShot));
            // The same program as an ELF: the source file from its line table in the Assembly View.
            trigger(CmdId::kIoRegisterWindow);
            doc()->LoadProgram(TARVIK11_EXAMPLES_DIR "/subroutine.elf");
            QTest::qWait(300);
            QVERIFY(frame()->grab().save((shot.endsWith(".png") ? shot.chopped(4) : shot) + "-elf.png"));
        }
        app->ExitInstance(0);
    }
};

int main(int argc, char** argv)
{
    QTemporaryDir store;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, store.path());
    QSettings::setDefaultFormat(QSettings::IniFormat);
    CTarvik11App app(argc, argv);
    SessionTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "SessionTest.moc"
