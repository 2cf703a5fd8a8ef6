#include "engine/CommandTexts.h"
#include "engine/ListingPath.h"
#include "engine/MemoryDump.h"
#include "engine/RegisterText.h"
#include "link/NumberParse.h"

#include <gtest/gtest.h>

#include <numeric>

// Typed start and end (0 = empty) to the range dumped, including the refusals.
TEST(MemoryDump, RangeRoundsOutToWholeLines)
{
    struct Case {
        uint32_t start, end, wantStart, wantEnd;
        bool inOrder;
    };
    const Case cases[] = {
        {0x0005, 0, 0x0000, 0x001F, true},   // empty end: start + 16, then rounded
        {0x0100, 0x0100, 0x0100, 0x010F, true},
        {0x0000, 0xFFFF, 0x0000, 0xFFFF, true},
        {0xFFEF, 0, 0xFFE0, 0xFFFF, true},  // start + 16 = $FFFF just fits
        {0xFFF0, 0, 0xFFF0, 0xFFFF, true},  // start + 16 runs past $FFFF: the dump ends at the top
        {0xFFFF, 0, 0xFFF0, 0xFFFF, true},
        {0x1000, 0x0FFF, 0x1000, 0x0FFF, false},
        {0x1234, 0x1235, 0x1230, 0x123F, true},
    };
    for (const Case& c : cases) {
        const DumpRange r = MemoryDump::range(c.start, c.end);
        EXPECT_EQ(r.start, c.wantStart) << std::hex << c.start << " " << c.end;
        EXPECT_EQ(r.end, c.wantEnd) << std::hex << c.start << " " << c.end;
        EXPECT_EQ(r.inOrder(), c.inOrder) << std::hex << c.start << " " << c.end;
        if (r.inOrder()) {
            EXPECT_EQ(r.count() % MemoryDump::kBytesPerLine, 0u);
        }
    }
    // The whole address space is 65536 bytes, a count that does not fit 16 bits.
    EXPECT_EQ(MemoryDump::range(0, 0xFFFF).count(), 0x10000u);
}

TEST(MemoryDump, LinesHaveTheViewsLayout)
{
    const std::string& header = MemoryDump::headerLine();
    EXPECT_EQ(header, "       .00.01.02.03.04.05.06.07.08.09.0A.0B.0C.0D.0E.0F\n");

    uint8_t bytes[32];
    std::iota(std::begin(bytes), std::end(bytes), uint8_t{0x70});
    bytes[0] = 0x41;
    bytes[1] = 0x00;
    bytes[2] = 0x7E;
    bytes[3] = 0x7F;
    bytes[4] = 0x20;
    bytes[5] = 0xFF;
    const std::string line = MemoryDump::dataLine(0xC0A0, bytes);
    EXPECT_EQ(line, "$c0a0 - 41 00 7e 7f 20 ff 76 77 78 79 7a 7b 7c 7d 7e 7f A.~. .vwxyz{|}~.");
    EXPECT_EQ(line.size(), MemoryDump::kLineLength);
    // Each column label stands over the two digits of its byte.
    for (unsigned column = 0; column < 16; ++column) {
        EXPECT_EQ(header.substr(8 + 3 * column, 2), CommandText::format("%02X", column));
        EXPECT_EQ(line.substr(8 + 3 * column, 2), CommandText::format("%02x", bytes[column]));
    }

    const auto lines = MemoryDump::lines(0xFFE0, bytes, sizeof bytes);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], header);
    EXPECT_EQ(lines[1].substr(0, 8), "$ffe0 - ");
    EXPECT_EQ(lines[2].substr(0, 8), "$fff0 - ");
}

