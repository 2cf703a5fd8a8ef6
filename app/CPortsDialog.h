#pragma once
#include <QDialog>
#include <QMap>

class QComboBox;

// "Ports": maps COM1 to COM4 to the serial devices found on the machine or to any device path.
class CPortsDialog : public QDialog {
    Q_OBJECT
public:
    CPortsDialog(const QMap<QString, QString>& map, QWidget* owner = nullptr);
    // The map as edited (COM name to device path; empty when unmapped).
    QMap<QString, QString> portMap() const;
    // Serial devices present: /dev/ttyUSB*, /dev/ttyACM*, /dev/ttyS*, in natural order.
    static QStringList serialDevices(const QString& devDir = QStringLiteral("/dev"));

private:
    QComboBox* devices_[4] = {};
};
