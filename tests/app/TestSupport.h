#pragma once
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

// Dismisses the next modal box as soon as it opens and records its text and icon.
struct ModalCatcher {
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString caption;
    bool seen = false;

    void arm()
    {
        QTimer::singleShot(0, [this] { poll(); });
    }

private:
    void poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) {
            QTimer::singleShot(5, [this] { poll(); });
            return;
        }
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            text = box->text();
            icon = box->icon();
            caption = box->windowTitle();
        }
        seen = true;
        modal->close();
    }
};
