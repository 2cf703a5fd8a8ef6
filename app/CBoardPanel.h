#pragma once
#include "session/BoardPins.h"
#include <QTimer>
#include <QWidget>
#include <vector>

class DebugSession;
class QComboBox;
class QDoubleSpinBox;
class QSlider;
class QToolButton;

// The Board panel: the virtual board's pins while the program runs. Port pins are LEDs (lit =
// high) marked "in" or "out"; a click on an input pin, IRQ or XIRQ drives it to the other level.
// The analog inputs PE0-PE7 are set with sliders, read as 8-bit values or volts. The panel asks
// the session for the pins kPollMs apart while it is visible, and not at all while hidden.
class CBoardPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPollMs = 66; // 15 times a second

    explicit CBoardPanel(DebugSession& session, QWidget* parent = nullptr);

    // True when the session runs a virtual board (the panel is of use).
    bool available() const;
    // Reads the pins and shows them now.
    void refresh();
    // The button of a pin ("PA0", "IRQ", "XIRQ"), or nullptr; its property "high" is the level shown.
    QToolButton* pinButton(const QString& name) const;
    // The slider of analog input PE<channel>.
    QSlider* analogSlider(int channel) const { return analog_.at(channel).slider; }
    // The value box of analog input PE<channel> (an 8-bit value or volts, as the units say).
    QDoubleSpinBox* analogValue(int channel) const { return analog_.at(channel).value; }
    // Shows the analog values in volts (true) or as 8-bit values.
    void showVolts(bool volts);
    // True while the panel polls the board.
    bool polling() const { return poll_.isActive(); }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct Pin {
        QToolButton* button;
        char port; // 'A'...; 'I' for IRQ, 'X' for XIRQ
        int bit;
        bool shownHigh = false, shownOutput = false, shownDrivable = false, shown = false;
    };
    struct Analog {
        QSlider* slider;
        QDoubleSpinBox* value;
    };
    void flip(Pin& pin);
    void showPin(Pin& pin, bool high, bool output, bool drivable);
    void setAnalog(int channel, int value);
    void showAnalogValue(int channel, int value);

    DebugSession& session_;
    QTimer poll_;
    std::vector<Pin> pins_;
    std::vector<Analog> analog_;
    QComboBox* units_ = nullptr;
    bool volts_ = false;
    bool updating_ = false; // widgets set from the board, not by the user
};
