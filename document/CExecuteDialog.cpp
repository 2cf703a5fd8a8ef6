#include "document/CExecuteDialog.h"

namespace {

constexpr DialogField kFields[] = {
    {"Address to start execution", CExecuteDialog::kAddressId, 17},
};

constexpr DialogLayout kLayout{"Execute At Address", 154, 47, kFields, nullptr, 0, true, false};

} // namespace

CExecuteDialog::CExecuteDialog(QWidget* owner) : CFieldDialog(kLayout, owner) {}
