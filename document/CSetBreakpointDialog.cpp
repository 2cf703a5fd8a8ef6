#include "document/CSetBreakpointDialog.h"

#include <QLineEdit>

namespace {

constexpr DialogField kFields[] = {
    {"Set breakpoint at address", CSetBreakpointDialog::kAddressId, 17},
    {"Stop only if (condition, e.g. A == $10 or [$c400] > 3)", CSetBreakpointDialog::kConditionId, 200},
    {"Hit count (N, ==N, >=N, >N or %N)", CSetBreakpointDialog::kHitCountId, 20},
    {"Log message, then go on ({EXPR} shows a value)", CSetBreakpointDialog::kLogMessageId, 200},
};

constexpr DialogLayout kLayout{"Set Breakpoint", 190, 115, kFields, nullptr, 0, true, true};

} // namespace

CSetBreakpointDialog::CSetBreakpointDialog(QWidget* owner) : CFieldDialog(kLayout, owner)
{
    field(kConditionId)->setToolTip(QStringLiteral(
        "Registers A B D X Y SP PC CCR, [ADDR] for a byte, symbols and numbers; + - & | ! == != < <= > >= && ||.\n"
        "Empty: every hit stops"));
    field(kHitCountId)->setToolTip(QStringLiteral(
        "N or >=N: from the Nth hit on; ==N: the Nth only; >N: after the Nth; %N: every Nth. Empty: every hit"));
    field(kLogMessageId)->setToolTip(QStringLiteral(
        "Written to the Memory View at every hit, which then goes on without stopping"));
}

BreakpointRule CSetBreakpointDialog::rule() const
{
    BreakpointRule r;
    r.condition = text(1).trimmed().toStdString();
    r.hitCondition = text(2).trimmed().toStdString();
    r.logMessage = text(3).toStdString();
    return r;
}
