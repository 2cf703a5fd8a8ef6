#include "document/CSetBreakpointDialog.h"

namespace {

constexpr DialogField kFields[] = {
    {"Set breakpoint at address", CSetBreakpointDialog::kAddressId, 17},
};

constexpr DialogLayout kLayout{"Set Breakpoint", 145, 49, kFields, nullptr, 0, false, true};

} // namespace

CSetBreakpointDialog::CSetBreakpointDialog(QWidget* owner) : CFieldDialog(kLayout, owner) {}
