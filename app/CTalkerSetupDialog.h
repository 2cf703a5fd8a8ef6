#pragma once
#include "document/TalkerSettings.h"
#include <QDialog>
#include <QMap>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QToolButton;

// Control ids of the talker setup dialog.
namespace SetupId {
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;
inline constexpr int kPort = 1013;
inline constexpr int kRamTalker = 1022;
inline constexpr int kRomTalker = 1023;
inline constexpr int kDuartTalker = 1024;
inline constexpr int kTalkerFile = 1025;
inline constexpr int kBrowse = 1026;
inline constexpr int kEeprom = 1036;
inline constexpr int kChipMode = 1044;
inline constexpr int kDelay = 1055;
inline constexpr int kDelaySpin = 1056;
inline constexpr int kDecimal = 1058;
inline constexpr int kHexadecimal = 1059;
inline constexpr int kBinary = 1060;
inline constexpr int kFastLine = 1061;
inline constexpr int kChip = 1062;
inline constexpr int kCrystal = 1063;
inline constexpr int kResetLine = 1064;
inline constexpr int kKeepBreakpoints = 1065;
} // namespace SetupId

// "Restart Talker": reviews and edits the talker settings; OK validates and saves them.
class CTalkerSetupDialog : public QDialog {
    Q_OBJECT
public:
    // Loads the settings from the store and fills the controls.
    explicit CTalkerSetupDialog(QWidget* owner = nullptr);

    // The settings as confirmed with OK (as loaded before that).
    const TalkerSettings& settings() const { return settings_; }
    // The control with the given id, or nullptr.
    QWidget* control(int id) const;
    // The device text shown beside the port list.
    QString shownDevice() const;

    // Reads a delay: blanks or tabs around decimal digits, at most 31 characters looked at,
    // no sign, no other character, within 32 bits; false when it is not such a number.
    static bool parseDelay(const QString& text, uint32_t& value);
    // The message shown for a delay above kMaxReadWaitMs, which OK refuses.
    static QString delayRangeText();
    // The message shown for a crystal that is no number of MHz in range, which OK refuses.
    static QString crystalRangeText();
    // Validates, saves and closes; on a failed field shows its message and keeps the dialog open.
    void accept() override;

private:
    void fillControls();
    void browse();
    void editPorts();
    void stepDelay(int step);
    void updateDevice();
    bool eventFilter(QObject* watched, QEvent* event) override;

    TalkerSettings settings_;
    QMap<QString, QString> ports_;
    bool portsChanged_ = false;
    QLineEdit* file_ = nullptr;
    QRadioButton* talker_[3] = {};
    QButtonGroup* talkerGroup_ = nullptr;
    QComboBox* port_ = nullptr;
    QLabel* device_ = nullptr;
    QComboBox* mode_ = nullptr;
    QCheckBox* eeprom_ = nullptr;
    QCheckBox* fastLine_ = nullptr;
    QCheckBox* keepBreakpoints_ = nullptr;
    QComboBox* chip_ = nullptr;
    QComboBox* crystal_ = nullptr;
    QComboBox* reset_ = nullptr;
    QLineEdit* delay_ = nullptr;
    QWidget* spin_ = nullptr;
    QRadioButton* base_[3] = {};
    QButtonGroup* baseGroup_ = nullptr;
};
