// A talker that is not there: after a boot that failed, or a RESET under a running program or a
// trace step, no command may report success with bytes nobody read; and the bytes our SWIs
// displaced are never left behind without a word.
#include "SessionRig.h"

#include "engine/CommandTexts.h"
#include "engine/PlantJournal.h"
#include "sim/FaultRule.h"

#include <cstdlib>
#include <chrono>
#include <filesystem>
#include <thread>
#include <fstream>
#include <memory>

namespace {

FaultRule fault(const std::string& text)
{
    FaultRule rule;
    std::string error;
    EXPECT_TRUE(FaultRule::parse(text, &rule, &error)) << error;
    return rule;
}

} // namespace

class TalkerLoss : public SessionRig {
protected:
    BootSettings bootSettings() const
    {
        BootSettings boot;
        boot.port = session->boardDevice();
        boot.talkerFile = TARVIK11_TALKER_FILE;
        boot.chipMode = ChipMode::SpecialTest;
        boot.readWaitMs = 200;
        boot.base = kBaseHexadecimal;
        return boot;
    }

    // Every command that needs the talker, each expected to be refused with the text.
    void expectAllRefused(const std::string& text)
    {
        const std::pair<const char*, CommandResult> results[] = {
            {"dump", session->dump("$c000", "$c01f")},
            {"regs", session->readRegisters()},
            {"setreg", session->setRegister("a", "$12")},
            {"io", session->readIoRegisters(false)},
            {"set", session->setMemory("$c000", "$12")},
            {"fill", session->fill("$c000", "$c00f", "$12")},
            {"move", session->move("$c000", "$c00f", "$c100")},
            {"find", session->find("$c000", "$c0ff", "$00")},
            {"disasm", session->disassemble("$c000", "")},
            {"break", session->setBreakpoint("$c000")},
            {"run", session->execute(std::string("$c000"))},
            {"call", session->callSubroutine(std::string("$c000"))},
            {"trace", session->trace(std::string("$c000"))},
            {"step", session->continueTrace()},
            {"next", session->stepOver()},
            {"finish", session->stepOut()},
            {"until", session->runUntil("$c010")},
            {"continue", session->continueRun()},
            {"stop", session->stop()},
            {"load", session->loadS19(example("flow.s19"))},
            {"verify", session->verifyS19(example("flow.s19"))},
        };
        for (const auto& [name, result] : results) {
            EXPECT_FALSE(result.ok()) << name;
            EXPECT_EQ(result.errorText(), text) << name;
            EXPECT_TRUE(result.lines.empty()) << name << ": shows " << result.lines.size() << " lines";
        }
        EXPECT_EQ(session->runState(), RunState::NoTalker);
        EXPECT_FALSE(session->awaitingHit());
    }
};

// A boot whose download or start-up was damaged (each way a boot can fail on the line) leaves no
// talker: every command is refused until a boot succeeds, and then works on the real bytes.
TEST_F(TalkerLoss, afterAFailedBootEveryCommandIsRefusedUntilABootSucceeds)
{
    bootAndLoad("flow"); // the target holds the program and known bytes
    ok(session->fill("$c800", "$c81f", "$00"));
    // A byte of the download garbled; an echo of the start-up lost.
    const char* faults[] = {"garble,after=77,dir=to-board", "drop,after=300,dir=to-host"};
    for (const char* text : faults) {
        SCOPED_TRACE(text);
        newSession();
        board().setFaults({fault(text)}, 1);
        const CommandResult boot = session->boot(bootSettings());
        board().setFaults({}, 1);
        ASSERT_FALSE(boot.ok());
        expectAllRefused(CommandText::kNoTalkerBootFailed);
    }
    newSession();
    const CommandResult boot = session->boot(bootSettings());
    ASSERT_TRUE(boot.ok()) << boot.errorText();
    const CommandResult dump = session->dump("$c800", "$c81f");
    ok(dump);
    ASSERT_EQ(dump.lines.size(), 3u);
    EXPECT_NE(dump.lines[1].find("00 00 00 00"), std::string::npos) << dump.lines[1];
}

