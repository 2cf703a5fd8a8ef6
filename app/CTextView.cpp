#include "app/CTextView.h"
#include "app/CTarvik11App.h"
#include "document/CTarvik11Doc.h"
#include "res/CommandIds.h"
#include <QFontDatabase>
#include <QFontInfo>
#include <QInputDialog>
#include <QMdiSubWindow>
#include <QPrintDialog>
#include <QPrinter>
#include <QTextDocument>
#include <QTextOption>

CTextView::CTextView(CTarvik11Doc* doc, QWidget* parent) : QPlainTextEdit(parent), doc_(doc)
{
    applyTextFormat();
    setUndoRedoEnabled(false);
    if (doc_)
        connect(doc_, &CTarvik11Doc::linesChanged, this, [this] { OnUpdate(); });
}

void CTextView::applyTextFormat()
{
    QFont face(QString::fromLatin1(kFace));
    face.setStyleHint(QFont::TypeWriter);
    face.setFixedPitch(true);
    if (!QFontInfo(face).fixedPitch()) {
        const int size = face.pointSize();
        face = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        face.setPointSize(size);
    }
    setFont(face);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setReadOnly(true);
}

void CTextView::OnInitialUpdate()
{
    OnUpdate();
    if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget()))
        frame->setWindowTitle(frameTitle());
    else if (parentWidget())
        parentWidget()->setWindowTitle(frameTitle());
}

QString CTextView::buildText(const QStringList& lines)
{
    QString text;
    for (const QString& line : lines) {
        text += QLatin1String("   ");
        text += line;
        text += QLatin1Char('\n');
    }
    return text;
}

std::span<const CommandBinding<CTextView>> CTextView::commandTable()
{
    static constexpr CommandBinding<CTextView> kCommands[] = {
        {CmdId::kEditCopy, &CTextView::copy, &CTextView::copyState},
        {CmdId::kEditSelectAll, &CTextView::selectAll, &CTextView::textState},
        {CmdId::kEditFind, &CTextView::OnEditFind, &CTextView::textState},
        {CmdId::kEditRepeat, &CTextView::OnEditRepeat, &CTextView::repeatState},
        {CmdId::kEditUndo, &CTextView::undo, &CTextView::undoState},
        {CmdId::kFilePrint, &CTextView::OnFilePrint},
        {CmdId::kToggleBreakpoint, &CTextView::OnToggleBreakpoint, &CTextView::cursorCodeState},
        {CmdId::kRunToCursor, &CTextView::OnRunToCursor, &CTextView::cursorCodeState},
    };
    return kCommands;
}

CommandState CTextView::copyState() const
{
    return {textCursor().hasSelection(), false};
}

CommandState CTextView::cursorCodeState() const
{
    return {doc_ && doc_->targetListening() && cursorAddress().has_value(), false};
}

void CTextView::OnToggleBreakpoint()
{
    if (const auto address = cursorAddress(); address && doc_)
        doc_->ToggleBreakpointAt(*address);
}

void CTextView::OnRunToCursor()
{
    if (const auto address = cursorAddress(); address && doc_)
        doc_->RunToAddress(*address);
}

CommandState CTextView::textState() const
{
    return {!QPlainTextEdit::document()->isEmpty(), false};
}

CommandState CTextView::repeatState() const
{
    return {textState().enabled && !lastFind_.isEmpty(), false};
}

CommandState CTextView::undoState() const
{
    return {!isReadOnly() && QPlainTextEdit::document()->isUndoAvailable(), false};
}

void CTextView::OnEditFind()
{
    bool ok = false;
    const QString what = QInputDialog::getText(this, tr("Find"), tr("Find what:"), QLineEdit::Normal,
                                               lastFind_, &ok);
    if (!ok || what.isEmpty())
        return;
    lastFind_ = what;
    OnEditRepeat();
}

void CTextView::OnEditRepeat()
{
    if (lastFind_.isEmpty() || find(lastFind_))
        return;
    // Not found below the cursor: once more from the top, else the cursor stays and it beeps.
    const QTextCursor start = textCursor();
    moveCursor(QTextCursor::Start);
    if (!find(lastFind_)) {
        setTextCursor(start);
        QApplication::beep();
    }
}

void CTextView::OnFilePrint()
{
    auto* app = CTarvik11App::instance();
    QPrinter fallback;
    QPrinter* printer = app ? app->printer() : &fallback;
    QPrintDialog dialog(printer, this);
    if (dialog.exec() == QDialog::Accepted)
        printText(toPlainText(), font(), printer);
}

void CTextView::printText(const QString& text, const QFont& font, QPrinter* printer)
{
    // The view never wraps; paper has an edge, so the printed copy wraps instead.
    QTextDocument copy;
    copy.setDefaultFont(font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    copy.setDefaultTextOption(option);
    copy.setPlainText(text);
    copy.print(printer);
}
