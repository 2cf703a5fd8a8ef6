#pragma once
#include "app/CTextView.h"
#include <QHash>
#include <QList>
#include <QSet>
#include <vector>

// The Assembly View: the listing of the last loaded program as a source view. The line where the
// program stopped is marked (a highlight, and an arrow in the gutter beside the text) and brought
// into sight at every stop; breakpoints show as dots in the gutter, and a click there toggles a
// breakpoint at the line's code.
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
    std::optional<uint32_t> cursorAddress() const override;

    // The address of the code on listing line (from 0), or nothing.
    std::optional<uint32_t> lineAddress(int line) const;
    // The first listing line with the code at address, or -1.
    int lineOf(uint32_t address) const;
    // The line marked as the program's stop, or -1.
    int markedLine() const { return markedLine_; }
    // The lines that carry a breakpoint marker, in order.
    QList<int> breakpointLines() const;
    // The gutter beside the text.
    QWidget* gutter() const;
    // The centre of line in the gutter's coordinates; a null point when the line is out of view.
    QPoint gutterPointOf(int line) const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    class Gutter;

    // Marks the stop and the breakpoints as the document knows them; a new stop comes into sight.
    void refreshMarkers(bool bringStopIntoView);
    void paintGutter(QPaintEvent* event);
    void gutterClicked(const QPoint& at);
    int gutterWidth() const;
    // Keeps the text clear of the gutter and the gutter beside the text.
    void placeGutter();
    // The lines in view: the first, and the last drawn whole.
    std::pair<int, int> visibleLines() const;
    // Scrolls so that line is in view, a third down from the top, unless it is already.
    void bringIntoView(int line);

    Gutter* gutter_;
    QStringList shownListing_;
    std::vector<std::optional<uint32_t>> addresses_; // per listing line
    QHash<uint32_t, int> lines_;                      // address to its first line
    QSet<uint32_t> breakpoints_;
    int markedLine_ = -1;
    int seenStops_ = 0;
};
