#pragma once
#include "app/CAddressedTextView.h"

// The Assembly View: the listing of the last loaded program as a source view. The line where the
// program stopped is marked (a highlight, and an arrow in the gutter beside the text) and brought
// into sight at every stop; breakpoints show as dots in the gutter, and a click there toggles a
// breakpoint at the line's code.
class CTarvikAsmView : public CAddressedTextView {
    Q_OBJECT
public:
    explicit CTarvikAsmView(CTarvik11Doc* doc, QWidget* parent = nullptr);
    // Releases the listing: empties listingLines and clears listingShown.
    ~CTarvikAsmView() override;
    // Empties the document's listingLines and clears listingShown.
    void releaseListing();
    void OnUpdate() override;
    QString frameTitle() const override { return QStringLiteral("Assembly View"); }

    // The address of the code on listing line (from 0), or nothing.
    std::optional<uint32_t> lineAddress(int line) const override { return addresses_.at(line); }
    // The first listing line with the code at address, or -1.
    int lineOf(uint32_t address) const override { return addresses_.lineOf(address); }

private:
    QStringList shownListing_;
    LineAddresses addresses_;
};
