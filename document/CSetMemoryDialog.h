#pragma once
#include "document/CFieldDialog.h"

// Collects the address and the byte of Set Memory Location.
class CSetMemoryDialog : public CFieldDialog {
    Q_OBJECT
public:
    // Control id of the "Address" field.
    static constexpr int kAddressId = 1042;
    // Control id of the "Value" field.
    static constexpr int kValueId = 1043;

    // Builds the dialog with empty fields.
    explicit CSetMemoryDialog(QWidget* owner);
    // The address to set.
    QString address() const { return text(0); }
    // The byte to write there.
    QString value() const { return text(1); }
};
