#include "app/CSplashWindow.h"
#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimerEvent>

bool CSplashWindow::c_enabled = false;
QPointer<CSplashWindow> CSplashWindow::c_window;

void CSplashWindow::EnableSplashScreen(bool enable)
{
    c_enabled = enable;
}

bool CSplashWindow::isEnabled()
{
    return c_enabled;
}

CSplashWindow* CSplashWindow::current()
{
    return c_window;
}

void CSplashWindow::ShowSplashScreen(QWidget* owner)
{
    if (!c_enabled || c_window)
        return;
    const QPixmap picture(QStringLiteral(":/splash.png"));
    if (picture.isNull())
        return;
    c_window = new CSplashWindow(owner, picture);
}

CSplashWindow::CSplashWindow(QWidget* owner, const QPixmap& picture)
    : QWidget(owner, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      bitmap_(picture), owner_(owner)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_QuitOnClose, false);
    setCursor(Qt::ArrowCursor);
    const QSize size = bitmap_.deviceIndependentSize().toSize();
    setFixedSize(size);
    // The owner is not shown yet: centre on the work area of the screen.
    QScreen* screen = owner && owner->screen() ? owner->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect area(QPoint(0, 0), size);
        area.moveCenter(screen->availableGeometry().center());
        move(area.topLeft());
    }
    timerId_ = startTimer(kShowMs);
    qApp->installEventFilter(this);
    show();
    repaint();
}

CSplashWindow::~CSplashWindow()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

void CSplashWindow::HideSplashScreen()
{
    qApp->removeEventFilter(this);
    if (timerId_) {
        killTimer(timerId_);
        timerId_ = 0;
    }
    if (c_window == this)
        c_window = nullptr;
    hide();
    deleteLater();
    if (owner_)
        owner_->repaint();
}

void CSplashWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, bitmap_);
}

void CSplashWindow::timerEvent(QTimerEvent*)
{
    HideSplashScreen();
}

bool CSplashWindow::eventFilter(QObject*, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::ShortcutOverride:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress: {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride) {
            const auto button = static_cast<QMouseEvent*>(event)->button();
            if (button != Qt::LeftButton && button != Qt::RightButton && button != Qt::MiddleButton)
                break;
        }
        HideSplashScreen();
        break;
    }
    default:
        break;
    }
    return false; // the press still takes its ordinary effect
}
