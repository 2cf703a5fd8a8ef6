#include "CTarvik11View.h"
#include "CTarvik11Doc.h"
#include <QScrollBar>

CTarvik11View::CTarvik11View(CTarvik11Doc* doc, QWidget* parent) : CTextView(doc, parent) {}

void CTarvik11View::OnUpdate()
{
    applyTextFormat();
    if (!doc_) {
        clear();
        return;
    }
    setPlainText(buildText(doc_->memoryLines));
    // Down by (lines - lastDumpLines + 1): the latest dump's header line comes to the top.
    const int lines = static_cast<int>(doc_->memoryLines.size());
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(qBound(bar->minimum(), lines - doc_->lastDumpLines + 1, bar->maximum()));
}
