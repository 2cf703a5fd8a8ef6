#include "AppTestMain.h"
#include "app/CPortsDialog.h"
#include "app/CTalkerSetupDialog.h"
#include "link/SerialPort.h"
#include "app/SettingsStore.h"
#include "TestSupport.h"
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

QString storePath()
{
    return SettingsStore::filePath();
}

void clearStore()
{
    const QString path = storePath();
    if (QFileInfo(path).isDir())
        QDir(path).removeRecursively();
    else
        QFile::remove(path);
}

// While alive, plays a writer on the FIFO at path: should anything open it for reading (and so
// block until a writer comes), it gets a store that sets a Comm Delay of 7 and an end of file.
class FifoWriter {
public:
    explicit FifoWriter(const QString& path) : path_(path.toStdString())
    {
        thread_ = std::thread([this] {
            while (!done_) {
                const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (fd >= 0) { // a reader is waiting
                    const char text[] = "[Startup]\nComm%20Delay=7\n";
                    (void)!::write(fd, text, sizeof text - 1);
                    ::close(fd);
                    readerSeen_ = true;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }
    ~FifoWriter()
    {
        done_ = true;
        thread_.join();
    }
    bool readerSeen() const { return readerSeen_; }

private:
    std::string path_;
    std::atomic<bool> done_{false};
    std::atomic<bool> readerSeen_{false};
    std::thread thread_;
};

QByteArray storeBytes()
{
    QFile f(storePath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeStore(const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(storePath()).path());
    QFile f(storePath());
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

template <typename T> T* ctl(CTalkerSetupDialog& d, int id)
{
    return qobject_cast<T*>(d.control(id));
}

} // namespace

class SettingsTest : public QObject {
    Q_OBJECT
private slots:
    void init() { clearStore(); }

    void defaultsFromEmptyOrBrokenStore_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("absent") << QByteArray();
        QTest::newRow("binary junk") << QByteArray("\x00\xff\x01[[[=\n\x7f", 10);
        QTest::newRow("wrong types") << QByteArray("[Startup]\nEEPROM=yes\nMode=\nTalker=1.5x\n"
                                                   "Comm%20Delay=-4\nDefault%20Base=99999999999\n"
                                                   "Fast%20Line=maybe\n");
    }
    void defaultsFromEmptyOrBrokenStore()
    {
        QFETCH(QByteArray, contents);
        if (!contents.isEmpty())
            writeStore(contents);
        TalkerSettings s;
        s.port = "X";
        s.talkerType = 7;
        s.talkerFile = "y";
        s.eepromEnable = 5;
        s.chipMode = 9;
        s.commDelay = 1;
        s.defaultBase = 3;
        s.fastLine = false;
        CTarvik11App::LoadTalkerSettings(s);
        QCOMPARE(s, TalkerSettings{});
        QCOMPARE(s.port, QString("COM1"));
        QCOMPARE(s.talkerFile, QString("ambrel.boo"));
        QCOMPARE(s.commDelay, 20u);
    }

    void talkerSettingsRoundTrip()
    {
        TalkerSettings s;
        s.port = "";
        s.talkerType = -1;
        s.talkerFile = "/home/u/talk er.boo";
        s.eepromEnable = 1;
        s.chipMode = 1;
        s.commDelay = static_cast<uint32_t>(kMaxReadWaitMs);
        s.defaultBase = -1;
        s.fastLine = false;
        s.chip = "811e2";
        s.crystalHz = 4915200;
        s.resetLine = "rts-inverted";
        s.keepBreakpoints = true;
        CTarvik11App::SaveTalkerSettings(s);
        TalkerSettings back;
        CTarvik11App::LoadTalkerSettings(back);
        QCOMPARE(back, s);
        auto store = SettingsStore::open();
        QCOMPARE(store->value("Startup/Talker Filename").toString(), s.talkerFile);
        QCOMPARE(store->value("Startup/Default Base").toInt(), -1);
    }

    // Existing users keep their settings: the file is where the organisation and application
    // names have always put it.
    void storeFileKeepsItsPlace()
    {
        const QSettings named(QSettings::IniFormat, QSettings::UserScope, "Tarvik11", "Tarvik11");
        QCOMPARE(SettingsStore::filePath(), named.fileName());
        QCOMPARE(SettingsStore::open()->fileName(), named.fileName());
        // Also when the user's settings folder does not exist yet.
        const QString folder = QFileInfo(QFileInfo(named.fileName()).path()).path();
        QTemporaryDir parent;
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, parent.filePath("not/yet"));
        const QString fresh = SettingsStore::filePath();
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
        QCOMPARE(fresh, parent.filePath("not/yet/Tarvik11/Tarvik11.ini"));
        QCOMPARE(SettingsStore::filePath(), named.fileName());
    }

    void commDelayIsBoundedOnLoadAndSave_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<uint>("loaded");
        QTest::newRow("below the limit") << QByteArray("59999") << 59999u;
        QTest::newRow("the limit") << QByteArray("60000") << 60000u;
        QTest::newRow("just above") << QByteArray("60001") << 60000u;
        QTest::newRow("largest 32-bit") << QByteArray("4294967295") << 60000u;
        QTest::newRow("beyond 32 bits") << QByteArray("4294967296") << 20u;
    }
    void commDelayIsBoundedOnLoadAndSave()
    {
        QFETCH(QByteArray, stored);
        QFETCH(uint, loaded);
        writeStore("[Startup]\nComm%20Delay=" + stored + "\n");
        TalkerSettings s;
        CTarvik11App::LoadTalkerSettings(s);
        QCOMPARE(s.commDelay, loaded);

        s.commDelay = 4000000000u;
        CTarvik11App::SaveTalkerSettings(s);
        QCOMPARE(SettingsStore::open()->value("Startup/Comm Delay").toUInt(), uint(kMaxReadWaitMs));
    }

    // A store file that is a FIFO, a folder or a device is neither read (a FIFO would block
    // start-up) nor written: everything reads as its default and the file stays what it was.
    void storeThatIsNoRegularFileIsLeftAlone_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("FIFO") << QString("fifo");
        QTest::newRow("link to a FIFO") << QString("link");
        QTest::newRow("folder") << QString("folder");
    }
    void storeThatIsNoRegularFileIsLeftAlone()
    {
        QFETCH(QString, kind);
        const QString path = storePath();
        QDir().mkpath(QFileInfo(path).path());
        QTemporaryDir elsewhere;
        const QString fifo = kind == "link" ? elsewhere.filePath("store.fifo") : path;
        if (kind == "folder") {
            QVERIFY(QDir().mkpath(path));
        } else {
            QCOMPARE(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
            if (kind == "link")
                QVERIFY(QFile::link(fifo, path));
        }
        {
            FifoWriter writer(fifo);
            TalkerSettings s;
            s.commDelay = 1;
            CTarvik11App::LoadTalkerSettings(s);
            QCOMPARE(s, TalkerSettings{});
            QVERIFY(SettingsStore::loadRecentFiles().isEmpty());
            QVERIFY(SettingsStore::loadPortMap().isEmpty());
            s.talkerFile = "saved.boo";
            CTarvik11App::SaveTalkerSettings(s);
            SettingsStore::saveRecentFiles({"/a"});
            CTalkerSetupDialog d;
            QCOMPARE(ctl<QLineEdit>(d, SetupId::kTalkerFile)->text(), QString("ambrel.boo"));
            QVERIFY(!writer.readerSeen());
        }
        struct stat st {};
        QCOMPARE(::stat(path.toLocal8Bit().constData(), &st), 0);
        QVERIFY(kind == "folder" ? S_ISDIR(st.st_mode) : S_ISFIFO(st.st_mode));
        clearStore();
    }

    void recentFilesKeepFourInOrder()
    {
        SettingsStore::saveRecentFiles({"/a", "/b", "/c", "/d", "/e"});
        QCOMPARE(SettingsStore::loadRecentFiles(), QStringList({"/a", "/b", "/c", "/d"}));
        QCOMPARE(SettingsStore::open()->value("Recent File List/File4").toString(), QString("/d"));
        SettingsStore::saveRecentFiles({"/x"});
        QCOMPARE(SettingsStore::loadRecentFiles(), QStringList({"/x"}));
    }

    void portMapKeepsRunOnlyDeviceOutOfStore()
    {
        auto* app = CTarvik11App::instance();
        app->setPortMap({{"COM2", "/dev/ttyUSB0"}});
        QCOMPARE(SettingsStore::loadPortMap().value("COM2"), QString("/dev/ttyUSB0"));
        QCOMPARE(app->deviceFor("com2"), QString("/dev/ttyUSB0"));
        QCOMPARE(app->deviceFor("COM3"), QString("/dev/ttyS2"));
        QCOMPARE(app->deviceFor("/dev/pts/7"), QString("/dev/pts/7"));
        app->setPortMap({{"COM2", ""}});
        QVERIFY(!SettingsStore::loadPortMap().contains("COM2"));
        QCOMPARE(app->deviceFor("COM2"), QString("/dev/ttyS1"));
    }

    void serialDevicesListedInNaturalOrder()
    {
        QTemporaryDir dev;
        for (const char* n : {"ttyS10", "ttyS2", "ttyUSB1", "ttyACM0", "ttyUSB0", "tty0", "null"}) {
            QFile f(dev.filePath(n));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QStringList names;
        for (const QString& p : CPortsDialog::serialDevices(dev.path()))
            names << QFileInfo(p).fileName();
        QCOMPARE(names, QStringList({"ttyUSB0", "ttyUSB1", "ttyACM0", "ttyS2", "ttyS10"}));
    }

    void setupDialogShowsStoredValues()
    {
        {
            CTalkerSetupDialog d;
            QCOMPARE(ctl<QComboBox>(d, SetupId::kPort)->currentText(), QString("COM1"));
            QVERIFY(ctl<QRadioButton>(d, SetupId::kRamTalker)->isChecked());
            QVERIFY(!ctl<QRadioButton>(d, SetupId::kRomTalker)->isEnabled());
            QVERIFY(!ctl<QRadioButton>(d, SetupId::kDuartTalker)->isEnabled());
            QCOMPARE(ctl<QLineEdit>(d, SetupId::kTalkerFile)->text(), QString("ambrel.boo"));
            QVERIFY(!ctl<QCheckBox>(d, SetupId::kEeprom)->isChecked());
            QCOMPARE(ctl<QComboBox>(d, SetupId::kChipMode)->currentText(), QString("Bootstrap"));
            QCOMPARE(ctl<QLineEdit>(d, SetupId::kDelay)->text(), QString("20"));
            QVERIFY(ctl<QRadioButton>(d, SetupId::kDecimal)->isChecked());
            QVERIFY(d.shownDevice().contains("/dev/ttyS0"));
        }
        writeStore("[Startup]\nPort=com2\nTalker=1\nMode=5\nDefault%20Base=7\n");
        {
            CTalkerSetupDialog d;
            QCOMPARE(ctl<QComboBox>(d, SetupId::kPort)->currentText(), QString("COM2"));
            QVERIFY(ctl<QRadioButton>(d, SetupId::kRomTalker)->isChecked());
            QCOMPARE(ctl<QComboBox>(d, SetupId::kChipMode)->currentIndex(), -1);
            for (int id : {SetupId::kDecimal, SetupId::kHexadecimal, SetupId::kBinary})
                QVERIFY(!ctl<QRadioButton>(d, id)->isChecked());
            d.accept(); // nothing selected is accepted and stored as -1
            QCOMPARE(d.result(), int(QDialog::Accepted));
        }
        TalkerSettings s;
        CTarvik11App::LoadTalkerSettings(s);
        QCOMPARE(s.chipMode, -1);
        QCOMPARE(s.defaultBase, -1);
        QCOMPARE(s.talkerType, 1);
        QCOMPARE(s.port, QString("COM2"));
    }

    // The faster-line choice survives a save and a load, and a store written before the
    // choice existed (no key) keeps the faster line on.
    void fastLineIsStored_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<bool>("loaded");
        QTest::newRow("old file without the key") << QByteArray("[Startup]\nEEPROM=1\nComm%20Delay=30\n") << true;
        QTest::newRow("off") << QByteArray("[Startup]\nFast%20Line=0\n") << false;
        QTest::newRow("on") << QByteArray("[Startup]\nFast%20Line=1\n") << true;
        QTest::newRow("unreadable") << QByteArray("[Startup]\nFast%20Line=no\n") << true;
    }
    void fastLineIsStored()
    {
        QFETCH(QByteArray, stored);
        QFETCH(bool, loaded);
        writeStore(stored);
        TalkerSettings s;
        s.fastLine = !loaded;
        CTarvik11App::LoadTalkerSettings(s);
        QCOMPARE(s.fastLine, loaded);

        for (bool value : {false, true}) {
            s.fastLine = value;
            CTarvik11App::SaveTalkerSettings(s);
            TalkerSettings back;
            back.fastLine = !value;
            CTarvik11App::LoadTalkerSettings(back);
            QCOMPARE(back, s);
            QCOMPARE(SettingsStore::open()->value("Startup/Fast Line").toInt(), value ? 1 : 0);
        }
    }

    // The check box shows the stored choice, and OK stores what it shows.
    void setupDialogFastLineCheckBox_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<bool>("shown");
        QTest::newRow("old file without the key") << QByteArray("[Startup]\nPort=COM2\n") << true;
        QTest::newRow("stored off") << QByteArray("[Startup]\nFast%20Line=0\n") << false;
    }
    void setupDialogFastLineCheckBox()
    {
        QFETCH(QByteArray, stored);
        QFETCH(bool, shown);
        writeStore(stored);
        CTalkerSetupDialog d;
        auto* box = ctl<QCheckBox>(d, SetupId::kFastLine);
        QVERIFY(box);
        QCOMPARE(box->isChecked(), shown);
        QVERIFY(box->text().contains("125000"));
        QVERIFY(box->toolTip().contains("9600"));
        box->click();
        QCOMPARE(box->isChecked(), !shown);
        d.accept();
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(d.settings().fastLine, !shown);
        TalkerSettings s;
        CTarvik11App::LoadTalkerSettings(s);
        QCOMPARE(s.fastLine, !shown);
    }

    // Keep breakpoints after a hit: off (one-shot) unless stored on; OK stores what the box shows.
    void setupDialogKeepBreakpointsCheckBox_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<bool>("shown");
        QTest::newRow("old file without the key") << QByteArray("[Startup]\nPort=COM2\n") << false;
        QTest::newRow("stored on") << QByteArray("[Startup]\nKeep%20Breakpoints=1\n") << true;
        QTest::newRow("unreadable") << QByteArray("[Startup]\nKeep%20Breakpoints=yes\n") << false;
    }
    void setupDialogKeepBreakpointsCheckBox()
    {
        QFETCH(QByteArray, stored);
        QFETCH(bool, shown);
        writeStore(stored);
        CTalkerSetupDialog d;
        auto* box = ctl<QCheckBox>(d, SetupId::kKeepBreakpoints);
        QVERIFY(box);
        QCOMPARE(box->isChecked(), shown);
        box->click();
        d.accept();
        QCOMPARE(d.result(), int(QDialog::Accepted));
        TalkerSettings s;
        CTarvik11App::LoadTalkerSettings(s);
        QCOMPARE(s.keepBreakpoints, !shown);
        QCOMPARE(SettingsStore::open()->value("Startup/Keep Breakpoints").toInt(), shown ? 0 : 1);
    }

