#include "app/CBoardPanel.h"
#include "session/DebugSession.h"
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// What the port A pins do besides being pins (for their tooltips).
constexpr const char* kPortAFunctions[8] = {"IC3", "IC2", "IC1", "OC5/IC4", "OC4", "OC3", "OC2", "OC1/PAI"};

// A round LED, lit or dark; the same picture when its button is disabled (an output pin).
QIcon ledIcon(bool lit)
{
    QPixmap pixmap(14, 14);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 20, 20), 1));
    p.setBrush(lit ? QColor(235, 40, 40) : QColor(90, 40, 40));
    p.drawEllipse(QRectF(1.5, 1.5, 11, 11));
    if (lit) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 190, 190));
        p.drawEllipse(QRectF(4, 4, 3.5, 3.5));
    }
    p.end();
    QIcon icon;
    icon.addPixmap(pixmap, QIcon::Normal);
    icon.addPixmap(pixmap, QIcon::Disabled);
    return icon;
}

QString pinName(char port, int bit)
{
    if (port == 'I')
        return QStringLiteral("IRQ");
    if (port == 'X')
        return QStringLiteral("XIRQ");
    return QStringLiteral("P%1%2").arg(QLatin1Char(port)).arg(bit);
}

} // namespace

CBoardPanel::CBoardPanel(DebugSession& session, QWidget* parent) : QWidget(parent), session_(session)
{
    setWindowTitle(tr("Board Panel"));
    auto* layout = new QVBoxLayout(this);

    auto* digital = new QGroupBox(tr("Pins (lit = high; click an input to flip it)"), this);
    auto* grid = new QGridLayout(digital);
    grid->setHorizontalSpacing(2);
    const auto addPin = [&](char port, int bit, int row, int column) {
        auto* button = new QToolButton(digital);
        button->setObjectName(pinName(port, bit));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setAutoRaise(true);
        grid->addWidget(button, row, column);
        pins_.push_back({button, port, bit});
    };
    int row = 0;
    for (const PortPins& port : BoardPins::ports(PinState{})) {
        grid->addWidget(new QLabel(tr("Port %1").arg(QLatin1Char(port.port)), digital), row, 0);
        for (int bit = 7; bit >= 0; --bit)
            addPin(port.port, bit, row, 8 - bit);
        ++row;
    }
    grid->addWidget(new QLabel(tr("Interrupts"), digital), row, 0);
    addPin('I', 0, row, 1);
    addPin('X', 0, row, 2);
    for (Pin& pin : pins_) {
        const size_t index = &pin - pins_.data();
        connect(pin.button, &QToolButton::clicked, this, [this, index] { flip(pins_[index]); });
    }
    layout->addWidget(digital);

    auto* analog = new QGroupBox(tr("Analog inputs (port E)"), this);
    auto* analogGrid = new QGridLayout(analog);
    units_ = new QComboBox(analog);
    units_->setObjectName(QStringLiteral("units"));
    units_->addItems({tr("8-bit value (0-255)"), tr("Volts (VRL %1 V to VRH %2 V)").arg(BoardPins::kVrl).arg(BoardPins::kVrh)});
    connect(units_, &QComboBox::currentIndexChanged, this, [this](int index) { showVolts(index == 1); });
    analogGrid->addWidget(units_, 0, 0, 1, 3);
    for (int channel = 0; channel < 8; ++channel) {
        auto* slider = new QSlider(Qt::Horizontal, analog);
        slider->setObjectName(QStringLiteral("PE%1").arg(channel));
        slider->setRange(0, 255);
        slider->setPageStep(16);
        slider->setToolTip(tr("The level at analog input PE%1 (AN%1)").arg(channel));
        auto* value = new QDoubleSpinBox(analog);
        value->setObjectName(QStringLiteral("PE%1value").arg(channel));
        value->setKeyboardTracking(false);
        analogGrid->addWidget(new QLabel(QStringLiteral("PE%1").arg(channel), analog), channel + 1, 0);
        analogGrid->addWidget(slider, channel + 1, 1);
        analogGrid->addWidget(value, channel + 1, 2);
        analog_.push_back({slider, value});
        connect(slider, &QSlider::valueChanged, this, [this, channel](int v) {
            if (!updating_)
                setAnalog(channel, v);
        });
        connect(value, &QDoubleSpinBox::valueChanged, this, [this, channel](double v) {
            if (!updating_)
                setAnalog(channel, volts_ ? BoardPins::analogFromVolts(v) : int(v));
        });
    }
    layout->addWidget(analog);
    layout->addStretch(1);
    showVolts(false);

    poll_.setInterval(kPollMs);
    connect(&poll_, &QTimer::timeout, this, &CBoardPanel::refresh);
    refresh();
}

