#include "CTextView.h"
#include "CTarvik11App.h"
#include "CTarvik11Doc.h"
#include "CommandIds.h"
#include <QFontDatabase>
#include <QFontInfo>
#include <QInputDialog>
#include <QMdiSubWindow>
#include <QPrintDialog>
#include <QPrinter>

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

bool CTextView::updateCommand(int id, CmdUI& ui)
{
    const bool hasText = !QPlainTextEdit::document()->isEmpty();
    switch (id) {
    case CmdId::kEditCopy:
        ui.enabled = textCursor().hasSelection();
        return true;
    case CmdId::kEditSelectAll:
    case CmdId::kEditFind:
        ui.enabled = hasText;
        return true;
    case CmdId::kEditRepeat:
        ui.enabled = hasText && !lastFind_.isEmpty();
        return true;
    case CmdId::kEditUndo:
        ui.enabled = !isReadOnly() && QPlainTextEdit::document()->isUndoAvailable();
        return true;
    case CmdId::kFilePrint:
        ui.enabled = true;
        return true;
    default:
        return false;
    }
}

bool CTextView::onCommand(int id)
{
    switch (id) {
    case CmdId::kEditCopy:
        copy();
        return true;
    case CmdId::kEditSelectAll:
        selectAll();
        return true;
    case CmdId::kEditUndo:
        undo();
        return true;
    case CmdId::kEditFind: {
        bool ok = false;
        const QString what = QInputDialog::getText(this, tr("Find"), tr("Find what:"),
                                                   QLineEdit::Normal, lastFind_, &ok);
        if (!ok || what.isEmpty())
            return true;
        lastFind_ = what;
        [[fallthrough]];
    }
    case CmdId::kEditRepeat:
        if (!lastFind_.isEmpty() && !find(lastFind_)) {
            QTextCursor start = textCursor();
            moveCursor(QTextCursor::Start);
            if (!find(lastFind_)) {
                setTextCursor(start);
                QApplication::beep();
            }
        }
        return true;
    case CmdId::kFilePrint: {
        auto* app = CTarvik11App::instance();
        QPrinter fallback;
        QPrinter* printer = app ? app->printer() : &fallback;
        QPrintDialog dialog(printer, this);
        if (dialog.exec() == QDialog::Accepted)
            print(printer);
        return true;
    }
    default:
        return false;
    }
}
