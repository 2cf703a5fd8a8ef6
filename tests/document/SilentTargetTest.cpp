// Every target command against a line on which nobody answers: each reports its failure text,
// and a closed port gives "Communications port is not open".
#include "document/CBreakpointsDialog.h"
#include "document/CDisplayMemoryDialog.h"
#include "document/CRegistersDialog.h"
#include "engine/CommandTexts.h"
#include "res/CommandIds.h"
#include "DocTestHost.h"
#include "PtyPair.h"
#include <QTemporaryFile>
#include <thread>

class SilentTargetTest : public QObject {
    Q_OBJECT

    // A one-record program for the S19 commands.
    QString program()
    {
        static QTemporaryFile file(QDir::tempPath() + "/silentXXXXXX.s19");
        if (!file.isOpen()) {
            file.open();
            file.write("S104C000013A\nS903C0003C\n");
            file.flush();
        }
        return file.fileName();
    }

private slots:
    void commandsReportTheirFailure_data()
    {
        QTest::addColumn<bool>("open");
        QTest::addColumn<QString>("expected");
        QTest::newRow("silent line") << true << QString("Talker did not respond");
        QTest::newRow("closed port") << false << QString("Communications port is not open");
    }
    void commandsReportTheirFailure()
    {
        QFETCH(bool, open);
        QFETCH(QString, expected);
        PtyPair pty;
        QVERIFY(pty.valid());
        TestHost host;
        host.port.readWaitMs = 20;
        if (open)
            QCOMPARE(host.link.openPort(pty.modeText()), 0);
        CTarvik11Doc doc(host, "Tarvik1");

        struct Case {
            int command;
            Typed typed;
            bool file;
        };
        const Case cases[] = {
            {CmdId::kExecute, {}, false},
            {CmdId::kCallSubroutine, {{1042, "$c000"}}, false},
            {CmdId::kFindByte, {{1045, "$c000"}, {1046, "$c0ff"}, {1043, "1"}}, false},
            {CmdId::kMoveMemory, {{1045, "$c000"}, {1046, "$c0ff"}, {1047, "$d000"}}, false},
            {CmdId::kBlockFill, {{1037, "$c000"}, {1038, "$c0ff"}, {1041, "1"}}, false},
            {CmdId::kSetMemory, {{1042, "$c000"}, {1043, "1"}}, false},
            {CmdId::kSetBreakpoint, {{1042, "$c000"}}, false},
            {CmdId::kTrace, {{1042, "$c000"}}, false},
            {CmdId::kContinueTrace, {}, false},
            {CmdId::kVerifyS19, {}, true},
            {CmdId::kFileOpen, {}, true},
        };
        for (const Case& c : cases) {
            host.boxes.clear();
            if (c.file)
                answerFileDialog(program());
            else if (c.command != CmdId::kContinueTrace)
                answerDialog(c.typed);
            QVERIFY(doc.runCommand(c.command));
            QVERIFY2(host.boxes == QStringList{expected},
                     qPrintable(QString::number(c.command) + ": " + host.boxes.join('|')));
            QVERIFY(!host.line.busy());
        }
        // Without a started talker no program runs: Stop is not offered and sends nothing.
        host.boxes.clear();
        QVERIFY(!doc.commandState(CmdId::kStopExecution).enabled);
        QVERIFY(!doc.runCommand(CmdId::kStopExecution));
        QVERIFY(host.boxes.isEmpty());
        QVERIFY(doc.breakpointsWindow->entries().isEmpty()); // added only after a successful set
        QVERIFY(doc.listingLines.isEmpty());

        // The dump appends nothing; the Registers window keeps its texts.
        host.boxes.clear();
        doc.displayMemoryWindow->setRangeTexts("$c000", "");
        doc.displayMemoryWindow->DumpMemory();
        QCOMPARE(host.boxes, QStringList{expected});
        QVERIFY(doc.memoryLines.isEmpty());

        CRegistersDialog* regs = doc.registersWindow;
        regs->SetShownPC(0xC123);
        host.boxes.clear();
        QTest::mouseClick(regs->findChild<QPushButton*>("1034"), Qt::LeftButton);
        QTest::mouseClick(regs->findChild<QPushButton*>("1035"), Qt::LeftButton);
        QCOMPARE(host.boxes, QStringList({"Register Read Failed!", "Error while writing registers"}));
        QCOMPARE(regs->fields().PC, std::string("$C123")); // as the window shows it
        QCOMPARE(regs->fields().A, std::string("$00"));
    }

