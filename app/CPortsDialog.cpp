#include "app/CPortsDialog.h"
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>

CPortsDialog::CPortsDialog(const QMap<QString, QString>& map, QWidget* owner) : QDialog(owner)
{
    setWindowTitle(tr("Ports"));
    auto* form = new QFormLayout;
    const QStringList found = serialDevices();
    for (int i = 0; i < 4; ++i) {
        const QString name = QStringLiteral("COM%1").arg(i + 1);
        auto* combo = new QComboBox(this);
        combo->setObjectName(name);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->addItems(found);
        const QString current = map.value(name);
        if (!current.isEmpty() && !found.contains(current))
            combo->insertItem(0, current);
        combo->setCurrentText(current);
        combo->setMinimumContentsLength(22);
        devices_[i] = combo;
        form->addRow(name, combo);
    }
    auto* note = new QLabel(found.isEmpty() ? tr("No serial devices were found; type a device path.")
                                            : tr("Choose a device or type its path."),
                            this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(note);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

QMap<QString, QString> CPortsDialog::portMap() const
{
    QMap<QString, QString> map;
    for (int i = 0; i < 4; ++i)
        map.insert(QStringLiteral("COM%1").arg(i + 1), devices_[i]->currentText().trimmed());
    return map;
}

QStringList CPortsDialog::serialDevices(const QString& devDir)
{
    const QDir dir(devDir);
    QStringList names = dir.entryList({"ttyUSB*", "ttyACM*", "ttyS*"},
                                      QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    // Natural order: the kind, then the number after the name.
    auto number = [](const QString& n) {
        qsizetype i = n.size();
        while (i > 0 && n[i - 1].isDigit())
            --i;
        return n.mid(i).toLongLong();
    };
    auto rank = [](const QString& n) {
        return n.startsWith(QLatin1String("ttyUSB")) ? 0 : n.startsWith(QLatin1String("ttyACM")) ? 1 : 2;
    };
    std::sort(names.begin(), names.end(), [&](const QString& a, const QString& b) {
        if (rank(a) != rank(b))
            return rank(a) < rank(b);
        if (number(a) != number(b))
            return number(a) < number(b);
        return a < b;
    });
    QStringList paths;
    for (const QString& n : names)
        paths << dir.filePath(n);
    return paths;
}
