#include "document/CDisplayMemoryDialog.h"
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CDisplayMemoryDialog::CDisplayMemoryDialog(QWidget* owner)
    : QDialog(owner), startEdit_(new QLineEdit(this)), endEdit_(new QLineEdit(this))
{
    setWindowTitle(tr("Display Memory"));
    startEdit_->setObjectName(QString::number(kStartId));
    endEdit_->setObjectName(QString::number(kEndId));

    auto* group = new QGroupBox(tr("Memory Addresses"), this);
    auto* form = new QFormLayout(group);
    form->addRow(tr("Starting Address"), startEdit_);
    form->addRow(tr("Ending Address"), endEdit_);

    auto* display = new QPushButton(tr("Display"), this);
    display->setObjectName(QString::number(kDisplayId));
    display->setDefault(true);
    auto* dismiss = new QPushButton(tr("Dismiss"), this);
    dismiss->setObjectName(QString::number(kDismissId));
    dismiss->setAutoDefault(false);
    connect(display, &QPushButton::clicked, this, &CDisplayMemoryDialog::DumpMemory);
    connect(dismiss, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(display);
    buttons->addWidget(dismiss);
    buttons->addStretch();
    auto* outer = new QHBoxLayout(this);
    outer->addWidget(group, 1);
    outer->addLayout(buttons);
}

void CDisplayMemoryDialog::DumpMemory()
{
    start_ = startEdit_->text();
    end_ = endEdit_->text();
    emit dumpRequested();
}

void CDisplayMemoryDialog::setRangeTexts(const QString& start, const QString& end)
{
    start_ = start;
    end_ = end;
    startEdit_->setText(start);
    endEdit_->setText(end);
}

QLineEdit* CDisplayMemoryDialog::field(int id) const
{
    return id == kStartId ? startEdit_ : id == kEndId ? endEdit_ : nullptr;
}
