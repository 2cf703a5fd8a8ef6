// The document's commands end to end against the virtual board at full speed: boot, load,
// memory commands, dumps, breakpoints, execution, subroutine calls and trace.
#include "document/CBreakpointsDialog.h"
#include "document/CDisplayMemoryDialog.h"
#include "document/CRegistersDialog.h"
#include "res/CommandIds.h"
#include "BoardDocument.h"
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <array>
#include <cstdio>

namespace {

const QString kExamples = QStringLiteral(TARVIK11_EXAMPLES_DIR);

// The bytes at address, read straight through the memory services.
std::vector<uint8_t> peek(TestHost& host, uint32_t address, uint32_t count)
{
    std::vector<uint8_t> bytes(count);
    if (host.memory.readBlock(address, count, bytes.data()) != 0)
        return {};
    return bytes;
}

// A dump line built independently of the display code.
QString expectedLine(uint32_t address, const std::vector<uint8_t>& bytes)
{
    QString line = QStringLiteral("$%1 - ").arg(address, 4, 16, QLatin1Char('0'));
    for (uint8_t b : bytes)
        line += QStringLiteral("%1 ").arg(b, 2, 16, QLatin1Char('0'));
    for (uint8_t b : bytes)
        line += (b >= 32 && b < 127) ? QChar(b) : QChar('.');
    return line;
}

QStringList fileLines(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList lines;
    QTextStream in(&f);
    while (!in.atEnd())
        lines << in.readLine();
    return lines;
}

} // namespace

class BoardCommandsTest : public QObject {
    Q_OBJECT

    BoardDocument rig_;
    QTemporaryDir state_; // the user's state folder (the journal of planted bytes)

    TestHost& host() { return *rig_.host; }
    CTarvik11Doc& doc() { return *rig_.doc; }
    void run(int id) { QVERIFY(doc().runCommand(id)); }
    QString field(QWidget* w, int id) { return w->findChild<QLineEdit*>(QString::number(id))->text(); }

private slots:
    void initTestCase()
    {
        QVERIFY(state_.isValid());
        qputenv("XDG_STATE_HOME", state_.path().toLocal8Bit());
        const std::string error = rig_.start();
        QVERIFY2(error.empty(), error.c_str());
        host().memory.programDelayMs = 20;

        run(CmdId::kBootTalker);
        QCOMPARE(host().takeBoxes(), QStringList({"Please press the 68HC11 RESET button..."}));
        QVERIFY(host().status().startsWith("Talker download successful (link round trip "));
        QCOMPARE(host().port.readWaitMs, 500);
        QCOMPARE(host().session.base(), kBaseHexadecimal);
    }

    void cleanupTestCase()
    {
        rig_.stop();
    }

    void init() { host().boxes.clear(); }

