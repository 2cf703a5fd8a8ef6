#pragma once
#include <QPixmap>
#include <QPointer>
#include <QWidget>

// The start-up picture: a borderless 520 by 317 window centred on the screen's work area, gone
// after 750 ms or at the first key or mouse-button press (which still takes its effect).
class CSplashWindow : public QWidget {
    Q_OBJECT
public:
    // How long the picture stays up.
    static constexpr int kShowMs = 750;

    // Sets whether the splash may be shown (once, from the command line).
    static void EnableSplashScreen(bool enable);
    // Whether the splash may be shown.
    static bool isEnabled();
    // Shows the splash over owner unless it is disabled or already up; a missing picture means none.
    static void ShowSplashScreen(QWidget* owner);
    // The splash window while it is up, else nullptr.
    static CSplashWindow* current();
    // Takes the splash down and repaints the owner.
    void HideSplashScreen();

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CSplashWindow(QWidget* owner, const QPixmap& picture);
    ~CSplashWindow() override;

    QPixmap bitmap_;
    QPointer<QWidget> owner_;
    int timerId_ = 0;
    static bool c_enabled;
    static QPointer<CSplashWindow> c_window;
};