    // The Board group shows the stored choices (one the store cannot mean as its default); a
    // crystal typed freely is stored in Hz, one that is no number of MHz in range is refused.
    void setupDialogBoardGroup()
    {
        writeStore("[Startup]\nChip=z80\nCrystal=100\nReset%20Line=DTR-Inverted\n");
        {
            CTalkerSetupDialog d;
            auto* chip = ctl<QComboBox>(d, SetupId::kChip);
            auto* crystal = ctl<QComboBox>(d, SetupId::kCrystal);
            auto* reset = ctl<QComboBox>(d, SetupId::kResetLine);
            QVERIFY(chip && crystal && reset);
            QCOMPARE(chip->currentText(), QString("MC68HC11A1"));
            QCOMPARE(crystal->currentText(), QString("8"));
            QCOMPARE(reset->currentData().toString(), QString("dtr-inverted"));
            chip->setCurrentIndex(chip->findData("811e2"));
            crystal->setCurrentText(" 9.8304 ");
            d.accept();
            QCOMPARE(d.result(), int(QDialog::Accepted));
        }
        TalkerSettings s;
        CTarvik11App::LoadTalkerSettings(s);
        QCOMPARE(s.chip, QString("811e2"));
        QCOMPARE(s.crystalHz, 9830400u);
        const QByteArray bytes = storeBytes();
        for (const char* bad : {"8 MHz", "25"}) {
            CTalkerSetupDialog d;
            ctl<QComboBox>(d, SetupId::kCrystal)->setCurrentText(bad);
            ModalCatcher box;
            box.arm();
            d.accept();
            QCOMPARE(box.text, CTalkerSetupDialog::crystalRangeText());
            QVERIFY(d.result() != QDialog::Accepted);
            QCOMPARE(storeBytes(), bytes);
        }
    }

