#pragma once
#include "document/CFieldDialog.h"

// Collects the range and the byte of Block Fill.
class CBlockFillDialog : public CFieldDialog {
    Q_OBJECT
public:
    // Control id of the "Start Address" field.
    static constexpr int kStartId = 1037;
    // Control id of the "End Address" field.
    static constexpr int kEndId = 1038;
    // Control id of the "Byte to load" field.
    static constexpr int kByteId = 1041;

    // Builds the dialog with empty fields.
    explicit CBlockFillDialog(QWidget* owner);
    // The first address to fill.
    QString startAddress() const { return text(0); }
    // The last address to fill.
    QString endAddress() const { return text(1); }
    // The byte written to every address.
    QString byteValue() const { return text(2); }
};
