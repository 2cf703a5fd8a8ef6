// Debugging at the source on the virtual board: the Assembly View marks the line where the
// program stopped and shows the breakpoints in its gutter, a click there toggles one, the
// stepping commands move the mark, the run state reads as the status bar shows it, Stop is offered
// only while a program runs or is held, and the I/O Registers window leaves the SCI and SPI
// status and data unread unless asked.
#include "document/CBreakpointsDialog.h"
#include "document/CIoRegistersDialog.h"
#include "app/CTarvikAsmView.h"
#include "res/CommandIds.h"
#include "BoardDocument.h"
#include "document/CRegistersDialog.h"
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QProcess>
#include <QElapsedTimer>
#include <QMenu>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QProgressDialog>
#include <QScrollBar>
#include <QTextBlock>

namespace {

const QString kExamples = QStringLiteral(TARVIK11_EXAMPLES_DIR);

} // namespace

class SourceViewTest : public QObject {
    Q_OBJECT

    BoardDocument rig_;
    std::unique_ptr<CTarvikAsmView> view_;

    TestHost& host() { return *rig_.host; }
    CTarvik11Doc& doc() { return *rig_.doc; }
    CTarvikAsmView& view() { return *view_; }
    void run(int id) { QVERIFY2(doc().runCommand(id), qPrintable(QString::number(id))); }
    QString runState() { return CTarvik11Doc::runStateText(&host().session); }
    bool stopOffered() { return doc().commandState(CmdId::kStopExecution).enabled; }
    // Runs a command of the view (as the main frame does on the active view); false when its rule
    // disables it.
    bool runViewCommand(int id)
    {
        const CommandBinding<CTextView>* binding = findBinding(CTextView::commandTable(), id);
        if (!binding || !bindingState(*binding, static_cast<const CTextView&>(view())).enabled)
            return false;
        (view().*binding->handler)();
        return true;
    }
    // Puts the text cursor on listing line.
    void placeCursor(int line)
    {
        QTextCursor cursor(view().document()->findBlockByNumber(line));
        view().setTextCursor(cursor);
    }
    void clickGutter(int line)
    {
        view().verticalScrollBar()->setValue(qMax(0, line - 3));
        const QPoint at = view().gutterPointOf(line);
        QVERIFY2(!at.isNull(), qPrintable(QString::number(line)));
        QTest::mouseClick(view().gutter(), Qt::LeftButton, {}, at);
    }
    // The listing line of address, checked to be there.
    int lineOf(uint32_t address)
    {
        const int line = view().lineOf(address);
        [&] { QVERIFY2(line >= 0, qPrintable(QString::number(address, 16))); }();
        return line;
    }

private slots:
    void initTestCase()
    {
        const std::string error = rig_.start();
        QVERIFY2(error.empty(), error.c_str());
        view_ = std::make_unique<CTarvikAsmView>(rig_.doc.get());
        // Short enough that the listing does not fit: a stop further down must scroll into view.
        view().resize(520, 12 * view().fontMetrics().lineSpacing());
        view().show();
        QVERIFY(QTest::qWaitForWindowExposed(&view()));
    }

    void cleanupTestCase()
    {
        view_.reset();
        rig_.stop();
    }

    void init() { host().boxes.clear(); }