bool CBoardPanel::available() const
{
    return session_.boardPins().available();
}

QToolButton* CBoardPanel::pinButton(const QString& name) const
{
    for (const Pin& pin : pins_)
        if (pin.button->objectName() == name)
            return pin.button;
    return nullptr;
}

void CBoardPanel::refresh()
{
    const BoardPins pins = session_.boardPins();
    setEnabled(pins.available());
    const PinState state = pins.state();
    const std::vector<PortPins> ports = BoardPins::ports(state);
    for (Pin& pin : pins_) {
        if (pin.port == 'I')
            showPin(pin, state.irqHigh, false, true);
        else if (pin.port == 'X')
            showPin(pin, state.xirqHigh, false, true);
        else
            for (const PortPins& port : ports)
                if (port.port == pin.port) {
                    const uint8_t mask = uint8_t(1u << pin.bit);
                    showPin(pin, port.levels & mask, port.outputs & mask, port.drivable & mask);
                }
    }
    // A slider the user holds keeps the value the user gives it.
    for (int channel = 0; channel < int(analog_.size()); ++channel)
        if (!analog_[channel].slider->isSliderDown() && !analog_[channel].value->hasFocus())
            showAnalogValue(channel, state.analog[channel]);
}

void CBoardPanel::showPin(Pin& pin, bool high, bool output, bool drivable)
{
    if (pin.shown && pin.shownHigh == high && pin.shownOutput == output && pin.shownDrivable == drivable)
        return;
    pin.shown = true;
    pin.shownHigh = high;
    pin.shownOutput = output;
    pin.shownDrivable = drivable;
    const QString name = pinName(pin.port, pin.bit);
    pin.button->setProperty("high", high); // what the LED shows
    pin.button->setIcon(ledIcon(high));
    pin.button->setText(QStringLiteral("%1\n%2").arg(name, output ? tr("out") : tr("in")));
    pin.button->setEnabled(drivable);
    QString role = name;
    if (pin.port == 'A')
        role += QStringLiteral(" (%1)").arg(QLatin1String(kPortAFunctions[pin.bit]));
    const QString level = high ? tr("high") : tr("low");
    if (drivable)
        pin.button->setToolTip(tr("%1: input, %2 - click to drive it %3").arg(role, level, high ? tr("low") : tr("high")));
    else
        pin.button->setToolTip(tr("%1: %2, %3").arg(role, output ? tr("output") : tr("input not driven from here"), level));
}

void CBoardPanel::flip(Pin& pin)
{
    BoardPins pins = session_.boardPins();
    const bool level = !pin.shownHigh;
    if (pin.port == 'I')
        pins.setIrq(level);
    else if (pin.port == 'X')
        pins.setXirq(level);
    else
        pins.setPortPin(pin.port, pin.bit, level); // refused when the pin became an output meanwhile
    refresh();
}

void CBoardPanel::setAnalog(int channel, int value)
{
    session_.boardPins().setAnalog(channel, uint8_t(value));
    showAnalogValue(channel, value);
}

void CBoardPanel::showAnalogValue(int channel, int value)
{
    const Analog& a = analog_[channel];
    const bool was = updating_;
    updating_ = true;
    a.slider->setValue(value);
    a.value->setValue(volts_ ? BoardPins::voltsOfAnalog(uint8_t(value)) : value);
    a.slider->setToolTip(tr("PE%1: %2 ($%3), %4 V")
                             .arg(channel)
                             .arg(value)
                             .arg(value, 2, 16, QLatin1Char('0'))
                             .arg(BoardPins::voltsOfAnalog(uint8_t(value)), 0, 'f', 2));
    updating_ = was;
}

void CBoardPanel::showVolts(bool volts)
{
    volts_ = volts;
    if (units_->currentIndex() != int(volts))
        units_->setCurrentIndex(int(volts)); // comes back here once
    const bool was = updating_;
    updating_ = true;
    for (int channel = 0; channel < int(analog_.size()); ++channel) {
        QDoubleSpinBox* box = analog_[channel].value;
        box->setDecimals(volts ? 2 : 0);
        box->setRange(0, volts ? BoardPins::kVrh : 255);
        box->setSingleStep(volts ? 0.02 : 1);
        box->setSuffix(volts ? QStringLiteral(" V") : QString());
        showAnalogValue(channel, analog_[channel].slider->value());
    }
    updating_ = was;
}

void CBoardPanel::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    refresh();
    poll_.start();
}

void CBoardPanel::hideEvent(QHideEvent* event)
{
    poll_.stop();
    QWidget::hideEvent(event);
}