// One byte lost on its way to the host at each position of a trace step: whatever the step
// reports, once the session has gone (as at the program's exit) a fresh session finds the
// program's own bytes at both tracepoints, or the failed step named each address that still
// holds an SWI and what it held.
TEST_F(TalkerLoss, aByteLostAnywhereInATraceStepLeavesNoSwiUnsaid)
{
    const auto sym = symbols("flow");
    bootAndLoad("flow");
    session->engine().traceWaitMs = 100;
    const uint32_t from = static_cast<uint32_t>(std::stoul(sym.at("flow").substr(1), nullptr, 16));
    // The step's own traffic, without faults.
    board().setFaults({}, 1);
    ok(session->trace(sym.at("flow")));
    const uint64_t toHost = board().faultStats().bytesToHost;
    ASSERT_GT(toHost, 20u);
    // The bytes the step plants over, as loaded.
    std::vector<uint8_t> code(16);
    for (uint32_t i = 0; i < code.size(); ++i)
        code[i] = raw(from + i);
    ASSERT_EQ(std::count(code.begin(), code.end(), DebugEngine::kSwiOpcode), 0);

    int failedSteps = 0;
    BootSettings boot = bootSettings();
    boot.readWaitMs = 100;
    auto checkCode = [&](const std::string& said) {
        for (uint32_t i = 0; i < code.size(); ++i) {
            const uint8_t now = raw(from + i);
            if (now == code[i])
                continue;
            EXPECT_EQ(now, DebugEngine::kSwiOpcode) << "a byte at $" << std::hex << from + i << " changed";
            EXPECT_NE(said.find(CommandText::format("$%04x (its own byte $%02x)", from + i, unsigned{code[i]})),
                      std::string::npos)
                << "an SWI left at $" << std::hex << from + i << " unsaid:\n" << said;
            const uint8_t restore = code[i];
            ASSERT_EQ(session->memory().writeBlock(from + i, 1, &restore), kTalkerOk);
        }
    };
    // Every fifth position counted back from the step's last byte (its stop and the write-back of
    // its tracepoints come last); TALKER_LOSS_STRIDE=1 sweeps them all (some minutes).
    const char* strideText = std::getenv("TALKER_LOSS_STRIDE");
    const uint64_t stride = strideText ? std::max<uint64_t>(1, std::stoull(strideText)) : 5;
    for (uint64_t k = toHost; k >= 1 && k <= toHost; k -= stride) {
        SCOPED_TRACE("drop at host byte " + std::to_string(k));
        board().setFaults({fault("drop,after=" + std::to_string(k) + ",dir=to-host")}, 1);
        const CommandResult step = session->trace(sym.at("flow"));
        board().setFaults({}, 1);
        if (step.ok()) {
            checkCode({}); // a step that succeeded took its tracepoints out
            continue;
        }
        ++failedSteps;
        std::string said = step.errorText();
        for (const std::string& n : step.notes)
            said += "\n" + n;
        const CommandResult end = session->endSession(); // the program's exit
        for (const std::string& n : end.notes)
            said += "\n" + n;
        newSession();
        ASSERT_TRUE(session->boot(boot).ok());
        checkCode(said);
    }
    EXPECT_GT(failedSteps, 0) << "no drop made a step fail";
}

// A wait that runs out with the talker still answering is only a program that has not stopped
// yet; one whose talker went quiet (RESET pressed under the running program) says so, refuses
// commands until a boot, and the boot writes back the byte the breakpoint displaced.
TEST_F(TalkerLoss, aResetUnderARunningProgramIsRecognisedAndTheBootWritesTheBreakpointBack)
{
    bootAndLoad("counter");
    const uint8_t own = raw(0xCC03);
    ok(session->setBreakpoint("$cc03")); // never reached from the loop
    for (const bool reset : {false, true}) {
        SCOPED_TRACE(reset ? "reset" : "still running");
        ok(session->execute(std::string("$cc0a")));
        ASSERT_EQ(raw(0xCC03), DebugEngine::kSwiOpcode);
        if (reset) {
            ASSERT_TRUE(session->pressBoardReset());
        }
        const WaitOutcome waited = session->waitForHit(300, {});
        if (!reset) {
            EXPECT_EQ(waited, WaitOutcome::TimedOut);
            EXPECT_EQ(session->runState(), RunState::Running);
            ok(session->stop());
            EXPECT_EQ(raw(0xCC03), own);
            continue;
        }
        ASSERT_EQ(waited, WaitOutcome::TalkerGone);
        EXPECT_EQ(session->runState(), RunState::NoTalker);
        const std::vector<std::string> notes = session->leftoverNotes();
        ASSERT_EQ(notes.size(), 1u);
        EXPECT_NE(notes[0].find(CommandText::format("$cc03 (its own byte $%02x)", unsigned{own})), std::string::npos)
            << notes[0];
        const CommandResult refused = session->dump("$cc00", "");
        EXPECT_EQ(refused.errorText(), CommandText::kNoTalkerReset);
        ok(session->boot(bootSettings()));
        EXPECT_EQ(raw(0xCC03), own);
        EXPECT_TRUE(session->leftoverNotes().empty());
    }
}

