#pragma once
#include "engine/RegisterText.h"
#include <QDialog>
#include <array>
#include <cstdint>
#include <functional>

class CTargetLine;
class QLabel;
class QLineEdit;
class DebugSession;

// The modeless Registers window: the target's registers as texts, read and written through the session,
// with Read Regs and Write Regs. Created hidden; closing it only hides it.
class CRegistersDialog : public QDialog {
    Q_OBJECT
public:
    // Control ids of the edit fields and push buttons.
    static constexpr int kAId = 1027;
    static constexpr int kBId = 1028;
    static constexpr int kXId = 1029;
    static constexpr int kYId = 1030;
    static constexpr int kPCId = 1031;
    static constexpr int kSPId = 1032;
    static constexpr int kCCRId = 1033;
    static constexpr int kReadRegsId = 1034;
    static constexpr int kWriteRegsId = 1035;

    // Works through session (may be null: the buttons then do nothing); the fields start as "$00",
    // "$0000" and "%00000000".
    CRegistersDialog(DebugSession* session, QWidget* owner);

    // How the window shows its failure messages (the document gives the application's box).
    void setMessageHandler(std::function<void(const QString&)> handler) { message_ = std::move(handler); }
    // The line the buttons take for their exchange (refused while another command talks).
    void setTargetLine(CTargetLine* line) { line_ = line; }

    // Reads the registers from the target and shows them; "Register Read Failed!" on failure.
    void ReadRegs();
    // Writes the shown A, B, X, Y, CCR and PC (SP as last read) to the target.
    void WriteRegs();
    // Shows registers a stop reported, with shownPC in the PC field.
    void ShowRegisters(const TargetRegisters& registers, uint32_t shownPC);
    // Shows address in the PC field and redisplays all fields from their texts.
    void SetShownPC(uint32_t address);

    // The field texts as the window holds them.
    const RegisterFields& fields() const { return fields_; }
    // The edit field with the given control id, or nullptr.
    QLineEdit* field(int id) const;

    // Enter: writes the field texts to the target, as Write Regs does.
    void accept() override;

protected:
    // Enter and Return go to accept(): neither push button is the default.
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Copies the edit texts into fields_.
    void takeTexts();
    // Shows fields_ in the edits, the ones that differ from the stop before marked.
    void showTexts();
    // Shows the registers of a new stop (a hit, a trace step, Read Regs); what differs from the
    // stop before is marked.
    void showStop(const RegisterFields& fields);
    void onReadClicked();
    void onWriteClicked();

    // A failure's text in the window's message box.
    void showFailure(const std::string& text);

    DebugSession* session_;
    CTargetLine* line_ = nullptr;
    std::function<void(const QString&)> message_;
    RegisterFields fields_;
    RegisterFields stopFields_;   // as shown at the latest stop
    RegisterFields previous_;     // as shown at the stop before it
    bool hasStop_ = false;
    bool hasPrevious_ = false;
    QLabel* flags_ = nullptr;     // the condition codes by name
    std::array<QLineEdit*, RegisterText::kFields.size()> edits_{};
};