TEST(RegisterText, FieldsAsTheWindowShowsThem)
{
    TargetRegisters r{0x00F0, 0xD0, 0x01, 0xAB, 0x1234, 0xBEEF, 0xC025};
    const RegisterFields f = RegisterText::fields(r);
    EXPECT_EQ(f.A, "$ab");
    EXPECT_EQ(f.B, "$01");
    EXPECT_EQ(f.X, "$1234");
    EXPECT_EQ(f.Y, "$beef");
    EXPECT_EQ(f.PC, "$c025");
    EXPECT_EQ(f.SP, "$00f8"); // the program's own stack pointer, frame SP + 8
    EXPECT_EQ(f.CCR, "%11010000");
    EXPECT_EQ(RegisterText::ccrText(0x00), "%00000000");
    EXPECT_EQ(RegisterText::ccrText(0xFF), "%11111111");
    EXPECT_EQ(RegisterText::ccrText(0x01), "%00000001");
    EXPECT_EQ(RegisterText::fields(TargetRegisters{0xFFF8}).SP, "$0000");
}

TEST(RegisterText, ApplyTakesEverythingButTheStackPointer)
{
    RegisterFields f;
    f.A = "$FF";
    f.B = "#12";
    f.X = "$C000";
    f.Y = "%101";
    f.PC = "$D800";
    f.SP = "$0000";
    f.CCR = "%11010000";
    TargetRegisters r{0x00E0};
    EXPECT_EQ(RegisterText::apply(f, r, kBaseDecimal), nullptr);
    EXPECT_EQ(r.A, 0xFF);
    EXPECT_EQ(r.B, 12);
    EXPECT_EQ(r.X, 0xC000u);
    EXPECT_EQ(r.Y, 5u);
    EXPECT_EQ(r.PC, 0xD800u);
    EXPECT_EQ(r.CCR, 0xD0);
    EXPECT_EQ(r.SP, 0x00E0u);

    // A field that is no number is named and nothing is taken; the default base reads bare digits.
    f.Y = "zz";
    TargetRegisters untouched{0x00E0};
    const RegisterFieldInfo* bad = RegisterText::apply(f, untouched, kBaseDecimal);
    ASSERT_NE(bad, nullptr);
    EXPECT_STREQ(bad->label, "Index Y");
    EXPECT_EQ(untouched.A, 0);
    // A value that does not fit its register is refused, not cut down.
    f.Y = "$C000";
    f.A = "$1FF";
    NumberProblem problem = NumberProblem::None;
    bad = RegisterText::apply(f, untouched, kBaseDecimal, &problem);
    ASSERT_NE(bad, nullptr);
    EXPECT_STREQ(bad->label, "Accumulator A");
    EXPECT_EQ(problem, NumberProblem::OutOfRange);
    EXPECT_EQ(untouched.Y, 0u);
    f.A = "$FF";
    f.Y = "10";
    EXPECT_EQ(RegisterText::apply(f, r, kBaseHexadecimal), nullptr);
    EXPECT_EQ(r.Y, 0x10u);
}

TEST(CommandTexts, FormatsAndListingPaths)
{
    EXPECT_EQ(CommandText::format(CommandText::kFillProgress, 0xC000u, 0xC0FFu, 0x5Au),
              "Filling block $c000 to $c0ff with $5a");
    // The typed value is printed whole, though only its low byte is searched for.
    EXPECT_EQ(CommandText::format(CommandText::kFindDone, 0x1FFu, 0xC010u), "Value 1ff found at location $c010");
    EXPECT_EQ(CommandText::format(CommandText::kBreakpointReached, 0xC010u), "Breakpoint reached at $c010");
    EXPECT_EQ(CommandText::format(CommandText::kLoadProgress, "/a/b.s19"), "Loading S19 record /a/b.s19 into memory...");

    const std::pair<const char*, const char*> paths[] = {
        {"prog.s19", "prog.lst"},
        {"/work/prog.s19", "/work/prog.lst"},
        {"/work/prog", "/work/prog.lst"},
        {"/work/v1.2/prog", "/work/v1.2/prog.lst"},
        {"/work/v1.2/prog.x.s19", "/work/v1.2/prog.x.lst"},
        {".s19", ".s19.lst"},
    };
    for (const auto& [in, out] : paths)
        EXPECT_EQ(listingPathFor(in), out) << in;
}
