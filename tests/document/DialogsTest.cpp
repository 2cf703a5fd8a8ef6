// The command dialogs, the tool windows' fixed shape, the dump range rounding and the pieces of
// long transfers, without a target.
#include "engine/MemoryDump.h"
#include "document/ListingReader.h"
#include <QTemporaryDir>
#include <sys/stat.h>
#include "document/CBlockFillDialog.h"
#include "document/CCallSubroutineDialog.h"
#include "document/CDisplayMemoryDialog.h"
#include "document/CExecuteDialog.h"
#include "document/CFindByteDialog.h"
#include "document/CMoveMemoryDialog.h"
#include "document/CRegistersDialog.h"
#include "document/CSetBreakpointDialog.h"
#include "document/CSetMemoryDialog.h"
#include "document/CTraceDialog.h"
#include "document/CTarvik11Doc.h"
#include "res/CommandIds.h"
#include "DocTestHost.h"
#include "engine/MemoryDump.h"
#include <QGroupBox>
#include <QLabel>
#include <memory>

namespace {

struct DialogCase {
    const char* name;
    std::function<CFieldDialog*(QWidget*)> make;
    QString title;
    QList<int> ids;        // tab order
    QStringList labels;
    QList<int> limits;     // 0: none
    QString group;
};

const QList<DialogCase>& dialogCases()
{
    static const QList<DialogCase> cases = {
        {"block fill", [](QWidget* w) { return new CBlockFillDialog(w); }, "Block Fill", {1037, 1038, 1041},
         {"Start Address", "End Address", "Byte to load"}, {0, 0, 0}, ""},
        {"set memory", [](QWidget* w) { return new CSetMemoryDialog(w); }, "Set Memory Location", {1042, 1043},
         {"Address", "Value"}, {0, 0}, ""},
        {"move", [](QWidget* w) { return new CMoveMemoryDialog(w); }, "Move Memory Block", {1045, 1046, 1047},
         {"Start Address", "End Address", "Destination Address"}, {0, 0, 0}, "Source Block"},
        {"find", [](QWidget* w) { return new CFindByteDialog(w); }, "Find Byte", {1045, 1046, 1043},
         {"Start Address", "End Address", "Byte to search for"}, {17, 17, 9}, "Search Block"},
        {"execute", [](QWidget* w) { return new CExecuteDialog(w); }, "Execute At Address", {1042},
         {"Address to start execution"}, {17}, ""},
        {"call", [](QWidget* w) { return new CCallSubroutineDialog(w); }, "Execute Subroutine", {1042},
         {"Address to start execution"}, {17}, ""},
        {"breakpoint", [](QWidget* w) { return new CSetBreakpointDialog(w); }, "Set Breakpoint",
         {1042, 1070, 1071, 1072},
         {"Set breakpoint at address", "Stop only if (condition, e.g. A == $10 or [$c400] > 3)",
          "Hit count (N, ==N, >=N, >N or %N)", "Log message, then go on ({EXPR} shows a value)"},
         {17, 200, 20, 200}, ""},
        {"trace", [](QWidget* w) { return new CTraceDialog(w); }, "Trace Instruction", {1042},
         {"Trace from address"}, {0}, ""},
    };
    return cases;
}

} // namespace

class DialogsTest : public QObject {
    Q_OBJECT
private slots:
    // A listing is read line by line from regular files only; nothing else blocks or is read.
    void listingReaderTakesRegularFilesOnly()
    {
        QTemporaryDir dir;
        const QString good = dir.filePath("prog.lst");
        {
            QFile f(good);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("  1 c000 86 01   ldaa #1\r\n  2\n" + QByteArray(70000, 'x'));
        }
        QStringList lines{"kept"};
        QVERIFY(ListingReader::read(good, lines));
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[1], QString("  1 c000 86 01   ldaa #1"));
        QCOMPARE(lines[3].size(), 70000);

