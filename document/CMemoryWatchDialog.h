#pragma once
#include "session/MemoryWatch.h"
#include <QDialog>
#include <QStringList>
#include <functional>

class CTargetLine;
class DebugSession;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;
class QTimer;

// The modeless Memory Watch window: ranges of target memory named by address or symbol, read
// again at every stop (and, while its box is ticked, every kRunningRefreshMs while a program
// runs), bytes that changed since the look before highlighted. A byte edited in place is
// written as Set Memory writes it; a refused write changes nothing and says why. Created
// hidden; closing it only hides it.
class CMemoryWatchDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kBytesPerRow = 8;
    static constexpr int kRunningRefreshMs = 500;

    // Works through session (may be null: nothing is read).
    CMemoryWatchDialog(DebugSession* session, QWidget* owner);

    void setMessageHandler(std::function<void(const QString&)> handler) { message_ = std::move(handler); }
    void setTargetLine(CTargetLine* line) { line_ = line; }

    // The ranges as texts ("WHERE #COUNT"), and replacing them (texts that do not parse are dropped).
    QStringList rangeTexts() const;
    void setRangeTexts(const QStringList& texts);
    // Adds the range typed as "WHERE [COUNT]"; false, with the reason shown, when it does not parse
    // or its address means nothing to the session now.
    bool addRange(const QString& text);
    // Removes the range of the selected row.
    void removeSelected();
    // Reads every range and shows it (nothing while another command talks to the target).
    void Refresh();
    // The program stopped or a command ended: a visible window reads again once the event loop
    // is back, when the talker listens.
    void targetStateChanged();
    // Writes text as the byte in row and column of the table (as an edit there does); false when
    // refused or failed, with the reason shown and the old byte kept.
    bool editByte(int row, int column, const QString& text);

    QTableWidget* table() const { return table_; }
    QCheckBox* whileRunningBox() const { return whileRunning_; }
    QLineEdit* rangeEdit() const { return rangeEdit_; }
    QLabel* statusLabel() const { return status_; }
    const MemoryWatch& watch() const { return watch_; }
    // True when the byte shown in row and column is marked as changed.
    bool markedChanged(int row, int column) const;

    // Enter adds the typed range; the window stays.
    void accept() override;

signals:
    // The ranges changed (added or removed): a front end stores them.
    void rangesChanged();

private:
    void rebuild();
    void cellEdited(QTableWidgetItem* item);
    void runningTick();
    void say(const QString& text);

    DebugSession* session_;
    CTargetLine* line_ = nullptr;
    std::function<void(const QString&)> message_;
    MemoryWatch watch_;
    // Per table row: the range and the offset of its first byte.
    std::vector<std::pair<size_t, uint32_t>> rows_;
    QLineEdit* rangeEdit_;
    QPushButton* add_;
    QPushButton* remove_;
    QPushButton* refresh_;
    QCheckBox* whileRunning_;
    QTableWidget* table_;
    QLabel* status_;
    QTimer* runningTimer_;
    bool rebuilding_ = false;
    bool refreshQueued_ = false;
};
