// A line that goes away while our talker runs a service (a checked read, an EEPROM block, the
// switch to the faster line): the service is ended, and the slots it was written over and the
// frame it was started from are restored, before anything else reaches the talker. Run against
// a service left installed, later commands would be its data: the EEPROM service takes them as
// erase operations.
#include "SessionRig.h"

#include <array>
#include <functional>

namespace {

constexpr uint32_t kSlots = 0x00C4;
constexpr uint32_t kSlotBytes = 0x30;
constexpr uint32_t kEeprom = 0xB600;
constexpr uint32_t kEepromBytes = 0x200;

class ServiceOutage : public SessionRig {
protected:
    // Plain reads of the target (blocks below the services' minimum), past the session's rules.
    std::vector<uint8_t> rawBlock(uint32_t address, uint32_t count)
    {
        std::vector<uint8_t> out(count);
        for (uint32_t at = 0; at < count; at += 256) {
            const uint32_t n = std::min<uint32_t>(256, count - at);
            EXPECT_EQ(session->memory().readBlock(address + at, n, out.data() + at), kTalkerOk);
        }
        return out;
    }
    // The line dies at the K-th byte from now (either way) and stays dead until lineBack().
    void outageAfter(int k)
    {
        FaultRule rule;
        std::string error;
        ASSERT_TRUE(FaultRule::parse("outage,after=" + std::to_string(k) + ",ms=600000", &rule, &error)) << error;
        board().setFaults({rule}, 1);
    }
    void lineBack() { board().setFaults({}, 1); }
};

// A checked read and an EEPROM block cut by an outage, while a program is held at a breakpoint;
// the line then comes back and commands go on.
TEST_F(ServiceOutage, leavesTheSlotsTheTalkerAndTheHeldFrameAsTheyWere)
{
    struct Case {
        const char* name;
        int outageAt; // bytes into the command
        std::function<CommandResult(DebugSession&)> command;
        uint32_t asked = 0, askedBytes = 0; // the EEPROM bytes the command may change
    };
    const Case cases[] = {
        {"dump, in the data", 3000, [](DebugSession& s) { return s.dump("$8000", "$8fff"); }},
        {"EEPROM block, early", 60, [](DebugSession& s) { return s.fill("$b640", "$b65f", "$a5"); }, 0xB640, 32},
        {"EEPROM block, in the pulses", 400, [](DebugSession& s) { return s.fill("$b640", "$b65f", "$a5"); },
         0xB640, 32},
    };
    int left = 0; // cases whose cut left a service installed
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        newSession();
        {
            BootSettings boot;
            boot.port = session->boardDevice();
            boot.talkerFile = TARVIK11_TALKER_FILE;
            boot.chipMode = ChipMode::SpecialTest;
            boot.eepromEnable = true;
            boot.base = kBaseHexadecimal;
            ASSERT_TRUE(session->boot(boot).ok());
            session->engine().traceWaitMs = 5000;
        }
        ok(session->loadS19(example("loops.s19")));
        // EEPROM bytes an erase would change: zeros and a pattern.
        ok(session->fill("$b600", "$b6ff", "$00"));
        ok(session->fill("$b700", "$b7ff", "$3c"));
        ok(session->setBreakpoint("$c025"));
        ok(session->execute(std::string("$c000")));
        BreakpointHit hit;
        ASSERT_EQ(session->waitForHit(20000, {}, &hit), WaitOutcome::Stopped);
        ok(session->readRegisters());
        const TargetRegisters frame = session->lastRegisters();
        const std::vector<uint8_t> talker = rawBlock(0x0000, 0x100);
        const std::vector<uint8_t> eeprom = rawBlock(kEeprom, kEepromBytes);

        outageAfter(c.outageAt);
        const CommandResult cut = c.command(*session);
        EXPECT_FALSE(cut.ok());
        left += session->engine().extended().serviceLeft() ? 1 : 0;
        lineBack();
        // Whatever was left is ended before this command's own traffic.
        ok(session->readRegisters());
        EXPECT_FALSE(session->engine().extended().serviceLeft());
        EXPECT_EQ(session->lastRegisters(), frame);
        const std::vector<uint8_t> talkerAfter = rawBlock(0x0000, 0x100);
        EXPECT_EQ(std::vector<uint8_t>(talkerAfter.begin() + kSlots, talkerAfter.begin() + kSlots + kSlotBytes),
                  std::vector<uint8_t>(talker.begin() + kSlots, talker.begin() + kSlots + kSlotBytes));
        // The talker's code and data below the slots, up to the stack.
        for (uint32_t a = 0; a < kSlots; ++a)
            EXPECT_EQ(talkerAfter[a], talker[a]) << "$" << std::hex << a;
        // More commands, then every EEPROM byte outside what was asked is as it was; inside it,
        // the old value, the new one, or erased on the way to it.
        ok(session->dump("$c000", "$c0ff"));
        ok(session->setMemory("$c100", "$12"));
        const std::vector<uint8_t> eepromAfter = rawBlock(kEeprom, kEepromBytes);
        for (uint32_t i = 0; i < kEepromBytes; ++i) {
            const uint32_t a = kEeprom + i;
            if (a >= c.asked && a < c.asked + c.askedBytes)
                EXPECT_TRUE(eepromAfter[i] == eeprom[i] || eepromAfter[i] == 0xA5 || eepromAfter[i] == 0xFF)
                    << "$" << std::hex << a;
            else
                EXPECT_EQ(eepromAfter[i], eeprom[i]) << "$" << std::hex << a;
        }
        // The held program goes on from its breakpoint.
        ok(session->stop());
    }
    EXPECT_GT(left, 0) << "no outage left a service behind: the cases no longer test the rule";
}

