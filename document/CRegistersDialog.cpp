#include "document/CRegistersDialog.h"
#include "document/CTargetLine.h"
#include "engine/CommandTexts.h"
#include "session/DebugSession.h"
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
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

CRegistersDialog::CRegistersDialog(DebugSession* session, QWidget* owner) : QDialog(owner), session_(session)
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
        if (!info.editable) {
            // Shown only: drawn like text on the window, not like a field to type into.
            edit->setFrame(false);
            edit->setFocusPolicy(Qt::NoFocus);
            QPalette flat = edit->palette();
            flat.setColor(QPalette::Base, palette().color(QPalette::Window));
            edit->setPalette(flat);
        }
        auto* label = new QLabel(QString::fromLatin1(info.label), this);
        label->setBuddy(edit);
        grid->addWidget(label, row, 0);
        grid->addWidget(edit, row, 1);
        ++row;
        edits_[i] = edit;
    }
    grid->addWidget(new QLabel(QString::fromLatin1(RegisterText::kCcrLegend), this), row, 1);
    ++row;
    flags_ = new QLabel(this);
    flags_->setObjectName(QStringLiteral("ccrFlags"));
    flags_->setTextFormat(Qt::RichText);
    grid->addWidget(flags_, row, 1);

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
    for (size_t i = 0; i < edits_.size(); ++i) {
        const std::string& text = fields_.*(RegisterText::kFields[i].text);
        edits_[i]->setText(QString::fromStdString(text));
        // A value that differs from the one shown at the stop before stands out.
        const bool changed = hasPrevious_ && text != previous_.*(RegisterText::kFields[i].text);
        edits_[i]->setProperty("changed", changed);
        QFont font = edits_[i]->font();
        font.setBold(changed);
        edits_[i]->setFont(font);
        QPalette p = edits_[i]->palette();
        p.setColor(QPalette::Text, changed ? QColor(0xB0, 0x00, 0x00) : palette().color(QPalette::Text));
        edits_[i]->setPalette(p);
    }
    flags_->setText(QString::fromStdString(RegisterText::ccrFlagsHtml(fields_.CCR)));
}

void CRegistersDialog::showStop(const RegisterFields& fields)
{
    if (hasStop_) {
        previous_ = stopFields_;
        hasPrevious_ = true;
    }
    stopFields_ = fields;
    hasStop_ = true;
    fields_ = fields;
    showTexts();
}

void CRegistersDialog::showFailure(const std::string& text)
{
    const QString message = QString::fromStdString(text);
    if (message_)
        message_(message);
    else
        QMessageBox::warning(this, QStringLiteral("Tarvik11"), message);
}

void CRegistersDialog::ReadRegs()
{
    if (!session_)
        return;
    const CommandResult result = session_->readRegisters();
    if (!result.ok()) {
        showFailure(result.errorText());
        return;
    }
    RegisterFields read = RegisterText::fields(session_->lastRegisters());
    if (const auto pc = session_->stoppedPC())
        read.PC = CommandText::format("$%04x", *pc & 0xFFFFu);
    showStop(read);
}

void CRegistersDialog::WriteRegs()
{
    takeTexts();
    if (!session_)
        return;
    const CommandResult result = session_->writeRegisterTexts(fields_);
    if (!result.ok())
        showFailure(result.errorText());
}

void CRegistersDialog::ShowRegisters(const TargetRegisters& registers, uint32_t shownPC)
{
    RegisterFields stop = RegisterText::fields(registers);
    stop.PC = CommandText::format("$%04x", shownPC & 0xFFFFu);
    showStop(stop);
}

void CRegistersDialog::SetShownPC(uint32_t address)
{
    fields_.PC = CommandText::format("$%04x", address & 0xFFFFu);
    showTexts();
}

void CRegistersDialog::accept()
{
    // Enter writes what the fields say, as Write Regs does; the window stays.
    onWriteClicked();
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
