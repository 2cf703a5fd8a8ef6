#include "document/CCallSubroutineDialog.h"

namespace {

constexpr DialogField kFields[] = {
    {"Address to start execution", CCallSubroutineDialog::kAddressId, 17},
};

constexpr DialogLayout kLayout{"Execute Subroutine", 154, 47, kFields, nullptr, 0, true, false};

} // namespace

CCallSubroutineDialog::CCallSubroutineDialog(QWidget* owner) : CFieldDialog(kLayout, owner) {}