    // The talker download keeps the window alive: a timer keeps firing (never 100 ms without
    // one), its progress box offers Cancel, and a cancelled download leaves no talker and says so.
    void bootKeepsTheWindowAliveAndCancels()
    {
        QCOMPARE(runState(), QString("No talker"));
        QVERIFY(!stopOffered());
        for (int id : {CmdId::kStepOver, CmdId::kStepOut, CmdId::kContinue})
            QVERIFY(!doc().commandState(id).enabled);
        QTimer cancel;
        cancel.setInterval(5);
        connect(&cancel, &QTimer::timeout, [this] {
            auto* box = host().window.findChild<QProgressDialog*>("BootProgress");
            if (box && box->value() > 300)
                box->cancel();
        });
        cancel.start();
        run(CmdId::kBootTalker);
        cancel.stop();
        QCOMPARE(host().takeBoxes(),
                 QStringList({"Please press the 68HC11 RESET button...",
                              "Talker download cancelled; press RESET before the next boot"}));
        QCOMPARE(runState(), QString("No talker"));
        QVERIFY(!host().window.findChild<QProgressDialog*>("BootProgress"));

        QElapsedTimer clock;
        qint64 last = 0, longestGap = 0;
        int ticks = 0;
        QTimer beat;
        beat.setInterval(10);
        // Measured while the download runs (its box shows); the start-up exchanges after it are
        // short on a board whose CONFIG needs no change.
        connect(&beat, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            auto* box = host().window.findChild<QProgressDialog*>("BootProgress");
            if (box && box->value() > 0 && box->value() < 1000) {
                longestGap = std::max(longestGap, now - last);
                ++ticks;
            }
            last = now;
        });
        clock.start();
        beat.start();
        run(CmdId::kBootTalker);
        beat.stop();
        QCOMPARE(runState(), QString("Idle"));
        // 257 bytes at 1200 baud take 2.1 s on the paced line.
        QVERIFY2(clock.elapsed() > 2000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(ticks > 15);
        QVERIFY2(longestGap <= 100, qPrintable(QString("%1 ms without a timer, %2 ticks").arg(longestGap).arg(ticks)));
        // One box per boot: the success is the status bar's news.
        QCOMPARE(host().takeBoxes(), QStringList({"Please press the 68HC11 RESET button..."}));
    }

    // Before the talker runs nothing can be stepped, stopped or toggled; after boot the target
    // is idle; a program that runs until stopped reads Running, with Stop offered and the stepping
    // commands not; loading a program marks no stop.
    void runStateFromBootToLoad()
    {
        // (booted by the test before)
        QCOMPARE(runState(), QString("Idle"));
        QVERIFY(!stopOffered());

        answerFileDialog(kExamples + "/counter.s19");
        run(CmdId::kFileOpen);
        answerDialog({{1042, "$cc00"}});
        run(CmdId::kExecute);
        QCOMPARE(host().status(), QString("Executing program"));
        QCOMPARE(runState(), QString("Running"));
        QVERIFY(stopOffered());
        for (int id : {CmdId::kStepOver, CmdId::kStepOut, CmdId::kContinue})
            QVERIFY(!doc().commandState(id).enabled);
        QCOMPARE(view().markedLine(), -1);
        run(CmdId::kStopExecution);
        QCOMPARE(host().status(), QString("Execution stopped"));
        // Stopped where the program was: the counter's loop, in the Registers window too; Read
        // Regs and Write Regs there leave it waiting.
        QVERIFY2(runState().startsWith("Stopped at $cc0"), qPrintable(runState()));
        QCOMPARE(QString::fromStdString(doc().registersWindow->fields().PC), runState().mid(11));
        doc().registersWindow->ReadRegs();
        doc().registersWindow->WriteRegs();
        QVERIFY2(runState().startsWith("Stopped at $cc0"), qPrintable(runState()));
        QVERIFY(!stopOffered());

        answerFileDialog(kExamples + "/subroutine.s19");
        run(CmdId::kFileOpen);
        QCOMPARE(host().status(), QString("S19 record loaded successfully"));
        QCOMPARE(view().toPlainText().count('\n'), doc().listingLines.size());
        QCOMPARE(view().markedLine(), -1);
        QCOMPARE(runState(), QString("Idle"));
        QVERIFY(doc().commandState(CmdId::kStepOver).enabled);
        QVERIFY(!doc().commandState(CmdId::kStepOut).enabled); // nothing stopped yet
        // Each line with code knows its address, independently of the parser: the listing's
        // own text at that line.
        for (uint32_t address : {0xC400u, 0xC40Au, 0xC41Au, 0xC428u, 0xC437u}) {
            const QString hex = QString::number(address, 16);
            QVERIFY2(doc().listingLines[lineOf(address)].contains(" " + hex + " "), qPrintable(hex));
        }
        QCOMPARE(view().lineAddress(0), std::nullopt); // the comment at the top
    }

