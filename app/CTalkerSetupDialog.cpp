#include "app/CTalkerSetupDialog.h"
#include "app/CPortsDialog.h"
#include "app/CTarvik11App.h"
#include "session/DebugSession.h" // the read wait bound every front end applies; chips, crystals, reset lines
#include "app/SettingsStore.h"
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {

QString defaultDevice(const QString& port)
{
    if (port.size() == 4 && port.startsWith(QLatin1String("COM")) && port[3] >= QLatin1Char('1')
        && port[3] <= QLatin1Char('4'))
        return QStringLiteral("/dev/ttyS%1").arg(port[3].digitValue() - 1);
    return QString();
}

} // namespace

CTalkerSetupDialog::CTalkerSetupDialog(QWidget* owner) : QDialog(owner)
{
    setWindowTitle(QStringLiteral("Restart Talker"));
    SettingsStore::loadTalkerSettings(settings_);
    if (auto* app = CTarvik11App::instance())
        ports_ = app->portMap();
    else
        for (int i = 1; i <= 4; ++i)
            ports_.insert(QStringLiteral("COM%1").arg(i), defaultDevice(QStringLiteral("COM%1").arg(i)));

    // Talker Properties
    auto* props = new QGroupBox(QStringLiteral("Talker Properties"), this);
    file_ = new QLineEdit(props);
    auto* browse = new QPushButton(QStringLiteral("Browse..."), props);
    browse->setObjectName(QString::number(SetupId::kBrowse));
    browse->setAutoDefault(false);
    connect(browse, &QPushButton::clicked, this, &CTalkerSetupDialog::browse);

    auto* typeBox = new QGroupBox(QStringLiteral("Talker Type"), props);
    talkerGroup_ = new QButtonGroup(this);
    const char* typeNames[] = {"RAM Talker", "ROM Talker", "DUART Talker"};
    auto* typeLayout = new QVBoxLayout(typeBox);
    for (int i = 0; i < 3; ++i) {
        talker_[i] = new QRadioButton(QString::fromLatin1(typeNames[i]), typeBox);
        talkerGroup_->addButton(talker_[i], i);
        typeLayout->addWidget(talker_[i]);
    }
    talker_[1]->setEnabled(false);
    talker_[2]->setEnabled(false);

    port_ = new QComboBox(props);
    port_->addItems({"COM1", "COM2", "COM3", "COM4"});
    device_ = new QLabel(props);
    device_->setObjectName(QStringLiteral("portDevice"));
    device_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* ports = new QPushButton(QStringLiteral("Ports..."), props);
    ports->setObjectName(QStringLiteral("portsButton"));
    ports->setAutoDefault(false);
    connect(ports, &QPushButton::clicked, this, &CTalkerSetupDialog::editPorts);
    connect(port_, &QComboBox::currentIndexChanged, this, &CTalkerSetupDialog::updateDevice);

    mode_ = new QComboBox(props);
    mode_->addItems({"Bootstrap", "Special Test"});
    eeprom_ = new QCheckBox(QStringLiteral("Enable EEPROM"), props);
    fastLine_ = new QCheckBox(QStringLiteral("Faster line with our talker (125000 baud)"), props);
    fastLine_->setToolTip(QStringLiteral(
        "After the start, our talker and this program move the line to 125000 baud (with an 8 MHz "
        "crystal). When the serial adapter cannot follow, both ends return to 9600 baud. Other talkers "
        "always use 9600 baud."));

    keepBreakpoints_ = new QCheckBox(QStringLiteral("Keep breakpoints after a hit"), props);
    keepBreakpoints_->setToolTip(QStringLiteral(
        "On: a breakpoint stays set after it is reached and is planted again when the program goes on. "
        "Off: a breakpoint is removed when it is reached (one-shot)."));

    // The board: chip, crystal and the line that resets it.
    auto* boardBox = new QGroupBox(QStringLiteral("Board"), props);
    chip_ = new QComboBox(boardBox);
    for (const ChipVariant& chip : kChipVariants)
        chip_->addItem(QString::fromLatin1(chip.title.data(), qsizetype(chip.title.size())),
                       QString::fromLatin1(chip.name.data(), qsizetype(chip.name.size())));
    chip_->setToolTip(QStringLiteral("The chip on the board: its RAM, where its EEPROM is and how its boot "
                                     "loader takes the talker."));
    crystal_ = new QComboBox(boardBox);
    crystal_->setEditable(true);
    for (uint32_t hz : kCommonCrystalsHz)
        crystal_->addItem(QString::fromStdString(crystalMhzText(hz)));
    crystal_->setToolTip(QStringLiteral("The board's crystal in MHz; every line rate follows from it "
                                        "(8 MHz: 1200 baud for the download, 9600 for the talker)."));
    reset_ = new QComboBox(boardBox);
    const char* resetNames[][2] = {{"none", "None (press RESET)"},
                                   {"dtr", "DTR pulse"},
                                   {"rts", "RTS pulse"},
                                   {"dtr-inverted", "DTR pulse, inverted"},
                                   {"rts-inverted", "RTS pulse, inverted"}};
    for (const auto& name : resetNames)
        reset_->addItem(QString::fromLatin1(name[1]), QString::fromLatin1(name[0]));
    reset_->setToolTip(QStringLiteral(
        "For a board whose RESET is wired to the adapter's DTR or RTS: the line is pulsed before the "
        "download instead of asking for the RESET button. Inverted: negating the line resets the board."));
    auto* boardGrid = new QGridLayout(boardBox);
    boardGrid->addWidget(new QLabel(QStringLiteral("Chip"), boardBox), 0, 0);
    boardGrid->addWidget(chip_, 0, 1);
    boardGrid->addWidget(new QLabel(QStringLiteral("Crystal (MHz)"), boardBox), 1, 0);
    boardGrid->addWidget(crystal_, 1, 1);
    boardGrid->addWidget(new QLabel(QStringLiteral("Reset line"), boardBox), 2, 0);
    boardGrid->addWidget(reset_, 2, 1);

    delay_ = new QLineEdit(props);
    delay_->setMaximumWidth(90);
    delay_->installEventFilter(this);
    auto* spin = new QWidget(props);
    auto* spinLayout = new QVBoxLayout(spin);
    spinLayout->setContentsMargins(0, 0, 0, 0);
    spinLayout->setSpacing(0);
    for (int step : {1, -1}) {
        auto* arrow = new QToolButton(spin);
        arrow->setArrowType(step > 0 ? Qt::UpArrow : Qt::DownArrow);
        arrow->setAutoRepeat(true);
        arrow->setFixedSize(18, 12);
        arrow->setFocusPolicy(Qt::NoFocus);
        connect(arrow, &QToolButton::clicked, this, [this, step] { stepDelay(step); });
        spinLayout->addWidget(arrow);
    }
    spin_ = spin;

    auto* grid = new QGridLayout(props);
    grid->addWidget(new QLabel(QStringLiteral("Talker Filename"), props), 0, 0, 1, 3);
    grid->addWidget(file_, 1, 0, 1, 2);
    grid->addWidget(browse, 1, 2);
    grid->addWidget(typeBox, 2, 0, 4, 1);
    grid->addWidget(new QLabel(QStringLiteral("Comm Port"), props), 2, 1);
    auto* portRow = new QHBoxLayout;
    portRow->addWidget(port_);
    portRow->addWidget(ports);
    grid->addLayout(portRow, 3, 1, 1, 2);
    grid->addWidget(device_, 4, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Chip Mode"), props), 5, 1);
    grid->addWidget(mode_, 6, 1);
    grid->addWidget(eeprom_, 6, 0);
    grid->addWidget(new QLabel(QStringLiteral("Communications Delay Time"), props), 7, 0, 1, 2);
    auto* delayRow = new QHBoxLayout;
    delayRow->addWidget(delay_);
    delayRow->addWidget(spin);
    delayRow->addStretch(1);
    grid->addLayout(delayRow, 8, 0, 1, 2);
    grid->addWidget(fastLine_, 9, 0, 1, 3);
    grid->addWidget(boardBox, 10, 0, 1, 3);
    grid->addWidget(keepBreakpoints_, 11, 0, 1, 3);
    grid->setColumnStretch(1, 1);

    // OK and Cancel at the upper right.
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QString::number(SetupId::kOk));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QString::number(SetupId::kCancel));
    cancel->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, &CTalkerSetupDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addStretch(1);

    // Default Base along the bottom.
    auto* baseBox = new QGroupBox(QStringLiteral("Default Base"), this);
    baseGroup_ = new QButtonGroup(this);
    auto* baseLayout = new QHBoxLayout(baseBox);
    const char* baseNames[] = {"Decimal", "Hexadecimal", "Binary"};
    for (int i = 0; i < 3; ++i) {
        base_[i] = new QRadioButton(QString::fromLatin1(baseNames[i]), baseBox);
        baseGroup_->addButton(base_[i], i);
        baseLayout->addWidget(base_[i]);
    }

    auto* top = new QHBoxLayout;
    top->addWidget(props, 1);
    top->addLayout(buttons);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(top);
    outer->addWidget(baseBox);
    outer->setSizeConstraint(QLayout::SetFixedSize);

    // Ids as object names.
    file_->setObjectName(QString::number(SetupId::kTalkerFile));
    talker_[0]->setObjectName(QString::number(SetupId::kRamTalker));
    talker_[1]->setObjectName(QString::number(SetupId::kRomTalker));
    talker_[2]->setObjectName(QString::number(SetupId::kDuartTalker));
    port_->setObjectName(QString::number(SetupId::kPort));
    mode_->setObjectName(QString::number(SetupId::kChipMode));
    eeprom_->setObjectName(QString::number(SetupId::kEeprom));
    fastLine_->setObjectName(QString::number(SetupId::kFastLine));
    keepBreakpoints_->setObjectName(QString::number(SetupId::kKeepBreakpoints));
    delay_->setObjectName(QString::number(SetupId::kDelay));
    chip_->setObjectName(QString::number(SetupId::kChip));
    crystal_->setObjectName(QString::number(SetupId::kCrystal));
    reset_->setObjectName(QString::number(SetupId::kResetLine));
    spin_->setObjectName(QString::number(SetupId::kDelaySpin));
    base_[0]->setObjectName(QString::number(SetupId::kDecimal));
    base_[1]->setObjectName(QString::number(SetupId::kHexadecimal));
    base_[2]->setObjectName(QString::number(SetupId::kBinary));

    QWidget* order[] = {file_, browse, talker_[0], talker_[1], talker_[2], port_, ports, mode_,
                        eeprom_, delay_, fastLine_, chip_, crystal_, reset_, keepBreakpoints_, ok, cancel, base_[0], base_[1], base_[2]};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    fillControls();
    file_->setFocus();
}