    void loadVerifyAndListing()
    {
        const QString s19 = kExamples + "/subroutine.s19";
        answerFileDialog(s19);
        run(CmdId::kFileOpen);
        QCOMPARE(host().takeBoxes(), QStringList());
        QCOMPARE(host().status(), QString("S19 record loaded successfully"));
        QCOMPARE(host().engine.currentPC, 0xC400u);
        QCOMPARE(doc().listingLines, fileLines(kExamples + "/subroutine.lst"));
        QCOMPARE(doc().listingShown, 1);
        QCOMPARE(host().asmViews, 1);
        QCOMPARE(peek(host(), 0xC400, 3), (std::vector<uint8_t>{0x8E, 0xDF, 0xFF}));

        // A second load reuses the Assembly View; a file without a listing beside it still loads.
        answerFileDialog(kExamples + "/loops.s19");
        run(CmdId::kFileOpen);
        QCOMPARE(host().asmViews, 1);
        QCOMPARE(doc().listingLines, fileLines(kExamples + "/loops.lst"));
        QTemporaryDir dir;
        const QString bare = dir.path() + "/program"; // no "." at all: "program.lst" is looked for
        QVERIFY(QFile::copy(s19, bare));
        answerFileDialog(bare);
        run(CmdId::kFileOpen);
        QCOMPARE(host().takeBoxes(), QStringList{"Unable to open LST file, S19 loaded successfully"});
        QCOMPARE(host().status(), QString("S19 record loaded successfully"));
        QVERIFY(QFile::copy(kExamples + "/subroutine.lst", bare + ".lst"));
        answerFileDialog(bare);
        run(CmdId::kFileOpen);
        QCOMPARE(doc().listingLines, fileLines(kExamples + "/subroutine.lst"));

        answerFileDialog(s19);
        run(CmdId::kVerifyS19);
        QCOMPARE(host().status(), QString("S19 Memory Image Verified"));
        const uint8_t changed = 0x01;
        QCOMPARE(host().memory.writeBlock(0xC405, 1, &changed), 0);
        answerFileDialog(s19);
        run(CmdId::kVerifyS19);
        QCOMPARE(host().takeBoxes(), QStringList{"S19 file does not match memory at $c405 (file $37, memory $01)"});
        // A failed load leaves the listing alone.
        const QStringList before = doc().listingLines;
        QFile broken(dir.path() + "/broken.s19");
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("S1zz\n");
        broken.close();
        answerFileDialog(broken.fileName());
        run(CmdId::kFileOpen);
        QCOMPARE(host().takeBoxes(), QStringList{"Invalid S19 file: " + broken.fileName() +
                                                 ", line 1: column 3: 'z' is not a hexadecimal digit"});
        QCOMPARE(doc().listingLines, before);
        // Cancel sends nothing and shows nothing.
        host().window.statusBar()->showMessage("untouched");
        answerFileDialog(QString());
        run(CmdId::kFileOpen);
        QCOMPARE(host().status(), QString("untouched"));
    }

    void memoryCommands()
    {
        answerDialog({{1037, "$c500"}, {1038, "$c50f"}, {1041, "$ff"}});
        run(CmdId::kBlockFill);
        QCOMPARE(host().status(), QString("Block Fill successful"));
        QCOMPARE(peek(host(), 0xC4FF, 18), (std::vector<uint8_t>{peek(host(), 0xC4FF, 1)[0], 0xFF, 0xFF, 0xFF, 0xFF,
                                                                  0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                                  0xFF, 0xFF, 0xFF, 0xFF, peek(host(), 0xC510, 1)[0]}));
        // Start equal to end fills one byte.
        answerDialog({{1037, "$c520"}, {1038, "$c520"}, {1041, "7"}});
        run(CmdId::kBlockFill);
        QCOMPARE(peek(host(), 0xC520, 1), std::vector<uint8_t>{7});

        const std::pair<const char*, uint8_t> sets[] = {{"$c510", 0x41}, {"$c511", 0x00}, {"$c512", 0x7E}, {"$c513", 0x7F}};
        for (const auto& [address, value] : sets) {
            answerDialog({{1042, address}, {1043, QString("$%1").arg(value, 2, 16, QLatin1Char('0'))}});
            run(CmdId::kSetMemory);
            QCOMPARE(host().status(), QString("Memory set successful"));
        }
        QCOMPARE(peek(host(), 0xC510, 4), (std::vector<uint8_t>{0x41, 0x00, 0x7E, 0x7F}));

        answerDialog({{1045, "$c500"}, {1046, "$c513"}, {1047, "$c600"}});
        run(CmdId::kMoveMemory);
        QCOMPARE(host().status(), QString("Memory move successful."));
        QCOMPARE(peek(host(), 0xC600, 20), peek(host(), 0xC500, 20));

        answerDialog({{1045, "$c500"}, {1046, "$c5ff"}, {1043, "$41"}});
        run(CmdId::kFindByte);
        QCOMPARE(host().status(), QString("Value 41 found at location $c510"));
        answerDialog({{1045, "$c500"}, {1046, "$c50f"}, {1043, "$42"}});
        run(CmdId::kFindByte);
        QCOMPARE(host().takeBoxes(), QStringList{"The search byte was not found in the range"});

        // EEPROM: erased and programmed through the memory services.
        answerDialog({{1042, "$b610"}, {1043, "$5a"}});
        run(CmdId::kSetMemory);
        QCOMPARE(host().takeBoxes(), QStringList());
        QCOMPARE(host().status(), QString("Memory set successful"));
        QCOMPARE(peek(host(), 0xB610, 1), std::vector<uint8_t>{0x5A});
        answerDialog({{1037, "$b600"}, {1038, "$b63f"}, {1041, "$c3"}});
        run(CmdId::kBlockFill);
        QCOMPARE(host().status(), QString("Block Fill successful"));
        QCOMPARE(peek(host(), 0xB600, 64), std::vector<uint8_t>(64, 0xC3));
    }

