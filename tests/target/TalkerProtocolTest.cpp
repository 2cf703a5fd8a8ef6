// Our talker on the virtual board, driven byte by byte through the pseudo-terminal.
#include "TalkerOnBoard.h"

namespace {
constexpr uint16_t kProgram = 0xC000, kAfterSwi = 0xC00C, kMarker = 0xC181;
const Bytes kStopProgram = {
    0x86, 0x12, 0xC6, 0x34,             // C000 LDAA #$12, LDAB #$34
    0xCE, 0x56, 0x78,                   // C004 LDX #$5678
    0x18, 0xCE, 0x9A, 0xBC,             // C007 LDY #$9ABC
    0x3F,                               // C00B SWI
    0x86, 0xEE, 0xB7, 0xC1, 0x81,       // C00C LDAA #$EE, STAA $C181: must not run
    0x20, 0xFE,                         // C011 BRA *
};
constexpr uint16_t kIncrement = 0xC020; // INCA, SWI
constexpr uint16_t kSubroutine = 0xC100; // LDAA #$77, STAA $C180, RTS
} // namespace

TEST(TalkerFile, KeepsRoomForTheStackBelowThePseudoVectors) {
    auto symbols = readSymbolMap(TARVIK11_TALKER_MAP);
    // 9 stacked bytes, 8 of a command, 2 when a subroutine call moves the frame, a few for programs.
    EXPECT_GE(symbols.at("STACK_TOP") + 1 - symbols.at("code_end"), 24);
    EXPECT_LT(symbols.at("STACK_TOP"), 0xC4);
}

// The debugger starts a program at the very address where the talker holds it through this RTS.
TEST(TalkerFile, KeepsAnRtsAt00C8) {
    const Bytes file = readFileBytes(TARVIK11_TALKER_FILE);
    ASSERT_EQ(file.size(), 257u);
    EXPECT_EQ(file[1 + 0xC8], 0x39);
    EXPECT_EQ(readSymbolMap(TARVIK11_TALKER_MAP).at("user_rts"), 0xC8);
}

TEST_F(TalkerOnBoard, FreshFrameIsTheIdleLoopAndOtherBytesGetNoAnswer) {
    WireFrame idle, again;
    ASSERT_TRUE(client_.readRegisters(&idle));
    EXPECT_EQ(idle.pc, talker("idle_pc"));
    EXPECT_EQ(idle.sp, talker("STACK_TOP") - 8) << "SP is the address of the stacked CCR";
    EXPECT_FALSE(idle.ccr & 0x10) << "the idle loop runs with interrupts on";
    ASSERT_TRUE(client_.writeRegisters(idle));
    ASSERT_TRUE(client_.send({0x00, 0x02, 0x40, 0xB4, 0xC0, 0xFF})); // the next byte must be $81's echo
    ASSERT_TRUE(client_.readRegisters(&again));
    EXPECT_EQ(again, idle);
}

TEST_F(TalkerOnBoard, MemoryBlocksReadBackAsWritten) {
    for (auto [address, size] : {std::pair{0xC000, 1}, {0xC0F8, 17}, {0xC200, 256}}) {
        Bytes data(size), back;
        for (int i = 0; i < size; ++i)
            data[i] = uint8_t(i * 7 + size);
        ASSERT_TRUE(client_.writeMemory(address, data));
        ASSERT_TRUE(client_.readMemory(address, uint8_t(size), &back));
        EXPECT_EQ(back, data) << address;
    }
}

TEST_F(TalkerOnBoard, StoppedProgramKeepsItsFrameUntilANewPcResumesIt) {
    ASSERT_TRUE(client_.writeMemory(kProgram, kStopProgram));
    ASSERT_TRUE(client_.writeMemory(kIncrement, {0x4C, 0x3F}));
    ASSERT_TRUE(client_.writeMemory(kMarker, {0x00}));
    WireFrame idle, frame;
    ASSERT_TRUE(client_.readRegisters(&idle));
    run(kProgram);
    const WireFrame stopped = waitForStop();
    EXPECT_EQ(stopped, (WireFrame{idle.sp, stopped.ccr, 0x34, 0x12, 0x5678, 0x9ABC, kAfterSwi}));
    ASSERT_TRUE(client_.readRegisters(&frame));
    EXPECT_EQ(frame, stopped);

    // The same PC keeps it stopped with the new registers, also when the frame moves.
    WireFrame changed = stopped;
    changed.a = 0x55;
    changed.sp = uint16_t(stopped.sp - 2);
    ASSERT_TRUE(client_.writeRegisters(changed));
    ASSERT_TRUE(client_.readRegisters(&frame));
    EXPECT_EQ(frame, changed);
    Bytes marker;
    ASSERT_TRUE(client_.readMemory(kMarker, 1, &marker));
    EXPECT_EQ(marker, Bytes{0x00}) << "the program went on after its SWI";

    changed.pc = kIncrement;
    ASSERT_TRUE(client_.writeRegisters(changed));
    const WireFrame second = waitForStop();
    EXPECT_EQ(second.pc, kIncrement + 2);
    EXPECT_EQ(second.a, 0x56);
    EXPECT_EQ(second.sp, changed.sp);

    changed.pc = talker("idle_pc"); // back to the talker, on its own stack
    ASSERT_TRUE(client_.writeRegisters(changed));
    ASSERT_TRUE(client_.readRegisters(&frame));
    EXPECT_EQ(frame.pc, talker("idle_pc"));
    EXPECT_EQ(frame.sp, idle.sp);
}

