#pragma once
#include "app/CAddressedTextView.h"
#include "session/DebugSession.h"

#include <QStringList>
#include <optional>

class QWidget;

// The Disassembly view: the target's bytes of a range as instructions, with the loaded program's
// symbol names, read through the session (so planted breakpoints never show as SWIs). It follows
// the program: after every stop (a hit, a trace or a step) whose PC lies outside the range shown,
// it disassembles around the PC. The gutter beside the text marks the PC's line and the
// breakpoints, and a click there toggles one; Toggle Breakpoint and Run to Cursor act on the
// cursor's line.
class CDisassemblyView : public CAddressedTextView {
    Q_OBJECT
public:
    // Bytes shown around a PC the view follows.
    static constexpr uint32_t kFollowBytes = 64;
    // How far below the PC a symbol may start the range it follows with.
    static constexpr uint16_t kSymbolReach = 48;

    explicit CDisassemblyView(CTarvik11Doc* doc, QWidget* parent = nullptr);

    // Asks for the range ("START [END]", the stop address offered); false when cancelled. The
    // texts are typed numbers as the session reads them.
    static bool askRange(QWidget* owner, const CTarvik11Doc* doc, QString& start, QString& end);
    // Disassembles start to end (empty end: the session's default length) and shows it; the
    // session's result (a refusal or failure leaves the text as it was).
    CommandResult showRange(const QString& start, const QString& end);
    // Where a range that follows pc starts: the nearest symbol no more than kSymbolReach below
    // it (so its instructions line up as the program's do), else pc itself.
    static uint32_t followStart(uint32_t pc, const SymbolMap& symbols);

    void OnUpdate() override;
    QString frameTitle() const override { return QStringLiteral("Disassembly"); }

    // The first and last byte shown; nothing before the first disassembly.
    std::optional<std::pair<uint32_t, uint32_t>> range() const { return range_; }
    // The address of the instruction on line (from 0), or nothing for a label line.
    std::optional<uint32_t> lineAddress(int line) const override { return addresses_.at(line); }
    // The line of the instruction at address, or -1.
    int lineOf(uint32_t address) const override { return addresses_.lineOf(address); }

protected:
    // Marks at once; follows the stop once the event loop is back (the report may come
    // mid-transfer).
    void onTargetStateChanged() override;

private:
    // After a command or a stop: follows a new PC outside the range, then marks.
    void followStop();

    std::optional<std::pair<uint32_t, uint32_t>> range_;
    QStringList shown_;
    LineAddresses addresses_;
    bool followQueued_ = false;
};