QWidget* CTalkerSetupDialog::control(int id) const
{
    return findChild<QWidget*>(QString::number(id));
}

QString CTalkerSetupDialog::shownDevice() const
{
    return device_->text();
}

void CTalkerSetupDialog::fillControls()
{
    port_->setCurrentIndex(-1);
    for (int i = 0; i < port_->count(); ++i)
        if (port_->itemText(i).startsWith(settings_.port, Qt::CaseInsensitive)) {
            port_->setCurrentIndex(i);
            break;
        }
    if (settings_.talkerType >= 0 && settings_.talkerType < 3)
        talker_[settings_.talkerType]->setChecked(true);
    file_->setText(settings_.talkerFile);
    eeprom_->setChecked(settings_.eepromEnable == 1);
    fastLine_->setChecked(settings_.fastLine);
    keepBreakpoints_->setChecked(settings_.keepBreakpoints);
    mode_->setCurrentIndex(settings_.chipMode >= 0 && settings_.chipMode < mode_->count() ? settings_.chipMode : -1);
    delay_->setText(QString::number(settings_.commDelay));
    if (settings_.defaultBase >= 0 && settings_.defaultBase < 3)
        base_[settings_.defaultBase]->setChecked(true);
    chip_->setCurrentIndex(std::max(0, chip_->findData(settings_.chip.toLower())));
    crystal_->setCurrentText(QString::fromStdString(crystalMhzText(settings_.crystalHz)));
    reset_->setCurrentIndex(std::max(0, reset_->findData(settings_.resetLine.toLower())));
    updateDevice();
}

