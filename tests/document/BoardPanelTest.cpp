// The Board panel in the whole application on its virtual board: offered in the View menu, it
// polls only while shown, lights the port pins a program drives, and what the user flips or
// slides reaches the chip's registers as the program reads them. With TARVIK11_SCREENSHOT set to
// a file name, the panel is saved there.
#include "app/CBoardPanel.h"
#include "app/CMainFrame.h"
#include "app/CTarvik11App.h"
#include "res/CommandIds.h"
#include "session/DebugSession.h"
#include <QComboBox>
#include <QDockWidget>
#include <QMessageBox>
#include <QDoubleSpinBox>
#include <QSettings>
#include <QSlider>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>
#include <thread>

class BoardPanelTest : public QObject {
    Q_OBJECT

    CMainFrame* frame() { return CTarvik11App::instance()->mainFrame(); }
    DebugSession& session() { return CTarvik11App::instance()->session(); }
    CBoardPanel* panel() { return frame()->boardPanel(); }
    QAction* action() { return frame()->action(CmdId::kBoardPanel); }
    bool lit(const char* pin) { return panel()->pinButton(pin)->property("high").toBool(); }
    // The register at address as the program reads it (through the talker).
    int chipReads(uint32_t address)
    {
        std::vector<uint8_t> bytes;
        const CommandResult r = session().readBytes(address, 1, bytes);
        return r.ok() && bytes.size() == 1 ? bytes[0] : -1;
    }

private slots:
    void panelOnTheVirtualBoard()
    {
        CTarvik11App* app = CTarvik11App::instance();
        QVERIFY(app->InitInstance({"tarvik11", "--virtual-board", "-Embedding"}));
        QVERIFY(QTest::qWaitForWindowExposed(frame()));
        frame()->updateCommandStates();
        QVERIFY(action()->isEnabled());
        QVERIFY(!action()->isChecked());
        QVERIFY(!panel()->polling());

        action()->trigger();
        QDockWidget* dock = CMainFrame::dockOf(panel());
        QVERIFY(dock && dock->isVisible());
        QVERIFY(action()->isChecked());
        QVERIFY(panel()->polling());

        // The boot's RESET message is answered as soon as it shows.
        QTimer answer;
        connect(&answer, &QTimer::timeout, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                box->accept();
        });
        answer.start(5);
        std::this_thread::sleep_for(std::chrono::milliseconds(50)); // the loader listens after a moment
        BootSettings boot;
        boot.port = session().boardDevice();
        boot.talkerFile = TARVIK11_TALKER_FILE;
        boot.chipMode = ChipMode::SpecialTest;
        boot.readWaitMs = 500;
        const CommandResult booted = session().boot(boot);
        QVERIFY2(booted.ok(), booted.errorText().c_str());

        // The program drives PA6 and PA4 high: their LEDs light with the next poll.
        QVERIFY(session().setMemory("$1000", "$50").ok());
        QTRY_VERIFY(lit("PA6") && lit("PA4"));
        QVERIFY(!lit("PA5") && !lit("PA3"));
        struct PinLook {
            const char* pin;
            bool clickable;
            const char* direction;
        };
        for (const PinLook& p : {PinLook{"PA0", true, "in"}, PinLook{"PA2", true, "in"}, PinLook{"PA3", false, "out"},
                                 PinLook{"PA6", false, "out"}, PinLook{"PA7", true, "in"}, PinLook{"IRQ", true, "in"},
                                 PinLook{"XIRQ", true, "in"}}) {
            QToolButton* button = panel()->pinButton(p.pin);
            QVERIFY2(button, p.pin);
            QCOMPARE(button->isEnabled(), p.clickable);
            QVERIFY2(button->text().endsWith(p.direction), p.pin);
        }

        // Clicked inputs go high and the program reads them.
        QTest::mouseClick(panel()->pinButton("PA0"), Qt::LeftButton);
        QTest::mouseClick(panel()->pinButton("PA7"), Qt::LeftButton);
        QVERIFY(lit("PA0") && lit("PA7"));
        QCOMPARE(chipReads(0x1000), 0xD1);
        QTest::mouseClick(panel()->pinButton("PA0"), Qt::LeftButton);
        QCOMPARE(chipReads(0x1000), 0xD0);
        QVERIFY(!lit("PA0"));

        // An analog input set with its slider, then typed in volts; PORTE reads it as a level.
        panel()->analogSlider(2)->setValue(200);
        QCOMPARE(chipReads(0x100A), 0x04);
        QCOMPARE(session().boardPins().state().analog[2], 200);
        panel()->findChild<QComboBox*>("units")->setCurrentIndex(1);
        QCOMPARE(panel()->analogValue(2)->value(), 3.92);
        panel()->analogValue(2)->setValue(1.0);
        QCOMPARE(panel()->analogSlider(2)->value(), 51);
        QCOMPARE(session().boardPins().state().analog[2], 51);
        QCOMPARE(chipReads(0x100A), 0x00);

        const QString shot = qEnvironmentVariable("TARVIK11_SCREENSHOT");
        if (!shot.isEmpty()) {
            panel()->analogSlider(5)->setValue(170);
            panel()->refresh();
            QVERIFY(dock->grab().save(shot));
        }

        // Hidden, the panel stops asking.
        action()->trigger();
        QVERIFY(dock->isHidden());
        QVERIFY(!action()->isChecked());
        QVERIFY(!panel()->polling());
        // Closed by its dock's own button, the panel's menu item loses its check mark.
        action()->trigger();
        QVERIFY(action()->isChecked() && panel()->polling());
        dock->close();
        QVERIFY(!action()->isChecked());
        QVERIFY(!panel()->polling());
        app->ExitInstance(0);
    }
};

int main(int argc, char** argv)
{
    QTemporaryDir store;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, store.path());
    QSettings::setDefaultFormat(QSettings::IniFormat);
    CTarvik11App app(argc, argv);
    BoardPanelTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "BoardPanelTest.moc"