// The journal of planted bytes outlives the session: a session whose board was reset under a
// running program (so that nothing could be written back when it went away) leaves its
// breakpoint listed, and the next boot on that port finds it still holding an SWI, names it and
// writes it back; an entry whose SWI is gone is dropped without a word.
TEST(PlantJournalTest, theNextBootOnThePortWritesBackWhatAResetSessionLeft)
{
    char folderTemplate[] = "/tmp/tarvik11-journal-XXXXXX";
    ASSERT_NE(::mkdtemp(folderTemplate), nullptr);
    const std::string folder = folderTemplate;
    ::setenv("XDG_STATE_HOME", folder.c_str(), 1);
    VirtualBoardOptions options;
    options.speed = 0;
    options.line = BoardLineKind::PseudoTerminal; // a board that outlives the session
    VirtualBoard board(options);
    std::string error;
    ASSERT_TRUE(board.start(&error)) << error;
    const std::string journal = PlantJournal::pathFor(board.devicePath());
    ASSERT_EQ(journal.rfind(folder + "/tarvik11/planted-", 0), 0u) << journal;

    BootSettings boot;
    boot.port = board.devicePath();
    boot.talkerFile = TARVIK11_TALKER_FILE;
    boot.chipMode = ChipMode::SpecialTest;
    boot.readWaitMs = 300;
    boot.base = kBaseHexadecimal;
    auto rawByte = [](DebugSession& s, uint32_t address) {
        uint8_t byte = 0;
        EXPECT_EQ(s.memory().readBlock(address, 1, &byte), kTalkerOk);
        return byte;
    };
    uint8_t own = 0;
    {
        DebugSession first;
        ASSERT_TRUE(first.boot(boot).ok());
        ASSERT_TRUE(first.loadS19(std::string(TARVIK11_EXAMPLES_DIR) + "/counter.s19").ok());
        own = rawByte(first, 0xCC03);
        ASSERT_TRUE(first.setBreakpoint("$cc03").ok());
        EXPECT_FALSE(std::ifstream(journal).good()) << "nothing planted, nothing listed";
        ASSERT_TRUE(first.execute(std::string("$cc0a")).ok());
        std::ifstream listed(journal);
        std::string line;
        ASSERT_TRUE(std::getline(listed, line));
        EXPECT_EQ(line, CommandText::format("$cc03 $%02x", unsigned{own}));
        board.pressReset(); // the talker is gone: nothing can be written back
    }
    ASSERT_TRUE(std::ifstream(journal).good());
    std::ofstream(journal, std::ios::app) << "$cc0e $12\n"; // its SWI is gone: dropped silently

    DebugSession next;
    // The user's part before a boot; a second try when a byte of the session that went away was
    // still on its way to the boot loader at RESET.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    board.pressReset();
    CommandResult booted = next.boot(boot);
    if (!booted.ok()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        board.pressReset();
        booted = next.boot(boot);
    }
    ASSERT_TRUE(booted.ok()) << booted.errorText();
    ASSERT_EQ(next.leftBehind().size(), 1u);
    EXPECT_EQ(next.leftBehind()[0].address, 0xCC03u);
    ASSERT_EQ(booted.notes.size(), 1u);
    EXPECT_NE(booted.notes[0].find(CommandText::format("$cc03 (its own byte $%02x)", unsigned{own})), std::string::npos)
        << booted.notes[0];
    EXPECT_EQ(rawByte(next, 0xCC03), DebugEngine::kSwiOpcode);
    const CommandResult written = next.writeBackLeftBehind();
    ASSERT_TRUE(written.ok()) << written.errorText();
    EXPECT_EQ(rawByte(next, 0xCC03), own);
    EXPECT_TRUE(next.leftBehind().empty());
    EXPECT_FALSE(std::ifstream(journal).good()) << "the journal is cleared once everything is back";
    std::filesystem::remove_all(folder);
}

