#pragma once
#include <QDialog>
#include <QStringList>
#include <span>
#include <vector>

class QLineEdit;

// One edit field of a command dialog: its label, control id and the most characters it takes.
struct DialogField {
    const char* label;
    int id;
    int limit; // 0: no limit
};

// The fixed shape of one command dialog.
struct DialogLayout {
    const char* title;
    int widthDu;               // size in dialog units
    int heightDu;
    std::span<const DialogField> fields; // in tab order
    const char* group = nullptr;          // group box framing the first groupedFields fields
    int groupedFields = 0;
    bool labelsAbove = false;             // labels over their fields instead of to their left
    bool buttonsBelow = false;            // OK and Cancel side by side under the fields
};

// A modal command dialog that only holds typed texts: fields are built from a layout, OK copies
// their texts into the dialog object, Cancel leaves the object as it was.
class CFieldDialog : public QDialog {
    Q_OBJECT
public:
    // Control ids of the two push buttons.
    static constexpr int kOkId = 1;
    static constexpr int kCancelId = 2;

    CFieldDialog(const DialogLayout& layout, QWidget* owner);

    // The text of field index as last copied by OK (or preset).
    QString text(int index) const { return texts_.value(index); }
    // Presets the text of field index (shown when the dialog opens).
    void setText(int index, const QString& text);
    // The edit field with the given control id, or nullptr.
    QLineEdit* field(int id) const;

    // Copies the field texts into the object, then closes with OK.
    void accept() override;

private:
    std::vector<QLineEdit*> edits_;
    QStringList texts_;
};
