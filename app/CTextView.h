#pragma once
#include "res/CommandTables.h"
#include <QPlainTextEdit>
#include <QPointer>
#include <cstdint>
#include <optional>

class QPrinter;

#include "document/CTarvik11Doc.h"

// A read-only, never-wrapping, fixed-pitch text view of a document's lines; carries the edit
// and print commands of the view, and the commands that act on the code at the cursor line.
class CTextView : public QPlainTextEdit {
    Q_OBJECT
public:
    // The face the views ask for; a fixed-pitch face stands in where it is not installed.
    static constexpr const char* kFace = "Courier New";

    explicit CTextView(CTarvik11Doc* doc, QWidget* parent = nullptr);

    // The document shown, or nullptr once it is gone.
    CTarvik11Doc* GetDocument() const { return doc_; }
    // Rebuilds the text and sets the parent frame's title.
    void OnInitialUpdate();
    // Rebuilds the whole text from the document's lines.
    virtual void OnUpdate() = 0;
    // The text for lines: three blanks, the line and a line feed for each.
    static QString buildText(const QStringList& lines);
    // The frame title this view gives its frame.
    virtual QString frameTitle() const = 0;
    // The address of the code on the line of the text cursor (nothing in a view without code).
    virtual std::optional<uint32_t> cursorAddress() const { return std::nullopt; }

    // Prints text in font on printer, long lines wrapped at the page's width (at a blank where
    // there is one) rather than cut at its edge.
    static void printText(const QString& text, const QFont& font, QPrinter* printer);

    // The edit and print commands a view carries (the main frame runs them on the active view).
    static std::span<const CommandBinding<CTextView>> commandTable();

protected:
    // Sets the face, no wrapping and read-only (done at creation and before every rebuild).
    void applyTextFormat();

    QPointer<CTarvik11Doc> doc_;
    QString lastFind_;

private:
    void OnEditFind();
    void OnEditRepeat();
    void OnFilePrint();
    void OnToggleBreakpoint();
    void OnRunToCursor();
    CommandState copyState() const;
    // Enabled on a line with code while the talker listens.
    CommandState cursorCodeState() const;
    CommandState textState() const;
    CommandState repeatState() const;
    CommandState undoState() const;
};
