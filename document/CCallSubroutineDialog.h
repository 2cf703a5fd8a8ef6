#pragma once
#include "document/CFieldDialog.h"

// Collects the subroutine address of Call Subroutine (preset with the current PC).
class CCallSubroutineDialog : public CFieldDialog {
    Q_OBJECT
public:
    // Control id of the "Address to start execution" field.
    static constexpr int kAddressId = 1042;

    // Builds the dialog with empty fields.
    explicit CCallSubroutineDialog(QWidget* owner);
    // The address of the subroutine.
    QString address() const { return text(0); }
    // Presets the address field.
    void setAddress(const QString& address) { setText(0, address); }
};
