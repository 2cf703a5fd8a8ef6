#pragma once
// A document host for the document's tests: a main window with a status bar, a debug session
// as the application has one, and message boxes recorded instead of shown. Modal command dialogs
// are answered by the test through answerDialog().
#include "document/CTargetLine.h"
#include "document/CTarvik11Doc.h"
#include "session/DebugSession.h"
#include "document/DocumentHost.h"
#include "document/TalkerSettings.h"
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>
#include <functional>

class TestHost : public DocumentHost {
public:
    QMainWindow window;
    DebugSession session;
    SerialPort& port = session.port();
    TalkerLink& link = session.link();
    TargetMemory& memory = session.memory();
    DebugEngine& engine = session.engine();
    CTargetLine line{session};

    QStringList boxes;
    QStringList questions;  // every yes/no question asked
    bool answerYes = false; // how each one is answered
    TalkerSettings settings;
    int asmViews = 0;

    TestHost() { window.statusBar(); }

    void setCurrentDoc(CTarvik11Doc*) override {}
    QStatusBar* mainStatusBar() override { return window.statusBar(); }
    QWidget* dialogOwner() override { return &window; }
    void messageBox(const QString& text) override { boxes << text; }
    bool askYesNo(const QString& text) override
    {
        questions << text;
        return answerYes;
    }
    bool openAsmView(CTarvik11Doc*) override
    {
        ++asmViews;
        return true;
    }
    bool editTalkerSettings(TalkerSettings& s) override
    {
        s = settings;
        return true;
    }
    void closeDocument(CTarvik11Doc*) override {}
    TargetServices targetServices() override { return {&session, &line}; }

    QString status() { return window.statusBar()->currentMessage(); }
    // The boxes shown since the last call.
    QStringList takeBoxes()
    {
        QStringList out = boxes;
        boxes.clear();
        return out;
    }
};

// Texts typed into a dialog's fields, by control id.
using Typed = QList<QPair<int, QString>>;

// Answers the next modal dialog as a user would: fill in the fields by control id, then OK.
// An empty map with ok false presses Cancel.
inline void answerDialog(const Typed& typed, bool ok = true,
                         std::function<void(QDialog*)> inspect = {})
{
    auto* timer = new QTimer;
    timer->setInterval(2);
    QObject::connect(timer, &QTimer::timeout, [timer, typed, ok, inspect] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        timer->stop();
        timer->deleteLater();
        if (inspect)
            inspect(dialog);
        for (const auto& [id, text] : typed) {
            auto* edit = dialog->findChild<QLineEdit*>(QString::number(id));
            QVERIFY2(edit, qPrintable(QString::number(id)));
            edit->selectAll();
            QTest::keyClicks(edit, text);
        }
        auto* button = dialog->findChild<QPushButton*>(QString::number(ok ? 1 : 2));
        if (button)
            QTest::mouseClick(button, Qt::LeftButton);
        else if (ok)
            dialog->accept();
        else
            dialog->reject();
    });
    timer->start();
}

// Answers the next file-open dialog with path (Cancel when path is empty).
inline void answerFileDialog(const QString& path)
{
    auto* timer = new QTimer;
    timer->setInterval(2);
    QObject::connect(timer, &QTimer::timeout, [timer, path] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        timer->stop();
        timer->deleteLater();
        if (path.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->selectFile(path);
        static_cast<QDialog*>(dialog)->accept();
    });
    timer->start();
}
