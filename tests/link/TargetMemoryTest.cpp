#include "LinkFixture.h"
#include "TalkerModel.h"
#include "link/TargetMemory.h"

#include <algorithm>
#include <tuple>

namespace {

using Op = TalkerModel::EepromOp;

class TargetMemoryTest : public LinkFixture {
protected:
    void SetUp() override {
        LinkFixture::SetUp();
        memory.programDelayMs = 0;
        link.eepromEnabled = 1;
    }

    // (kind, address, count) of every command the model saw.
    std::vector<std::tuple<int, int, int>> traffic() const {
        std::vector<std::tuple<int, int, int>> out;
        for (const auto& c : model.commands())
            out.emplace_back(c.kind, c.address, c.count);
        return out;
    }
    // (op, address) of every EEPROM operation carried out.
    std::vector<std::pair<Op, int>> eeprom() const {
        std::vector<std::pair<Op, int>> out;
        for (const auto& e : model.eepromEvents()) {
            EXPECT_FALSE(e.blocked);
            out.emplace_back(e.op, e.address);
        }
        return out;
    }
    // Plain $41 writes outside the register block: (address, count).
    std::vector<std::pair<int, int>> plainWrites() const {
        std::vector<std::pair<int, int>> out;
        for (const auto& c : model.commands())
            if (c.kind == 0x41 && (c.address < 0x1000 || c.address > 0x103F) &&
                (c.address < memory.eepromStart || c.address > memory.eepromEnd))
                out.emplace_back(c.address, c.count);
        return out;
    }

