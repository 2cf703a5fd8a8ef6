#include "app/CDisassemblyView.h"
#include <QStatusBar>
#include "document/CTargetLine.h"

#include <QInputDialog>
#include <QTimer>
#include <algorithm>

namespace {

QString hexAddress(uint32_t address)
{
    return QStringLiteral("$%1").arg(address & 0xFFFFu, 4, 16, QLatin1Char('0'));
}

} // namespace

CDisassemblyView::CDisassemblyView(CTarvik11Doc* doc, QWidget* parent) : CAddressedTextView(doc, parent) {}

void CDisassemblyView::onTargetStateChanged()
{
    // The marks follow at once. A command's or stop's report comes while its transfer may still
    // hold the line: the view reads the target once the event loop is back.
    refreshMarkers(false);
    if (followQueued_)
        return;
    followQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        followQueued_ = false;
        followStop();
    });
}

bool CDisassemblyView::askRange(QWidget* owner, const CTarvik11Doc* doc, QString& start, QString& end)
{
    const std::optional<uint32_t> stop = doc ? doc->stopAddress() : std::nullopt;
    bool ok = false;
    const QString typed = QInputDialog::getText(owner, QStringLiteral("Disassembly"),
                                                QStringLiteral("Range to disassemble (START [END]):"),
                                                QLineEdit::Normal, stop ? hexAddress(*stop) : QString(), &ok);
    const QStringList words = typed.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (!ok || words.isEmpty() || words.size() > 2)
        return false;
    start = words[0];
    end = words.size() > 1 ? words[1] : QString();
    return true;
}

CommandResult CDisassemblyView::showRange(const QString& start, const QString& end)
{
    CommandResult result;
    DebugSession* session = doc_ ? doc_->services().session : nullptr;
    if (!session) {
        result.refusal = "No target";
        return result;
    }
    CTargetLine::Transfer transfer(doc_->services().line);
    if (!transfer.granted()) {
        result.refusal = "The line is busy";
        return result;
    }
    result = session->disassemble(start.toStdString(), end.toStdString());
    if (!result.ok())
        return result;
    range_ = {result.rangeStart, result.rangeEnd};
    shown_.clear();
    addresses_.clear();
    for (const std::string& line : result.lines) {
        shown_ << QString::fromStdString(line);
        // An instruction line starts with its address; a label line ends with a colon.
        std::optional<uint32_t> address;
        if (!line.empty() && line.back() != ':') {
            bool ok = false;
            const uint32_t value = QString::fromStdString(line.substr(0, 4)).toUInt(&ok, 16);
            if (ok)
                address = value;
        }
        addresses_.append(address);
    }
    applyTextFormat();
    showLines(shown_);
    return result;
}

uint32_t CDisassemblyView::followStart(uint32_t pc, const SymbolMap& symbols)
{
    return symbols.symbolAtOrBefore(static_cast<uint16_t>(pc), kSymbolReach).value_or(static_cast<uint16_t>(pc));
}

void CDisassemblyView::followStop()
{
    const std::optional<uint32_t> stop = doc_ ? doc_->stopAddress() : std::nullopt;
    DebugSession* session = doc_ ? doc_->services().session : nullptr;
    const uint32_t pc = stop.value_or(0);
    if (stop && session && lineOf(pc) < 0) {
        const uint32_t from = followStart(pc, session->symbols());
        const uint32_t to = std::min<uint32_t>(std::max(from + kFollowBytes - 1, pc + 15), 0xFFFF);
        // The view follows on its own: the stop's report stays what the status bar says.
        const QString report = doc_->statusBar ? doc_->statusBar->currentMessage() : QString();
        (void)showRange(hexAddress(from), hexAddress(to));
        if (!report.isEmpty())
            doc_->ShowStatusText(report);
    }
    refreshMarkers(false);
}

void CDisassemblyView::OnUpdate()
{
    // The text is the last disassembly's; the document's lines do not change it.
    if (toPlainText().isEmpty() && !shown_.isEmpty())
        setPlainText(buildText(shown_));
    refreshMarkers(false);
}
