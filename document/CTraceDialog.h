#pragma once
#include "document/CFieldDialog.h"

// Collects the address Trace starts from (preset with the current PC).
class CTraceDialog : public CFieldDialog {
    Q_OBJECT
public:
    // Control id of the "Trace from address" field.
    static constexpr int kAddressId = 1042;

    // Builds the dialog with empty fields.
    explicit CTraceDialog(QWidget* owner);
    // The address of the instruction to trace.
    QString address() const { return text(0); }
    // Presets the address field.
    void setAddress(const QString& address) { setText(0, address); }
};
