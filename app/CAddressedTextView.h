#pragma once
#include "app/CTextView.h"
#include <QHash>
#include <QList>
#include <QSet>

class QMenu;
#include <vector>

// A text view whose lines may carry the address of code, shown beside a gutter: the line where the
// program stopped is highlighted, with an arrow in the gutter, and brought into sight at every new
// stop; breakpoints show as dots in the gutter (and a tint on their lines), and a click there
// toggles a breakpoint at the line's code. Each view says which line holds which address.
class CAddressedTextView : public CTextView {
    Q_OBJECT
public:
    explicit CAddressedTextView(CTarvik11Doc* doc, QWidget* parent = nullptr);

    // The address of the code on line (from 0), or nothing.
    virtual std::optional<uint32_t> lineAddress(int line) const = 0;
    // The first line with the code at address, or -1.
    virtual int lineOf(uint32_t address) const = 0;
    std::optional<uint32_t> cursorAddress() const override;

    // The line marked as the program's stop, or -1.
    int markedLine() const { return markedLine_; }
    // The lines that carry a breakpoint marker, in order.
    QList<int> breakpointLines() const;
    // The gutter beside the text.
    QWidget* gutter() const;
    // The centre of line in the gutter's coordinates; a null point when the line is out of view.
    QPoint gutterPointOf(int line) const;
    // The context menu for the line at pos (viewport coordinates): the usual copy items, then
    // Toggle Breakpoint, Run to Cursor and Set PC Here acting on that line's code (disabled on a
    // line without code or while the talker does not listen). The caller owns the menu.
    QMenu* createLineMenu(const QPoint& pos);

protected:
    // Addresses per line, and each address's first line: the table most views answer from.
    class LineAddresses {
    public:
        void clear();
        void append(std::optional<uint32_t> address);
        int size() const { return static_cast<int>(addresses_.size()); }
        std::optional<uint32_t> at(int line) const;
        int lineOf(uint32_t address) const;

    private:
        std::vector<std::optional<uint32_t>> addresses_;
        QHash<uint32_t, int> lines_;
    };

    // Shows lines (the text format already applied) and marks them; a stop among them comes into
    // sight at once.
    void showLines(const QStringList& lines);
    // Marks the stop and the breakpoints as the document knows them; a new stop comes into sight.
    void refreshMarkers(bool bringStopIntoView);
    // What the view does when the target's state changes: by default, marks it.
    virtual void onTargetStateChanged() { refreshMarkers(false); }
    // Height of a strip above the text that a view fills with its own controls (none by default).
    virtual int topMargin() const { return 0; }
    // Keeps the text clear of the gutter and the top strip, and the gutter beside the text.
    void placeGutter();
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    class Gutter;

    void paintGutter(QPaintEvent* event);
    void gutterClicked(const QPoint& at);
    int gutterWidth() const;
    // The lines in view: the first, and the last drawn whole.
    std::pair<int, int> visibleLines() const;
    // Scrolls so that line is in view, a third down from the top, unless it is already.
    void bringIntoView(int line);

    Gutter* gutter_;
    QSet<uint32_t> breakpoints_;
    int markedLine_ = -1;
    int seenStops_ = 0;
};
