#pragma once
#include "document/CFieldDialog.h"

// Collects the search block and the byte of Find Byte.
class CFindByteDialog : public CFieldDialog {
    Q_OBJECT
public:
    // Control id of the "Start Address" field.
    static constexpr int kStartId = 1045;
    // Control id of the "End Address" field.
    static constexpr int kEndId = 1046;
    // Control id of the "Byte to search for" field.
    static constexpr int kByteId = 1043;

    // Builds the dialog with empty fields.
    explicit CFindByteDialog(QWidget* owner);
    // The first address searched.
    QString startAddress() const { return text(0); }
    // The last address searched.
    QString endAddress() const { return text(1); }
    // The byte looked for.
    QString byteValue() const { return text(2); }
};
