#include "document/CBreakpointsDialog.h"
#include <QListWidget>
#include <QVBoxLayout>

CBreakpointsDialog::CBreakpointsDialog(QWidget* owner)
    : QDialog(owner), list_(new QListWidget(this))
{
    setWindowTitle(tr("Breakpoints"));
    list_->setObjectName(QString::number(kListId));
    list_->setSortingEnabled(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(list_);
    resize(170, 190);
    connect(list_, &QListWidget::itemSelectionChanged, this, &CBreakpointsDialog::selectionChanged);
}

void CBreakpointsDialog::addAddress(uint32_t address, const QString& rules)
{
    const QString entry = QStringLiteral("$%1").arg(address & 0xFFFF, 4, 16, QLatin1Char('0'));
    list_->addItem(rules.isEmpty() ? entry : entry + QStringLiteral("  ") + rules);
}

QString CBreakpointsDialog::selectedAddress() const
{
    return selectedText().section(QLatin1Char(' '), 0, 0);
}

QString CBreakpointsDialog::selectedText() const
{
    const auto items = list_->selectedItems();
    return items.isEmpty() ? QString() : items.first()->text();
}

void CBreakpointsDialog::removeSelected()
{
    const auto items = list_->selectedItems();
    for (auto* item : items)
        delete item;
}

bool CBreakpointsDialog::removeAddress(uint32_t address)
{
    const QString entry = QStringLiteral("$%1").arg(address & 0xFFFF, 4, 16, QLatin1Char('0'));
    for (int i = 0; i < list_->count(); ++i)
        if (list_->item(i)->text().startsWith(entry)) {
            delete list_->takeItem(i);
            return true;
        }
    return false;
}

void CBreakpointsDialog::clearAll()
{
    list_->clear();
}

QStringList CBreakpointsDialog::entries() const
{
    QStringList out;
    for (int i = 0; i < list_->count(); ++i)
        out << list_->item(i)->text();
    return out;
}
