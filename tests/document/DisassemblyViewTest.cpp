// The Disassembly view on the virtual board: a range with the program's names, following the PC
// after a hit and a step, breakpoints marked in the gutter and toggled by a click there; and the
// Assembly View, which shows nothing of an earlier program after a load without a listing.
#include "app/CDisassemblyView.h"
#include "app/CTarvikAsmView.h"
#include "document/CBreakpointsDialog.h"
#include "res/CommandIds.h"
#include "BoardDocument.h"

#include <QDir>
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBlock>

#include <algorithm>

namespace {

const QString kExamples = QStringLiteral(TARVIK11_EXAMPLES_DIR);

} // namespace

class DisassemblyViewTest : public QObject {
    Q_OBJECT

    BoardDocument rig_;
    std::unique_ptr<CDisassemblyView> view_;

    TestHost& host() { return *rig_.host; }
    CTarvik11Doc& doc() { return *rig_.doc; }
    CDisassemblyView& view() { return *view_; }
    void run(int id) { QVERIFY2(doc().runCommand(id), qPrintable(QString::number(id))); }
    QString lineText(int line) { return view().document()->findBlockByNumber(line).text(); }
    // Scrolls line into view and clicks the gutter beside it.
    void clickGutter(int line)
    {
        view().verticalScrollBar()->setValue(qMax(0, line - 3));
        const QPoint at = view().gutterPointOf(line);
        QVERIFY2(!at.isNull(), qPrintable(QString::number(line)));
        QTest::mouseClick(view().gutter(), Qt::LeftButton, {}, at);
    }
    // The colour the gutter paints beside line, dx right of its centre.
    QColor gutterColour(int line, int dx = 0)
    {
        const QPoint at = view().gutterPointOf(line);
        if (at.isNull())
            return {};
        return view().gutter()->grab().toImage().pixelColor(at + QPoint(dx, 0));
    }
    // A breakpoint's dot is red; the stop's arrow is amber; the bare gutter is neither.
    static bool isDot(const QColor& c) { return c.red() > 150 && c.green() < 100 && c.blue() < 100; }
    static bool isArrow(const QColor& c) { return c.red() > 180 && c.green() > 120 && c.blue() < 100; }

private slots:
    void initTestCase()
    {
        const std::string error = rig_.start();
        QVERIFY2(error.empty(), error.c_str());
        view_ = std::make_unique<CDisassemblyView>(rig_.doc.get());
        view().resize(520, 12 * view().fontMetrics().lineSpacing());
        view().show();
        QVERIFY(QTest::qWaitForWindowExposed(&view()));
        run(CmdId::kBootTalker);
        answerFileDialog(kExamples + "/subroutine.s19");
        run(CmdId::kFileOpen);
        QCOMPARE(host().status(), QString("S19 record loaded successfully"));
    }

    void cleanupTestCase()
    {
        view_.reset();
        rig_.stop();
    }

    // A range typed by the user: labels on their own lines, targets by name, every instruction's
    // line known by its address; a refused range leaves the text as it was.
    void showsARangeWithNames()
    {
        QVERIFY(view().showRange("$c400", "$c41f").ok());
        QCOMPARE(view().range()->first, 0xC400u);
        QCOMPARE(view().range()->second, 0xC41Fu); // the BNE that starts at $c41e, whole
        QCOMPARE(lineText(0).trimmed(), QString("main:"));
        QVERIFY(lineText(view().lineOf(0xC40A)).contains("jsr    fill"));
        QVERIFY(lineText(view().lineOf(0xC411)).contains("bsr    fill"));
        QCOMPARE(view().lineAddress(0), std::nullopt);
        QCOMPARE(view().lineAddress(view().lineOf(0xC41A)), 0xC41Au);
        const QString before = view().toPlainText();
        QVERIFY(!view().showRange("$c41f", "$c400").ok());
        QCOMPARE(view().toPlainText(), before);
        QCOMPARE(view().range()->second, 0xC41Fu);
    }

    // A hit outside the range: the view disassembles around the PC from the symbol before it
    // and marks the PC's line; the planted breakpoint at the stop never shows as a SWI. A step
    // inside the range moves the mark without a new range.
    void followsThePc()
    {
        QVERIFY(view().showRange("$c400", "$c40f").ok());
        doc().ToggleBreakpointAt(0xC424); // "add", in checksum
        answerDialog({{1042, "$c400"}});
        run(CmdId::kExecute);
        QTRY_COMPARE_WITH_TIMEOUT(host().status(), QString("Breakpoint reached at $c424"), 10000);
        QTRY_VERIFY(view().markedLine() >= 0);
        QCOMPARE(view().range()->first, 0xC424u); // "add", the nearest symbol at or before the PC
        QVERIFY(view().range()->second >= 0xC424 + 15);
        QCOMPARE(view().markedLine(), view().lineOf(0xC424));
        QCOMPARE(lineText(view().lineOf(0xC424) - 1).trimmed(), QString("add:"));
        QVERIFY(lineText(view().markedLine()).contains("adda   $00,x"));
        QVERIFY(!lineText(view().markedLine()).contains("swi"));

        const auto range = view().range();
        run(CmdId::kStepOver);
        QCOMPARE(host().status(), QString("Trace completed at $c426"));
        QTRY_COMPARE(view().markedLine(), view().lineOf(0xC426));
        QCOMPARE(view().range(), range);
    }

