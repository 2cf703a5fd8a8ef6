// Trace steps on the virtual board that the successors alone do not settle: branches onto their
// own bytes, returns, and instructions that would leave the processor waiting.
#include "BoardRig.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

constexpr uint32_t kBase = 0xD000;
constexpr uint32_t kBrclr = 0xD006, kBne = 0xD00A, kBra = 0xD00C, kWai = 0xD00E, kStop = 0xD00F;
constexpr uint32_t kRti = 0xD010, kRts = 0xD011, kLanding = 0xD012, kSwi = 0xD014;
constexpr uint32_t kTested = 0xD100; // the byte the BRCLR tests
constexpr uint32_t kStackTop = 0xD200; // the byte pushed last (SP = $D1FF)
constexpr uint8_t kZ = 0x04;

const Bytes kProgram = {
    0x8E, 0xD1, 0xFF,       // D000 LDS   #$D1FF
    0xCE, 0xD1, 0x00,       // D003 LDX   #$D100
    0x1F, 0x00, 0x01, 0xFC, // D006 BRCLR 0,X,#1,*
    0x26, 0xFE,             // D00A BNE   *
    0x20, 0xFE,             // D00C BRA   *
    0x3E,                   // D00E WAI
    0xCF,                   // D00F STOP
    0x3B,                   // D010 RTI
    0x39,                   // D011 RTS
    0x01, 0x01,             // D012 NOP, NOP
    0x3F,                   // D014 SWI
};

struct Case {
    const char* name;
    uint32_t address;
    std::function<void(BoardRig&)> setup; // on the program held at the BRCLR
    TalkerStatus status;
    uint32_t endsAt;       // currentPC afterwards (when the status is 0)
    bool runs;             // whether the target ran (it is then held at endsAt)
    const char* message = nullptr;
};

// Changes the held program's CCR; a write with its PC unchanged keeps it held.
void setCcr(BoardRig& rig, uint8_t ccr)
{
    TargetRegisters r = rig.registers();
    r.CCR = ccr;
    ASSERT_EQ(rig.link.writeRegisters(r), kTalkerOk);
}

TEST(TraceOnBoard, StepsThatDependOnTheTargetsState)
{
    const std::vector<Case> cases = {
        {"BRCLR onto itself with the bit set falls through", kBrclr, [](BoardRig& r) { r.poke(kTested, {0x01}); },
         kTalkerOk, kBne, true},
        {"BRCLR onto itself with the bit clear stays", kBrclr, [](BoardRig& r) { r.poke(kTested, {0xFE}); },
         kTalkerOk, kBrclr, false},
        {"BNE onto itself, Z clear, stays", kBne, [](BoardRig& r) { setCcr(r, 0xC0); }, kTalkerOk, kBne, false},
        {"BNE onto itself, Z set, falls through", kBne, [](BoardRig& r) { setCcr(r, 0xC0 | kZ); }, kTalkerOk, kBra, true},
        {"BRA onto itself stays", kBra, nullptr, kTalkerOk, kBra, false},
        {"RTS to its stacked address", kRts, [](BoardRig& r) { r.poke(kStackTop, {0xD0, 0x12}); }, kTalkerOk, kLanding, true},
        {"RTS to itself is refused", kRts, [](BoardRig& r) { r.poke(kStackTop, {0xD0, 0x11}); },
         kTalkerTraceFailed, 0, false, "Cannot trace a call or return that continues inside its own instruction."},
        {"RTI to the PC of its stacked frame", kRti,
         [](BoardRig& r) { r.poke(kStackTop, {0xC0, 0x22, 0x5A, 0x12, 0x34, 0x56, 0x78, 0xD0, 0x12}); },
         kTalkerOk, kLanding, true},
        {"WAI is refused", kWai, nullptr, kTalkerTraceFailed, 0, false,
         "Cannot trace WAI or STOP: the processor would wait for an interrupt or a reset."},
        {"STOP is refused", kStop, nullptr, kTalkerTraceFailed, 0, false,
         "Cannot trace WAI or STOP: the processor would wait for an interrupt or a reset."},
        {"SWI stops at itself", kSwi, nullptr, kTalkerOk, kSwi, true},
    };
    BoardRig rig;
    ASSERT_TRUE(rig.started);
    DebugEngine& e = rig.engine;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(e.stop(), kTalkerOk);
        rig.poke(kBase, kProgram);
        // Two steps set SP and X and leave the program held at the BRCLR.
        ASSERT_EQ(e.traceStep(kBase), kTalkerOk);
        ASSERT_EQ(e.traceStep(e.currentPC), kTalkerOk);
        ASSERT_EQ(e.currentPC, kBrclr);
        if (c.setup)
            c.setup(rig);
        const Bytes codeBefore = rig.peek(kBase, static_cast<uint32_t>(kProgram.size()));
        const TargetRegisters before = rig.registers();
        rig.notifier.messages.clear();

        EXPECT_EQ(e.traceStep(c.address), c.status);
        if (c.status == kTalkerOk) {
            EXPECT_EQ(e.currentPC, c.endsAt);
        }
        const TargetRegisters after = rig.registers();
        if (c.runs) {
            EXPECT_EQ(e.heldAt, std::optional<uint32_t>(c.endsAt));
            EXPECT_EQ(after.PC, c.endsAt + 1);
        } else {
            // Not started: still held where it was, nothing changed.
            EXPECT_EQ(e.heldAt, std::optional<uint32_t>(kBrclr));
            EXPECT_EQ(after.PC, before.PC);
            EXPECT_EQ(after.SP, before.SP);
        }
        EXPECT_EQ(rig.peek(kBase, static_cast<uint32_t>(kProgram.size())), codeBefore) << "no SWI left in the code";
        for (const auto& t : e.tracepoints)
            EXPECT_FALSE(t.planted);
        if (c.message) {
            EXPECT_EQ(rig.notifier.messages, std::vector<std::string>{c.message});
        } else {
            EXPECT_TRUE(rig.notifier.messages.empty());
        }
        if (c.address == kRti && c.status == kTalkerOk) {
            // RTI pulled the whole frame: CCR, B, A, X, Y, then PC.
            EXPECT_EQ(after.A, 0x5A);
            EXPECT_EQ(after.B, 0x22);
            EXPECT_EQ(after.X, 0x1234u);
            EXPECT_EQ(after.Y, 0x5678u);
            EXPECT_EQ(after.SP, 0xD208u - 8);
        }
    }
}

} // namespace
