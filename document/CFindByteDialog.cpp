#include "document/CFindByteDialog.h"

namespace {

constexpr DialogField kFields[] = {
    {"Start Address", CFindByteDialog::kStartId, 17},
    {"End Address", CFindByteDialog::kEndId, 17},
    {"Byte to search for", CFindByteDialog::kByteId, 9},
};

constexpr DialogLayout kLayout{"Find Byte", 186, 74, kFields, "Search Block", 2, false, false};

} // namespace

CFindByteDialog::CFindByteDialog(QWidget* owner) : CFieldDialog(kLayout, owner) {}