    // The gutter beside the instructions: a click on an instruction's line plants a breakpoint
    // there and a second click removes it, a label's line takes none; the breakpoint's dot and the
    // stop's arrow are painted beside their own lines only.
    void gutterTogglesBreakpoints()
    {
        QVERIFY(host().session.breakpoints().empty()); // the one hit in checksum went
        const int line = view().lineOf(0xC42A);
        const int stop = view().lineOf(0xC426);
        QVERIFY(line > 0 && stop > 0);
        clickGutter(line);
        QCOMPARE(host().status(), QString("Breakpoint set at $c42a"));
        QCOMPARE(host().session.breakpoints(), std::vector<uint32_t>{0xC42A});
        QCOMPARE(doc().breakpointsWindow->entries(), QStringList{"$c42a"});
        QCOMPARE(view().breakpointLines(), QList<int>{line});
        QVERIFY(isDot(gutterColour(line)));
        QVERIFY(!view().gutterPointOf(line + 1).isNull());
        QVERIFY(!isDot(gutterColour(line + 1)));
        QCOMPARE(view().markedLine(), stop);
        const int arrowDx = view().gutter()->width() / 6;
        QVERIFY(isArrow(gutterColour(stop, arrowDx)));
        QVERIFY(!isArrow(gutterColour(line, arrowDx)));

        // The label above the stop's subroutine has no code.
        const int label = view().lineOf(0xC424) - 1;
        QCOMPARE(lineText(label).trimmed(), QString("add:"));
        clickGutter(label);
        QCOMPARE(host().session.breakpoints(), std::vector<uint32_t>{0xC42A});

        clickGutter(line);
        QCOMPARE(host().status(), QString("Breakpoint $c42a Removed"));
        QVERIFY(host().session.breakpoints().empty());
        QVERIFY(doc().breakpointsWindow->entries().isEmpty());
        QVERIFY(view().breakpointLines().isEmpty());
        QVERIFY(!isDot(gutterColour(line)));
    }

    // Breakpoints show on their lines; Toggle Breakpoint works on the cursor's line here too.
    void marksBreakpoints()
    {
        doc().ToggleBreakpointAt(0xC428);
        QTRY_COMPARE(view().breakpointLines(), QList<int>{view().lineOf(0xC428)});
        view().setTextCursor(QTextCursor(view().document()->findBlockByNumber(view().lineOf(0xC42A))));
        QCOMPARE(view().cursorAddress(), 0xC42Au);
        const auto marks = view().extraSelections();
        QVERIFY(std::any_of(marks.begin(), marks.end(), [&](const QTextEdit::ExtraSelection& s) {
            return s.cursor.blockNumber() == view().lineOf(0xC428);
        }));
        doc().ToggleBreakpointAt(0xC428);
        QTRY_VERIFY(view().breakpointLines().isEmpty());
        run(CmdId::kStopExecution);
        QTRY_COMPARE(view().markedLine(), -1);
    }

    // After a program without a listing is loaded, the Assembly View shows nothing of the
    // previous program's listing.
    void assemblyViewForgetsTheEarlierListing()
    {
        CTarvikAsmView asmView(&doc());
        answerFileDialog(kExamples + "/subroutine.s19");
        run(CmdId::kFileOpen);
        QVERIFY(asmView.toPlainText().contains("checksum"));
        QTemporaryDir folder;
        QVERIFY(QFile::copy(kExamples + "/counter.s19", folder.filePath("bare.s19")));
        answerFileDialog(folder.filePath("bare.s19"));
        run(CmdId::kFileOpen);
        QCOMPARE(host().takeBoxes().last(), QString("Unable to open LST file, S19 loaded successfully"));
        QVERIFY(doc().listingLines.isEmpty());
        QVERIFY(asmView.toPlainText().trimmed().isEmpty());
        QCOMPARE(asmView.lineOf(0xC41A), -1);
        QVERIFY(host().session.symbols().empty());
    }
};

QTEST_MAIN(DisassemblyViewTest)
#include "DisassemblyViewTest.moc"
