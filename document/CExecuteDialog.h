#pragma once
#include "document/CFieldDialog.h"

// Collects the start address of Execute (preset by the command with the current PC).
class CExecuteDialog : public CFieldDialog {
    Q_OBJECT
public:
    // Control id of the "Address to start execution" field.
    static constexpr int kAddressId = 1042;

    // Builds the dialog with empty fields.
    explicit CExecuteDialog(QWidget* owner);
    // The address the program starts at.
    QString address() const { return text(0); }
    // Presets the address field.
    void setAddress(const QString& address) { setText(0, address); }
};
