#include "app/CAddressedTextView.h"
#include "document/CTarvik11Doc.h"
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QTextBlock>
#include <algorithm>

namespace {

const QColor kStopLine(255, 236, 139);
const QColor kBreakpointLine(250, 222, 222);
const QColor kBreakpointDot(205, 45, 40);
const QColor kStopArrow(240, 180, 20);

} // namespace

// The strip beside the text that shows the markers and takes the clicks.
class CAddressedTextView::Gutter : public QWidget {
public:
    explicit Gutter(CAddressedTextView* view) : QWidget(view), view_(view)
    {
        setObjectName(QStringLiteral("gutter"));
        setCursor(Qt::PointingHandCursor);
        setToolTip(tr("Click a line with code to set or remove a breakpoint there"));
    }
    QSize sizeHint() const override { return {view_->gutterWidth(), 0}; }

protected:
    void paintEvent(QPaintEvent* event) override { view_->paintGutter(event); }
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton)
            view_->gutterClicked(event->position().toPoint());
    }
    void mouseReleaseEvent(QMouseEvent* event) override { event->accept(); }

private:
    CAddressedTextView* view_;
};

void CAddressedTextView::LineAddresses::clear()
{
    addresses_.clear();
    lines_.clear();
}

void CAddressedTextView::LineAddresses::append(std::optional<uint32_t> address)
{
    if (address)
        address = *address & 0xFFFFu;
    if (address && !lines_.contains(*address))
        lines_.insert(*address, size());
    addresses_.push_back(address);
}

std::optional<uint32_t> CAddressedTextView::LineAddresses::at(int line) const
{
    if (line < 0 || line >= size())
        return std::nullopt;
    return addresses_[static_cast<size_t>(line)];
}

int CAddressedTextView::LineAddresses::lineOf(uint32_t address) const
{
    return lines_.value(address & 0xFFFFu, -1);
}

CAddressedTextView::CAddressedTextView(CTarvik11Doc* doc, QWidget* parent)
    : CTextView(doc, parent), gutter_(new Gutter(this))
{
    placeGutter();
    connect(this, &QPlainTextEdit::updateRequest, this, [this](const QRect& rect, int dy) {
        if (dy)
            gutter_->scroll(0, dy);
        else
            gutter_->update(0, rect.y(), gutter_->width(), rect.height());
    });
    if (doc_) {
        seenStops_ = doc_->stopCount();
        connect(doc_, &CTarvik11Doc::targetStateChanged, this, [this] { onTargetStateChanged(); });
    }
}

std::optional<uint32_t> CAddressedTextView::cursorAddress() const
{
    return lineAddress(textCursor().blockNumber());
}

QList<int> CAddressedTextView::breakpointLines() const
{
    QList<int> out;
    for (uint32_t address : breakpoints_)
        if (const int line = lineOf(address); line >= 0)
            out << line;
    std::sort(out.begin(), out.end());
    return out;
}

QWidget* CAddressedTextView::gutter() const
{
    return gutter_;
}

int CAddressedTextView::gutterWidth() const
{
    return fontMetrics().lineSpacing() + 8;
}

void CAddressedTextView::resizeEvent(QResizeEvent* event)
{
    CTextView::resizeEvent(event);
    placeGutter();
}

void CAddressedTextView::placeGutter()
{
    if (viewportMargins().left() != gutterWidth() || viewportMargins().top() != topMargin())
        setViewportMargins(gutterWidth(), topMargin(), 0, 0);
    const QRect area = contentsRect();
    gutter_->setGeometry(QRect(area.left(), area.top() + topMargin(), gutterWidth(), area.height() - topMargin()));
}

void CAddressedTextView::showLines(const QStringList& lines)
{
    // The face may have changed, and the gutter's width with it.
    placeGutter();
    setPlainText(buildText(lines));
    refreshMarkers(true);
}

void CAddressedTextView::refreshMarkers(bool bringStopIntoView)
{
    breakpoints_.clear();
    std::optional<uint32_t> stop;
    if (doc_) {
        for (uint32_t address : doc_->breakpointAddresses())
            breakpoints_.insert(address & 0xFFFFu);
        stop = doc_->stopAddress();
    }
    markedLine_ = stop ? lineOf(*stop) : -1;

    QList<QTextEdit::ExtraSelection> marks;
    auto mark = [&](int line, const QColor& color) {
        QTextEdit::ExtraSelection selection;
        selection.cursor = QTextCursor(QPlainTextEdit::document()->findBlockByNumber(line));
        selection.format.setBackground(color);
        selection.format.setProperty(QTextFormat::FullWidthSelection, true);
        marks << selection;
    };
    for (int line : breakpointLines())
        mark(line, kBreakpointLine);
    if (markedLine_ >= 0)
        mark(markedLine_, kStopLine);
    setExtraSelections(marks);
    gutter_->update();

    // Each new stop is brought into sight once; between stops the user scrolls freely.
    const int stops = doc_ ? doc_->stopCount() : 0;
    if (stops != seenStops_)
        bringStopIntoView = true;
    seenStops_ = stops;
    if (bringStopIntoView && markedLine_ >= 0)
        bringIntoView(markedLine_);
}

