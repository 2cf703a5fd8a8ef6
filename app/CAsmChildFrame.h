#pragma once
#include "CommandTarget.h"
#include <QMdiSubWindow>

// The Assembly View's child frame; closing it releases the listing.
class CAsmChildFrame : public QMdiSubWindow, public CommandTarget {
    Q_OBJECT
public:
    explicit CAsmChildFrame(QWidget* parent = nullptr);

    bool updateCommand(int, CmdUI&) override { return false; }
    bool onCommand(int) override { return false; }

protected:
    void closeEvent(QCloseEvent* event) override;
};
