#include "document/CBlockFillDialog.h"

namespace {

constexpr DialogField kFields[] = {
    {"Start Address", CBlockFillDialog::kStartId, 0},
    {"End Address", CBlockFillDialog::kEndId, 0},
    {"Byte to load", CBlockFillDialog::kByteId, 0},
};

constexpr DialogLayout kLayout{"Block Fill", 186, 65, kFields, nullptr, 0, false, false};

} // namespace

CBlockFillDialog::CBlockFillDialog(QWidget* owner) : CFieldDialog(kLayout, owner) {}
