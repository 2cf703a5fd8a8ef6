// The trace refuses every prebyte/opcode pair that the opcode table leaves undefined, as it
// refuses an undefined opcode: before it reads the registers or plants anything. The engine talks
// to the protocol-level talker model through a real pseudo-terminal.
#include "engine/DebugEngine.h"
#include "hc11/OpcodeTable.h"
#include "PtyPair.h"
#include "link/SerialPort.h"
#include "link/TalkerLink.h"
#include "TalkerModel.h"
#include "link/TargetMemory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Rig {
    PtyPair pty;
    TalkerModel model{pty};
    SerialPort port;
    TalkerLink link{port};
    TargetMemory memory{link};
    DebugEngine engine{link, memory};

    Rig()
    {
        port.readWaitMs = 1000;
        EXPECT_EQ(link.openPort(pty.modeText()), kTalkerOk);
    }

    // The kinds of every command the model has answered, once a last read has been answered.
    std::vector<uint8_t> kinds()
    {
        uint8_t scratch = 0;
        EXPECT_EQ(link.readMemory(0xFFFF, 1, &scratch), kTalkerOk);
        std::vector<uint8_t> out;
        for (const auto& c : model.commands())
            out.push_back(c.kind);
        return out;
    }
};

TEST(IllegalPairTrace, RefusedLikeAnUndefinedOpcode)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> code;
    };
    const std::vector<Case> cases = {
        {"LDAA immediate has no form after $18", {0x18, 0x86, 0x12}},
        {"JMP extended has no form after $18", {0x18, 0x7E, 0xC0, 0x00}},
        {"BRA has no form after $18", {0x18, 0x20, 0x00}},
        {"RTS has no form after $18", {0x18, 0x39}},
        {"a prebyte after $18", {0x18, 0x18, 0x08}},
        {"INX has no form after $1A", {0x1A, 0x08}},
        {"LDY extended has no form after $1A", {0x1A, 0xFE, 0x12, 0x34}},
        {"CPX immediate has no form after $CD", {0xCD, 0x8C, 0x12, 0x34}},
        {"NOP has no form after $CD", {0xCD, 0x01}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(opcodes::instructionAt(c.code[0], c.code[1]).mode, AddressMode::Undefined);
        Rig rig;
        rig.model.poke(0xC000, c.code);
        rig.model.poke(static_cast<uint16_t>(0xC000 + c.code.size()), {0x01, 0x01, 0x01, 0x01});
        EXPECT_EQ(rig.engine.traceStep(0xC000), kTalkerInvalidOpcode);
        // Reads of memory only: no register frame read or written, no SWI planted.
        for (uint8_t kind : rig.kinds())
            EXPECT_EQ(kind, 0x01);
        for (size_t i = 0; i < c.code.size(); ++i)
            EXPECT_EQ(rig.model.peek(static_cast<uint16_t>(0xC000 + i)), c.code[i]);
    }
}

} // namespace