    void reversedRangesAreRefused_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<Typed>("typed");
        QTest::newRow("fill") << CmdId::kBlockFill << Typed{{1037, "$c601"}, {1038, "$c600"}, {1041, "0"}};
        QTest::newRow("find") << CmdId::kFindByte << Typed{{1045, "$c601"}, {1046, "$c600"}, {1043, "0"}};
        QTest::newRow("move") << CmdId::kMoveMemory << Typed{{1045, "$c601"}, {1046, "$c600"}, {1047, "$c700"}};
    }
    void reversedRangesAreRefused()
    {
        QFETCH(int, command);
        QFETCH(Typed, typed);
        const auto before = peek(host(), 0xC600, 0x200);
        host().window.statusBar()->showMessage("untouched");
        answerDialog(typed);
        run(command);
        QCOMPARE(host().takeBoxes(), QStringList{"Start Address cannot be greater than End Address"});
        QCOMPARE(host().status(), QString("untouched"));
        QCOMPARE(peek(host(), 0xC600, 0x200), before);
    }

    // A value that does not fit its field is refused by name and range; nothing is written.
    void valuesOutOfRangeAreRefused_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<Typed>("typed");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("set") << CmdId::kSetMemory << Typed{{1042, "$c600"}, {1043, "#300"}}
                             << "Error: the value '#300' is out of range: it takes 0-255 ($00-$ff)";
        QTest::newRow("fill") << CmdId::kBlockFill << Typed{{1037, "$c600"}, {1038, "$c6ff"}, {1041, "$177"}}
                              << "Error: the byte '$177' is out of range: it takes 0-255 ($00-$ff)";
        QTest::newRow("find") << CmdId::kFindByte << Typed{{1045, "$c600"}, {1046, "$c7ff"}, {1043, "$139"}}
                              << "Error: the byte '$139' is out of range: it takes 0-255 ($00-$ff)";
        QTest::newRow("set, empty address") << CmdId::kSetMemory << Typed{{1042, ""}, {1043, "1"}}
                                            << "Error: the address is empty; it takes 0-65535 ($0000-$ffff)";
    }
    void valuesOutOfRangeAreRefused()
    {
        QFETCH(int, command);
        QFETCH(Typed, typed);
        QFETCH(QString, refusal);
        const auto before = peek(host(), 0xC600, 0x200);
        host().window.statusBar()->showMessage("untouched");
        answerDialog(typed);
        run(command);
        QCOMPARE(host().takeBoxes(), QStringList{refusal});
        QCOMPARE(host().status(), QString("untouched"));
        QCOMPARE(peek(host(), 0xC600, 0x200), before);
    }

    void moveRunningPastTheTopIsRefused()
    {
        answerDialog({{1045, "$c500"}, {1046, "$c5ff"}, {1047, "$ff80"}});
        run(CmdId::kMoveMemory);
        QCOMPARE(host().takeBoxes(), QStringList{"Destination block $ff80 of 256 bytes runs past $ffff"});
    }

    void dumps()
    {
        CDisplayMemoryDialog* window = doc().displayMemoryWindow;
        doc().memoryLines.clear();
        QSignalSpy appended(&doc(), &CTarvik11Doc::memoryLinesAppended);
        window->field(1037)->setText("$c505");
        window->field(1038)->clear();
        window->DumpMemory();
        QCOMPARE(host().status(), QString("Memory dump successful"));
        QCOMPARE(window->field(1037)->text(), QString("$c500"));
        QCOMPARE(window->field(1038)->text(), QString("$c51f"));
        const QStringList first = {"       .00.01.02.03.04.05.06.07.08.09.0A.0B.0C.0D.0E.0F\n",
                                   expectedLine(0xC500, peek(host(), 0xC500, 16)),
                                   expectedLine(0xC510, peek(host(), 0xC510, 16))};
        QCOMPARE(doc().memoryLines, first);
        QVERIFY(doc().memoryLines[2].startsWith("$c510 - 41 00 7e 7f "));
        QVERIFY(doc().memoryLines[2].mid(56, 4) == "A.~.");
        QCOMPARE(doc().memoryLines[1].size(), 72);
        QCOMPARE(doc().lastDumpLines, 4);
        QCOMPARE(appended.size(), 1);
        QCOMPARE(appended[0][0].toInt(), 0);

        // A second dump goes below the first; Enter in the window is Display.
        doc().runCommand(CmdId::kMemoryDisplay);
        QVERIFY(window->isVisible());
        window->field(1037)->setText("$c600");
        window->field(1038)->setText("$c6ff");
        QTest::keyClick(window->field(1038), Qt::Key_Return);
        QCOMPARE(doc().memoryLines.size(), 3 + 1 + 16);
        QCOMPARE(doc().memoryLines.mid(0, 3), first);
        QCOMPARE(doc().memoryLines[3], first[0]);
        QCOMPARE(doc().memoryLines.last(), expectedLine(0xC6F0, peek(host(), 0xC6F0, 16)));
        doc().runCommand(CmdId::kMemoryDisplay);
        QVERIFY(!window->isVisible());
        QCOMPARE(doc().lastDumpLines, 18);
        QCOMPARE(appended.last()[0].toInt(), 3);

        // Out of order after rounding: refused, nothing read or appended.
        window->field(1037)->setText("$1000");
        window->field(1038)->setText("$0fff");
        window->DumpMemory();
        QCOMPARE(host().takeBoxes(), QStringList{"Ending Address must be larger than the Starting Address"});
        QCOMPARE(window->field(1038)->text(), QString("$0fff"));
        QCOMPARE(doc().memoryLines.size(), 20);
        // A defaulted end past $ffff ends the dump at the top of memory.
        window->field(1037)->setText("$fff5");
        window->field(1038)->setText("");
        window->DumpMemory();
        QCOMPARE(host().takeBoxes(), QStringList());
        QCOMPARE(window->field(1038)->text(), QString("$ffff"));
        QCOMPARE(doc().memoryLines.last(), expectedLine(0xFFF0, peek(host(), 0xFFF0, 16)));
    }

    void wholeAddressSpaceDump()
    {
        doc().memoryLines.clear();
        CDisplayMemoryDialog* window = doc().displayMemoryWindow;
        window->setRangeTexts("$0000", "$ffff");
        window->DumpMemory();
        QCOMPARE(host().takeBoxes(), QStringList());
        QCOMPARE(doc().memoryLines.size(), 1 + 4096);
        QCOMPARE(doc().lastDumpLines, 4098);
        QCOMPARE(doc().memoryLines.last().left(8), QString("$fff0 - "));
        QCOMPARE(doc().memoryLines[1 + 0xC51], expectedLine(0xC510, peek(host(), 0xC510, 16)));
    }

    void aSecondCommandWaitsForTheLine()
    {
        // While a long dump pumps events between its pieces, a command picked by the user is
        // refused instead of talking over the dump; the poll stays off too.
        CDisplayMemoryDialog* window = doc().displayMemoryWindow;
        window->setRangeTexts("$c000", "$c7ff");
        bool refused = false;
        QTimer::singleShot(0, [&] {
            QVERIFY(host().line.busy());
            QVERIFY(!host().line.watching());
            doc().runCommand(CmdId::kContinueTrace);
            refused = host().status() == "Another command is still talking to the target";
        });
        const auto polls = host().line.pollCount();
        doc().memoryLines.clear();
        window->DumpMemory();
        QVERIFY(refused);
        QCOMPARE(host().line.pollCount(), polls);
        QCOMPARE(host().status(), QString("Memory dump successful"));
        QCOMPARE(doc().memoryLines.size(), 1 + 128);
        QVERIFY(!host().line.busy());
    }

    void breakpointsAndExecution()
    {
        answerFileDialog(kExamples + "/subroutine.s19");
        run(CmdId::kFileOpen);
        CBreakpointsDialog* list = doc().breakpointsWindow;
        list->clearAll();
        for (const char* address : {"$c416", "$c40d", "$c416"}) {
            answerDialog({{1042, address}});
            run(CmdId::kSetBreakpoint);
        }
        QCOMPARE(host().takeBoxes(), QStringList{"Breakpoint set at location"});
        QCOMPARE(list->entries(), QStringList({"$c40d", "$c416"}));

        // Execute from the preset current PC; the poll reports the hit.
        QString preset;
        answerDialog({}, true, [&](QDialog* d) { preset = field(d, 1042); });
        run(CmdId::kExecute);
        QCOMPARE(preset, QString("$c400"));
        QCOMPARE(host().status(), QString("Executing program"));
        QVERIFY(host().line.watching());
        QTRY_COMPARE_WITH_TIMEOUT(host().status(), QString("Breakpoint reached at $c40d"), 10000);
        CRegistersDialog* regs = doc().registersWindow;
        QCOMPARE(regs->fields().PC, std::string("$c40d"));
        QCOMPARE(regs->fields().A, std::string("$aa"));
        QCOMPARE(regs->fields().SP, std::string("$dfff"));
        QCOMPARE(list->entries(), QStringList{"$c416"});
        QCOMPARE(host().engine.currentPC, 0xC40Du); // the next run starts where it stopped

        answerDialog({{1042, "$c40d"}});
        run(CmdId::kExecute);
        QTRY_COMPARE_WITH_TIMEOUT(host().status(), QString("Breakpoint reached at $c416"), 10000);
        QVERIFY(list->entries().isEmpty());
        QCOMPARE(regs->fields().A, std::string("$55"));
        QVERIFY(!host().line.watching());

        // Stop returns the target to the talker.
        run(CmdId::kStopExecution);
        QCOMPARE(host().takeBoxes(), QStringList());
        QCOMPARE(host().status(), QString("Execution stopped"));
    }

    void clearingBreakpoints()
    {
        CBreakpointsDialog* list = doc().breakpointsWindow;
        for (const char* address : {"$c406", "$c40a", "$c411"}) {
            answerDialog({{1042, address}});
            run(CmdId::kSetBreakpoint);
        }
        QVERIFY(!doc().commandState(CmdId::kClearBreakpoint).enabled);
        QVERIFY(!doc().runCommand(CmdId::kClearBreakpoint)); // nothing selected: refused
        QCOMPARE(list->entries(), QStringList({"$c406", "$c40a", "$c411"}));
        list->list()->setCurrentRow(0);
        QVERIFY(doc().commandState(CmdId::kClearBreakpoint).enabled);
        run(CmdId::kClearBreakpoint);
        QCOMPARE(host().status(), QString("Breakpoint $c406 Removed"));
        QCOMPARE(list->entries(), QStringList({"$c40a", "$c411"}));

        run(CmdId::kClearAllBreakpoints);
        QCOMPARE(host().status(), QString("Breakpoint list cleared"));
        QVERIFY(list->entries().isEmpty());
        std::array<uint32_t, DebugEngine::kBreakpointCount> table{};
        QCOMPARE(host().engine.listBreakpoints(table), uint8_t(0));
        QCOMPARE(peek(host(), 0xC40A, 1), std::vector<uint8_t>{0xBD}); // the program's own byte
    }

    // Set Breakpoint takes a condition, a hit count and a log message: a rule that is no rule is
    // refused and sets nothing; a logpoint writes its lines to the Memory View and goes on; the
    // Breakpoints window shows each rule with its count.
    void breakpointRulesFromTheDialog()
    {
        CBreakpointsDialog* list = doc().breakpointsWindow;
        list->clearAll();
        std::array<uint32_t, DebugEngine::kBreakpointCount> table{};
        const Typed refused[] = {
            {{1042, "$c41a"}, {1070, "B =="}},
            {{1042, "$c41a"}, {1071, "often"}},
            {{1042, "$c41a"}, {1072, "X={X +}"}},
            {{1042, "$c41a"}, {1070, "nosuch > 1"}},
        };
        for (const auto& typed : refused) {
            answerDialog(typed);
            run(CmdId::kSetBreakpoint);
            const QStringList boxes = host().takeBoxes();
            QCOMPARE(boxes.size(), 1);
            QVERIFY2(boxes[0].startsWith("The breakpoint at $c41a was not set: "), qPrintable(boxes[0]));
            QVERIFY(list->entries().isEmpty());
            QCOMPARE(host().engine.listBreakpoints(table), uint8_t(0));
        }
        // fill's "staa" sees B = 8, 7, ... for the first half; its "inx" logs X each round.
        answerDialog({{1042, "$c41a"}, {1070, "B == 3"}});
        run(CmdId::kSetBreakpoint);
        answerDialog({{1042, "$c41c"}, {1072, "X={X}"}});
        run(CmdId::kSetBreakpoint);
        QCOMPARE(list->entries(), QStringList({"$c41a  if B == 3 (hit 0 times)", "$c41c  log \"X={X}\" (hit 0 times)"}));
        doc().memoryLines.clear();
        answerDialog({{1042, "$c400"}});
        run(CmdId::kExecute);
        QTRY_COMPARE_WITH_TIMEOUT(host().status(), QString("Breakpoint reached at $c41a"), 10000);
        QCOMPARE(QString::fromStdString(doc().registersWindow->fields().B), QString("$03"));
        QCOMPARE(doc().memoryLines, QStringList({"X=$c437", "X=$c438", "X=$c439", "X=$c43a", "X=$c43b"}));
        // The stop was one-shot (the setting's default); the logpoint stays with its count.
        QCOMPARE(list->entries(), QStringList({"$c41c  log \"X={X}\" (hit 5 times)"}));
        run(CmdId::kStopExecution);
        run(CmdId::kClearAllBreakpoints);
        QVERIFY(list->entries().isEmpty());
    }

    void callSubroutine()
    {
        QCOMPARE(host().memory.fill(0xC437, 16, 0x99), 0);
        answerDialog({{1042, "$c42b"}});
        run(CmdId::kCallSubroutine);
        QCOMPARE(host().status(), QString("Calling Subroutine"));
        QTRY_COMPARE_WITH_TIMEOUT(peek(host(), 0xC437, 16), std::vector<uint8_t>(16, 0), 10000);
        // The subroutine returned into the talker, which still answers: the run state says Idle.
        QVERIFY(!peek(host(), 0xC400, 1).empty());
        QTRY_COMPARE_WITH_TIMEOUT(CTarvik11Doc::runStateText(&host().session), QString("Idle"), 5000);
        QVERIFY(doc().commandState(CmdId::kStepOver).enabled);
    }

    void traceFollowsTheProgram()
    {
        host().engine.currentPC = 0xC400;
        QString preset;
        answerDialog({}, true, [&](QDialog* d) { preset = field(d, 1042); });
        run(CmdId::kTrace);
        QCOMPARE(preset, QString("$c400"));
        QCOMPARE(host().takeBoxes(), QStringList());
        QCOMPARE(host().status(), QString("Trace completed at $c403"));
        CRegistersDialog* regs = doc().registersWindow;
        QCOMPARE(regs->fields().PC, std::string("$c403"));
        QCOMPARE(regs->fields().SP, std::string("$dfff"));
        run(CmdId::kContinueTrace);
        QCOMPARE(host().status(), QString("Trace completed at $c406"));
        QCOMPARE(regs->fields().X, std::string("$c437"));
        run(CmdId::kContinueTrace);
        run(CmdId::kContinueTrace);
        run(CmdId::kContinueTrace); // jsr fill
        QCOMPARE(host().status(), QString("Trace completed at $c41a"));
        QCOMPARE(regs->fields().A, std::string("$aa"));
    }

    void registersWindowReadsAndWrites()
    {
        CRegistersDialog* regs = doc().registersWindow;
        regs->ReadRegs();
        QLineEdit* a = regs->field(CRegistersDialog::kAId);
        a->selectAll();
        QTest::keyClicks(a, "$1ff");
        QCOMPARE(a->text(), QString("$1FF"));
        const uint32_t sp = host().session.lastRegisters().SP;
        const uint8_t aBefore = host().session.lastRegisters().A;
        // A = $1FF does not fit: refused, nothing written.
        QTest::mouseClick(regs->findChild<QPushButton*>("1035"), Qt::LeftButton);
        QCOMPARE(host().takeBoxes(),
                 QStringList{"Error: the Accumulator A '$1FF' is out of range: it takes 0-255 ($00-$ff)"});
        QVERIFY(host().session.readRegisters().ok());
        QCOMPARE(host().session.lastRegisters().A, aBefore);
        a->selectAll();
        QTest::keyClicks(a, "$ff");
        regs->field(CRegistersDialog::kSPId)->setText("$1234"); // not taken back
        QTest::mouseClick(regs->findChild<QPushButton*>("1035"), Qt::LeftButton);
        QCOMPARE(host().takeBoxes(), QStringList());
        QVERIFY(host().session.readRegisters().ok());
        QCOMPARE(host().session.lastRegisters().A, uint8_t(0xFF));
        QCOMPARE(host().session.lastRegisters().SP, sp);
        QTest::mouseClick(regs->findChild<QPushButton*>("1034"), Qt::LeftButton);
        QCOMPARE(regs->fields().A, std::string("$ff"));
        // Shown in upper case, like everything in the window.
        QCOMPARE(regs->field(CRegistersDialog::kSPId)->text(),
                 QString("$%1").arg(sp + 8, 4, 16, QLatin1Char('0')).toUpper());
        QCOMPARE(regs->field(CRegistersDialog::kCCRId)->text().size(), 9);
    }

    // The setup's faster-line choice reaches the start-up; cleared, the line stays at 9600 baud.
    void fasterLineChoiceReachesTheBoot_data()
    {
        QTest::addColumn<bool>("fast");
        QTest::newRow("cleared") << false;
        QTest::newRow("set") << true; // last: the line is left as the other cases had it
    }
    void fasterLineChoiceReachesTheBoot()
    {
        QFETCH(bool, fast);
        host().settings.fastLine = fast;
        host().engine.fastLine = !fast;
        run(CmdId::kBootTalker);
        QCOMPARE(host().takeBoxes(), QStringList({"Please press the 68HC11 RESET button..."}));
        QCOMPARE(host().engine.fastLine, fast);
        if (!fast)
            QCOMPARE(host().port.baudRate(), 9600);
        QVERIFY(host().session.readRegisters().ok());
    }

    // A session whose board was reset under a running program leaves its breakpoint's SWI in the
    // program; the next session's boot asks once, naming the address and its own byte: Yes writes
    // the byte back, No forgets it (the SWI stays and is not asked about again).
    void leftBehindSwisAreOfferedAfterTheBoot_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("no") << false;
        QTest::newRow("yes") << true;
    }
    void leftBehindSwisAreOfferedAfterTheBoot()
    {
        QFETCH(bool, yes);
        answerFileDialog(kExamples + "/counter.s19");
        run(CmdId::kFileOpen);
        const uint8_t own = peek(host(), 0xCC03, 1).at(0);
        QVERIFY(own != DebugEngine::kSwiOpcode);
        doc().breakpointsWindow->clearAll();
        answerDialog({{1042, "$cc03"}});
        run(CmdId::kSetBreakpoint);
        answerDialog({{1042, "$cc0a"}});
        run(CmdId::kExecute);
        QCOMPARE(host().status(), QString("Executing program"));
        rig_.board->pressReset(); // nothing can be written back when this session goes away
        rig_.reopen();

        host().answerYes = yes;
        run(CmdId::kBootTalker);
        QVERIFY2(host().status().startsWith(yes ? "Bytes an earlier session left planted written back"
                                                : "Talker download successful"),
                 qPrintable(host().status()));
        const QString named = QString::asprintf("$cc03 (its own byte $%02x)", unsigned{own});
        QCOMPARE(host().questions.size(), 1);
        QVERIFY2(host().questions[0].contains(named), qPrintable(host().questions[0]));
        // The question replaces the boot's note: no box names the bytes a second time.
        for (const QString& box : host().takeBoxes())
            QVERIFY2(!box.contains(named), qPrintable(box));
        QVERIFY(host().session.leftBehind().empty());
        QCOMPARE(peek(host(), 0xCC03, 1), std::vector<uint8_t>{yes ? own : DebugEngine::kSwiOpcode});

        // Whichever the answer, the next boot asks nothing.
        run(CmdId::kBootTalker);
        QCOMPARE(host().questions.size(), 1);
        if (!yes) { // the program as it was for the other rows
            QCOMPARE(host().memory.writeBlock(0xCC03, 1, &own), 0);
        }
    }
};

QTEST_MAIN(BoardCommandsTest)
#include "BoardCommandsTest.moc"
