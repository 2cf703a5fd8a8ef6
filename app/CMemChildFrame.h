#pragma once
#include <QMdiSubWindow>

// The Memory View's child frame: no close box, no Close item, no Ctrl+F4; it closes only with
// its document.
class CMemChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit CMemChildFrame(QWidget* parent = nullptr);
    // Title bar without a close box (set again once the frame is in the MDI area, which resets it).
    void applyFrameFlags();
    // Lets the next close request through (the document is closing).
    void allowClose() { closeAllowed_ = true; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool closeAllowed_ = false;
};
