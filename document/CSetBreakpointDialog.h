#pragma once
#include "document/CFieldDialog.h"
#include "session/BreakpointRules.h"

// Collects the address of Set Breakpoint, with the breakpoint's condition, hit count and log
// message (all three may stay empty: a plain breakpoint).
class CSetBreakpointDialog : public CFieldDialog {
    Q_OBJECT
public:
    // Control id of the "Set breakpoint at address" field.
    static constexpr int kAddressId = 1042;
    // Control ids of the condition, hit count and log message fields.
    static constexpr int kConditionId = 1070;
    static constexpr int kHitCountId = 1071;
    static constexpr int kLogMessageId = 1072;

    // Builds the dialog with empty fields.
    explicit CSetBreakpointDialog(QWidget* owner);
    // The breakpoint's address.
    QString address() const { return text(0); }
    // The condition, hit count and log message as typed (the session checks them).
    BreakpointRule rule() const;
};
