// The Memory Watch window on the virtual board: ranges by symbol or number, read again at every
// stop with the bytes that changed marked, edits in place written as the user's bytes (refusals
// write nothing), the talker's RAM refused, and reads while the program runs only when asked.
#include "BoardDocument.h"
#include "document/CMemoryWatchDialog.h"
#include "res/CommandIds.h"
#include <QCheckBox>
#include <QLabel>
#include <QTableWidget>

namespace {

const QString kExamples = QStringLiteral(TARVIK11_EXAMPLES_DIR);

} // namespace

class MemoryWatchTest : public QObject {
    Q_OBJECT

    BoardDocument rig_;

    TestHost& host() { return *rig_.host; }
    CTarvik11Doc& doc() { return *rig_.doc; }
    CMemoryWatchDialog& watch() { return *doc().memoryWatchWindow; }
    void run(int id) { QVERIFY2(doc().runCommand(id), qPrintable(QString::number(id))); }
    // The bytes at address as the session reads them.
    QByteArray target(uint32_t address, uint32_t count)
    {
        std::vector<uint8_t> bytes;
        const CommandResult read = host().session.readBytes(address, count, bytes);
        [&] { QVERIFY2(read.ok(), read.errorText().c_str()); }();
        return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    }
    QString cell(int row, int column) { return watch().table()->item(row, column)->text(); }

private slots:
    void initTestCase()
    {
        const std::string error = rig_.start();
        QVERIFY2(error.empty(), error.c_str());
        run(CmdId::kBootTalker);
        QCOMPARE(CTarvik11Doc::runStateText(&host().session), QString("Idle"));
        doc().LoadProgram(kExamples + "/subroutine.s19");
        QCOMPARE(host().status(), QString("S19 record loaded successfully"));
        host().boxes.clear();
    }

    void cleanupTestCase() { rig_.stop(); }

    void init() { host().boxes.clear(); }

