// Every chip the virtual board can carry takes our 257-byte talker file with the matching
// "boot --chip" and then answers for its own RAM and EEPROM.
#include "CliSession.h"

#include <cstdio>

namespace {
std::string hex(uint32_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "$%04x", value);
    return text;
}
} // namespace

TEST_F(CliSession, EveryChipBootsTheTalkerAndHasItsOwnRamAndEeprom)
{
    for (const ChipVariant& chip : kChipVariants) {
        SCOPED_TRACE(std::string(chip.name));
        startBoard(chip.kind);
        // The A-series loader runs the talker after its 256th byte; the others after the line
        // has been idle, so a loader that missed its idle time would never start the talker.
        ASSERT_TRUE(run("boot --eeprom on --chip " + std::string(chip.name))) << last();

        const uint16_t eepromEnd = uint16_t(chip.eepromStart + chip.eepromSize - 1);
        ASSERT_TRUE(run("set " + hex(chip.eepromStart) + " $c3")) << last();
        ASSERT_TRUE(run("set " + hex(eepromEnd) + " $3c")) << last();
        EXPECT_EQ(byteAt(chip.eepromStart), 0xC3);
        EXPECT_EQ(byteAt(eepromEnd), 0x3C);
        // Just past the EEPROM nothing is there (the 811E2's ends at $FFFF).
        if (eepromEnd != 0xFFFF)
            EXPECT_EQ(byteAt(eepromEnd + 1u), 0xFF);

        // The chip's RAM holds what is stored there (the top of a 512-byte RAM, a free byte
        // between the talker's code and its stack in 256 bytes); the byte above it is not RAM.
        const uint16_t ramTop = chip.ramSize > 256 ? uint16_t(chip.ramSize - 1) : uint16_t(0x00E0);
        ASSERT_TRUE(run("set " + hex(ramTop) + " $a5")) << last();
        EXPECT_EQ(byteAt(ramTop), 0xA5);
        EXPECT_FALSE(run("set " + hex(chip.ramSize) + " $a5")) << last();
    }
}
