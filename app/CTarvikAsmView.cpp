#include "CTarvikAsmView.h"
#include "CTarvik11Doc.h"

CTarvikAsmView::CTarvikAsmView(CTarvik11Doc* doc, QWidget* parent) : CTextView(doc, parent) {}

CTarvikAsmView::~CTarvikAsmView()
{
    releaseListing();
}

void CTarvikAsmView::releaseListing()
{
    if (doc_) {
        doc_->listingLines.clear();
        doc_->listingShown = 0;
    }
}

void CTarvikAsmView::OnUpdate()
{
    applyTextFormat();
    setPlainText(doc_ ? buildText(doc_->listingLines) : QString());
}
