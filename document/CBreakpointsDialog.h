#pragma once
#include <QDialog>
#include <cstdint>

class QListWidget;

// The modeless Breakpoints window: a sorted list of "$%04x" breakpoint addresses, each followed by
// its condition, hit count and log message when it has them.
class CBreakpointsDialog : public QDialog {
    Q_OBJECT
public:
    // List box control id.
    static constexpr int kListId = 1050;

    explicit CBreakpointsDialog(QWidget* owner);
    // Adds one address entry (rules: the breakpoint's rules as text, shown after it); the list
    // keeps address order.
    void addAddress(uint32_t address, const QString& rules = {});
    // The selected entry's text, or an empty string.
    QString selectedText() const;
    // The selected entry's address ("$%04x"), or an empty string.
    QString selectedAddress() const;
    // Removes the selected entry.
    void removeSelected();
    // Removes the first entry, from the top, that begins with "$%04x" of address; false if none.
    bool removeAddress(uint32_t address);
    // Empties the list.
    void clearAll();
    // The list's entries in order.
    QStringList entries() const;
    // The list box.
    QListWidget* list() const { return list_; }

    // Enter does nothing; the window stays.
    void accept() override {}

signals:
    // The selection of the list changed.
    void selectionChanged();

private:
    QListWidget* list_;
};
