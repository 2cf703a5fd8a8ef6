#include "CTarvik11View.h"
#include "CTarvik11Doc.h"
#include <QScrollBar>
#include <QTextCursor>

CTarvik11View::CTarvik11View(CTarvik11Doc* doc, QWidget* parent) : CTextView(doc, parent)
{
    if (doc)
        connect(doc, &CTarvik11Doc::memoryLinesAppended, this, &CTarvik11View::OnLinesAppended);
}

void CTarvik11View::OnUpdate()
{
    applyTextFormat();
    if (!doc_) {
        clear();
        shownLines_ = 0;
        return;
    }
    setPlainText(buildText(doc_->memoryLines));
    shownLines_ = static_cast<int>(doc_->memoryLines.size());
    scrollToLatestDump();
}

void CTarvik11View::OnLinesAppended(int first)
{
    if (!doc_ || first != shownLines_ || first == 0) {
        OnUpdate();
        return;
    }
    // Appending keeps a long Memory View fast; the text is the same as a rebuild would give.
    applyTextFormat();
    QTextCursor end(QPlainTextEdit::document());
    end.movePosition(QTextCursor::End);
    end.insertText(buildText(doc_->memoryLines.mid(first)));
    shownLines_ = static_cast<int>(doc_->memoryLines.size());
    scrollToLatestDump();
}

void CTarvik11View::scrollToLatestDump()
{
    // Down by (lines - lastDumpLines + 1): the latest dump's header line comes to the top.
    const int lines = static_cast<int>(doc_->memoryLines.size());
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(qBound(bar->minimum(), lines - doc_->lastDumpLines + 1, bar->maximum()));
}
