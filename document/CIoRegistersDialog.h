#pragma once
#include <QDialog>
#include <QStringList>
#include <functional>

class CTargetLine;
class DebugSession;
class QCheckBox;
class QPlainTextEdit;
class QPushButton;

// The modeless I/O Registers window: the register block at $1000-$103F decoded a line per
// register, read through the session on Refresh. The SCI and SPI status and data registers are
// read only while the check box asks for them, since reading them clears their flags and takes a
// received byte. Created hidden; closing it only hides it.
class CIoRegistersDialog : public QDialog {
    Q_OBJECT
public:
    // Works through session (may be null: Refresh then does nothing).
    CIoRegistersDialog(DebugSession* session, QWidget* owner);

    // How the window shows its failure messages (the document gives the application's box).
    void setMessageHandler(std::function<void(const QString&)> handler) { message_ = std::move(handler); }
    // The line a refresh takes for its exchange (refused while another command talks).
    void setTargetLine(CTargetLine* line) { line_ = line; }

    // Reads the block and shows its lines; a failure keeps the lines shown and says why.
    void Refresh();
    // The lines shown.
    QStringList lines() const { return lines_; }
    // The check box that lets a refresh read the SCI and SPI status and data.
    QCheckBox* disturbingBox() const { return disturbing_; }
    QPushButton* refreshButton() const { return refresh_; }

    // Enter refreshes; the window stays.
    void accept() override { Refresh(); }

private:
    DebugSession* session_;
    CTargetLine* line_ = nullptr;
    std::function<void(const QString&)> message_;
    QStringList lines_;
    QPlainTextEdit* text_;
    QCheckBox* disturbing_;
    QPushButton* refresh_;
};
