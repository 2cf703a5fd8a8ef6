#include "document/CSetMemoryDialog.h"

namespace {

constexpr DialogField kFields[] = {
    {"Address", CSetMemoryDialog::kAddressId, 0},
    {"Value", CSetMemoryDialog::kValueId, 0},
};

constexpr DialogLayout kLayout{"Set Memory Location", 150, 46, kFields, nullptr, 0, false, false};

} // namespace

CSetMemoryDialog::CSetMemoryDialog(QWidget* owner) : CFieldDialog(kLayout, owner) {}
