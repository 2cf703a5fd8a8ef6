#include "AppTestMain.h"
#include "CBreakpointsDialog.h"
#include "CDisplayMemoryDialog.h"
#include "CRegistersDialog.h"
#include "CMainFrame.h"
#include "CMemChildFrame.h"
#include "CSplashWindow.h"
#include "CTarvik11Doc.h"
#include "CTarvikAsmView.h"
#include "CommandIds.h"
#include "TestSupport.h"
#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QStatusBar>
#include <QToolBar>

namespace {

CMainFrame* frame()
{
    return CTarvik11App::instance()->mainFrame();
}

QStringList menuTitles()
{
    QStringList titles;
    for (QAction* a : frame()->menuBar()->actions())
        titles << a->text();
    return titles;
}

// The menu item with this text (label and shortcut text) in the menu titled menuTitle.
QAction* menuItem(const QString& menuTitle, const QString& text)
{
    for (QAction* m : frame()->menuBar()->actions())
        if (m->text() == menuTitle && m->menu())
            for (QAction* a : m->menu()->actions())
                if (a->text() == text)
                    return a;
    return nullptr;
}

QList<QMdiSubWindow*> framesOfType(const char* className)
{
    QList<QMdiSubWindow*> out;
    for (QMdiSubWindow* f : frame()->childFrames())
        if (f->inherits(className))
            out << f;
    return out;
}

} // namespace

class MainFrameTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        auto* app = CTarvik11App::instance();
        app->SetDefaultBase(1);
        QVERIFY(app->InitInstance({"tarvik11", "-Embedding"}));
        QVERIFY(!CSplashWindow::current());
        QCOMPARE(app->GetDefaultBase(), 0);
        QVERIFY(frame());
        QVERIFY(app->currentDoc);
        QApplication::setActiveWindow(frame());
    }

    void startsWithOneMemoryView()
    {
        const auto frames = frame()->childFrames();
        QCOMPARE(frames.size(), 1);
        QCOMPARE(frames[0]->windowTitle(), QString("Memory View"));
        QCOMPARE(frame()->windowTitle(), QString("Tarvik11 - Tarvik1"));
        QCOMPARE(frame()->menuBarId(), 129);
        QCOMPARE(menuTitles(), QStringList({"&File", "&Edit", "&View", "&Memory", "&Breakpoint",
                                            "&Program", "&Window", "&Help"}));
        QVERIFY(menuItem("&Memory", "&Memory Display...\tCtrl-D"));
        QVERIFY(menuItem("&Breakpoint", "&Trace...\tCtrl+Shift+T"));
        QVERIFY(menuItem("&Edit", "F&ind Next\tF3"));
        QVERIFY(menuItem("&File", "&Boot Talker...")->isEnabled());
        QCOMPARE(menuItem("&Memory", "&Set Memory Location...\tCtrl+S")->statusTip(),
                 QString("Set memory location to specified value"));
    }

    void memoryViewCannotBeClosedAlone()
    {
        auto* mem = qobject_cast<CMemChildFrame*>(framesOfType("CMemChildFrame").value(0));
        QVERIFY(mem);
        QVERIFY(!(mem->windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint)));
        for (QAction* a : mem->systemMenu() ? mem->systemMenu()->actions() : QList<QAction*>())
            QVERIFY(a->text().remove('&') != "Close");
        mem->close();
        QVERIFY(!mem->isHidden());
        QCOMPARE(frame()->childFrames().size(), 1);
    }

    void toolbarOrderAndTooltips()
    {
        QStringList got;
        for (QAction* a : frame()->toolBar()->actions())
            got << (a->isSeparator() ? QString("|") : a->toolTip());
        const QStringList want = {"Boot Talker", "Open", "Verify S19", "|", "Print", "Copy", "|",
                                  "Display Memory", "Set Memory", "Fill Memory Block", "|",
                                  "Execute", "Execute Subroutine", "Stop", "|", "Set Breakpoint",
                                  "Clear All Breakpoints", "Trace", "|", "Help Search"};
        QCOMPARE(got, want);
        QCOMPARE(frame()->toolBar()->actions().first()->statusTip(), QString("Initialize the talker"));
        for (QAction* a : frame()->toolBar()->actions())
            QVERIFY(a->isSeparator() || !a->icon().pixmap(16, 16).isNull());
    }

    void shortcutsReachTheirCommands_data()
    {
        QTest::addColumn<QKeySequence>("keys");
        QTest::addColumn<int>("id");
        QTest::addColumn<bool>("toDocument");
        QTest::newRow("Ctrl+S sets memory") << QKeySequence("Ctrl+S") << CmdId::kSetMemory << true;
        QTest::newRow("Ctrl+Shift+F") << QKeySequence("Ctrl+Shift+F") << CmdId::kBlockFill << true;
        QTest::newRow("Ctrl+Shift+T") << QKeySequence("Ctrl+Shift+T") << CmdId::kTrace << true;
        QTest::newRow("Ctrl+T") << QKeySequence("Ctrl+T") << CmdId::kContinueTrace << true;
        QTest::newRow("Ctrl+E") << QKeySequence("Ctrl+E") << CmdId::kExecute << true;
        QTest::newRow("Ctrl+U") << QKeySequence("Ctrl+U") << CmdId::kCallSubroutine << true;
        QTest::newRow("Ctrl+O loads S19") << QKeySequence("Ctrl+O") << CmdId::kFileOpen << true;
    }
    void shortcutsReachTheirCommands()
    {
        QFETCH(QKeySequence, keys);
        QFETCH(int, id);
        QFETCH(bool, toDocument);
        // The previous row's dialog may have left no window active.
        frame()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame()));
        QSignalSpy spy(frame(), &CMainFrame::commandRouted);
        QWidget* view = frame()->activeChildFrame()->widget();
        // Each command opens its dialog (or, without a talker, its failure box): cancel it.
        ModalCatcher catcher;
        catcher.arm();
        QTest::keySequence(view, keys);
        QTRY_VERIFY(catcher.seen);
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy[0][0].toInt(), id);
        QCOMPARE(spy[0][1].value<QObject*>() == CTarvik11App::instance()->currentDoc.data(), toDocument);
        QVERIFY(!QApplication::activeModalWidget());
    }

    void toggleWindowsCarryCheckMarks_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QKeySequence>("keys");
        QTest::newRow("memory") << CmdId::kMemoryDisplay << "&Memory" << "&Memory Display...\tCtrl-D"
                                << QKeySequence("Ctrl+D");
        QTest::newRow("registers") << CmdId::kRegisterWindow << "&Memory"
                                   << "&Register Window...\tCtrl+R" << QKeySequence("Ctrl+R");
        QTest::newRow("breakpoints") << CmdId::kListBreakpoints << "&Breakpoint"
                                     << "&List Breakpoints...\tCtrl+B" << QKeySequence("Ctrl+B");
    }
    void toggleWindowsCarryCheckMarks()
    {
        QFETCH(int, id);
        QFETCH(QString, menu);
        QFETCH(QString, item);
        QFETCH(QKeySequence, keys);
        CTarvik11Doc* doc = CTarvik11App::instance()->currentDoc;
        QDialog* window = id == CmdId::kMemoryDisplay    ? static_cast<QDialog*>(doc->displayMemoryWindow.data())
                          : id == CmdId::kRegisterWindow ? static_cast<QDialog*>(doc->registersWindow.data())
                                                         : static_cast<QDialog*>(doc->breakpointsWindow.data());
        QAction* action = menuItem(menu, item);
        QVERIFY(action && action->isCheckable());
        frame()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame()));
        QVERIFY(!window->isVisible());
        QVERIFY(!action->isChecked());
        QTest::keySequence(frame()->activeChildFrame()->widget(), keys);
        QVERIFY(window->isVisible());
        QVERIFY(action->isChecked());
        window->close(); // the close box only hides it
        QVERIFY(!window->isVisible());
        QVERIFY(!action->isChecked());
        QVERIFY(frame()->dispatch(id));
        QVERIFY(action->isChecked());
        QVERIFY(frame()->dispatch(id));
        QVERIFY(!window->isVisible());
        QVERIFY(!action->isChecked());
    }

    void clearBreakpointNeedsASelection()
    {
        CTarvik11Doc* doc = CTarvik11App::instance()->currentDoc;
        QAction* clear = menuItem("&Breakpoint", "&Clear Breakpoint");
        QVERIFY(!clear->isEnabled());
        QVERIFY(!frame()->dispatch(CmdId::kClearBreakpoint));
        doc->breakpointsWindow->addAddress(0x0120);
        doc->breakpointsWindow->addAddress(0x0040);
        QCOMPARE(doc->breakpointsWindow->entries(), QStringList({"$0040", "$0120"}));
        doc->breakpointsWindow->list()->setCurrentRow(1);
        QVERIFY(clear->isEnabled());
        doc->breakpointsWindow->clearAll();
        QVERIFY(!clear->isEnabled());
    }

    void viewsAreReadOnlyAndPrefixLines()
    {
        CTarvik11Doc* doc = CTarvik11App::instance()->currentDoc;
        auto* view = qobject_cast<QPlainTextEdit*>(frame()->activeChildFrame()->widget());
        QVERIFY(view->isReadOnly());
        QCOMPARE(view->lineWrapMode(), QPlainTextEdit::NoWrap);
        QVERIFY(QFontInfo(view->font()).fixedPitch());
        QCOMPARE(view->toPlainText(), QString());
        doc->memoryLines = {"$0000 00 01", "$0010 02 03"};
        doc->UpdateAllViews();
        QCOMPARE(view->toPlainText(), QString("   $0000 00 01\n   $0010 02 03\n"));
        QTest::keyClicks(view, "typed");
        QCOMPARE(view->toPlainText(), QString("   $0000 00 01\n   $0010 02 03\n"));
        QVERIFY(frame()->dispatch(CmdId::kClearMemoryView));
        QCOMPARE(view->toPlainText(), QString());
        QVERIFY(doc->memoryLines.isEmpty());
    }

    void assemblyViewOpensOnceAndReleasesListing()
    {
        CTarvik11Doc* doc = CTarvik11App::instance()->currentDoc;
        doc->listingLines = {"0100 86 01   ldaa #1"};
        frame()->OpenAsmView();
        doc->listingShown = 1;
        doc->UpdateAllViews();
        auto asmFrames = framesOfType("CAsmChildFrame");
        QCOMPARE(asmFrames.size(), 1);
        QCOMPARE(asmFrames[0]->windowTitle(), QString("Assembly View"));
        QCOMPARE(qobject_cast<QPlainTextEdit*>(asmFrames[0]->widget())->toPlainText(),
                 QString("   0100 86 01   ldaa #1\n"));
        QCOMPARE(frame()->windowTitle(), QString("Tarvik11 - Tarvik1"));
        // A second load reuses the open view.
        doc->listingLines = {"0200 39   rts"};
        doc->UpdateAllViews();
        QCOMPARE(framesOfType("CAsmChildFrame").size(), 1);
        QCOMPARE(qobject_cast<QPlainTextEdit*>(asmFrames[0]->widget())->toPlainText(),
                 QString("   0200 39   rts\n"));
        frame()->mdiArea()->setActiveSubWindow(framesOfType("CMemChildFrame").value(0));
        QCOMPARE(framesOfType("CMemChildFrame").value(0)->windowTitle(), QString("Memory View"));
        asmFrames[0]->close();
        QCOMPARE(doc->listingShown, 0);
        QVERIFY(doc->listingLines.isEmpty());
        QTRY_COMPARE(framesOfType("CAsmChildFrame").size(), 0);
    }

    void menuSwitchesWhenDocumentCloses()
    {
        QPointer<CTarvik11Doc> doc = CTarvik11App::instance()->currentDoc;
        QVERIFY(frame()->dispatch(CmdId::kFileClose));
        QTRY_VERIFY(doc.isNull());
        QVERIFY(CTarvik11App::instance()->currentDoc.isNull());
        QCOMPARE(frame()->menuBarId(), 128);
        QCOMPARE(menuTitles(), QStringList({"&File", "&Help"}));
        QCOMPARE(frame()->windowTitle(), QString("Tarvik11"));
        QAction* boot = menuItem("&File", "&Boot Talker...");
        QVERIFY(boot && !boot->isEnabled());
        QVERIFY(!frame()->dispatch(CmdId::kSetMemory)); // nobody carries it now
        QVERIFY(!frame()->dispatch(CmdId::kBootTalker));
        menuItem("&File", "&Memory View")->trigger();
        QCOMPARE(frame()->childFrames().size(), 1);
        QCOMPARE(frame()->menuBarId(), 129);
        QCOMPARE(CTarvik11App::instance()->currentDoc->title(), QString("Tarvik2"));
        QVERIFY(menuItem("&File", "&Boot Talker...")->isEnabled());
    }

    void statusTextAndMessageBoxes()
    {
        CTarvik11Doc* doc = CTarvik11App::instance()->currentDoc;
        doc->ShowStatusText("first");
        doc->ShowStatusText("Block Fill successful");
        QCOMPARE(frame()->statusBar()->currentMessage(), QString("Block Fill successful"));
        doc->ReportStatus(0);
        QCOMPARE(frame()->statusBar()->currentMessage(), QString("Operation was successful"));
        ModalCatcher box;
        box.arm();
        doc->ReportStatus(14);
        QCOMPARE(box.text, QString("The search byte was not found in the range"));
        QCOMPARE(box.caption, QString("Tarvik11"));
        QCOMPARE(box.icon, QMessageBox::Warning);
        ModalCatcher unknown;
        unknown.arm();
        doc->ReportStatus(24);
        QCOMPARE(unknown.text, QString("Unknown Error"));
    }

    void statusBarPanes()
    {
        QCOMPARE(frame()->readyPane()->text(), QString("Ready"));
        QStringList texts;
        for (QLabel* l : frame()->indicatorPanes())
            texts << l->text();
        QCOMPARE(texts, QStringList({"CAP", "NUM", "SCRL"}));
    }

    void cleanupTestCase()
    {
        CTarvik11App::instance()->ExitInstance(0);
        QVERIFY(!CTarvik11App::instance()->mainFrame());
    }
};

TARVIK11_APP_TEST_MAIN(MainFrameTest)
#include "MainFrameTest.moc"
