#pragma once
#include <QDialog>

// The About box: the start-up picture and an OK button; OK, Escape or the close box close it.
class CAboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDialog(QWidget* owner = nullptr);
};
