#include "CRegistersDialog.h"
#include "CTargetLine.h"
#include "CommandTexts.h"
#include "RegisterFrame.h"
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QValidator>
#include <QVBoxLayout>

namespace {

// Control id and length limit of each field, in the order of RegisterText::kFields.
struct FieldControl {
    int id;
    int limit; // 0: no limit
};
constexpr std::array<FieldControl, RegisterText::kFields.size()> kControls{{
    {CRegistersDialog::kAId, 9},
    {CRegistersDialog::kBId, 9},
    {CRegistersDialog::kXId, 17},
    {CRegistersDialog::kYId, 17},
    {CRegistersDialog::kPCId, 9},
    {CRegistersDialog::kSPId, 0},
    {CRegistersDialog::kCCRId, 9},
}};

// Turns whatever is typed into upper case.
class UpperCaseValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override
    {
        input = input.toUpper();
        return Acceptable;
    }
};

} // namespace

CRegistersDialog::CRegistersDialog(RegisterFrame* frame, QWidget* owner) : QDialog(owner), frame_(frame)
{
    setWindowTitle(tr("Registers"));
    auto* grid = new QGridLayout;
    auto* upper = new UpperCaseValidator(this);
    int row = 0;
    for (size_t i = 0; i < RegisterText::kFields.size(); ++i) {
        const RegisterFieldInfo& info = RegisterText::kFields[i];
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::number(kControls[i].id));
        if (kControls[i].limit > 0)
            edit->setMaxLength(kControls[i].limit);
        edit->setValidator(upper);
        edit->setReadOnly(!info.editable);
        auto* label = new QLabel(QString::fromLatin1(info.label), this);
        label->setBuddy(edit);
        grid->addWidget(label, row, 0);
        grid->addWidget(edit, row, 1);
        ++row;
        edits_[i] = edit;
    }
    grid->addWidget(new QLabel(QString::fromLatin1(RegisterText::kCcrLegend), this), row, 1);

    auto* read = new QPushButton(tr("Read Regs"), this);
    read->setObjectName(QString::number(kReadRegsId));
    auto* write = new QPushButton(tr("Write Regs"), this);
    write->setObjectName(QString::number(kWriteRegsId));
    // Enter belongs to the window's own OK action, not to a button.
    read->setAutoDefault(false);
    write->setAutoDefault(false);
    connect(read, &QPushButton::clicked, this, &CRegistersDialog::onReadClicked);
    connect(write, &QPushButton::clicked, this, &CRegistersDialog::onWriteClicked);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(read);
    buttons->addWidget(write);

    auto* outer = new QVBoxLayout(this);
    outer->addLayout(grid);
    outer->addLayout(buttons);
    showTexts();
}

QLineEdit* CRegistersDialog::field(int id) const
{
    for (size_t i = 0; i < kControls.size(); ++i)
        if (kControls[i].id == id)
            return edits_[i];
    return nullptr;
}

void CRegistersDialog::takeTexts()
{
    for (size_t i = 0; i < edits_.size(); ++i)
        fields_.*(RegisterText::kFields[i].text) = edits_[i]->text().toStdString();
}

void CRegistersDialog::showTexts()
{
    for (size_t i = 0; i < edits_.size(); ++i)
        edits_[i]->setText(QString::fromStdString(fields_.*(RegisterText::kFields[i].text)));
}

void CRegistersDialog::ReadRegs()
{
    if (!frame_)
        return;
    if (frame_->read() != 0) {
        if (message_)
            message_(QString::fromLatin1(CommandText::kRegisterReadFailed));
        else
            QMessageBox::warning(this, QStringLiteral("Tarvik11"), QString::fromLatin1(CommandText::kRegisterReadFailed));
        return;
    }
    fields_ = RegisterText::fields(*frame_);
    showTexts();
}

void CRegistersDialog::WriteRegs()
{
    if (!frame_)
        return;
    takeTexts();
    RegisterText::apply(fields_, *frame_);
    if (frame_->write() != 0) {
        if (message_)
            message_(QString::fromLatin1(CommandText::kRegisterWriteFailed));
        else
            QMessageBox::warning(this, QStringLiteral("Tarvik11"), QString::fromLatin1(CommandText::kRegisterWriteFailed));
    }
}

void CRegistersDialog::SetShownPC(uint32_t address)
{
    fields_.PC = CommandText::format("$%04x", address & 0xFFFFu);
    showTexts();
}

void CRegistersDialog::accept()
{
    takeTexts();
    hide();
    setResult(QDialog::Accepted);
}

void CRegistersDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CRegistersDialog::onReadClicked()
{
    CTargetLine::Transfer transfer(line_);
    if (transfer.granted())
        ReadRegs();
}

void CRegistersDialog::onWriteClicked()
{
    CTargetLine::Transfer transfer(line_);
    if (transfer.granted())
        WriteRegs();
}
