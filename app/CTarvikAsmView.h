#pragma once
#include "CTextView.h"

// The Assembly View: the listing of the last loaded program, from its first line.
class CTarvikAsmView : public CTextView {
    Q_OBJECT
public:
    explicit CTarvikAsmView(CTarvik11Doc* doc, QWidget* parent = nullptr);
    // Releases the listing: empties listingLines and clears listingShown.
    ~CTarvikAsmView() override;
    // Empties the document's listingLines and clears listingShown.
    void releaseListing();
    void OnUpdate() override;
    QString frameTitle() const override { return QStringLiteral("Assembly View"); }
};