    void breakpointPollIgnoresOtherBytesAndHandlesAHit()
    {
        // The talker's side is played on the pty's master: a stray byte is dropped, a "J" is
        // confirmed and handled by the document.
        PtyPair pty;
        TestHost host;
        host.port.readWaitMs = 200;
        QCOMPARE(host.link.openPort(pty.modeText()), 0);
        CTarvik11Doc doc(host, "Tarvik1");
        host.engine.breakpoints[0] = {0xC010, 0x86, true};
        host.engine.breakpoints[1] = {0xC020, 0x01, false}; // set after the run started
        host.engine.running = 1;
        doc.breakpointsWindow->addAddress(0xC010);
        doc.breakpointsWindow->addAddress(0xC020);
        host.line.rearm();
        QVERIFY(host.line.watching());

        QVERIFY(pty.write({0x55}));
        QTRY_VERIFY(host.line.pollCount() >= 1);
        QCOMPARE(host.engine.running, 1);

        // The talker's part, played on another thread while the user-interface thread polls:
        // "J"; the $B5 reply (the address after the SWI, then the registers); a look at the SWI, the write of
        // the saved byte with its read-back. The Registers window shows the registers the $B5 reply
        // carried, without another read.
        std::vector<uint8_t> heard;
        std::thread talker([&] {
            auto expect = [&](size_t n) {
                auto bytes = pty.readBytes(n, 3000);
                heard.insert(heard.end(), bytes.begin(), bytes.end());
            };
            pty.write({'J'});
            expect(1);
            pty.write({0x4A, 0xC0, 0x11, 0x00, 0xF0, 0xD0, 0x02, 0x01, 0x12, 0x34, 0x56, 0x78, 0x00, 0x00});
            expect(1); // our SWI is looked at before its byte goes back
            pty.write({0xFE});
            expect(3);
            pty.write({0x3F});
            expect(1);
            pty.write({0xBE});
            expect(4);
            expect(1);
            pty.write({0xFE});
            expect(3);
            pty.write({0x86});
        });
        QTRY_COMPARE(host.status(), QString("Breakpoint reached at $c010"));
        QCOMPARE(doc.breakpointsWindow->entries(), QStringList{"$c020"});
        QCOMPARE(doc.registersWindow->fields().PC, std::string("$c010"));
        QCOMPARE(doc.registersWindow->fields().CCR, std::string("%11010000"));
        QCOMPARE(doc.registersWindow->fields().SP, std::string("$00f8"));
        talker.join();
        QCOMPARE(heard, (std::vector<uint8_t>{0xB5, 0x01, 0x01, 0xC0, 0x10, 0x41, 0x01, 0xC0, 0x10, 0x86, 0x01, 0x01,
                                              0xC0, 0x10}));
        QCOMPARE(host.engine.running, 0);
        QVERIFY(!host.line.watching());
    }

    void aLineThatHangsUpWhileRunningIsReportedOnce()
    {
        PtyPair pty;
        TestHost host;
        QCOMPARE(host.link.openPort(pty.modeText()), 0);
        CTarvik11Doc doc(host, "Tarvik1");
        host.engine.running = 1;
        host.line.rearm();
        QVERIFY(host.line.watching());

        pty.closeMaster(); // the board is gone
        // The box says what happened, in the words the command line uses.
        QTRY_COMPARE(host.boxes, QStringList{QString::fromUtf8(CommandText::kLineGone)});
        QVERIFY(!host.line.watching());
        QTest::qWait(50);
        QCOMPARE(host.boxes.size(), 1);
    }
};

QTEST_MAIN(SilentTargetTest)
#include "SilentTargetTest.moc"
