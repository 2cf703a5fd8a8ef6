#include "document/CMoveMemoryDialog.h"

namespace {

constexpr DialogField kFields[] = {
    {"Start Address", CMoveMemoryDialog::kStartId, 0},
    {"End Address", CMoveMemoryDialog::kEndId, 0},
    {"Destination Address", CMoveMemoryDialog::kDestinationId, 0},
};

constexpr DialogLayout kLayout{"Move Memory Block", 186, 84, kFields, "Source Block", 2, false, false};

} // namespace

CMoveMemoryDialog::CMoveMemoryDialog(QWidget* owner) : CFieldDialog(kLayout, owner) {}