        const QString fifo = dir.filePath("fifo.lst");
        QCOMPARE(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
        for (const QString& path : {fifo, dir.path(), dir.filePath("missing.lst"), QString("/dev/zero")}) {
            QStringList none{"kept"};
            QVERIFY2(!ListingReader::read(path, none), qPrintable(path));
            QCOMPARE(none, QStringList{"kept"});
        }
    }
    void commandDialogs_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < dialogCases().size(); ++i)
            QTest::newRow(dialogCases()[i].name) << i;
    }
    void commandDialogs()
    {
        QFETCH(int, index);
        const DialogCase& c = dialogCases()[index];
        QWidget owner;
        std::unique_ptr<CFieldDialog> dialog(c.make(&owner));
        QCOMPARE(dialog->windowTitle(), c.title);
        QVERIFY(dialog->isModal());

        // Fields in tab order, each with its label and limit; everything starts empty.
        QWidget* w = dialog->field(c.ids[0]);
        for (int i = 0; i < c.ids.size(); ++i) {
            QLineEdit* edit = dialog->field(c.ids[i]);
            QVERIFY(edit);
            QCOMPARE(w, edit);
            QVERIFY(edit->text().isEmpty());
            QCOMPARE(edit->maxLength(), c.limits[i] ? c.limits[i] : 32767);
            QLabel* label = nullptr;
            for (QLabel* l : dialog->findChildren<QLabel*>())
                if (l->buddy() == edit)
                    label = l;
            QVERIFY(label);
            QCOMPARE(label->text(), c.labels[i]);
            w = w->nextInFocusChain();
            while (w && !qobject_cast<QLineEdit*>(w) && w != dialog.get())
                w = w->nextInFocusChain();
        }
        const auto groups = dialog->findChildren<QGroupBox*>();
        QCOMPARE(groups.size(), c.group.isEmpty() ? 0 : 1);
        if (!c.group.isEmpty())
            QCOMPARE(groups[0]->title(), c.group);

        // Typing beyond a limit is cut; Cancel keeps nothing, OK copies the texts as typed.
        const QString longText = "$123456789abcdefghij";
        for (int id : c.ids)
            QTest::keyClicks(dialog->field(id), longText);
        for (int i = 0; i < c.ids.size(); ++i)
            QCOMPARE(dialog->field(c.ids[i])->text(), c.limits[i] ? longText.left(c.limits[i]) : longText);
        dialog->reject();
        for (int i = 0; i < c.ids.size(); ++i)
            QVERIFY(dialog->text(i).isEmpty());
        dialog->accept();
        for (int i = 0; i < c.ids.size(); ++i)
            QCOMPARE(dialog->text(i), dialog->field(c.ids[i])->text());

        // A new dialog remembers nothing.
        std::unique_ptr<CFieldDialog> again(c.make(&owner));
        for (int id : c.ids)
            QVERIFY(again->field(id)->text().isEmpty());
    }

    void presetsShowTheCurrentPc()
    {
        // Through the document: Execute, Call Subroutine and Trace open with currentPC; Cancel
        // ends the command without traffic or text.
        TestHost host;
        CTarvik11Doc doc(host, "Tarvik1");
        host.engine.currentPC = 0xABC;
        host.window.statusBar()->showMessage("untouched");
        for (int id : {CmdId::kExecute, CmdId::kCallSubroutine, CmdId::kTrace}) {
            QString shown;
            answerDialog({}, false, [&](QDialog* d) { shown = d->findChild<QLineEdit*>("1042")->text(); });
            QVERIFY(doc.runCommand(id));
            QCOMPARE(shown, QString("$0abc"));
        }
        QCOMPARE(host.status(), QString("untouched"));
        QVERIFY(host.boxes.isEmpty());
    }

    void registersWindowShape()
    {
        QWidget owner;
        CRegistersDialog regs(nullptr, &owner);
        QCOMPARE(regs.windowTitle(), QString("Registers"));
        const struct {
            int id;
            const char* initial;
            int limit;
            bool readOnly;
        } fields[] = {{1027, "$00", 9, false},      {1028, "$00", 9, false},   {1029, "$0000", 17, false},
                      {1030, "$0000", 17, false},   {1031, "$0000", 9, true},  {1032, "$0000", 32767, true},
                      {1033, "%00000000", 9, true}};
        for (const auto& f : fields) {
            QLineEdit* edit = regs.field(f.id);
            QVERIFY(edit);
            QCOMPARE(edit->text(), QString(f.initial));
            QCOMPARE(edit->maxLength(), f.limit);
            QCOMPARE(edit->isReadOnly(), f.readOnly);
        }
        bool legend = false;
        for (QLabel* l : regs.findChildren<QLabel*>())
            legend |= l->text() == "(SXHI NZVC)";
        QVERIFY(legend);
        QVERIFY(regs.findChild<QPushButton*>("1034"));
        QVERIFY(regs.findChild<QPushButton*>("1035"));

        // Typing turns to upper case; Enter takes the texts and writes them (nothing to write
        // to here) and the window stays; SetShownPC shows the taken texts again with the new PC.
        regs.show();
        QTest::keyClicks(regs.field(1029), "$abcd");
        QCOMPARE(regs.field(1029)->text(), QString("$0000$ABCD").right(regs.field(1029)->text().size()));
        regs.field(1027)->setText("$7f");
        QTest::keyClick(regs.field(1027), Qt::Key_Return);
        QVERIFY(regs.isVisible());
        QCOMPARE(regs.fields().A, std::string("$7F"));
        // Fields that are shown only cannot take the focus; the condition codes are named.
        QCOMPARE(regs.field(1032)->focusPolicy(), Qt::NoFocus);
        QVERIFY(regs.findChild<QLabel*>("ccrFlags")->text().contains("<span"));
        regs.field(1028)->setText("$12");
        regs.SetShownPC(0xC010);
        QCOMPARE(regs.field(1031)->text(), QString("$C010"));
        QCOMPARE(regs.field(1028)->text(), QString("$00")); // redisplayed from the taken texts
    }

    void displayMemoryWindowShape()
    {
        QWidget owner;
        CDisplayMemoryDialog window(&owner);
        QCOMPARE(window.windowTitle(), QString("Display Memory"));
        QVERIFY(window.field(1037) && window.field(1038));
        QVERIFY(window.field(1037)->text().isEmpty());
        QCOMPARE(window.findChild<QGroupBox*>()->title(), QString("Memory Addresses"));
        auto* display = window.findChild<QPushButton*>("1");
        auto* dismiss = window.findChild<QPushButton*>("2");
        QCOMPARE(display->text(), QString("Display"));
        QCOMPARE(dismiss->text(), QString("Dismiss"));
        QVERIFY(display->isDefault());
        window.show();
        QSignalSpy asked(&window, &CDisplayMemoryDialog::dumpRequested);
        window.field(1037)->setText("$100");
        QTest::mouseClick(display, Qt::LeftButton);
        QCOMPARE(asked.size(), 1);
        QCOMPARE(window.startText(), QString("$100"));
        QTest::mouseClick(dismiss, Qt::LeftButton);
        QVERIFY(!window.isVisible());
        QCOMPARE(window.field(1037)->text(), QString("$100")); // kept between showings
    }

    void dumpRangeRounding_data()
    {
        QTest::addColumn<uint>("start");
        QTest::addColumn<uint>("end");
        QTest::addColumn<uint>("roundedStart");
        QTest::addColumn<uint>("roundedEnd");
        QTest::newRow("inside a line") << 0x0005u << 0x0015u << 0x0000u << 0x001Fu;
        QTest::newRow("one line") << 0x0100u << 0x0100u << 0x0100u << 0x010Fu;
        QTest::newRow("whole space") << 0x0000u << 0xFFFFu << 0x0000u << 0xFFFFu;
        QTest::newRow("defaulted end past the top") << 0xFFF5u << 0x10005u << 0xFFF0u << 0xFFFFu;
        QTest::newRow("reversed stays reversed") << 0x1000u << 0x0FFFu << 0x1000u << 0x0FFFu;
    }
    void dumpRangeRounding()
    {
        QFETCH(uint, start);
        QFETCH(uint, end);
        uint32_t s = start, e = end;
        MemoryDump::alignRange(s, e);
        QTEST(uint(s), "roundedStart");
        QTEST(uint(e), "roundedEnd");
    }
};

QTEST_MAIN(DialogsTest)
#include "DialogsTest.moc"