    void gutterClicksToggleBreakpoints()
    {
        const int fill = lineOf(0xC41A);
        clickGutter(fill);
        QCOMPARE(host().status(), QString("Breakpoint set at $c41a"));
        QCOMPARE(host().session.breakpoints(), std::vector<uint32_t>{0xC41A});
        QCOMPARE(doc().breakpointsWindow->entries(), QStringList{"$c41a"});
        QCOMPARE(view().breakpointLines(), QList<int>{fill});

        // A line without code takes no breakpoint.
        clickGutter(fill - 2);
        QCOMPARE(host().session.breakpoints(), std::vector<uint32_t>{0xC41A});

        clickGutter(fill);
        QCOMPARE(host().status(), QString("Breakpoint $c41a Removed"));
        QVERIFY(host().session.breakpoints().empty());
        QVERIFY(doc().breakpointsWindow->entries().isEmpty());
        QVERIFY(view().breakpointLines().isEmpty());

        // Toggle Breakpoint does the same for the cursor's line, and is off on a line without code.
        placeCursor(fill - 2);
        QVERIFY(!runViewCommand(CmdId::kToggleBreakpoint));
        placeCursor(lineOf(0xC424));
        QVERIFY(runViewCommand(CmdId::kToggleBreakpoint));
        QCOMPARE(host().session.breakpoints(), std::vector<uint32_t>{0xC424});
        QCOMPARE(view().breakpointLines(), QList<int>{lineOf(0xC424)});
    }

    // A run to a breakpoint far down the listing: the stop line is marked and scrolled into view,
    // and Stop is offered for the held program.
    void hitMarksTheStopLine()
    {
        view().verticalScrollBar()->setValue(0);
        answerDialog({{1042, "$c400"}});
        run(CmdId::kExecute);
        // The status bar never says the program runs once it is known to have stopped.
        if (runState() != "Running")
            QCOMPARE(host().status(), QString("Breakpoint reached at $c424"));
        QTRY_COMPARE_WITH_TIMEOUT(host().status(), QString("Breakpoint reached at $c424"), 10000);
        QCOMPARE(runState(), QString("Stopped at $c424"));
        QVERIFY(stopOffered());
        QVERIFY(view().breakpointLines().isEmpty()); // a breakpoint goes once it is hit
        const int stop = lineOf(0xC424);
        QCOMPARE(view().markedLine(), stop);
        // The lines drawn at the top and the bottom of the view, as the text layout places them.
        const int first = view().cursorForPosition(QPoint(4, 2)).blockNumber();
        const int last = view().cursorForPosition(QPoint(4, view().viewport()->height() - 2)).blockNumber();
        QVERIFY2(first > 0 && first <= stop && stop <= last,
                 qPrintable(QString("%1..%2 shows %3").arg(first).arg(last).arg(stop)));
        // The mark is drawn: the stop line is highlighted across the view.
        const auto marks = view().extraSelections();
        QVERIFY(std::any_of(marks.begin(), marks.end(), [&](const QTextEdit::ExtraSelection& s) {
            return s.cursor.blockNumber() == stop && s.format.background().color() != QColor();
        }));
        // Where the user scrolls between stops stays.
        view().verticalScrollBar()->setValue(0);
        doc().UpdateAllViews();
        emit doc().targetStateChanged();
        QCOMPARE(view().cursorForPosition(QPoint(4, 2)).blockNumber(), 0);
    }

    // Step Over, Step Out, Run to Cursor and Continue move the mark with the program.
    void steppingMovesTheMark()
    {
        // In checksum's loop: step over the ADDA, then out of the subroutine to after its JSR.
        run(CmdId::kStepOver);
        QCOMPARE(host().status(), QString("Trace completed at $c426"));
        QCOMPARE(view().markedLine(), lineOf(0xC426));
        QCOMPARE(runState(), QString("Stopped at $c426"));
        QVERIFY(doc().commandState(CmdId::kStepOut).enabled);
        run(CmdId::kStepOut);
        QTRY_COMPARE_WITH_TIMEOUT(host().status(), QString("Trace completed at $c419"), 10000);
        QCOMPARE(view().markedLine(), lineOf(0xC419));
        QCOMPARE(runState(), QString("Stopped at $c419"));

        // Back to the start; over the JSR to fill: the call runs and returns.
        host().engine.currentPC = 0xC400;
        placeCursor(lineOf(0xC40A));
        QVERIFY(runViewCommand(CmdId::kRunToCursor));
        QTRY_COMPARE_WITH_TIMEOUT(host().status(), QString("Trace completed at $c40a"), 10000);
        QCOMPARE(view().markedLine(), lineOf(0xC40A));
        run(CmdId::kStepOver);
        QTRY_COMPARE_WITH_TIMEOUT(host().status(), QString("Trace completed at $c40d"), 10000);
        QCOMPARE(view().markedLine(), lineOf(0xC40D));
        QCOMPARE(host().session.lastRegisters().A, uint8_t(0xAA));

        // Continue runs on to a breakpoint in checksum.
        clickGutter(lineOf(0xC428));
        QCOMPARE(host().session.breakpoints(), std::vector<uint32_t>{0xC428});
        run(CmdId::kContinue);
        QTRY_COMPARE_WITH_TIMEOUT(host().status(), QString("Breakpoint reached at $c428"), 10000);
        QCOMPARE(view().markedLine(), lineOf(0xC428));

        // Stop ends the held program: nothing is marked, and Stop is no longer offered.
        run(CmdId::kStopExecution);
        QCOMPARE(host().status(), QString("Execution stopped"));
        QCOMPARE(runState(), QString("Idle"));
        QVERIFY(!stopOffered());
        QCOMPARE(view().markedLine(), -1);
        QVERIFY(!doc().runCommand(CmdId::kStopExecution));
    }

