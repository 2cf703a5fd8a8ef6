#include "document/CIoRegistersDialog.h"
#include "document/CTargetLine.h"
#include "session/DebugSession.h"
#include <QApplication>
#include <QCheckBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

CIoRegistersDialog::CIoRegistersDialog(DebugSession* session, QWidget* owner)
    : QDialog(owner), session_(session), text_(new QPlainTextEdit(this)),
      disturbing_(new QCheckBox(tr("Include SCI/SPI status and data (reading them disturbs the chip)"), this)),
      refresh_(new QPushButton(tr("Refresh"), this))
{
    setWindowTitle(tr("I/O Registers"));
    text_->setObjectName(QStringLiteral("ioLines"));
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    disturbing_->setObjectName(QStringLiteral("includeDisturbing"));
    disturbing_->setChecked(false);
    refresh_->setObjectName(QStringLiteral("refresh"));
    refresh_->setAutoDefault(false);
    connect(refresh_, &QPushButton::clicked, this, &CIoRegistersDialog::Refresh);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(disturbing_, 1);
    buttons->addWidget(refresh_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(text_, 1);
    layout->addLayout(buttons);
    const QFontMetrics metrics(text_->font());
    resize(metrics.horizontalAdvance(QLatin1Char('M')) * 62, metrics.lineSpacing() * 26);
}

void CIoRegistersDialog::Refresh()
{
    if (!session_)
        return;
    CTargetLine::Transfer transfer(line_);
    if (!transfer.granted()) {
        QApplication::beep();
        return;
    }
    const CommandResult result = session_->readIoRegisters(disturbing_->isChecked());
    if (!result.ok()) {
        const QString why = QString::fromStdString(result.errorText());
        if (message_)
            message_(why);
        else
            QMessageBox::warning(this, QStringLiteral("Tarvik11"), why);
        return;
    }
    lines_.clear();
    for (const std::string& line : result.lines)
        lines_ << QString::fromStdString(line);
    // A refresh keeps the part of the block in view where it was.
    const int top = text_->verticalScrollBar()->value();
    text_->setPlainText(lines_.join(QLatin1Char('\n')));
    text_->verticalScrollBar()->setValue(top);
}