// The switch to the faster line at boot cut by an outage: the talker answers at 9600 or 125000
// afterwards with its slots as a clean boot leaves them.
TEST_F(ServiceOutage, duringTheSwitchToTheFasterLineLeavesNothingInstalled)
{
    // Where the switch lies in a boot's traffic: the bytes of a boot without it and with it,
    // counted by a fault that never fires.
    auto bootCounting = [&](bool fastLine, const char* fault) {
        newSession();
        FaultRule rule;
        std::string error;
        EXPECT_TRUE(FaultRule::parse(fault, &rule, &error)) << error;
        board().setFaults({rule}, 1);
        BootSettings boot;
        boot.port = session->boardDevice();
        boot.talkerFile = TARVIK11_TALKER_FILE;
        boot.chipMode = ChipMode::SpecialTest;
        boot.fastLine = fastLine;
        const CommandResult result = session->boot(boot);
        const LineFaults::Stats stats = board().faultStats();
        lineBack();
        return std::make_pair(result, stats.bytesToBoard + stats.bytesToHost);
    };
    const auto [slow, before] = bootCounting(false, "drop,after=100000000");
    ASSERT_TRUE(slow.ok()) << slow.errorText();
    const std::vector<uint8_t> clean = rawBlock(kSlots, kSlotBytes);
    const auto [fast, after] = bootCounting(true, "drop,after=100000000");
    ASSERT_TRUE(fast.ok()) << fast.errorText();
    ASSERT_GT(after, before + 60) << "the switch's traffic";
    for (uint64_t at : {before + 20, (before + after) / 2}) {
        SCOPED_TRACE(at - before);
        const std::string fault = "outage,after=" + std::to_string(at) + ",ms=600000";
        const auto [cut, ignored] = bootCounting(true, fault.c_str());
        (void)ignored;
        if (!cut.ok()) {
            // A boot that failed leaves no talker to trust: nothing reaches it until a new boot.
            const CommandResult refused = session->readRegisters();
            EXPECT_FALSE(refused.ok());
            EXPECT_NE(refused.errorText().find("No talker is running"), std::string::npos) << refused.errorText();
            continue;
        }
        // Booted (at either rate): nothing of the service may stay once the line is back.
        ok(session->readRegisters());
        EXPECT_FALSE(session->engine().extended().serviceLeft());
        EXPECT_EQ(rawBlock(kSlots, kSlotBytes), clean);
    }
}

} // namespace