    // Set PC Here from a line's context menu: offered only on a line with code; on a program
    // held at a breakpoint it writes the line's address as PC and the program goes on from there
    // at once. Ends with the program stopped.
    void setPcHereFromTheContextMenu()
    {
        auto menuAction = [&](int line, std::unique_ptr<QMenu>& menu) -> QAction* {
            view().verticalScrollBar()->setValue(qMax(0, line - 3));
            const QPoint at = view().cursorRect(QTextCursor(view().document()->findBlockByNumber(line))).center();
            menu.reset(view().createLineMenu(at));
            for (QAction* action : menu->actions())
                if (action->text() == "Set PC Here")
                    return action;
            return nullptr;
        };
        std::unique_ptr<QMenu> menu;
        int bare = 0;
        while (view().lineAddress(bare))
            ++bare;
        QAction* action = menuAction(bare, menu);
        QVERIFY(action);
        QVERIFY(!action->isEnabled());

        clickGutter(lineOf(0xC428));
        answerDialog({{1042, "$c400"}});
        run(CmdId::kExecute);
        QTRY_COMPARE_WITH_TIMEOUT(host().status(), QString("Breakpoint reached at $c428"), 10000);
        // A breakpoint set while the program is held is planted when Set PC Here resumes it.
        clickGutter(lineOf(0xC428));
        action = menuAction(lineOf(0xC424), menu);
        QVERIFY(action && action->isEnabled());
        action->trigger();
        QCOMPARE(host().takeBoxes(), QStringList());
        QTRY_COMPARE_WITH_TIMEOUT(host().status(), QString("Breakpoint reached at $c428"), 10000);
        QCOMPARE(view().markedLine(), lineOf(0xC428));
        QCOMPARE(doc().registersWindow->fields().PC, std::string("$c428"));
    }

    // Printing wraps a long line at the page's width: a line of 12000 characters (with and
    // without blanks) fills several pages of a PDF, where one cut at the edge would fill one.
    void printWrapsLongLines()
    {
        QTemporaryDir dir;
        for (const QString& line : {QString(12000, QChar('x')), QString("$c400 ").repeated(2000)}) {
            QPrinter printer;
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(dir.path() + "/print.pdf");
            CTextView::printText("   first\n" + line + "\n   last\n", view().font(), &printer);
            QFile pdf(printer.outputFileName());
            QVERIFY(pdf.open(QIODevice::ReadOnly));
            const int pages = QString::fromLatin1(pdf.readAll()).count(QRegularExpression("/Type\\s*/Page\\b"));
            QVERIFY2(pages >= 3, qPrintable(QString::number(pages)));
        }
    }

