#pragma once
#include <QDialog>

class CTarvik11Doc;
class QLineEdit;

// The modeless Display Memory window: the start and end of a range to dump into the Memory View.
// Display (or Enter) asks the document for the dump; Dismiss, Escape and the close box hide it.
// The texts persist between showings; each dump rewrites them with the rounded range.
class CDisplayMemoryDialog : public QDialog {
    Q_OBJECT
public:
    // Control ids of the two fields.
    static constexpr int kStartId = 1037;
    static constexpr int kEndId = 1038;
    // Control ids of the push buttons.
    static constexpr int kDisplayId = 1;
    static constexpr int kDismissId = 2;

    explicit CDisplayMemoryDialog(QWidget* owner);

    // The document the dumps go to.
    void setDocument(CTarvik11Doc* doc) { doc_ = doc; }
    CTarvik11Doc* document() const { return doc_; }

    // The Display button: takes the field texts and asks for the dump.
    void DumpMemory();
    // The typed start and end texts as last taken.
    QString startText() const { return start_; }
    QString endText() const { return end_; }
    // Replaces both texts and shows them.
    void setRangeTexts(const QString& start, const QString& end);
    // The edit field with the given control id, or nullptr.
    QLineEdit* field(int id) const;

    // Enter: the default Display button.
    void accept() override { DumpMemory(); }

signals:
    // Display was pressed; the texts are taken.
    void dumpRequested();

private:
    CTarvik11Doc* doc_ = nullptr;
    QLineEdit* startEdit_;
    QLineEdit* endEdit_;
    QString start_;
    QString end_;
};
