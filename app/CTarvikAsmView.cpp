#include "app/CTarvikAsmView.h"
#include "document/CTarvik11Doc.h"
#include "engine/ListingLines.h"

CTarvikAsmView::CTarvikAsmView(CTarvik11Doc* doc, QWidget* parent) : CAddressedTextView(doc, parent) {}

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
    // The document asks every view to rebuild when any of its lines change; the same listing keeps
    // its place and the cursor.
    if (doc_ && shownListing_ == doc_->listingLines && addresses_.size() > 0) {
        refreshMarkers(false);
        return;
    }
    shownListing_ = doc_ ? doc_->listingLines : QStringList();
    applyTextFormat();
    // A listing lays out its columns with tabs every eight characters.
    setTabStopDistance(fontMetrics().horizontalAdvance(QLatin1Char(' ')) * 8);
    addresses_.clear();
    for (const QString& line : shownListing_)
        addresses_.append(ListingLines::addressOf(line.toStdString()));
    // A new listing shows where the program stands at once.
    showLines(shownListing_);
}
