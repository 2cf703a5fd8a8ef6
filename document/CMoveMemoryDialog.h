#pragma once
#include "document/CFieldDialog.h"

// Collects the source block and the destination of Move Memory Block.
class CMoveMemoryDialog : public CFieldDialog {
    Q_OBJECT
public:
    // Control id of the "Start Address" field.
    static constexpr int kStartId = 1045;
    // Control id of the "End Address" field.
    static constexpr int kEndId = 1046;
    // Control id of the "Destination Address" field.
    static constexpr int kDestinationId = 1047;

    // Builds the dialog with empty fields.
    explicit CMoveMemoryDialog(QWidget* owner);
    // The first address of the source block.
    QString startAddress() const { return text(0); }
    // The last address of the source block.
    QString endAddress() const { return text(1); }
    // Where the block's first byte goes.
    QString destination() const { return text(2); }
};
