#include "document/CTraceDialog.h"

namespace {

constexpr DialogField kFields[] = {
    {"Trace from address", CTraceDialog::kAddressId, 0},
};

constexpr DialogLayout kLayout{"Trace Instruction", 186, 50, kFields, nullptr, 0, false, false};

} // namespace

CTraceDialog::CTraceDialog(QWidget* owner) : CFieldDialog(kLayout, owner) {}
