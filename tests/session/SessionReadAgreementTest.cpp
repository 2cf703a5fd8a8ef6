// What the user is shown from a read whose reply carries no check: a byte garbled on its way to
// the host must give the right bytes or a failure, never wrong bytes reported as success; memory
// a running program keeps changing ends with a note after a bounded number of reads.
#include "SessionRig.h"

#include "engine/CommandTexts.h"

#include <algorithm>
#include <functional>

namespace {

constexpr uint32_t kCounterLoop = 0xCC0A;  // the loop that counts in "count" ($CC13-$CC14)

bool hasChangingNote(const CommandResult& r)
{
    return std::find(r.notes.begin(), r.notes.end(), std::string(CommandText::kReadChanging)) != r.notes.end();
}

class ReadAgreement : public SessionRig {
protected:
    void garbleToHostAfter(uint64_t k)
    {
        FaultRule rule;
        std::string error;
        ASSERT_TRUE(FaultRule::parse("garble,after=" + std::to_string(k) + ",dir=to-host", &rule, &error)) << error;
        board().setFaults({rule}, k);
    }
    void faultsOff() { board().setFaults({}, 0); }
};

struct GarbleCase {
    const char* name;
    std::function<void(DebugSession&)> setup;
    std::function<CommandResult(DebugSession&)> command;
    uint64_t lastByte; // garble each byte 1..lastByte to the host of the command's traffic
};

TEST_F(ReadAgreement, aGarbledByteToTheHostGivesTheRightResultOrAFailure)
{
    const auto counterRunning = [](DebugSession& s) {
        ASSERT_TRUE(s.execute(std::string("$cc00")).ok());
    };
    const auto counterHeld = [](DebugSession& s) {
        const CommandResult traced = s.trace(std::string("$cc00"));
        ASSERT_TRUE(traced.ok()) << traced.errorText();
    };
    const GarbleCase cases[] = {
        {"dump of a running program's code", counterRunning,
         [](DebugSession& s) { return s.dump("$cc00", "$cc0f"); }, 20},
        {"disassembly of a running program's code", counterRunning,
         [](DebugSession& s) { return s.disassemble("$cc00", "$cc09"); }, 20},
        {"find in a running program's code", counterRunning,
         [](DebugSession& s) { return s.find("$cc00", "$cc12", "$08"); }, 24},
        {"registers of a held program", counterHeld, [](DebugSession& s) { return s.readRegisters(); }, 14},
    };
    for (const GarbleCase& c : cases) {
        SCOPED_TRACE(c.name);
        newSession();
        bootAndLoad("counter");
        c.setup(*session);
        const CommandResult reference = c.command(*session);
        ASSERT_TRUE(reference.ok()) << reference.errorText();
        ASSERT_FALSE(reference.lines.empty() && reference.doneText.empty());
        int mended = 0;
        for (uint64_t k = 1; k <= c.lastByte; ++k) {
            SCOPED_TRACE("garbled byte " + std::to_string(k));
            garbleToHostAfter(k);
            const CommandResult faulted = c.command(*session);
            const uint64_t injected = board().faultStats().total();
            faultsOff();
            if (!faulted.ok() || injected == 0)
                continue;
            EXPECT_EQ(faulted.lines, reference.lines);
            EXPECT_EQ(faulted.doneText, reference.doneText);
            ++mended;
        }
        // Most garbled bytes are data bytes, which a repeated read mends: not every fault may fail.
        EXPECT_GT(mended, 0);
        const CommandResult after = c.command(*session);
        EXPECT_TRUE(after.ok()) << after.errorText();
        EXPECT_EQ(after.lines, reference.lines);
    }
}

TEST_F(ReadAgreement, memoryARunningProgramKeepsChangingEndsWithTheNote)
{
    bootAndLoad("counter");
    ok(session->execute(std::string("$cc00")));
    board().setFaults({}, 0);
    const CommandResult dumped = session->dump("$cc10", "$cc1f"); // "count" is in this line
    const LineFaults::Stats line = board().faultStats();
    ASSERT_TRUE(dumped.ok()) << dumped.errorText();
    EXPECT_TRUE(hasChangingNote(dumped));
    ASSERT_EQ(dumped.lines.size(), 2u);
    // Four plain reads of the line, no more: the first and the three repeats. Each reply holds
    // the line and, our talker being in checked mode, the command byte, its complement and the
    // four argument bytes sent back.
    const uint64_t reads = 1 + BlockTransfer::kAgreementReads;
    constexpr uint64_t kReplyBytes = 16 + 6;
    EXPECT_EQ(line.bytesToHost, reads * kReplyBytes);

    // A byte garbled in the last read cannot replace one that two reads agreed on before: only
    // "count" ($CC13-$CC14) may differ from the line as first read.
    const uint64_t perRead = line.bytesToHost / reads;
    const auto steady = [](const std::string& text) { return text.substr(8, 9) + text.substr(23, 33); };
    for (uint64_t k = (reads - 1) * perRead + 1; k <= reads * perRead; ++k) {
        SCOPED_TRACE("garbled byte " + std::to_string(k));
        garbleToHostAfter(k);
        const CommandResult faulted = session->dump("$cc10", "$cc1f");
        faultsOff();
        if (faulted.ok() && faulted.lines.size() == 2u)
            EXPECT_EQ(steady(faulted.lines[1]), steady(dumped.lines[1]));
    }

    // The program's code beside it agrees at once: no note, and one repeat only.
    board().setFaults({}, 0);
    const CommandResult code = session->dump("$cc00", "$cc0f");
    ASSERT_TRUE(code.ok()) << code.errorText();
    EXPECT_FALSE(hasChangingNote(code));
    EXPECT_EQ(board().faultStats().bytesToHost, 2u * kReplyBytes);

    // The timer's counter never reads the same twice; it alone must not make the register block
    // "changing".
    const CommandResult io = session->readIoRegisters(false);
    ASSERT_TRUE(io.ok()) << io.errorText();
    EXPECT_FALSE(hasChangingNote(io));

    // The moved block is the last read; the move still succeeds, and says so.
    const CommandResult moved = session->move("$cc13", "$cc14", "$cd00");
    ASSERT_TRUE(moved.ok()) << moved.errorText();
    EXPECT_TRUE(hasChangingNote(moved));
    ok(session->stop());
}

TEST_F(ReadAgreement, aBlockTheCheckedServiceReadIsNotReadAgain)
{
    bootAndLoad("counter");
    board().setFaults({}, 0);
    const CommandResult dumped = session->dump("$c000", "$c3ff");
    ASSERT_TRUE(dumped.ok()) << dumped.errorText();
    EXPECT_FALSE(hasChangingNote(dumped));
    EXPECT_LT(board().faultStats().bytesToHost, 2u * 1024);
    EXPECT_TRUE(session->memory().lastReadChecked());

    // A small read is plain, whatever the target does.
    uint8_t byte = 0;
    ASSERT_EQ(session->memory().readBlock(kCounterLoop, 1, &byte), kTalkerOk);
    EXPECT_FALSE(session->memory().lastReadChecked());
    EXPECT_EQ(byte, 0xFE); // ldx count
}

} // namespace
