#include "AppTestMain.h"
#include "document/CBreakpointsDialog.h"
#include "document/CDisplayMemoryDialog.h"
#include "document/CRegistersDialog.h"
#include "app/CBoardPanel.h"
#include "app/CMainFrame.h"
#include "app/SettingsStore.h"
#include "app/CMemChildFrame.h"
#include "app/CSplashWindow.h"
#include "document/CTarvik11Doc.h"
#include "document/CIoRegistersDialog.h"
#include "app/CTarvik11View.h"
#include "app/CTarvikAsmView.h"
#include "app/CTextView.h"
#include "res/CommandTables.h"
#include "TestSupport.h"
#include <QAction>
#include <QDockWidget>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QTextBlock>
#include <QSignalSpy>
#include <QTemporaryDir>
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

QAction* command(int id)
{
    return frame()->action(id);
}

// The frame's menu with this title that holds command id (each menu bar has its own menus).
QMenu* menuHolding(const char* title, int id)
{
    for (QMenu* menu : frame()->findChildren<QMenu*>(Qt::FindDirectChildrenOnly))
        if (menu->title() == QLatin1String(title) && menu->actions().contains(command(id)))
            return menu;
    return nullptr;
}

// The child frame showing doc in a Memory View.
QMdiSubWindow* memoryFrameOf(CTarvik11Doc* doc)
{
    for (QMdiSubWindow* f : frame()->childFrames())
        if (auto* view = qobject_cast<CTextView*>(f->widget()))
            if (f->inherits("CMemChildFrame") && view->GetDocument() == doc)
                return f;
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
                                  "Clear All Breakpoints", "Trace", "|", "Toggle Breakpoint",
                                  "Step Over", "Step Out", "Run to Cursor", "Continue", "|",
                                  "Help Search"};
        QCOMPARE(got, want);
        QCOMPARE(frame()->toolBar()->actions().first()->statusTip(), QString("Initialize the talker"));
        for (QAction* a : frame()->toolBar()->actions())
            QVERIFY(a->isSeparator() || !a->icon().pixmap(16, 16).isNull());
    }

    // Menus of both menu bars, the toolbar and the shortcut keys hold the one action of each
    // command, in table order, with the table's prompt, tooltip and keys.
    void oneActionPerCommand()
    {
        for (std::span<const MenuDef> bar : {std::span<const MenuDef>(CommandTables::kMenuBar128),
                                             std::span<const MenuDef>(CommandTables::kMenuBar129)})
            for (const MenuDef& def : bar) {
                QMenu* menu = menuHolding(def.title, def.items[0].id);
                QVERIFY2(menu, def.title);
                QList<QAction*> shown = menu->actions();
                for (int id = CmdId::kFileMru1 + 1; id <= CmdId::kFileMru4; ++id)
                    shown.removeOne(command(id)); // shown below the first while the list has them
                QCOMPARE(shown.size(), qsizetype(def.items.size()));
                for (size_t i = 0; i < def.items.size(); ++i) {
                    const int id = def.items[i].id;
                    QVERIFY2(id ? shown[i] == command(id) : shown[i]->isSeparator(), def.items[i].label);
                }
            }
        const QList<QAction*> buttons = frame()->toolBar()->actions();
        QCOMPARE(buttons.size(), qsizetype(std::size(CommandTables::kToolbar)));
        for (qsizetype i = 0; i < buttons.size(); ++i) {
            const int id = CommandTables::kToolbar[i].id;
            QVERIFY(id ? buttons[i] == command(id) : buttons[i]->isSeparator());
        }
        for (const AccelDef& accel : CommandTables::kAccelerators)
            QVERIFY2(command(accel.id)->shortcuts().contains(QKeySequence(accel.keys)), accel.keys);
        for (const CommandStringDef& string : CommandTables::kCommandStrings) {
            const QStringList parts = QString(string.text).split('\n');
            QAction* action = command(string.id);
            QVERIFY2(action, string.text);
            QCOMPARE(action->statusTip(), parts[0]);
            if (parts.size() > 1)
                QCOMPARE(action->toolTip(), parts[1]);
            QCOMPARE(action->isCheckable(), CommandTables::isCheckCommand(string.id));
        }
        // Menu items show no toolbar icons.
        QVERIFY(!command(CmdId::kBootTalker)->isIconVisibleInMenu());
    }

    void barCommandsCheckTheirBars()
    {
        const QList<QPair<int, QWidget*>> bars = {{CmdId::kViewToolbar, frame()->toolBar()},
                                                  {CmdId::kViewStatusBar, frame()->statusBar()}};
        for (const auto& [id, bar] : bars) {
            QVERIFY(command(id)->isChecked());
            command(id)->trigger();
            QVERIFY(bar->isHidden());
            QVERIFY(!command(id)->isChecked());
            command(id)->trigger();
            QVERIFY(!bar->isHidden());
            QVERIFY(command(id)->isChecked());
        }
        // Hidden some other way (the toolbar's context menu), the toolbar loses its check mark.
        frame()->toolBar()->hide();
        QVERIFY(!command(CmdId::kViewToolbar)->isChecked());
        frame()->toolBar()->show();
        QVERIFY(command(CmdId::kViewToolbar)->isChecked());
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
        QSignalSpy spy(frame(), &CMainFrame::commandRan);
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
        QTest::newRow("I/O registers") << CmdId::kIoRegisterWindow << "&Memory" << "&I/O Registers..."
                                       << QKeySequence();
    }
    void toggleWindowsCarryCheckMarks()
    {
        QFETCH(int, id);
        QFETCH(QString, menu);
        QFETCH(QString, item);
        QFETCH(QKeySequence, keys);
        CTarvik11Doc* doc = CTarvik11App::instance()->currentDoc;
        QDialog* window = id == CmdId::kMemoryDisplay      ? static_cast<QDialog*>(doc->displayMemoryWindow.data())
                          : id == CmdId::kRegisterWindow   ? static_cast<QDialog*>(doc->registersWindow.data())
                          : id == CmdId::kIoRegisterWindow ? static_cast<QDialog*>(doc->ioRegistersWindow.data())
                                                           : static_cast<QDialog*>(doc->breakpointsWindow.data());
        QAction* action = menuItem(menu, item);
        QVERIFY(action && action->isCheckable());
        QCOMPARE(action, command(id));
        frame()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame()));
        QVERIFY(!window->isVisible());
        QVERIFY(!action->isChecked());
        if (keys.isEmpty())
            action->trigger();
        else
            QTest::keySequence(frame()->activeChildFrame()->widget(), keys);
        QVERIFY(window->isVisible());
        QVERIFY(action->isChecked());
        window->close(); // the close box only hides it
        QVERIFY(!window->isVisible());
        QVERIFY(!action->isChecked());
        action->trigger();
        QVERIFY(window->isVisible());
        QVERIFY(action->isChecked());
        action->trigger();
        QVERIFY(!window->isVisible());
        QVERIFY(!action->isChecked());
    }

    // The stepping commands sit beside Trace and Execute with the usual debugger keys; without a
    // talker nothing can be stepped or stopped, and the run state says so whatever the message
    // pane shows.
    void steppingCommandsAndRunState()
    {
        const struct {
            int id;
            const char* menu;
            const char* item;
            const char* keys;
        } commands[] = {
            {CmdId::kToggleBreakpoint, "&Breakpoint", "To&ggle Breakpoint\tF9", "F9"},
            {CmdId::kStepOver, "&Breakpoint", "Step O&ver\tF10", "F10"},
            {CmdId::kStepOut, "&Breakpoint", "Step O&ut\tShift+F11", "Shift+F11"},
            {CmdId::kContinue, "&Program", "Co&ntinue\tF5", "F5"},
            {CmdId::kRunToCursor, "&Program", "&Run to Cursor\tCtrl+F10", "Ctrl+F10"},
            {CmdId::kContinueTrace, "&Breakpoint", "C&ontinue Trace\tCtrl+T, F11", "Ctrl+T, F11"},
            {CmdId::kStopExecution, "&Program", "&Stop Execution\tShift+F5", "Shift+F5"},
        };
        QStringList keys;
        for (const auto& c : commands) {
            QAction* action = menuItem(c.menu, c.item);
            QVERIFY2(action, c.item);
            QCOMPARE(action, command(c.id));
            QList<QKeySequence> expected;
            for (const QString& k : QString(c.keys).split(", "))
                expected << QKeySequence(k);
            QCOMPARE(action->shortcuts(), expected);
            QVERIFY2(c.id == CmdId::kContinueTrace || !action->isEnabled(), c.item);
            QVERIFY(!action->statusTip().isEmpty());
            keys << QString(c.keys).split(", ");
        }
        // No new key takes one of the classic accelerators, and no key of any action is another's.
        for (const AccelDef& accel : CommandTables::kAccelerators)
            if (!keys.contains(accel.keys))
                QVERIFY(!QList<int>({CmdId::kToggleBreakpoint, CmdId::kStepOver, CmdId::kStepOut,
                                     CmdId::kContinue, CmdId::kRunToCursor, CmdId::kStopExecution})
                             .contains(accel.id));
        QHash<QKeySequence, QAction*> owners;
        for (QAction* action : frame()->findChildren<QAction*>())
            for (const QKeySequence& key : action->shortcuts()) {
                QVERIFY2(!owners.contains(key) || owners[key] == action, qPrintable(key.toString()));
                owners[key] = action;
            }
        QVERIFY(!command(CmdId::kStopExecution)->isEnabled());

        QLabel* pane = frame()->runStatePane();
        QVERIFY(pane);
        QCOMPARE(pane->text(), QString("No talker"));
        QVERIFY(frame()->statusBar()->isAncestorOf(pane));
        frame()->statusBar()->showMessage(command(CmdId::kStepOver)->statusTip());
        QCOMPARE(pane->text(), QString("No talker"));
        QVERIFY(pane->isVisible());
    }

    // Each dump's header line comes to the top of the Memory View, however many dumps are above
    // it (a header carries a line feed of its own, so it takes two text lines).
    void memoryViewShowsEachDumpFromItsHeader()
    {
        CTarvik11Doc* doc = CTarvik11App::instance()->currentDoc;
        auto* view = qobject_cast<CTarvik11View*>(memoryFrameOf(doc)->widget());
        QVERIFY(view);
        frame()->mdiArea()->setActiveSubWindow(memoryFrameOf(doc));
        memoryFrameOf(doc)->resize(500, 200);
        const QString header = "       .00.01.02.03.04.05.06.07.08.09.0A.0B.0C.0D.0E.0F\n";
        const auto cleared = qScopeGuard([] { command(CmdId::kClearMemoryView)->trigger(); });
        // The line drawn at the top of the view.
        auto top = [view] { return view->cursorForPosition(QPoint(4, 2)).block(); };
        doc->memoryLines.clear();
        for (int dump = 0; dump < 4; ++dump) {
            QStringList lines{header};
            for (int i = 0; i < 24; ++i) // more than a view's height: the header can come to the top
                lines << QString("$%1 - dump %2 line %3").arg(0xC000 + i * 16, 4, 16).arg(dump).arg(i);
            const int first = static_cast<int>(doc->memoryLines.size());
            doc->memoryLines << lines;
            doc->lastDumpLines = static_cast<int>(lines.size()) + 1;
            emit doc->memoryLinesAppended(first);
            QCOMPARE(top().text(), "   " + header.chopped(1));
            QCOMPARE(top().next().next().text(), QString("   $c000 - dump %1 line 0").arg(dump));
        }
        // A rebuild shows the latest dump the same way.
        doc->UpdateAllViews();
        QCOMPARE(top().next().next().text(), QString("   $c000 - dump 3 line 0"));
    }

    void clearBreakpointNeedsASelection()
    {
        CTarvik11Doc* doc = CTarvik11App::instance()->currentDoc;
        QAction* clear = menuItem("&Breakpoint", "&Clear Breakpoint");
        QVERIFY(!clear->isEnabled());
        QSignalSpy ran(frame(), &CMainFrame::commandRan);
        clear->trigger();
        QVERIFY(ran.isEmpty());
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
        command(CmdId::kClearMemoryView)->trigger();
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
        // It opens wholly inside the workspace, below and right of the Memory View's corner.
        const QRect area = frame()->mdiArea()->viewport()->rect();
        QVERIFY2(area.contains(asmFrames[0]->geometry()),
                 qPrintable(QString("%1,%2 %3x%4 in %5x%6").arg(asmFrames[0]->x()).arg(asmFrames[0]->y())
                                .arg(asmFrames[0]->width()).arg(asmFrames[0]->height()).arg(area.width()).arg(area.height())));
        QVERIFY(asmFrames[0]->width() >= area.width() / 2 && asmFrames[0]->height() >= area.height() / 2);
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
        command(CmdId::kFileClose)->trigger();
        QTRY_VERIFY(doc.isNull());
        QVERIFY(CTarvik11App::instance()->currentDoc.isNull());
        QCOMPARE(frame()->menuBarId(), 128);
        QCOMPARE(menuTitles(), QStringList({"&File", "&Help"}));
        QCOMPARE(frame()->windowTitle(), QString("Tarvik11"));
        QAction* boot = menuItem("&File", "&Boot Talker...");
        QVERIFY(boot && !boot->isEnabled());
        // Nobody carries the document's, the views' or the window commands now.
        QSignalSpy ran(frame(), &CMainFrame::commandRan);
        for (int id : {CmdId::kSetMemory, CmdId::kBootTalker, CmdId::kEditCopy, CmdId::kWindowTile}) {
            QVERIFY(!command(id)->isEnabled());
            command(id)->trigger();
        }
        QVERIFY(ran.isEmpty());
        // Open is the application's now: it opens a document instead of loading a program.
        QVERIFY(command(CmdId::kFileOpen)->isEnabled());
        ModalCatcher open;
        open.arm();
        command(CmdId::kFileOpen)->trigger();
        QVERIFY(open.seen);
        QCOMPARE(ran.size(), 1);
        QCOMPARE(ran[0][1].value<QObject*>(), static_cast<QObject*>(CTarvik11App::instance()));
        menuItem("&File", "&Memory View")->trigger();
        QCOMPARE(frame()->childFrames().size(), 1);
        QCOMPARE(frame()->menuBarId(), 129);
        QCOMPARE(CTarvik11App::instance()->currentDoc->title(), QString("Tarvik2"));
        QVERIFY(menuItem("&File", "&Boot Talker...")->isEnabled());
    }

    // With two documents open, the document and view commands act on the active child frame's
    // and their states follow it as it changes.
    void commandsFollowTheActiveChildFrame()
    {
        QPointer<CTarvik11Doc> first = CTarvik11App::instance()->currentDoc;
        command(CmdId::kFileNew)->trigger();
        QPointer<CTarvik11Doc> second = CTarvik11App::instance()->currentDoc;
        QVERIFY(second && second != first);
        QMdiSubWindow* firstFrame = memoryFrameOf(first);
        QMdiSubWindow* secondFrame = memoryFrameOf(second);
        QCOMPARE(frame()->activeChildFrame(), secondFrame);

        // A selected breakpoint and some text with a selection in the first document only.
        first->breakpointsWindow->addAddress(0x0100);
        first->breakpointsWindow->list()->setCurrentRow(0);
        first->memoryLines = {"$0000 00 01"};
        first->UpdateAllViews();
        qobject_cast<QPlainTextEdit*>(firstFrame->widget())->selectAll();
        QAction* clear = command(CmdId::kClearBreakpoint);
        QAction* copy = command(CmdId::kEditCopy);
        QAction* selectAll = command(CmdId::kEditSelectAll);
        QAction* registers = command(CmdId::kRegisterWindow);
        const struct {
            QMdiSubWindow* active;
            bool enabled;
        } steps[] = {{secondFrame, false}, {firstFrame, true}, {secondFrame, false}};
        for (const auto& step : steps) {
            frame()->mdiArea()->setActiveSubWindow(step.active);
            QCOMPARE(clear->isEnabled(), step.enabled);
            QCOMPARE(copy->isEnabled(), step.enabled);
            QCOMPARE(selectAll->isEnabled(), step.enabled);
        }
        QCOMPARE(frame()->windowTitle(), "Tarvik11 - " + second->title());

        // The action shows the active document's window, and its check mark follows activation.
        QSignalSpy ran(frame(), &CMainFrame::commandRan);
        registers->trigger();
        QCOMPARE(ran.size(), 1);
        QCOMPARE(ran[0][1].value<QObject*>(), static_cast<QObject*>(second.data()));
        QVERIFY(second->registersWindow->isVisible());
        QVERIFY(!first->registersWindow->isVisible());
        QVERIFY(registers->isChecked());
        frame()->mdiArea()->setActiveSubWindow(firstFrame);
        QVERIFY(!registers->isChecked());
        second->registersWindow->hide();

        // Select All works on the view of the active frame only.
        second->memoryLines = {"$0010 02 03"};
        second->UpdateAllViews();
        frame()->mdiArea()->setActiveSubWindow(secondFrame);
        auto* secondView = qobject_cast<QPlainTextEdit*>(secondFrame->widget());
        QVERIFY(!secondView->textCursor().hasSelection());
        QVERIFY(selectAll->isEnabled());
        selectAll->trigger();
        QCOMPARE(secondView->textCursor().selectedText(), secondView->toPlainText().replace('\n', QChar::ParagraphSeparator));
        QVERIFY(copy->isEnabled());

        // Close goes to the active document: the first one goes, the second stays current.
        frame()->mdiArea()->setActiveSubWindow(firstFrame);
        command(CmdId::kFileClose)->trigger();
        QTRY_VERIFY(first.isNull());
        QVERIFY(second);
        QCOMPARE(CTarvik11App::instance()->currentDoc.data(), second.data());
        QCOMPARE(frame()->activeChildFrame(), secondFrame);
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

    // The recent-file entries: "Recent File", greyed, while the list is empty; then one numbered
    // entry per file that opens it as a new document.
    void recentFilesOpenFromTheirEntries()
    {
        QAction* recent = command(CmdId::kFileMru1);
        QMenu* file = menuHolding("&File", CmdId::kFileMru1);
        QVERIFY(file);
        emit file->aboutToShow();
        QCOMPARE(recent->text(), QString("Recent File"));
        QVERIFY(recent->isVisible() && !recent->isEnabled());
        QVERIFY(!command(CmdId::kFileMru1 + 1)->isVisible());

        QTemporaryDir dir;
        const QString path = dir.filePath("program.s19");
        QFile program(path);
        QVERIFY(program.open(QIODevice::WriteOnly));
        program.close();
        auto* app = CTarvik11App::instance();
        QPointer<CTarvik11Doc> opened = app->OpenDocumentFile(path);
        QVERIFY(opened);
        QCOMPARE(opened->title(), QString("program.s19"));
        command(CmdId::kFileClose)->trigger();
        QTRY_VERIFY(opened.isNull());

        emit file->aboutToShow();
        QVERIFY(recent->text().startsWith("&1 ") && recent->text().endsWith("/program.s19"));
        QVERIFY(recent->isVisible() && recent->isEnabled());
        QVERIFY(!command(CmdId::kFileMru1 + 1)->isVisible());
        QVERIFY(!command(CmdId::kFileMru1 + 1)->isEnabled());
        const int frames = frame()->childFrames().size();
        recent->trigger();
        QCOMPARE(frame()->childFrames().size(), frames + 1);
        QCOMPARE(frame()->activeDocument()->title(), QString("program.s19"));
    }

    // A disassembly the target cannot give (no talker) says why and opens no window.
    void refusedDisassemblyOpensNothing()
    {
        const qsizetype frames = frame()->childFrames().size();
        QStringList boxes;
        QTimer answer;
        answer.setInterval(5);
        connect(&answer, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* input = qobject_cast<QInputDialog*>(modal)) {
                input->setTextValue("$c000 $c010");
                input->accept();
            } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                boxes << box->text();
                box->close();
            }
        });
        answer.start();
        command(CmdId::kDisassemblyView)->trigger();
        answer.stop();
        QCOMPARE(boxes.size(), 1);
        QVERIFY(!boxes[0].isEmpty());
        QCOMPARE(frame()->childFrames().size(), frames);
    }

    // The tool windows are docks beside the views, never over them; each keeps its place and
    // size (docked or floating) when hidden and shown and across a restart, as the main window
    // keeps its size.
    void toolWindowsKeepTheirPlace()
    {
        auto* app = CTarvik11App::instance();
        // A fresh start with one document (the tests before opened more).
        app->ExitInstance(0);
        QVERIFY(app->InitInstance({"tarvik11", "-Embedding"}));
        auto windows = [&] {
            CTarvik11Doc* doc = app->currentDoc;
            return std::pair<QDialog*, QDialog*>{doc->registersWindow.data(), doc->breakpointsWindow.data()};
        };
        auto [registers, breakpoints] = windows();
        command(CmdId::kRegisterWindow)->trigger();
        command(CmdId::kListBreakpoints)->trigger();
        QDockWidget* floating = CMainFrame::dockOf(registers);
        QDockWidget* docked = CMainFrame::dockOf(breakpoints);
        QVERIFY(floating && docked && registers->isVisible() && breakpoints->isVisible());
        QVERIFY(!docked->geometry().intersects(frame()->mdiArea()->geometry()));
        frame()->addDockWidget(Qt::LeftDockWidgetArea, docked);
        floating->setFloating(true);
        const QRect placed(140, 150, 330, 280);
        floating->setGeometry(placed);
        QTRY_COMPARE(floating->geometry(), placed);
        frame()->resize(1010, 705);

        for (int id : {CmdId::kRegisterWindow, CmdId::kListBreakpoints}) {
            command(id)->trigger();
            QVERIFY(!command(id)->isChecked());
            command(id)->trigger();
            QVERIFY(command(id)->isChecked());
        }
        QVERIFY(registers->isVisible() && breakpoints->isVisible());
        QCOMPARE(floating->geometry(), placed);
        QCOMPARE(frame()->dockWidgetArea(docked), Qt::LeftDockWidgetArea);
        // Closed by its own Close button, a window takes its dock along.
        breakpoints->close();
        QVERIFY(docked->isHidden());
        command(CmdId::kListBreakpoints)->trigger();
        QVERIFY(breakpoints->isVisible());

        app->ExitInstance(0);
        QVERIFY(app->InitInstance({"tarvik11", "-Embedding"}));
        QCOMPARE(frame()->size(), QSize(1010, 705));
        std::tie(registers, breakpoints) = windows();
        floating = CMainFrame::dockOf(registers);
        docked = CMainFrame::dockOf(breakpoints);
        QVERIFY(floating && docked);
        QVERIFY(registers->isVisible() && breakpoints->isVisible());
        QVERIFY(command(CmdId::kRegisterWindow)->isChecked());
        QVERIFY(floating->isFloating());
        QCOMPARE(floating->geometry(), placed);
        QCOMPARE(frame()->dockWidgetArea(docked), Qt::LeftDockWidgetArea);
    }

    // Without a virtual board the Board panel is not offered, and a panel the last run on a
    // virtual board left open stays hidden.
    void boardPanelOnlyOnAVirtualBoard()
    {
        auto* app = CTarvik11App::instance();
        CBoardPanel* panel = frame()->boardPanel();
        QVERIFY(panel && !panel->available());
        frame()->updateCommandStates();
        QVERIFY(!command(CmdId::kBoardPanel)->isEnabled());
        QVERIFY(!command(CmdId::kBoardPanel)->isChecked());
        QDockWidget* dock = CMainFrame::dockOf(panel);
        QVERIFY(dock && dock->isHidden());
        dock->show(); // as a run on a virtual board leaves it
        app->ExitInstance(0);
        QVERIFY(app->InitInstance({"tarvik11", "-Embedding"}));
        panel = frame()->boardPanel();
        QVERIFY(CMainFrame::dockOf(panel)->isHidden());
        QVERIFY(!panel->polling());
        frame()->updateCommandStates();
        QVERIFY(!command(CmdId::kBoardPanel)->isEnabled());
    }

    void cleanupTestCase()
    {
        CTarvik11App::instance()->ExitInstance(0);
        QVERIFY(!CTarvik11App::instance()->mainFrame());
    }
};

TARVIK11_APP_TEST_MAIN(MainFrameTest)
#include "MainFrameTest.moc"
