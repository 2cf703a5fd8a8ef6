#include "document/CFieldDialog.h"
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// A dialog unit is a quarter of the average character width and an eighth of its height.
QSize dialogUnitsToPixels(const QWidget* w, int widthDu, int heightDu)
{
    const QFontMetrics fm(w->font());
    const int avg = fm.horizontalAdvance(QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ")) / 52;
    return {widthDu * avg / 4, heightDu * fm.height() / 8};
}

} // namespace

CFieldDialog::CFieldDialog(const DialogLayout& layout, QWidget* owner) : QDialog(owner)
{
    setWindowTitle(QString::fromLatin1(layout.title));
    setModal(true);

    auto* fieldsBox = new QVBoxLayout;
    QFormLayout* form = nullptr;
    QGroupBox* group = nullptr;
    if (layout.group) {
        group = new QGroupBox(QString::fromLatin1(layout.group), this);
        fieldsBox->addWidget(group);
    }
    auto startForm = [&](QWidget* parent) {
        form = new QFormLayout;
        if (layout.labelsAbove)
            form->setRowWrapPolicy(QFormLayout::WrapAllRows);
        if (parent)
            parent->setLayout(form);
        else
            fieldsBox->addLayout(form);
    };
    startForm(group);

    int index = 0;
    for (const DialogField& f : layout.fields) {
        if (group && index == layout.groupedFields)
            startForm(nullptr);
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::number(f.id));
        if (f.limit > 0)
            edit->setMaxLength(f.limit);
        auto* label = new QLabel(QString::fromLatin1(f.label), this);
        label->setBuddy(edit);
        form->addRow(label, edit);
        edits_.push_back(edit);
        texts_ << QString();
        ++index;
    }

    auto* buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel,
        layout.buttonsBelow ? Qt::Horizontal : Qt::Vertical, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QString::number(kOkId));
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QString::number(kCancelId));
    connect(buttons, &QDialogButtonBox::accepted, this, &CFieldDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CFieldDialog::reject);

    if (layout.buttonsBelow) {
        auto* outer = new QVBoxLayout(this);
        outer->addLayout(fieldsBox);
        outer->addWidget(buttons);
    } else {
        auto* outer = new QHBoxLayout(this);
        outer->addLayout(fieldsBox, 1);
        outer->addWidget(buttons, 0, Qt::AlignTop);
    }
    setMinimumSize(dialogUnitsToPixels(this, layout.widthDu, layout.heightDu));
    if (!edits_.empty())
        edits_.front()->setFocus();
}

void CFieldDialog::setText(int index, const QString& text)
{
    if (index < 0 || index >= static_cast<int>(edits_.size()))
        return;
    texts_[index] = text;
    edits_[static_cast<size_t>(index)]->setText(text);
}

QLineEdit* CFieldDialog::field(int id) const
{
    for (QLineEdit* e : edits_)
        if (e->objectName() == QString::number(id))
            return e;
    return nullptr;
}

void CFieldDialog::accept()
{
    for (size_t i = 0; i < edits_.size(); ++i)
        texts_[static_cast<int>(i)] = edits_[i]->text();
    QDialog::accept();
}