    // Ranges typed wrongly are refused with the reason, and nothing is added.
    void badRangesAreRefused_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("says");
        QTest::newRow("empty") << "" << "give an address or symbol";
        QTest::newRow("unknown symbol") << "nosuchlabel" << "'nosuchlabel'";
        QTest::newRow("count zero") << "area 0" << "1 to 256";
        QTest::newRow("count too big") << "area #257" << "1 to 256";
        QTest::newRow("three words") << "area 4 5" << "more than an address";
    }
    void badRangesAreRefused()
    {
        QFETCH(QString, typed);
        QFETCH(QString, says);
        QVERIFY(!watch().addRange(typed));
        QCOMPARE(watch().rangeTexts(), QStringList());
        QCOMPARE(host().takeBoxes().size(), 1);
        QVERIFY2(watch().statusLabel()->text().contains(says), qPrintable(watch().statusLabel()->text()));
    }

    // A symbol's range is read when the window opens and again at every stop; the bytes the run
    // changed are marked, the rest not.
    void stopsReadAgainAndMarkChanges()
    {
        run(CmdId::kMemoryWatch);
        QVERIFY(watch().isVisible());
        QVERIFY(doc().commandState(CmdId::kMemoryWatch).checked);
        QVERIFY(watch().addRange("area #16"));
        QCOMPARE(watch().rangeTexts(), QStringList{"area #16"});
        QCOMPARE(watch().table()->rowCount(), 2);
        QVERIFY(cell(0, 0).startsWith("area  $c4"));
        const uint32_t area = *watch().watch().looks().at(0).address;
        // Known bytes before the run, so that each half's change shows.
        QVERIFY(host().session.writeBytes(area, std::vector<uint8_t>(16, 0x11)).ok());
        watch().Refresh();
        QCOMPARE(cell(0, 1), QString("11"));
        QVERIFY(watch().markedChanged(0, 1)); // written behind the watch's back since its last look
        watch().Refresh();
        QVERIFY(!watch().markedChanged(0, 1));

        QVERIFY(host().session.setBreakpoint("$c40d").ok());
        answerDialog({{1042, "$c400"}});
        run(CmdId::kExecute);
        QTRY_COMPARE_WITH_TIMEOUT(doc().stopAddress().value_or(0), 0xC40Du, 10000);
        // The first half is filled with $AA by now, the second not yet.
        QTRY_COMPARE_WITH_TIMEOUT(cell(0, 1), QString("AA"), 5000);
        for (int column = 1; column <= 8; ++column) {
            QCOMPARE(cell(0, column), QString("AA"));
            QVERIFY(watch().markedChanged(0, column));
            QCOMPARE(cell(1, column), QString("11"));
            QVERIFY(!watch().markedChanged(1, column));
        }
        // The next look marks only what changed since this one.
        watch().Refresh();
        QVERIFY(!watch().markedChanged(0, 1));
    }

    // An edit writes the byte as typed (hexadecimal unless prefixed); a refused one writes
    // nothing, keeps the byte shown and says why.
    void editsWriteOrRefuse_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("expected"); // the byte after the edit; -1: the one before
        QTest::addColumn<QString>("says");
        QTest::newRow("hex") << "7e" << 0x7E << "";
        QTest::newRow("prefixed decimal") << "#200" << 200 << "";
        QTest::newRow("binary") << "%101" << 5 << "";
        QTest::newRow("above a byte") << "1FF" << -1 << "255";
        QTest::newRow("no number") << "zz" << -1 << "zz";
        QTest::newRow("empty") << "" << -1 << "empty";
    }
    void editsWriteOrRefuse()
    {
        QFETCH(QString, typed);
        QFETCH(int, expected);
        QFETCH(QString, says);
        const uint32_t address = *watch().watch().looks().at(0).address + 9;
        QVERIFY(host().session.writeBytes(address, {0x33}).ok());
        watch().Refresh();
        QCOMPARE(cell(1, 2), QString("33"));
        const bool written = watch().editByte(1, 2, typed);
        QCOMPARE(written, expected >= 0);
        const int now = expected >= 0 ? expected : 0x33;
        QCOMPARE(target(address, 1), QByteArray(1, static_cast<char>(now)));
        QCOMPARE(cell(1, 2), QString("%1").arg(now, 2, 16, QLatin1Char('0')).toUpper());
        // A byte written through the watch is the user's news, not the program's: it is not marked.
        if (expected >= 0)
            QVERIFY(!watch().markedChanged(1, 2));
        if (expected < 0) {
            const QStringList boxes = host().takeBoxes();
            QCOMPARE(boxes.size(), 1);
            QVERIFY2(boxes[0].contains(says, Qt::CaseInsensitive), qPrintable(boxes[0]));
        } else {
            QVERIFY(host().takeBoxes().isEmpty());
        }
    }

    // A byte of the talker's RAM is refused through the watch as through Set Memory.
    void talkerRamIsRefused()
    {
        QVERIFY(watch().addRange("$0040 #8"));
        const int row = watch().table()->rowCount() - 1;
        const QByteArray before = target(0x0040, 1);
        QVERIFY(!watch().editByte(row, 1, before.toHex() == "00" ? "01" : "00"));
        QCOMPARE(target(0x0040, 1), before);
        QCOMPARE(host().takeBoxes().size(), 1);
        watch().table()->setCurrentCell(row, 0);
        watch().removeSelected();
        QCOMPARE(watch().rangeTexts(), QStringList{"area #16"});
    }

    // While the program runs the watch reads only with its box ticked.
    void readsWhileRunningOnlyWhenAsked()
    {
        doc().LoadProgram(kExamples + "/counter.s19");
        QVERIFY(watch().addRange("count 2"));
        const int row = watch().table()->rowCount() - 1;
        QVERIFY(host().session.clearBreakpoints().ok());
        answerDialog({{1042, "main"}});
        run(CmdId::kExecute);
        QCOMPARE(host().session.runState(), RunState::Running);
        const QString first = cell(row, 1) + cell(row, 2);
        QTest::qWait(3 * CMemoryWatchDialog::kRunningRefreshMs);
        QCOMPARE(cell(row, 1) + cell(row, 2), first);
        watch().whileRunningBox()->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(cell(row, 1) + cell(row, 2) != first, 5000);
        watch().whileRunningBox()->setChecked(false);
        run(CmdId::kStopExecution);
    }
};

QTEST_MAIN(MemoryWatchTest)
#include "MemoryWatchTest.moc"