    // Every kind of stop shows its address in the Registers window and marks its line: a
    // breakpoint, a step over, the program's own SWI (with the engine's message) and a trace step
    // (Stop: runStateFromBootToLoad).
    void everyStopShowsRegistersAndMark_data()
    {
        QTest::addColumn<QString>("breakpoint");
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("start");
        QTest::addColumn<uint32_t>("stop");
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("breakpoint") << "$c40a" << CmdId::kExecute << "$c400" << 0xC40Au << QStringList();
        QTest::newRow("step over") << "" << CmdId::kStepOver << "" << 0xC40Du << QStringList();
        QTest::newRow("own SWI, breakpoints planted")
            << "$c400" << CmdId::kExecute << "$c419" << 0xC419u
            << QStringList{"Unable to remove current breakpoint from table."};
        QTest::newRow("trace") << "" << CmdId::kTrace << "$c400" << 0xC403u << QStringList();
    }
    void everyStopShowsRegistersAndMark()
    {
        QFETCH(QString, breakpoint);
        QFETCH(int, command);
        QFETCH(QString, start);
        QFETCH(uint32_t, stop);
        QFETCH(QStringList, boxes);
        if (!breakpoint.isEmpty()) {
            answerDialog({{1042, breakpoint}});
            run(CmdId::kSetBreakpoint);
        }
        doc().registersWindow->SetShownPC(0);
        if (!start.isEmpty())
            answerDialog({{1042, start}});
        run(command);
        const QString at = QString("$%1").arg(stop, 4, 16, QChar('0'));
        QTRY_COMPARE_WITH_TIMEOUT(runState(), "Stopped at " + at, 10000);
        QCOMPARE(QString::fromStdString(doc().registersWindow->fields().PC), at);
        QCOMPARE(view().markedLine(), lineOf(stop));
        const QStringList shown = host().takeBoxes();
        QVERIFY2(shown == boxes, qPrintable(shown.join(" / ")));
        if (!breakpoint.isEmpty() && !host().session.breakpoints().empty())
            run(CmdId::kClearAllBreakpoints);
    }

    void ioRegistersWindowLeavesTheSciAlone()
    {
        CIoRegistersDialog* window = doc().ioRegistersWindow;
        QVERIFY(!window->isVisible());
        QVERIFY(!window->disturbingBox()->isChecked());
        QVERIFY(!doc().commandState(CmdId::kIoRegisterWindow).checked);
        run(CmdId::kIoRegisterWindow); // opening it reads the block
        QVERIFY(window->isVisible());
        QVERIFY(doc().commandState(CmdId::kIoRegisterWindow).checked);
        QCOMPARE(host().takeBoxes(), QStringList());
        auto lineOfRegister = [&](const QString& name) {
            for (const QString& line : window->lines())
                if (line.section(' ', 1, 1, QString::SectionSkipEmpty) == name)
                    return line;
            return QString();
        };
        for (const char* name : {"SCSR", "SCDR", "SPSR", "SPDR"})
            QVERIFY2(lineOfRegister(name).contains("not read"), name);
        // PORTA and CONFIG are read; CONFIG shows the chip's own value, never "not read".
        QVERIFY(lineOfRegister("PORTA").startsWith("$1000 PORTA   $"));
        QVERIFY(lineOfRegister("CONFIG").startsWith("$103f CONFIG  $"));

        window->disturbingBox()->setChecked(true);
        QTest::mouseClick(window->refreshButton(), Qt::LeftButton);
        QCOMPARE(host().takeBoxes(), QStringList());
        for (const char* name : {"SCSR", "SCDR"})
            QVERIFY2(!lineOfRegister(name).contains("not read"), name);
        // The talker still answers after its serial registers were read.
        QVERIFY(host().session.readRegisters().ok());
        run(CmdId::kIoRegisterWindow);
        QVERIFY(!window->isVisible());
    }

