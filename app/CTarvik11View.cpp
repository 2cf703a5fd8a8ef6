#include "app/CTarvik11View.h"
#include "document/CTarvik11Doc.h"
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScrollBar>
#include <QTextCursor>

namespace {

// Line feeds inside lines[from, to): each starts one more text line than the list counts.
int lineFeedsIn(const QStringList& lines, qsizetype from, qsizetype to)
{
    int n = 0;
    for (qsizetype i = from; i < to; ++i)
        n += static_cast<int>(lines[i].count(QLatin1Char('\n')));
    return n;
}

} // namespace

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
        shownLineFeeds_ = 0;
        return;
    }
    setPlainText(buildText(doc_->memoryLines));
    shownLines_ = static_cast<int>(doc_->memoryLines.size());
    shownLineFeeds_ = lineFeedsIn(doc_->memoryLines, 0, shownLines_);
    scrollToLatestDump();
}

void CTarvik11View::OnLinesAppended(int first)
{
    // The view that receives a dump comes to the front of the views.
    if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget())) {
        if (QMdiArea* area = frame->mdiArea())
            area->setActiveSubWindow(frame);
    }
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
    shownLineFeeds_ += lineFeedsIn(doc_->memoryLines, first, shownLines_);
    scrollToLatestDump();
}

void CTarvik11View::scrollToLatestDump()
{
    // The latest dump's header is entry (lines - lastDumpLines + 1) of memoryLines; it comes to the
    // top. An entry with line feeds of its own (a dump's header ends with one) takes more than one
    // text line, so the text line is counted from the entries above it.
    const QStringList& lines = doc_->memoryLines;
    const qsizetype header = qBound<qsizetype>(0, lines.size() - doc_->lastDumpLines + 1, lines.size());
    const int textLine = static_cast<int>(header) + shownLineFeeds_ - lineFeedsIn(lines, header, lines.size());
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(qBound(bar->minimum(), textLine, bar->maximum()));
}