    void unknownPortIsStoredEmpty()
    {
        writeStore("[Startup]\nPort=COM9\n");
        CTalkerSetupDialog d;
        QCOMPARE(ctl<QComboBox>(d, SetupId::kPort)->currentIndex(), -1);
        d.accept();
        TalkerSettings s;
        CTarvik11App::LoadTalkerSettings(s);
        QCOMPARE(s.port, QString());
    }

    void delayParsing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<uint>("value");
        QTest::newRow("plain") << QString("100000") << true << 100000u;
        QTest::newRow("blanks and tabs") << QString(" \t7 \t") << true << 7u;
        QTest::newRow("zero") << QString("0") << true << 0u;
        QTest::newRow("leading zeros") << QString("007") << true << 7u;
        QTest::newRow("largest") << QString("4294967295") << true << 4294967295u;
        QTest::newRow("too large") << QString("4294967296") << false << 0u;
        QTest::newRow("minus") << QString("-5") << false << 0u;
        QTest::newRow("plus") << QString("+5") << false << 0u;
        QTest::newRow("trailing letter") << QString("2x") << false << 0u;
        QTest::newRow("inner blank") << QString("1 2") << false << 0u;
        QTest::newRow("empty") << QString("") << false << 0u;
        QTest::newRow("blanks only") << QString("   ") << false << 0u;
        QTest::newRow("digit after 31 chars") << QString(31, ' ') + "5" << false << 0u;
    }
    void delayParsing()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(uint, value);
        uint32_t v = 12345;
        QCOMPARE(CTalkerSetupDialog::parseDelay(text, v), ok);
        if (ok)
            QCOMPARE(v, value);
    }

    void badDelayIsRefusedAndNothingStored()
    {
        TalkerSettings before;
        before.talkerFile = "kept.boo";
        CTarvik11App::SaveTalkerSettings(before);
        const QByteArray bytes = storeBytes();
        CTalkerSetupDialog d;
        ctl<QLineEdit>(d, SetupId::kTalkerFile)->setText("changed.boo");
        ctl<QLineEdit>(d, SetupId::kDelay)->setText("-3");
        ModalCatcher box;
        box.arm();
        d.accept();
        QVERIFY(box.seen);
        QCOMPARE(box.text, QString("Please enter a positive integer."));
        QCOMPARE(box.caption, QString("Tarvik11"));
        QCOMPARE(box.icon, QMessageBox::Warning);
        QVERIFY(d.result() != QDialog::Accepted);
        QCOMPARE(storeBytes(), bytes);
        QCOMPARE(ctl<QLineEdit>(d, SetupId::kDelay)->selectedText(), QString("-3"));
    }

    // The read wait has one bound below both front ends: the dialog refuses more, and its arrows stop there.
    void delayAboveTheLimitIsRefused_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("the limit") << QString::number(kMaxReadWaitMs) << true;
        QTest::newRow("one more") << QString::number(kMaxReadWaitMs + 1) << false;
        QTest::newRow("largest 32-bit") << QString("4294967295") << false;
    }
    void delayAboveTheLimitIsRefused()
    {
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        CTarvik11App::SaveTalkerSettings(TalkerSettings{});
        const QByteArray bytes = storeBytes();
        CTalkerSetupDialog d;
        auto* delay = ctl<QLineEdit>(d, SetupId::kDelay);
        delay->setText(text);
        ModalCatcher box;
        if (!accepted)
            box.arm();
        d.accept();
        QCOMPARE(d.result() == QDialog::Accepted, accepted);
        if (accepted) {
            TalkerSettings s;
            CTarvik11App::LoadTalkerSettings(s);
            QCOMPARE(s.commDelay, uint32_t(kMaxReadWaitMs));
            return;
        }
        QVERIFY(box.seen);
        QCOMPARE(box.text, CTalkerSetupDialog::delayRangeText());
        QVERIFY(box.text.contains("60000"));
        QCOMPARE(storeBytes(), bytes);
        QCOMPARE(delay->selectedText(), text);
        // The up arrow steps from the limit no further, whatever was typed.
        QTest::keyClick(delay, Qt::Key_Up);
        QCOMPARE(delay->text(), QString::number(kMaxReadWaitMs));
    }

    void cancelLeavesStoreUnchanged()
    {
        CTarvik11App::SaveTalkerSettings(TalkerSettings{});
        const QByteArray bytes = storeBytes();
        CTalkerSetupDialog d;
        ctl<QLineEdit>(d, SetupId::kTalkerFile)->setText("other.boo");
        ctl<QComboBox>(d, SetupId::kPort)->setCurrentIndex(3);
        ctl<QCheckBox>(d, SetupId::kEeprom)->setChecked(true);
        ctl<QCheckBox>(d, SetupId::kFastLine)->setChecked(false);
        ctl<QComboBox>(d, SetupId::kChipMode)->setCurrentIndex(1);
        ctl<QLineEdit>(d, SetupId::kDelay)->setText("99");
        ctl<QRadioButton>(d, SetupId::kBinary)->setChecked(true);
        d.reject();
        QCOMPARE(storeBytes(), bytes);
    }

    void splashSwitches_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("wanted");
        QTest::newRow("none") << QStringList{} << true;
        QTest::newRow("file") << QStringList{"/tmp/x.s19"} << true;
        QTest::newRow("virtual board") << QStringList{"--virtual-board"} << true;
        QTest::newRow("-Embedding") << QStringList{"-Embedding"} << false;
        QTest::newRow("/embedding") << QStringList{"/embedding"} << false;
        QTest::newRow("/Automation") << QStringList{"x", "/Automation"} << false;
        QTest::newRow("-automation") << QStringList{"-automation"} << false;
        QTest::newRow("path named Embedding") << QStringList{"/tmp/Embedding"} << true;
    }
    void splashSwitches()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, wanted);
        QCOMPARE(CTarvik11App::splashWanted(args), wanted);
    }
};

TARVIK11_APP_TEST_MAIN(SettingsTest)
#include "SettingsTest.moc"
