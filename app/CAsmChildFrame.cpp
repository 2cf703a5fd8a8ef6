#include "app/CAsmChildFrame.h"
#include "app/CTarvikAsmView.h"
#include <QCloseEvent>

CAsmChildFrame::CAsmChildFrame(QWidget* parent) : QMdiSubWindow(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
}

void CAsmChildFrame::closeEvent(QCloseEvent* event)
{
    QMdiSubWindow::closeEvent(event);
    if (event->isAccepted())
        if (auto* view = qobject_cast<CTarvikAsmView*>(widget()))
            view->releaseListing();
}
