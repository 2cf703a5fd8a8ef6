#include "app/CMemChildFrame.h"
#include <QAction>
#include <QCloseEvent>
#include <QMenu>

CMemChildFrame::CMemChildFrame(QWidget* parent) : QMdiSubWindow(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    applyFrameFlags();
    // Without the system-menu hint the title bar draws no close box; the menu itself stays
    // reachable from the keyboard, so its Close item goes as well.
    if (QMenu* menu = systemMenu()) {
        for (QAction* action : menu->actions())
            if (action->shortcut() == QKeySequence(QKeySequence::Close)
                || action->text().remove(QLatin1Char('&')) == QLatin1String("Close")) {
                menu->removeAction(action);
                action->setEnabled(false);
            }
    }
}

void CMemChildFrame::applyFrameFlags()
{
    setWindowFlags(Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowMinMaxButtonsHint);
}

void CMemChildFrame::closeEvent(QCloseEvent* event)
{
    if (!closeAllowed_) {
        event->ignore();
        return;
    }
    QMdiSubWindow::closeEvent(event);
}