    // A program with a line table shows its source file rather than its listing: each line with
    // code knows its address (checked against the program's own symbols), a gutter click sets a
    // breakpoint there, a run marks the stop on its line, and an S19 brings the listing back.
    void elfProgramShowsItsSourceFile()
    {
        if (!host().session.breakpoints().empty())
            run(CmdId::kClearAllBreakpoints);
        doc().LoadProgram(kExamples + "/subroutine.elf");
        QVERIFY2(host().takeBoxes().isEmpty(), qPrintable(host().status()));
        QVERIFY(view().showingSource());
        QCOMPARE(view().sourceFiles().size(), 1);
        QVERIFY2(view().sourceFiles()[0].endsWith("/subroutine.s"), qPrintable(view().sourceFiles()[0]));
        QVERIFY(view().fileChooser()->isVisible());
        QCOMPARE(view().fileChooser()->currentText(), QString("subroutine.s"));
        const QStringList text = view().toPlainText().split('\n');
        auto lineStarting = [&](const QString& label) {
            for (int i = 0; i < text.size(); ++i)
                if (text[i].trimmed().startsWith(label + ":"))
                    return i;
            return -1;
        };
        QCOMPARE(view().lineAddress(0), std::nullopt); // the comment at the top
        for (const char* label : {"fill", "add", "done", "clear", "clear1"}) {
            const int line = lineStarting(label);
            const auto symbol = host().session.symbols().addressOf(label);
            QVERIFY2(line >= 0 && symbol, label);
            QCOMPARE(view().lineAddress(line), std::optional<uint32_t>(*symbol));
            QCOMPARE(view().lineOf(*symbol), line);
        }
        const int fill = lineStarting("fill");
        const uint32_t fillAt = *host().session.symbols().addressOf("fill");
        clickGutter(fill);
        QCOMPARE(host().session.breakpoints(), std::vector<uint32_t>{fillAt});
        QCOMPARE(view().breakpointLines(), QList<int>{fill});
        clickGutter(fill - 1); // the comment line above has no code
        QCOMPARE(host().session.breakpoints(), std::vector<uint32_t>{fillAt});

        answerDialog({{1042, QString("$%1").arg(*host().session.symbols().addressOf("main"), 4, 16, QLatin1Char('0'))}});
        run(CmdId::kExecute);
        QTRY_COMPARE_WITH_TIMEOUT(runState(), QString("Stopped at $%1").arg(fillAt, 4, 16, QLatin1Char('0')), 10000);
        QCOMPARE(view().markedLine(), fill);

        doc().LoadProgram(kExamples + "/subroutine.s19");
        QVERIFY(!view().showingSource());
        QVERIFY(!view().fileChooser()->isVisible());
        QCOMPARE(view().toPlainText().count('\n'), doc().listingLines.size());
        QCOMPARE(view().lineOf(0xC41A), doc().listingLines.indexOf(QRegularExpression("^.*c41a .*fill:.*$")));
    }

    // A program of two source files: both are offered, each line with code knows its address,
    // and a stop in the other file brings that file up with the stop line marked.
    void severalSourceFilesFollowTheStop()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        auto write = [&](const QString& name, const QByteArray& text) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(text);
        };
        write("first.s", "\t.text\n\t.globl\tmain\nmain:\tlds\t#0xdfff\n\tldaa\t#3\n\tjsr\ttwice\ndone:\tswi\n");
        write("second.s", "\t.text\n\t.globl\ttwice\n; Doubles A.\ntwice:\tasla\n\trts\n");
        auto tool = [&](const QString& program, const QStringList& args) {
            QProcess process;
            process.setWorkingDirectory(dir.path());
            process.start(program, args);
            QVERIFY(process.waitForFinished(30000));
            QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());
        };
        for (const char* name : {"first", "second"})
            tool(TARVIK11_HC11_AS, {"--gdwarf-2", "-o", QString(name) + ".o", QString(name) + ".s"});
        tool(TARVIK11_HC11_LD, {"-nostdlib", "-e", "0xc400", "-Ttext", "0xc400", "-o", "two.elf", "first.o", "second.o"});

        if (!host().session.breakpoints().empty())
            run(CmdId::kClearAllBreakpoints);
        doc().LoadProgram(dir.filePath("two.elf"));
        QVERIFY2(host().takeBoxes().isEmpty(), qPrintable(host().status()));
        QCOMPARE(view().sourceFiles().size(), 2);
        QCOMPARE(view().fileChooser()->count(), 2);
        const int second = view().sourceFiles()[0].endsWith("/second.s") ? 0 : 1;
        QVERIFY(view().sourceFiles()[1 - second].endsWith("/first.s"));
        view().showFile(second);
        QCOMPARE(view().fileChooser()->currentIndex(), second);
        const uint32_t twice = *host().session.symbols().addressOf("twice");
        QCOMPARE(view().lineAddress(3), std::optional<uint32_t>(twice)); // "twice:  asla"
        QCOMPARE(view().lineAddress(2), std::nullopt);                   // the comment
        clickGutter(3);
        QCOMPARE(host().session.breakpoints(), std::vector<uint32_t>{twice});

        view().showFile(1 - second);
        QCOMPARE(view().lineAddress(2), std::optional<uint32_t>(0xC400u)); // "main:  lds"
        answerDialog({{1042, "$c400"}});
        run(CmdId::kExecute);
        QTRY_COMPARE_WITH_TIMEOUT(runState(), QString("Stopped at $%1").arg(twice, 4, 16, QLatin1Char('0')), 10000);
        QCOMPARE(view().shownFile(), second);
        QCOMPARE(view().fileChooser()->currentIndex(), second);
        QCOMPARE(view().markedLine(), 3);
    }
};

QTEST_MAIN(SourceViewTest)
#include "SourceViewTest.moc"