std::pair<int, int> CAddressedTextView::visibleLines() const
{
    const int first = firstVisibleBlock().blockNumber();
    const int rows = qMax(1, viewport()->height() / fontMetrics().lineSpacing());
    return {first, first + rows - 1};
}

void CAddressedTextView::bringIntoView(int line)
{
    const auto [first, last] = visibleLines();
    if (line >= first && line <= last)
        return;
    const int rows = last - first + 1;
    verticalScrollBar()->setValue(qMax(0, line - rows / 3));
}

QPoint CAddressedTextView::gutterPointOf(int line) const
{
    const QTextBlock block = QPlainTextEdit::document()->findBlockByNumber(line);
    if (!block.isValid())
        return {};
    const QRectF box = blockBoundingGeometry(block).translated(contentOffset());
    if (box.bottom() < 0 || box.top() > viewport()->height())
        return {};
    return {gutter_->width() / 2, static_cast<int>(box.center().y())};
}

void CAddressedTextView::paintGutter(QPaintEvent* event)
{
    QPainter p(gutter_);
    p.fillRect(event->rect(), palette().color(QPalette::Window));
    p.setRenderHint(QPainter::Antialiasing);
    QTextBlock block = firstVisibleBlock();
    qreal top = blockBoundingGeometry(block).translated(contentOffset()).top();
    const qreal width = gutter_->width();
    while (block.isValid() && top <= event->rect().bottom()) {
        const qreal height = blockBoundingRect(block).height();
        const int line = block.blockNumber();
        if (block.isVisible() && top + height >= event->rect().top()) {
            const QPointF centre(width / 2, top + height / 2);
            const qreal r = qMin(height, width) * 0.36;
            const std::optional<uint32_t> address = lineAddress(line);
            if (address && breakpoints_.contains(*address)) {
                p.setPen(QPen(kBreakpointDot.darker(150), 1));
                p.setBrush(kBreakpointDot);
                p.drawEllipse(centre, r, r);
            }
            if (line == markedLine_) {
                // An arrow pointing at the line, over a breakpoint's dot if there is one.
                QPainterPath arrow;
                const qreal h = r * 0.55;
                arrow.moveTo(centre.x() - r, centre.y() - h);
                arrow.lineTo(centre.x(), centre.y() - h);
                arrow.lineTo(centre.x(), centre.y() - r * 1.1);
                arrow.lineTo(centre.x() + r * 1.1, centre.y());
                arrow.lineTo(centre.x(), centre.y() + r * 1.1);
                arrow.lineTo(centre.x(), centre.y() + h);
                arrow.lineTo(centre.x() - r, centre.y() + h);
                arrow.closeSubpath();
                p.setPen(QPen(kStopArrow.darker(170), 1));
                p.setBrush(kStopArrow);
                p.drawPath(arrow);
            }
        }
        block = block.next();
        top += height;
    }
}

void CAddressedTextView::gutterClicked(const QPoint& at)
{
    const QTextCursor cursor = cursorForPosition(QPoint(0, at.y()));
    const QRectF box = blockBoundingGeometry(cursor.block()).translated(contentOffset());
    if (at.y() < box.top() || at.y() >= box.bottom())
        return; // below the last line
    const std::optional<uint32_t> address = lineAddress(cursor.blockNumber());
    if (!address || !doc_) {
        QApplication::beep();
        return;
    }
    doc_->ToggleBreakpointAt(*address);
}

QMenu* CAddressedTextView::createLineMenu(const QPoint& pos)
{
    QMenu* menu = createStandardContextMenu(pos);
    menu->addSeparator();
    const std::optional<uint32_t> address = lineAddress(cursorForPosition(pos).blockNumber());
    const bool enabled = address && doc_ && doc_->targetListening();
    const QPointer<CTarvik11Doc> doc = doc_;
    auto add = [&](const QString& title, void (CTarvik11Doc::*command)(uint32_t)) {
        QAction* action = menu->addAction(title);
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, menu, [doc, address, command] {
            if (doc && address)
                (doc->*command)(*address);
        });
    };
    add(tr("Toggle Breakpoint"), &CTarvik11Doc::ToggleBreakpointAt);
    add(tr("Run to Cursor"), &CTarvik11Doc::RunToAddress);
    add(tr("Set PC Here"), &CTarvik11Doc::SetPcAt);
    return menu;
}

void CAddressedTextView::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = createLineMenu(event->pos());
    menu->exec(event->globalPos());
    delete menu;
}