void CTalkerSetupDialog::updateDevice()
{
    const QString name = port_->currentText();
    if (name.isEmpty()) {
        device_->setText(tr("(no port chosen)"));
        return;
    }
    const QString device = ports_.value(name);
    device_->setText(device.isEmpty() ? tr("%1: not mapped").arg(name) : tr("%1 is %2").arg(name, device));
}

QString CTalkerSetupDialog::delayRangeText()
{
    return QStringLiteral("Please enter a Communications Delay Time from 0 to %1 milliseconds.").arg(kMaxReadWaitMs);
}

QString CTalkerSetupDialog::crystalRangeText()
{
    return QStringLiteral("Please enter the crystal in MHz, from %1 to %2 (for example 8 or 4.9152).")
        .arg(QString::fromStdString(crystalMhzText(kMinCrystalHz)), QString::fromStdString(crystalMhzText(kMaxCrystalHz)));
}

bool CTalkerSetupDialog::parseDelay(const QString& text, uint32_t& value)
{
    const QString head = text.left(31);
    qsizetype b = 0, e = head.size();
    auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (b < e && blank(head[b]))
        ++b;
    while (e > b && blank(head[e - 1]))
        --e;
    if (b == e)
        return false;
    uint64_t v = 0;
    for (qsizetype i = b; i < e; ++i) {
        const QChar c = head[i];
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
        v = v * 10 + static_cast<uint64_t>(c.digitValue());
        if (v > UINT32_MAX)
            return false;
    }
    value = static_cast<uint32_t>(v);
    return true;
}

