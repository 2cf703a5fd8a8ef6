#pragma once
#include "document/CFieldDialog.h"

// Collects the address of Set Breakpoint.
class CSetBreakpointDialog : public CFieldDialog {
    Q_OBJECT
public:
    // Control id of the "Set breakpoint at address" field.
    static constexpr int kAddressId = 1042;

    // Builds the dialog with empty fields.
    explicit CSetBreakpointDialog(QWidget* owner);
    // The breakpoint's address.
    QString address() const { return text(0); }
};
