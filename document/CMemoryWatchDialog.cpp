#include "document/CMemoryWatchDialog.h"
#include "document/CTargetLine.h"
#include "session/DebugSession.h"
#include <QApplication>
#include <QCheckBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QColor kChangedByte(255, 214, 102);

QString hex4(uint32_t value)
{
    return QStringLiteral("$%1").arg(value & 0xFFFFu, 4, 16, QLatin1Char('0'));
}

bool listening(const DebugSession& session)
{
    return session.runState() == RunState::Idle || session.runState() == RunState::Held;
}

} // namespace

CMemoryWatchDialog::CMemoryWatchDialog(DebugSession* session, QWidget* owner)
    : QDialog(owner), session_(session), rangeEdit_(new QLineEdit(this)), add_(new QPushButton(tr("Add"), this)),
      remove_(new QPushButton(tr("Remove"), this)), refresh_(new QPushButton(tr("Refresh"), this)),
      whileRunning_(new QCheckBox(tr("Refresh while running"), this)), table_(new QTableWidget(this)),
      status_(new QLabel(this)), runningTimer_(new QTimer(this))
{
    setWindowTitle(tr("Memory Watch"));
    rangeEdit_->setObjectName(QStringLiteral("watchRange"));
    rangeEdit_->setPlaceholderText(tr("Address or symbol [bytes], e.g. counter 2 or $c400 #16"));
    add_->setObjectName(QStringLiteral("add"));
    remove_->setObjectName(QStringLiteral("remove"));
    refresh_->setObjectName(QStringLiteral("refresh"));
    for (QPushButton* b : {add_, remove_, refresh_})
        b->setAutoDefault(false);
    whileRunning_->setObjectName(QStringLiteral("refreshWhileRunning"));
    whileRunning_->setToolTip(tr("Read the ranges every half second while the program runs (each read "
                                 "is a conversation with the talker beside the program)"));
    table_->setObjectName(QStringLiteral("watchTable"));
    table_->setColumnCount(1 + kBytesPerRow);
    QStringList headers{tr("Address")};
    for (int i = 0; i < kBytesPerRow; ++i)
        headers << QStringLiteral("+%1").arg(i);
    table_->setHorizontalHeaderLabels(headers);
    table_->verticalHeader()->hide();
    table_->setSelectionBehavior(QAbstractItemView::SelectItems);
    table_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                            QAbstractItemView::AnyKeyPressed);
    table_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    const int cell = QFontMetrics(table_->font()).horizontalAdvance(QStringLiteral("WWW"));
    for (int i = 1; i <= kBytesPerRow; ++i) {
        table_->horizontalHeader()->setSectionResizeMode(i, QHeaderView::Fixed);
        table_->setColumnWidth(i, cell);
    }
    status_->setObjectName(QStringLiteral("watchStatus"));
    status_->setWordWrap(true);
    runningTimer_->setInterval(kRunningRefreshMs);

    connect(add_, &QPushButton::clicked, this, [this] { accept(); });
    connect(remove_, &QPushButton::clicked, this, &CMemoryWatchDialog::removeSelected);
    connect(refresh_, &QPushButton::clicked, this, &CMemoryWatchDialog::Refresh);
    connect(table_, &QTableWidget::itemChanged, this, &CMemoryWatchDialog::cellEdited);
    connect(runningTimer_, &QTimer::timeout, this, &CMemoryWatchDialog::runningTick);
    connect(whileRunning_, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            runningTimer_->start();
        else
            runningTimer_->stop();
    });

    auto* entry = new QHBoxLayout;
    entry->addWidget(rangeEdit_, 1);
    entry->addWidget(add_);
    entry->addWidget(remove_);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(whileRunning_, 1);
    bottom->addWidget(refresh_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(entry);
    layout->addWidget(table_, 1);
    layout->addWidget(status_);
    layout->addLayout(bottom);
    resize(cell * (kBytesPerRow + 6), QFontMetrics(table_->font()).lineSpacing() * 18);
}

void CMemoryWatchDialog::say(const QString& text)
{
    status_->setText(text);
    if (message_)
        message_(text);
    else
        QMessageBox::warning(this, QStringLiteral("Tarvik11"), text);
}

QStringList CMemoryWatchDialog::rangeTexts() const
{
    QStringList out;
    for (const MemoryWatch::Range& range : watch_.ranges())
        out << QString::fromStdString(MemoryWatch::text(range));
    return out;
}

void CMemoryWatchDialog::setRangeTexts(const QStringList& texts)
{
    std::vector<MemoryWatch::Range> ranges;
    for (const QString& text : texts)
        if (const auto range = MemoryWatch::parse(text.toStdString(), NumberBase::Decimal, nullptr))
            ranges.push_back(*range);
    watch_.setRanges(std::move(ranges));
    rebuild();
}

void CMemoryWatchDialog::accept()
{
    if (addRange(rangeEdit_->text()))
        rangeEdit_->clear();
}

bool CMemoryWatchDialog::addRange(const QString& text)
{
    std::string why;
    const NumberBase base = session_ ? session_->base() : NumberBase::Decimal;
    const auto range = MemoryWatch::parse(text.toStdString(), base, &why);
    // A typed address must mean something now (stored ranges wait for their program instead).
    if (range && session_ && !session_->resolveAddress(range->where, &why)) {
        if (why.empty())
            why = "Watch: '" + range->where + "' is no address or symbol of the program";
    } else if (range) {
        why.clear();
    }
    if (!range || !why.empty()) {
        say(QString::fromStdString(why));
        return false;
    }
    watch_.add(*range);
    emit rangesChanged();
    rebuild();
    // A new range shows its bytes at once when the talker listens.
    if (session_ && listening(*session_) && isVisible())
        Refresh();
    return true;
}

