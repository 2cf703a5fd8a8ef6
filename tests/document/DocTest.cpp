#include "document/CBreakpointsDialog.h"
#include "document/CRegistersDialog.h"
#include "document/CTarvik11Doc.h"
#include "res/CommandIds.h"
#include "document/DocumentHost.h"
#include "document/TalkerSettings.h"
#include <QListWidget>
#include <QMainWindow>
#include <QSignalSpy>
#include <QStatusBar>
#include <QtTest>

namespace {

// A host that records what the document asks of it.
class FakeHost : public DocumentHost {
public:
    QMainWindow window;
    QPointer<CTarvik11Doc> current;
    QStringList boxes;
    int setupRuns = 0;
    bool setupAnswer = false;
    QList<CTarvik11Doc*> closed;

    void setCurrentDoc(CTarvik11Doc* doc) override { current = doc; }
    QStatusBar* mainStatusBar() override { return window.statusBar(); }
    QWidget* dialogOwner() override { return &window; }
    void messageBox(const QString& text) override { boxes << text; }
    bool askYesNo(const QString& text) override
    {
        boxes << text;
        return false;
    }
    bool openAsmView(CTarvik11Doc*) override { return false; }
    bool editTalkerSettings(TalkerSettings&) override
    {
        ++setupRuns;
        return setupAnswer;
    }
    void closeDocument(CTarvik11Doc* doc) override { closed << doc; }
};

} // namespace

class DocTest : public QObject {
    Q_OBJECT
private slots:
    void recordsItselfAndNeverDangles()
    {
        FakeHost host;
        auto* doc = new CTarvik11Doc(host, "Tarvik1");
        QCOMPARE(host.current.data(), doc);
        QCOMPARE(doc->statusBar.data(), host.window.statusBar());
        QCOMPARE(doc->listingShown, 0);
        QPointer<QDialog> registers = doc->registersWindow.data();
        QVERIFY(registers && !registers->isVisible());
        delete doc;
        QVERIFY(host.current.isNull());
        QVERIFY(registers.isNull()); // the tool windows go with the document
    }

    void reportStatus_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("box");
        QTest::newRow("0 goes to the status bar") << 0 << QString();
        QTest::newRow("1") << 1 << QString("Error - Unknown Comm Error");
        QTest::newRow("14 is a box too") << 14 << QString("The search byte was not found in the range");
        QTest::newRow("20") << 20 << QString("Breakpoint set at location");
        QTest::newRow("23") << 23 << QString("Trace instruction command failed");
        QTest::newRow("24") << 24 << QString("Unknown Error");
        QTest::newRow("-1") << -1 << QString("Unknown Error");
    }
    void reportStatus()
    {
        QFETCH(int, status);
        QFETCH(QString, box);
        FakeHost host;
        CTarvik11Doc doc(host, "Tarvik1");
        host.window.statusBar()->showMessage("before");
        doc.ReportStatus(status);
        if (box.isEmpty()) {
            QVERIFY(host.boxes.isEmpty());
            QCOMPARE(host.window.statusBar()->currentMessage(), QString("Operation was successful"));
        } else {
            QCOMPARE(host.boxes, QStringList{box});
            QCOMPARE(host.window.statusBar()->currentMessage(), QString("before"));
        }
    }

    void statusTextIsDispatchedAtOnce()
    {
        FakeHost host;
        CTarvik11Doc doc(host, "Tarvik1");
        bool ran = false;
        QTimer::singleShot(0, [&] { ran = true; });
        doc.ShowStatusText("Filling block $0000 to $000f with $ff");
        QVERIFY(ran); // pending events were dispatched before returning
        doc.ShowStatusText("Block Fill successful");
        QCOMPARE(host.window.statusBar()->currentMessage(), QString("Block Fill successful"));
    }

    void commandStates()
    {
        FakeHost host;
        CTarvik11Doc doc(host, "Tarvik1");
        const int carried[] = {32771, 32772, 32773, 32774, 32775, 32776, 32777, 32778, 32779, 32780,
                               32781, 32782, 32783, 32786, 32791, 32792, 32793, 32802, 57601, 57602,
                               CmdId::kStepOver, CmdId::kStepOut, CmdId::kContinue, CmdId::kIoRegisterWindow,
                               CmdId::kMemoryWatch};
        // Without a talker nothing runs: Stop and the stepping commands are off.
        const QList<int> off = {CmdId::kClearBreakpoint, CmdId::kStopExecution, CmdId::kStepOver,
                                CmdId::kStepOut, CmdId::kContinue};
        QCOMPARE(CTarvik11Doc::commandTable().size(), std::size(carried));
        for (int id : carried) {
            QVERIFY2(CTarvik11Doc::carriesCommand(id), qPrintable(QString::number(id)));
            const CommandState state = doc.commandState(id);
            QCOMPARE(state.checked, false);
            QCOMPARE(state.enabled, !off.contains(id));
        }
        // The commands on the cursor line's code belong to the views.
        for (int id : {CmdId::kToggleBreakpoint, CmdId::kRunToCursor})
            QVERIFY(!CTarvik11Doc::carriesCommand(id));
        // Commands of the views, the main frame and the application are not the document's.
        for (int id : {57600, 57606, 57607, 57634, 57664, 59392}) {
            QVERIFY(!CTarvik11Doc::carriesCommand(id));
            QVERIFY(!doc.commandState(id).enabled);
            QVERIFY(!doc.runCommand(id));
        }
        QSignalSpy changed(&doc, &CTarvik11Doc::commandStateChanged);
        doc.breakpointsWindow->addAddress(0x1234);
        // Disabled, a command is refused as its greyed menu item would be: nothing runs.
        QVERIFY(!doc.runCommand(CmdId::kClearBreakpoint));
        QVERIFY(changed.isEmpty());
        QCOMPARE(doc.breakpointsWindow->entries(), QStringList{"$1234"});
        doc.breakpointsWindow->list()->setCurrentRow(0);
        QVERIFY(changed.size() > 0);
        QVERIFY(doc.commandState(CmdId::kClearBreakpoint).enabled);
    }

    void bootTalkerCancelledDoesNothingElse()
    {
        FakeHost host;
        CTarvik11Doc doc(host, "Tarvik1");
        QVERIFY(doc.runCommand(CmdId::kBootTalker));
        QCOMPARE(host.setupRuns, 1);
        QVERIFY(host.boxes.isEmpty());
        QVERIFY(doc.runCommand(CmdId::kFileClose));
        QCOMPARE(host.closed, QList<CTarvik11Doc*>{&doc});
    }

    void clearMemoryViewOnEmptyShowsNothing()
    {
        FakeHost host;
        CTarvik11Doc doc(host, "Tarvik1");
        doc.lastDumpLines = 7;
        QSignalSpy rebuilt(&doc, &CTarvik11Doc::linesChanged);
        host.window.statusBar()->showMessage("kept");
        QVERIFY(doc.runCommand(CmdId::kClearMemoryView));
        QCOMPARE(rebuilt.size(), 1);
        QVERIFY(doc.memoryLines.isEmpty());
        QCOMPARE(doc.lastDumpLines, 7);
        QCOMPARE(host.window.statusBar()->currentMessage(), QString("kept"));
    }
};

QTEST_MAIN(DocTest)
#include "DocTest.moc"
