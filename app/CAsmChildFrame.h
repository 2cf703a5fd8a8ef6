#pragma once
#include <QMdiSubWindow>

// The Assembly View's child frame; closing it releases the listing.
class CAsmChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit CAsmChildFrame(QWidget* parent = nullptr);

protected:
    void closeEvent(QCloseEvent* event) override;
};