void CTalkerSetupDialog::accept()
{
    auto fail = [this](QWidget* where, const QString& message) {
        CTarvik11App::showMessage(this, message);
        where->setFocus();
        if (auto* edit = qobject_cast<QLineEdit*>(where))
            edit->selectAll();
        else if (auto* box = qobject_cast<QComboBox*>(where); box && box->lineEdit())
            box->lineEdit()->selectAll();
    };
    TalkerSettings next;
    next.port = port_->currentIndex() >= 0 ? port_->currentText() : QString();
    if (next.port.size() > 5) {
        fail(port_, QStringLiteral("Please enter no more than %1 characters.").arg(5));
        return;
    }
    next.talkerType = talkerGroup_->checkedId();
    next.talkerFile = file_->text();
    next.eepromEnable = eeprom_->isChecked() ? 1 : 0;
    next.fastLine = fastLine_->isChecked();
    next.keepBreakpoints = keepBreakpoints_->isChecked();
    next.chipMode = mode_->currentIndex();
    if (!parseDelay(delay_->text(), next.commDelay)) {
        fail(delay_, QStringLiteral("Please enter a positive integer."));
        return;
    }
    if (next.commDelay > static_cast<uint32_t>(kMaxReadWaitMs)) {
        fail(delay_, delayRangeText());
        return;
    }
    next.defaultBase = baseGroup_->checkedId();
    next.chip = chip_->currentData().toString();
    next.resetLine = reset_->currentData().toString();
    const auto crystal = crystalFromMhzText(crystal_->currentText().trimmed().toStdString());
    if (!crystal) {
        fail(crystal_, crystalRangeText());
        return;
    }
    next.crystalHz = *crystal;
    settings_ = next;
    SettingsStore::saveTalkerSettings(settings_);
    if (portsChanged_)
        if (auto* app = CTarvik11App::instance())
            app->setPortMap(ports_);
    QDialog::accept();
}

void CTalkerSetupDialog::browse()
{
    QFileDialog dialog(this, tr("Open"), QString(), tr("Bootloader Files (*.boo);;All Files (*)"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QStringLiteral("boo"));
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    settings_.talkerFile = dialog.selectedFiles().first();
    file_->setText(settings_.talkerFile);
}

void CTalkerSetupDialog::editPorts()
{
    CPortsDialog dialog(ports_, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    ports_ = dialog.portMap();
    portsChanged_ = true;
    updateDevice();
}

void CTalkerSetupDialog::stepDelay(int step)
{
    const auto most = static_cast<uint32_t>(kMaxReadWaitMs);
    uint32_t value = 0;
    if (!parseDelay(delay_->text(), value))
        value = 0;
    value = std::min(value, most); // the arrows step only within the accepted range
    if (step > 0 && value < most)
        ++value;
    else if (step < 0 && value > 0)
        --value;
    delay_->setText(QString::number(value));
}

bool CTalkerSetupDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == delay_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            stepDelay(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