TEST_F(TalkerOnBoard, EveryStopSourceReportsAndKeepsServing) {
    struct Case {
        const char* what;
        Bytes program;
        uint16_t reportedPc;
    } const cases[] = {
        {"SWI", {0x01, 0x3F}, kProgram + 2},
        {"illegal opcode, reported at the opcode", {0x01, 0x41}, kProgram + 1},
        {"interrupt slot nobody installed (timer overflow)", {0x7E, 0x00, 0xD0}, 0x00D1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(client_.writeMemory(kProgram, c.program));
        run(kProgram);
        const WireFrame stopped = waitForStop();
        EXPECT_EQ(stopped.pc, c.reportedPc);
        WireFrame frame;
        ASSERT_TRUE(client_.readRegisters(&frame));
        EXPECT_EQ(frame, stopped);
        frame.pc = talker("idle_pc");
        ASSERT_TRUE(client_.writeRegisters(frame));
    }
}

// The host's subroutine call: the frame moved down by two with the PC unchanged, the idle loop's
// address written as the return address, then the frame again with the subroutine's PC.
class SubroutineCall : public TalkerOnBoard, public ::testing::WithParamInterface<bool> {};

TEST_P(SubroutineCall, ReturnsIntoTheIdleLoop) {
    ASSERT_TRUE(client_.writeMemory(kSubroutine, {0x86, 0x77, 0xB7, 0xC1, 0x80, 0x39}));
    ASSERT_TRUE(client_.writeMemory(0xC180, {0x00, 0x00}));
    if (GetParam()) { // from a program stopped at its SWI
        ASSERT_TRUE(client_.writeMemory(kProgram, kStopProgram));
        run(kProgram);
        waitForStop();
    }
    WireFrame frame;
    ASSERT_TRUE(client_.readRegisters(&frame));
    frame.sp = uint16_t(frame.sp - 2);
    ASSERT_TRUE(client_.writeRegisters(frame));
    const uint16_t idlePc = talker("idle_pc");
    ASSERT_TRUE(client_.writeMemory(uint16_t(frame.sp + 9), {uint8_t(idlePc >> 8), uint8_t(idlePc)}));
    frame.pc = kSubroutine;
    ASSERT_TRUE(client_.writeRegisters(frame));

    Bytes result;
    ASSERT_TRUE(client_.readMemory(0xC180, 2, &result));
    EXPECT_EQ(result, (Bytes{0x77, 0x00})) << "the subroutine ran; a stopped program did not go on";
    ASSERT_TRUE(client_.readRegisters(&frame));
    EXPECT_EQ(frame.pc, idlePc);
    EXPECT_EQ(frame.sp, talker("STACK_TOP") - 8);
}

INSTANTIATE_TEST_SUITE_P(FromIdleAndFromStop, SubroutineCall, ::testing::Bool());

TEST_F(TalkerOnBoard, AnswersWhileAProgramRunsAndStopsIt) {
    const std::string dir = TARVIK11_EXAMPLES_DIR;
    auto symbols = readSymbolMap(dir + "/counter.map");
    load(dir + "/counter.s19");
    run(symbols.at("main"));
    auto count = [&] {
        Bytes b;
        EXPECT_TRUE(client_.readMemory(symbols.at("count"), 2, &b));
        return b;
    };
    const Bytes first = count();
    EXPECT_NE(count(), first) << "the program runs between two commands";
    WireFrame frame;
    ASSERT_TRUE(client_.readRegisters(&frame));
    EXPECT_GE(frame.pc, symbols.at("loop"));
    EXPECT_LT(frame.pc, symbols.at("count"));

    frame.pc = talker("idle_pc");
    ASSERT_TRUE(client_.writeRegisters(frame));
    const Bytes stopped = count();
    EXPECT_EQ(count(), stopped);
}

TEST_F(TalkerOnBoard, ClockMonitorResetRestartsTheTalker) {
    ASSERT_TRUE(client_.writeMemory(0x00FD, {0x7E, 0x00, 0x00}));
    ASSERT_TRUE(client_.writeMemory(0x1039, {0x08})); // OPTION: CME
    ASSERT_TRUE(client_.writeMemory(0x103E, {0x04})); // TEST1: FCM, the chip resets
    Bytes hprio;
    ASSERT_TRUE(client_.readMemory(0x103C, 1, &hprio));
    EXPECT_EQ(hprio, Bytes{0xC5}) << "back in bootstrap mode after the reset";
    WireFrame frame;
    ASSERT_TRUE(client_.readRegisters(&frame));
    EXPECT_EQ(frame.pc, talker("idle_pc"));
    EXPECT_EQ(frame.sp, talker("STACK_TOP") - 8);
}