// A RESET pressed at each point of a trace step: a step that then waits in vain for its
// tracepoint says the board was reset, commands are refused until a boot, the planted-byte
// journal still lists every tracepoint the chip may hold, and the next session's boot writes them
// back, so that the program holds its own bytes again.
TEST(StepResetTest, aResetDuringATraceStepIsRecognisedAndTheJournalKeepsItsTracepoints)
{
    char folderTemplate[] = "/tmp/tarvik11-step-reset-XXXXXX";
    ASSERT_NE(::mkdtemp(folderTemplate), nullptr);
    const std::string folder = folderTemplate;
    ::setenv("XDG_STATE_HOME", folder.c_str(), 1);
    VirtualBoardOptions options;
    options.speed = 0;
    options.line = BoardLineKind::PseudoTerminal; // a board that outlives its sessions
    VirtualBoard board(options);
    std::string error;
    ASSERT_TRUE(board.start(&error)) << error;
    const std::string journal = PlantJournal::pathFor(board.devicePath());

    BootSettings boot;
    boot.port = board.devicePath();
    boot.talkerFile = TARVIK11_TALKER_FILE;
    boot.chipMode = ChipMode::SpecialTest;
    boot.readWaitMs = 100;
    boot.fastLine = false;
    boot.base = kBaseHexadecimal;
    // The user's RESET before each boot, and a second try when a byte of the last session was
    // still on its way to the boot loader.
    auto bootAfterReset = [&](DebugSession& s) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            board.pressReset();
            while (board.resetPending())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (s.boot(boot).ok())
                return true;
        }
        return false;
    };
    constexpr uint32_t kFrom = 0xD800;
    std::vector<uint8_t> code(32);
    uint64_t stepBytes = 0;
    {
        DebugSession first;
        ASSERT_TRUE(bootAfterReset(first));
        ASSERT_TRUE(first.loadS19(std::string(TARVIK11_EXAMPLES_DIR) + "/flow.s19").ok());
        ASSERT_EQ(first.memory().readBlock(kFrom, static_cast<uint32_t>(code.size()), code.data()), kTalkerOk);
        board.setFaults({}, 1);
        ASSERT_TRUE(first.trace(std::string("$d800")).ok());
        const LineFaults::Stats line = board.faultStats();
        stepBytes = line.bytesToBoard + line.bytesToHost;
    }
    ASSERT_GT(stepBytes, 10u);

    // Each session runs a step under one RESET, then goes away; the next one's boot must give the
    // program its own bytes back before it runs the next step.
    int resetsMet = 0;
    auto s = std::make_unique<DebugSession>();
    ASSERT_TRUE(bootAfterReset(*s));
    // The positions from the middle of the step outwards (its tracepoints are planted in the
    // first part and taken out in the last); a few more after the first RESET that met them.
    std::vector<uint64_t> positions;
    for (uint64_t d = 0; d < stepBytes / 2; ++d)
        for (const uint64_t k : {stepBytes / 2 + d, stepBytes / 2 - d})
            if (k >= 1 && k <= stepBytes && (d == 0 || k != stepBytes / 2))
                positions.push_back(k);
    int afterFirst = 0;
    for (const uint64_t k : positions) {
        if (resetsMet > 0 && ++afterFirst > 3)
            break;
        SCOPED_TRACE("RESET at byte " + std::to_string(k));
        s->engine().traceWaitMs = 100;
        board.setFaults({fault("reset,after=" + std::to_string(k))}, 1);
        const CommandResult step = s->trace(std::string("$d800"));
        board.setFaults({}, 1);
        if (step.failureText == CommandText::kStepMetReset) {
            EXPECT_EQ(s->runState(), RunState::NoTalker);
            EXPECT_EQ(s->dump("$d800", "").errorText(), CommandText::kNoTalkerReset);
            // The tracepoints the chip may still hold are named, and listed for the next boot.
            const std::vector<std::string> notes = s->leftoverNotes();
            EXPECT_EQ(std::ifstream(journal).good(), !notes.empty()) << "the journal does not list what the chip may hold";
            if (!notes.empty()) {
                ++resetsMet;
                EXPECT_NE(step.notes.size(), 0u) << "the step did not name the SWIs it left";
            }
        }
        s = std::make_unique<DebugSession>(); // with the talker gone nothing can be written back now
        ASSERT_TRUE(bootAfterReset(*s));
        if (!s->leftBehind().empty())
            EXPECT_TRUE(s->writeBackLeftBehind().ok());
        std::vector<uint8_t> now(code.size());
        ASSERT_EQ(s->memory().readBlock(kFrom, static_cast<uint32_t>(now.size()), now.data()), kTalkerOk);
        EXPECT_EQ(now, code) << "the program does not hold its own bytes after the next boot";
        EXPECT_FALSE(std::ifstream(journal).good()) << "the journal is not cleared once everything is back";
    }
    s.reset();
    EXPECT_GT(resetsMet, 0) << "no RESET landed while a step's tracepoints were planted";
    std::filesystem::remove_all(folder);
}