void CMemoryWatchDialog::removeSelected()
{
    const int row = table_->currentRow();
    if (row < 0 || row >= static_cast<int>(rows_.size())) {
        QApplication::beep();
        return;
    }
    watch_.remove(rows_[static_cast<size_t>(row)].first);
    emit rangesChanged();
    rebuild();
}

void CMemoryWatchDialog::Refresh()
{
    if (!session_)
        return;
    CTargetLine::Transfer transfer(line_);
    if (!transfer.granted() || session_->busy())
        return;
    const TalkerStatus status = watch_.look(*session_);
    // The first range that shows nothing says why (each row's tip says it for its own range).
    QString why = status == kTalkerOk ? QString() : QString::fromLatin1(talkerStatusText(status));
    for (const MemoryWatch::Look& look : watch_.looks())
        if (why.isEmpty() && !look.problem.empty())
            why = QString::fromStdString(look.problem);
    status_->setText(why);
    rebuild();
}

void CMemoryWatchDialog::targetStateChanged()
{
    // The report may come in the middle of a transfer: the read waits for the event loop.
    if (refreshQueued_ || !isVisible() || !session_ || !listening(*session_))
        return;
    refreshQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        refreshQueued_ = false;
        if (isVisible() && session_ && listening(*session_))
            Refresh();
    });
}

void CMemoryWatchDialog::runningTick()
{
    if (isVisible() && session_ && session_->runState() == RunState::Running)
        Refresh();
}

void CMemoryWatchDialog::rebuild()
{
    rebuilding_ = true;
    rows_.clear();
    const auto& ranges = watch_.ranges();
    const auto& looks = watch_.looks();
    for (size_t i = 0; i < ranges.size(); ++i)
        for (uint32_t offset = 0; offset < ranges[i].count; offset += kBytesPerRow)
            rows_.emplace_back(i, offset);
    table_->setRowCount(static_cast<int>(rows_.size()));
    for (int row = 0; row < static_cast<int>(rows_.size()); ++row) {
        const auto [index, offset] = rows_[static_cast<size_t>(row)];
        const MemoryWatch::Look* look = index < looks.size() ? &looks[index] : nullptr;
        const QString where = QString::fromStdString(ranges[index].where);
        QString label;
        if (look && look->address)
            label = offset == 0 ? QStringLiteral("%1  %2").arg(where, hex4(*look->address + offset))
                                : hex4(*look->address + offset);
        else
            label = offset == 0 ? where : QString();
        auto* head = new QTableWidgetItem(label);
        head->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        if (offset == 0 && look && !look->problem.empty())
            head->setToolTip(QString::fromStdString(look->problem));
        table_->setItem(row, 0, head);
        for (int c = 0; c < kBytesPerRow; ++c) {
            const uint32_t at = offset + static_cast<uint32_t>(c);
            auto* item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignCenter);
            if (at >= ranges[index].count) {
                item->setFlags(Qt::NoItemFlags);
            } else if (look && at < look->bytes.size()) {
                item->setText(QStringLiteral("%1").arg(look->bytes[at], 2, 16, QLatin1Char('0')).toUpper());
                item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
                const bool changed = at < look->changed.size() && look->changed[at];
                item->setData(Qt::UserRole, changed);
                if (changed) {
                    item->setBackground(kChangedByte);
                    QFont bold = table_->font();
                    bold.setBold(true);
                    item->setFont(bold);
                }
            } else {
                item->setText(QStringLiteral("--"));
                item->setFlags(Qt::ItemIsEnabled);
                if (look && !look->problem.empty())
                    item->setToolTip(QString::fromStdString(look->problem));
            }
            table_->setItem(row, c + 1, item);
        }
    }
    rebuilding_ = false;
}

bool CMemoryWatchDialog::markedChanged(int row, int column) const
{
    const QTableWidgetItem* item = table_->item(row, column);
    return item && item->data(Qt::UserRole).toBool();
}

void CMemoryWatchDialog::cellEdited(QTableWidgetItem* item)
{
    if (rebuilding_ || !item)
        return;
    // The table shows what the watch holds, whatever the edit's outcome.
    const QString typed = item->text().trimmed();
    const int row = item->row();
    const int column = item->column();
    QTimer::singleShot(0, this, [this, row, column, typed] { editByte(row, column, typed); });
}

bool CMemoryWatchDialog::editByte(int row, int column, const QString& text)
{
    if (!session_ || row < 0 || row >= static_cast<int>(rows_.size()) || column < 1 || column > kBytesPerRow) {
        rebuild();
        return false;
    }
    CommandResult result;
    {
        CTargetLine::Transfer transfer(line_);
        if (!transfer.granted()) {
            result.refusal = "The line is busy with another command; nothing was written";
        } else {
            const auto [index, offset] = rows_[static_cast<size_t>(row)];
            result = watch_.edit(*session_, index, offset + static_cast<uint32_t>(column - 1), text.toStdString());
        }
    }
    rebuild();
    if (!result.ok()) {
        say(QString::fromStdString(result.errorText()));
        return false;
    }
    status_->setText(QString::fromStdString(result.doneText));
    return true;
}