    TalkerModel model{pty};
    TargetMemory memory{link};
};

Bytes pattern(size_t n, uint8_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(seed + i * 5);
    return b;
}

TEST_F(TargetMemoryTest, ReadBlockSplitsInto256ByteCommands) {
    struct Case {
        uint32_t address, count;
        std::vector<std::tuple<int, int, int>> reads;
    };
    const Case cases[] = {
        {0x0000, 600, {{1, 0x0000, 256}, {1, 0x0100, 256}, {1, 0x0200, 88}}},
        {0xC000, 256, {{1, 0xC000, 256}}},
        {0xC000, 0, {}},
        {0xFFFF, 1, {{1, 0xFFFF, 1}}},
    };
    for (const auto& c : cases) {
        model.clearLogs();
        Bytes buffer(c.count + 1, 0xEE);
        EXPECT_EQ(memory.readBlock(c.address, c.count, buffer.data()), kTalkerOk);
        EXPECT_EQ(traffic(), c.reads) << c.address << "/" << c.count;
        EXPECT_EQ(buffer[c.count], 0xEE); // nothing past the block
    }
}

TEST_F(TargetMemoryTest, WholeAddressSpaceAndLargeWrites) {
    link.eepromEnabled = 0;
    model.setConfig(0x0C); // array out of the map: every address is plain memory
    Bytes image = pattern(0x10000, 3);
    image[0x103B] = 0x00; // PPROG not latching
    image[0x103E] = 0x00; // TEST1
    model.poke(0, image);
    image[0x103F] = 0x0C; // CONFIG reads its latch
    Bytes back(0x10000, 0);
    EXPECT_EQ(memory.readBlock(0, 0x10000, back.data()), kTalkerOk);
    EXPECT_EQ(back, image);
    const auto log = traffic();
    ASSERT_EQ(log.size(), 256u);
    EXPECT_EQ(log.front(), std::make_tuple(1, 0x0000, 256));
    EXPECT_EQ(log.back(), std::make_tuple(1, 0xFF00, 256));

    model.clearLogs();
    const Bytes data = pattern(0x234, 77);
    EXPECT_EQ(memory.writeRaw(0xC0F0, 0x234, data.data()), kTalkerOk);
    for (uint32_t i = 0; i < data.size(); ++i)
        ASSERT_EQ(model.peek(static_cast<uint16_t>(0xC0F0 + i)), data[i]);
    const std::vector<std::tuple<int, int, int>> pieces{{0x41, 0xC0F0, 256}, {0x01, 0xC0F0, 256},
                                                        {0x41, 0xC1F0, 256}, {0x01, 0xC1F0, 256},
                                                        {0x41, 0xC2F0, 0x34}, {0x01, 0xC2F0, 0x34}};
    EXPECT_EQ(traffic(), pieces);
}

TEST_F(TargetMemoryTest, BlocksOutsideTheAddressSpaceAreRefused) {
    uint8_t buffer[16] = {};
    uint32_t found = 0x1234;
    EXPECT_EQ(memory.readBlock(0, 0x10001, buffer), kTalkerCommError);
    EXPECT_EQ(memory.readBlock(0xFFFF, 2, buffer), kTalkerCommError);
    EXPECT_EQ(memory.readBlock(0x10000, 1, buffer), kTalkerCommError);
    EXPECT_EQ(memory.readBlock(0, 4, nullptr), kTalkerCommError);
    EXPECT_EQ(memory.writeRaw(0xFFF8, 16, buffer), kTalkerCommError);
    EXPECT_EQ(memory.writeBlock(0xFFF8, 16, buffer), kTalkerCommError);
    EXPECT_EQ(memory.writeBlock(0, 4, nullptr), kTalkerCommError);
    EXPECT_EQ(memory.fill(0x8000, 0xFFFFFFFF, 0), kTalkerCommError);
    EXPECT_EQ(memory.move(0xFF00, 0x200, 0), kTalkerCommError);
    EXPECT_EQ(memory.move(0, 0x200, 0xFF00), kTalkerCommError);
    EXPECT_EQ(memory.search(0xFFF0, 0x20, 0, found), kTalkerCommError);
    EXPECT_EQ(found, 0x1234u);
    EXPECT_EQ(memory.eraseEepromRange(0xB600, 0x10000), kTalkerCommError);
    EXPECT_TRUE(model.commands().empty());
}

TEST_F(TargetMemoryTest, ProgramByteSequenceAndReadBackFailure) {
    EXPECT_EQ(memory.programEepromByte(0xB700, 0x5A), kTalkerOk);
    EXPECT_EQ(model.peek(0xB700), 0x5A);
    std::vector<std::pair<int, int>> writes; // (address, value) of every $41
    for (const auto& c : model.commands())
        if (c.kind == 0x41)
            writes.emplace_back(c.address, c.data.at(0));
    const std::vector<std::pair<int, int>> expected{
        {0x1035, 0x00}, {0x103B, 0x02}, {0xB700, 0x5A}, {0x103B, 0x03}, {0x103B, 0x00}};
    EXPECT_EQ(writes, expected);
    EXPECT_EQ(model.commands().back().kind, 0x01);

    model.clearLogs();
    model.setReadBack(0xB701, 0x00);
    EXPECT_EQ(memory.programEepromByte(0xB701, 0x5A), kTalkerEepromProgramFailed);
    const auto log = model.commands();
    ASSERT_GE(log.size(), 2u);
    const auto& lastWrite = log[log.size() - 3]; // then its read-back, then the final check
    EXPECT_EQ(lastWrite.address, 0x103B);
    EXPECT_EQ(lastWrite.data, Bytes{0x00});
}

TEST_F(TargetMemoryTest, EraseModesUseTheirLatchValues) {
    struct Case {
        EraseMode mode;
        uint8_t latch;
        Op op;
    };
    for (const auto& c : {Case{EraseMode::Byte, 0x16, Op::ByteErase}, Case{EraseMode::Row, 0x0E, Op::RowErase},
                          Case{EraseMode::Bulk, 0x06, Op::BulkErase},
                          Case{static_cast<EraseMode>(0xF9), 0x06, Op::BulkErase}}) {
        model.clearLogs();
        EXPECT_EQ(memory.eraseEeprom(0xB640, c.mode), kTalkerOk);
        std::vector<std::pair<int, int>> writes;
        for (const auto& cmd : model.commands())
            if (cmd.kind == 0x41)
                writes.emplace_back(cmd.address, cmd.data.at(0));
        const std::vector<std::pair<int, int>> expected{
            {0x1035, 0x00}, {0x103B, c.latch}, {0xB640, c.latch}, {0x103B, c.latch + 1}, {0x103B, 0x00}};
        EXPECT_EQ(writes, expected) << static_cast<int>(c.mode);
        EXPECT_EQ(eeprom(), (std::vector<std::pair<Op, int>>{{c.op, 0xB640}})) << static_cast<int>(c.mode);
    }
}

TEST_F(TargetMemoryTest, EraseRangeUsesFewestRowErases) {
    struct Case {
        uint32_t first, last;
        int leadingBytes, rows, trailingBytes;
    };
    const Case cases[] = {
        {0xB605, 0xB622, 11, 1, 3}, {0xB600, 0xB61F, 0, 2, 0}, {0xB603, 0xB605, 3, 0, 0},
        {0xB610, 0xB610, 0, 0, 1},  {0xB610, 0xB60F, 0, 0, 0}, {0xB60F, 0xB610, 1, 0, 1},
    };
    for (const auto& c : cases) {
        model.clearLogs();
        EXPECT_EQ(memory.eraseEepromRange(c.first, c.last), kTalkerOk);
        std::vector<std::pair<Op, int>> expected;
        uint32_t a = c.first;
        for (int i = 0; i < c.leadingBytes; ++i)
            expected.emplace_back(Op::ByteErase, a++);
        for (int i = 0; i < c.rows; ++i, a += 16)
            expected.emplace_back(Op::RowErase, a);
        for (int i = 0; i < c.trailingBytes; ++i)
            expected.emplace_back(Op::ByteErase, a++);
        EXPECT_EQ(eeprom(), expected) << std::hex << c.first << "-" << c.last;
    }
}

// The five placements of a block against the EEPROM, every byte there programmed to $00 first
// (so that each new value needs an erase). A row erase is taken where it saves pulses, and the
// row's bytes outside the block are programmed again; a byte that is to read $FF after its erase
// is not programmed. The model's array is narrowed to $B600..$B63F for the spanning case so the
// test stays short.
TEST_F(TargetMemoryTest, WriteBlockProgramsOnlyTheEepromPart) {
    struct Case {
        uint32_t address, count;
        std::vector<std::pair<Op, int>> erases;
        uint32_t programFirst, programLast;
        std::vector<std::pair<int, int>> plain;
    };
    // $B600..$B60F: 11 byte erases and 11 programs, or one row erase and 16 programs.
    // $B620..$B622: 3 byte erases and 3 programs, or one row erase and 16 programs.
    std::vector<std::pair<Op, int>> b605{{Op::RowErase, 0xB600}, {Op::RowErase, 0xB610}};
    for (int a = 0xB620; a <= 0xB622; ++a)
        b605.emplace_back(Op::ByteErase, a);
    const Case cases[] = {
        {0xB605, 30, b605, 0xB600, 0xB622, {}},
        {0xB5F0, 32, {{Op::RowErase, 0xB600}}, 0xB600, 0xB60F, {{0xB5F0, 16}}},
        {0xB5FF, 2, {{Op::ByteErase, 0xB600}}, 0xB600, 0xB600, {{0xB5FF, 1}}},
        {0xB63F, 2, {{Op::ByteErase, 0xB63F}}, 0xB63F, 0xB63F, {{0xB640, 1}}},
        {0xB500, 0x200, {{Op::BulkErase, 0xB600}}, 0xB600, 0xB63F, {{0xB500, 256}, {0xB640, 192}}},
    };
    model.setEepromRange(0xB600, 0xB63F);
    memory.eepromEnd = 0xB63F;
    for (const auto& c : cases) {
        model.poke(0xB600, Bytes(0x40, 0x00)); // programmed bits that must be erased first
        model.clearLogs();
        const Bytes data = pattern(c.count, static_cast<uint8_t>(c.address));
        EXPECT_EQ(memory.writeBlock(c.address, c.count, data.data()), kTalkerOk) << std::hex << c.address;
        const auto events = eeprom();
        const std::vector<std::pair<Op, int>> erases(events.begin(),
                                                     events.begin() + static_cast<long>(c.erases.size()));
        EXPECT_EQ(erases, c.erases) << std::hex << c.address;
        std::vector<std::pair<Op, int>> programs;
        for (uint32_t a = c.programFirst; a <= c.programLast; ++a) {
            const bool inBlock = a >= c.address && a - c.address < c.count;
            if (!inBlock || data[a - c.address] != 0xFF)
                programs.emplace_back(Op::Program, a);
        }
        const std::vector<std::pair<Op, int>> rest(events.begin() + static_cast<long>(c.erases.size()),
                                                   events.end());
        EXPECT_EQ(rest, programs) << std::hex << c.address;
        EXPECT_EQ(plainWrites(), c.plain) << std::hex << c.address;
        for (uint32_t i = 0; i < c.count; ++i)
            ASSERT_EQ(model.peek(static_cast<uint16_t>(c.address + i)), data[i]) << std::hex << c.address + i;
        for (uint16_t a = 0xB600; a <= 0xB63F; ++a)
            if (a < c.address || a - c.address >= c.count)
                ASSERT_EQ(model.peek(a), 0x00) << std::hex << a; // the rest of the array kept
    }
}

TEST_F(TargetMemoryTest, SpanningBlockErasesInBulkBeforeWritingAnything) {
    model.setEepromRange(0xB600, 0xB61F);
    memory.eepromEnd = 0xB61F;
    model.poke(0xB600, Bytes(0x20, 0x00)); // both rows need an erase: one bulk erase is cheaper
    const Bytes data = pattern(0x40, 9);
    EXPECT_EQ(memory.writeBlock(0xB5F0, 0x40, data.data()), kTalkerOk);
    const auto log = model.commands();
    // The array is read (one command), then the bulk erase (5 verified writes) comes before the
    // plain part below the EEPROM.
    ASSERT_GT(log.size(), 11u);
    EXPECT_EQ(std::make_tuple(log[0].kind, log[0].address, log[0].count), std::make_tuple(0x01, 0xB600, 0x20));
    EXPECT_EQ(log[1].address, 0x1035);
    EXPECT_EQ(log[3].data, Bytes{0x06});
    EXPECT_EQ(log[11].address, 0xB5F0);
    for (uint32_t i = 0; i < data.size(); ++i)
        ASSERT_EQ(model.peek(static_cast<uint16_t>(0xB5F0 + i)), data[i]);
}

// What the EEPROM already holds decides the pulses: nothing for bytes that hold their value,
// a program alone where bits only go from 1 to 0, an erase where a bit must come back to 1.
TEST_F(TargetMemoryTest, WriteBlockSpendsPulsesOnlyWhereTheEepromDiffers) {
    struct Case {
        const char* name;
        Bytes before;                          // $B600.. before the write
        uint32_t address;
        Bytes data;
        std::vector<std::pair<Op, int>> events; // erases, then programs
    };
    Bytes row(16);
    for (size_t i = 0; i < row.size(); ++i)
        row[i] = static_cast<uint8_t>(0x80 | i);
    Bytes cleared = row; // every byte of the row loses bit 7: programs only
    for (auto& b : cleared)
        b &= 0x7F;
    Bytes raised = row; // every byte gains bit 6: the row erase is cheaper than 16 byte erases
    for (auto& b : raised)
        b |= 0x40;
    std::vector<std::pair<Op, int>> clearing, raising{{Op::RowErase, 0xB610}};
    for (int a = 0xB610; a < 0xB620; ++a) {
        clearing.emplace_back(Op::Program, a);
        raising.emplace_back(Op::Program, a);
    }
    const Case cases[] = {
        {"all bytes already there", row, 0xB600, row, {}},
        {"only bits cleared", Bytes(0x20, 0xFF), 0xB610, cleared, {}},
        {"a row whose every byte needs an erase", Bytes(0x20, 0xFF), 0xB610, raised, {}},
        {"mixed: same, cleared, raised, erased to $FF", {0x5A, 0xF0, 0x0F, 0x00}, 0xB600, {0x5A, 0x30, 0x1F, 0xFF},
         {{Op::ByteErase, 0xB602}, {Op::ByteErase, 0xB603}, {Op::Program, 0xB601}, {Op::Program, 0xB602}}},
        // Two bytes that need an erase next to one kept $00: four pulses either way (the row
        // erase must program the kept byte again), so the byte erases, which clear nothing else.
        {"a row erase no cheaper than byte erases", {0x00, 0x00, 0x00}, 0xB600, {0x01, 0x02},
         {{Op::ByteErase, 0xB600}, {Op::ByteErase, 0xB601}, {Op::Program, 0xB600}, {Op::Program, 0xB601}}},
        // Three bytes needing an erase in a row whose other bytes are $FF: one row erase, then only
        // the three programs.
        {"three raised bytes in an erased row", {0x00, 0x00, 0x00}, 0xB600, {0x01, 0x02, 0x03},
         {{Op::RowErase, 0xB600}, {Op::Program, 0xB600}, {Op::Program, 0xB601}, {Op::Program, 0xB602}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        model.poke(0xB600, Bytes(0x200, 0xFF));
        model.poke(0xB600, c.before);
        if (c.data == cleared)
            model.poke(0xB610, row);
        if (c.data == raised)
            model.poke(0xB610, row);
        model.clearLogs();
        EXPECT_EQ(memory.writeBlock(c.address, static_cast<uint32_t>(c.data.size()), c.data.data()), kTalkerOk);
        const auto expected = c.data == cleared ? clearing : c.data == raised ? raising : c.events;
        EXPECT_EQ(eeprom(), expected);
        for (size_t i = 0; i < c.data.size(); ++i)
            ASSERT_EQ(model.peek(static_cast<uint16_t>(c.address + i)), c.data[i]) << i;
        if (expected.empty()) {
            // Nothing to do: one read of the block, no PPROG or BPROT access at all.
            EXPECT_EQ(traffic(), (std::vector<std::tuple<int, int, int>>{
                                     {0x01, static_cast<int>(c.address), static_cast<int>(c.data.size())}}));
        }
        EXPECT_EQ(model.configEeprom(), 0x0D); // CONFIG is never a target
    }
}

// The bulk erase is taken only when the whole array needs it, and it spares CONFIG; a byte that
// reads back wrong still fails the write.
TEST_F(TargetMemoryTest, WholeArrayWritesAndReadBackFailures) {
    model.setEepromRange(0xB600, 0xB63F); // four rows keep the test short
    memory.eepromEnd = 0xB63F;
    model.poke(0xB600, Bytes(0x40, 0x00));
    const Bytes data = pattern(0x40, 1);
    EXPECT_EQ(memory.writeBlock(0xB600, 0x40, data.data()), kTalkerOk);
    const auto events = eeprom();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front(), std::make_pair(Op::BulkErase, 0xB600));
    EXPECT_EQ(std::count_if(events.begin(), events.end(), [](const auto& e) { return e.first != Op::Program; }), 1);
    for (uint32_t i = 0; i < data.size(); ++i)
        ASSERT_EQ(model.peek(static_cast<uint16_t>(0xB600 + i)), data[i]);
    EXPECT_EQ(model.configEeprom(), 0x0D);

    // The same image again: nothing to program.
    model.clearLogs();
    EXPECT_EQ(memory.writeBlock(0xB600, 0x40, data.data()), kTalkerOk);
    EXPECT_TRUE(model.eepromEvents().empty());

    // One byte in the middle needs its programs, and it reads back wrong.
    model.clearLogs();
    Bytes changed = data;
    changed[0x23] = static_cast<uint8_t>(data[0x23] & 0x0F);
    ASSERT_NE(changed[0x23], data[0x23]);
    model.setReadBack(0xB623, 0x77);
    EXPECT_EQ(memory.writeBlock(0xB600, 0x40, changed.data()), kTalkerEepromProgramFailed);
    EXPECT_EQ(eeprom(), (std::vector<std::pair<Op, int>>{{Op::Program, 0xB623}}));
}

TEST_F(TargetMemoryTest, EepromOffWritesPlainly) {
    link.eepromEnabled = 0;
    model.setConfig(0x0C); // the array is out of the map: plain RAM there
    const uint8_t value = 0x42;
    EXPECT_EQ(memory.writeBlock(0xB600, 1, &value), kTalkerOk);
    EXPECT_EQ(traffic(), (std::vector<std::tuple<int, int, int>>{{0x41, 0xB600, 1}, {0x01, 0xB600, 1}}));
    EXPECT_TRUE(model.eepromEvents().empty());
}

TEST_F(TargetMemoryTest, FirstFailureStopsTheWrite) {
    link.eepromEnabled = 0;
    model.setRom(0x2100, 0x2100);
    const Bytes data(0x300, 0xAB);
    EXPECT_EQ(memory.writeBlock(0x2000, 0x300, data.data()), kTalkerBadEcho);
    EXPECT_EQ(model.peek(0x20FF), 0xAB);
    EXPECT_EQ(model.peek(0x2200), 0x00); // never reached
}

TEST_F(TargetMemoryTest, FillMoveSearch) {
    link.eepromEnabled = 0;
    EXPECT_EQ(memory.fill(0x3000, 20, 0x1A5), kTalkerOk);
    for (uint16_t a = 0x3000; a < 0x3014; ++a)
        ASSERT_EQ(model.peek(a), 0xA5);
    EXPECT_EQ(model.peek(0x3014), 0x00);
    EXPECT_EQ(memory.fill(0x3000, 0, 0x11), kTalkerOk);

    const Bytes source = pattern(16, 1);
    model.poke(0x1000, source);
    EXPECT_EQ(memory.move(0x1000, 16, 0x1008), kTalkerOk);
    for (uint16_t i = 0; i < 16; ++i)
        ASSERT_EQ(model.peek(static_cast<uint16_t>(0x1008 + i)), source[i]);
    model.poke(0x2000, source);
    EXPECT_EQ(memory.move(0x2008, 8, 0x2000), kTalkerOk);
    EXPECT_EQ(model.peek(0x2000), source[8]);

    Bytes hay(16, 0x00);
    hay[4] = hay[10] = 0x7E;
    model.poke(0xE000, hay);
    uint32_t found = 0xDEAD;
    EXPECT_EQ(memory.search(0xE000, 16, 0x7E, found), kTalkerOk);
    EXPECT_EQ(found, 0xE004u);
    EXPECT_EQ(memory.search(0xE000, 16, 0x17E, found), kTalkerOk); // low 8 bits compared
    EXPECT_EQ(memory.search(0xE000, 16, 0x55, found), kTalkerSearchNotFound);
    EXPECT_EQ(found, 0u);
    found = 0xBEEF;
    model.setSilent(true);
    EXPECT_EQ(memory.search(0xE000, 16, 0x7E, found), kTalkerNoResponse);
    EXPECT_EQ(found, 0xBEEFu);
}

} // namespace
