#pragma once
#include "CommandTarget.h"
#include <QPlainTextEdit>
#include <QPointer>

#include "CTarvik11Doc.h"

// A read-only, never-wrapping, fixed-pitch text view of a document's lines; carries the edit
// and print commands of the view.
class CTextView : public QPlainTextEdit, public CommandTarget {
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

    bool updateCommand(int id, CmdUI& ui) override;
    bool onCommand(int id) override;

protected:
    // Sets the face, no wrapping and read-only (done at creation and before every rebuild).
    void applyTextFormat();

    QPointer<CTarvik11Doc> doc_;
    QString lastFind_;
};
