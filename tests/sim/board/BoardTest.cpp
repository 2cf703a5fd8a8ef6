#include "sim/Board.h"
#include "sim/BootRom.h"
#include "TestImages.h"
#include <gtest/gtest.h>

namespace {

LineSettings at(uint32_t baud) {
    LineSettings s;
    s.baud = baud;
    return s;
}

// Queues bytes on the board's receive line as the host would send them, back to back.
void hostSends(Board& board, const std::vector<uint8_t>& bytes, uint32_t baud) {
    for (uint8_t v : bytes)
        board.rxWire().send(v, at(baud), double(board.now()));
    board.sync();
}

std::vector<uint8_t> values(const std::vector<Sci::TxCharacter>& sent) {
    std::vector<uint8_t> v;
    for (const auto& c : sent)
        v.push_back(c.value);
    return v;
}

// Copies a program into RAM and points the CPU at it.
void loadRam(Board& board, uint16_t address, const std::vector<uint8_t>& code) {
    for (size_t i = 0; i < code.size(); ++i)
        board.write(uint16_t(address + i), code[i]);
    board.cpu().pc = address;
}

TEST(Board, MemoryMapFollowsTheMode) {
    Board board;
    EXPECT_EQ(board.mode(), BoardMode::SpecialBootstrap);
    EXPECT_EQ(board.read(0x103C), 0xC5);
    struct Probe {
        uint16_t address;
        bool writableInBootstrap;
        bool writableInTest;
    } probes[] = {
        {0x0000, true, true},   {0x00FF, true, true},   {0x0100, false, false}, {0x8000, false, true},
        {0xB5FF, false, true},  {0xB600, false, false}, {0xB7FF, false, false}, {0xB800, false, true},
        {0xBF3F, false, true},  {0xBF40, false, false}, {0xFFFF, false, true},  {0x7FFF, false, false},
    };
    auto check = [&](bool test) {
        for (const Probe& p : probes) {
            const bool writable = test ? p.writableInTest : p.writableInBootstrap;
            const uint8_t before = board.read(p.address);
            board.write(p.address, uint8_t(before ^ 0x5A));
            EXPECT_EQ(board.read(p.address) == uint8_t(before ^ 0x5A), writable)
                << std::hex << p.address << (test ? " in special test" : " in bootstrap");
            board.write(p.address, before);
        }
    };
    check(false);
    EXPECT_EQ(board.read(0x0100), Board::kUnmappedValue);
    EXPECT_EQ(board.read(0xB600), 0xFF) << "erased EEPROM";
    EXPECT_EQ(board.read(0xBFFE), BootRom::image()[0xBE]);

    board.write(0x103C, 0xE5);
    EXPECT_EQ(board.read(0x103C), 0xE5);
    EXPECT_EQ(board.mode(), BoardMode::SpecialTest);
    check(true);
    EXPECT_EQ(board.readVector(Vec::kSwi), 0x00F4) << "vectors still come from the boot ROM";
}

TEST(Board, HprioWriteRules) {
    struct Step {
        uint8_t write;
        uint8_t expect;
        BoardMode mode;
    };
    const std::vector<std::vector<Step>> sequences = {
        {{0xE5, 0xE5, BoardMode::SpecialTest}, {0xC5, 0xC5, BoardMode::SpecialBootstrap}},
        {{0x45, 0x45, BoardMode::SpecialBootstrap}, {0xC3, 0xC3, BoardMode::SpecialBootstrap}},
        // Clearing SMOD leaves the special modes for good: RBOOT and IRV go, MDA freezes.
        {{0xB5, 0x25, BoardMode::Expanded}, {0xE5, 0x25, BoardMode::Expanded}, {0xC7, 0x27, BoardMode::Expanded}},
        {{0x85, 0x05, BoardMode::SingleChip}, {0x65, 0x05, BoardMode::SingleChip}},
    };
    for (const auto& sequence : sequences) {
        Board board;
        for (const Step& s : sequence) {
            board.write(0x103C, s.write);
            EXPECT_EQ(board.read(0x103C), s.expect) << "after writing $" << std::hex << int(s.write);
            EXPECT_EQ(board.mode(), s.mode) << "after writing $" << std::hex << int(s.write);
        }
        board.pressReset();
        EXPECT_EQ(board.read(0x103C), 0xC5) << "RESET restores special bootstrap mode";
    }
}

TEST(Board, BootRomVectorsLeadToRamPseudoVectors) {
    Board board;
    const uint16_t normal[] = {Vec::kSci,  Vec::kSpi,  Vec::kPaie, Vec::kPaov, Vec::kTof,  Vec::kToc5, Vec::kToc4,
                               Vec::kToc3, Vec::kToc2, Vec::kToc1, Vec::kTic3, Vec::kTic2, Vec::kTic1, Vec::kRti,
                               Vec::kIrq,  Vec::kXirq, Vec::kSwi,  Vec::kIllegal, Vec::kCop, Vec::kClockMonitor};
    uint16_t slot = 0x00C4;
    for (uint16_t v : normal) {
        EXPECT_EQ(board.readVector(v), slot) << std::hex << v;
        slot = uint16_t(slot + 3);
    }
    EXPECT_EQ(slot, 0x0100) << "the last slot ends at the top of RAM";
    EXPECT_EQ(board.readVector(Vec::kReset), BootRom::kStart);
}

// The clock-monitor reset the host uses to restart a talker: OPTION.CME, then TEST1 with FCM set
// and DISR cleared in the same write.
TEST(Board, ForcedClockMonitorFailureResetsThroughThePseudoVector) {
    Board board;
    // $0000: LDAA #$08; STAA $1039; LDAA #$04; STAA $103E; BRA *
    loadRam(board, 0x0000, {0x86, 0x08, 0xB7, 0x10, 0x39, 0x86, 0x04, 0xB7, 0x10, 0x3E, 0x20, 0xFE});
    loadRam(board, 0x0040, {0x7C, 0x00, 0x80, 0x20, 0xFE}); // INC $0080; BRA *
    loadRam(board, 0x00FD, {0x7E, 0x00, 0x40});            // pseudo-vector: JMP $0040
    board.write(0x0080, 0x41);
    board.write(0x1035, 0x00);
    board.cpu().pc = 0x0000;
    const uint64_t resetsBefore = board.resetCount();
    board.runUntil(board.now() + 200);
    EXPECT_EQ(board.resetCount(), resetsBefore + 1);
    EXPECT_EQ(board.read(0x0080), 0x42) << "RAM survives and the reset went through $00FD";
    EXPECT_EQ(board.read(0x103E), 0x08) << "TEST1: DISR set again, FCM clear";
    EXPECT_EQ(board.read(0x1039), 0x10);
    EXPECT_EQ(board.read(0x1035), 0x1F);
    EXPECT_EQ(board.mode(), BoardMode::SpecialBootstrap);

    // Without CME, or with DISR still set, FCM does nothing.
    struct Case {
        uint8_t option, test1;
    } quiet[] = {{0x00, 0x04}, {0x08, 0x0C}};
    for (const Case& c : quiet) {
        Board b;
        b.write(0x1039, c.option);
        b.write(0x103E, c.test1);
        loadRam(b, 0x0000, {0x20, 0xFE});
        b.runUntil(b.now() + 100);
        EXPECT_EQ(b.resetCount(), 1u) << std::hex << int(c.option) << " " << int(c.test1);
    }
}

// The boot loader, run by the CPU, against characters on the receive line.
TEST(Board, BootLoaderLoadsEchoesAndStartsTheDownload) {
    const std::vector<uint8_t> echo = testimages::load("Echo");
    ASSERT_FALSE(echo.empty());
    const std::vector<uint8_t> download = testimages::download(echo);
    for (uint32_t baud : {1200u, 7812u}) {
        Board board;
        board.runUntil(1000); // the loader sets up the SCI
        hostSends(board, download, baud);
        board.runUntil(board.now() + 257 * 10 * uint64_t(kEClockHz / baud) + 50000);
        const std::vector<uint8_t> echoed = values(board.takeTransmitted());
        EXPECT_EQ(echoed, std::vector<uint8_t>(download.begin() + 1, download.end())) << baud;
        for (size_t i = 0; i < echo.size(); ++i)
            ASSERT_EQ(board.read(uint16_t(i)), echo[i]) << baud << " baud, RAM $" << std::hex << i;
        hostSends(board, {'A', 'z'}, 9600); // the downloaded program answers at 9600
        board.runUntil(board.now() + 10000);
        EXPECT_EQ(values(board.takeTransmitted()), (std::vector<uint8_t>{'B', '{'})) << baud;
    }
}

TEST(Board, BootLoaderStartsTheEepromOnABreak) {
    Board board;
    board.write(0x1035, 0x00);
    // Program BRA * at $B600 through PPROG.
    const uint8_t code[] = {0x20, 0xFE};
    for (int i = 0; i < 2; ++i) {
        board.write(0x103B, 0x02);
        board.write(uint16_t(0xB600 + i), code[i]);
        board.write(0x103B, 0x03);
        board.runUntil(board.now() + Eeprom::kProgramCycles);
        board.write(0x103B, 0x00);
    }
    ASSERT_EQ(board.read(0xB600), 0x20);
    board.pressReset();
    board.runUntil(board.now() + 1000);
    hostSends(board, {0x00}, 1200);
    board.runUntil(board.now() + 30000);
    EXPECT_EQ(board.cpu().pc, 0xB600);
    EXPECT_TRUE(board.takeTransmitted().empty()) << "the first character is not echoed";
}

} // namespace

// The boot loader's download rule per chip: the A-series waits for its 256th byte however long the
// line idles; the E-series and the 811E2 start the program when RAM is full or after four idle
// character times (4 x 10 bits of 1664 E cycles at 1200 baud), and not before.
TEST(BoardVariants, BootLoaderEndsTheDownloadByTheChipsRule) {
    constexpr uint64_t kCharacter = 10 * 1664;
    for (const ChipVariant& chip : kChipVariants) {
        SCOPED_TRACE(std::string(chip.name));
        const auto inLoader = [](Board& b) { return b.cpu().pc >= BootRom::kStart; };
        {
            Board board(chip.kind);
            board.runUntil(1000);
            hostSends(board, {0xFF}, 1200);
            hostSends(board, std::vector<uint8_t>(20, 0x01), 1200);
            const uint64_t wireEnd = uint64_t(board.rxWire().busyUntil());
            board.runUntil(wireEnd + 7 * kCharacter / 2);
            EXPECT_TRUE(inLoader(board));
            board.runUntil(wireEnd + 9 * kCharacter / 2);
            EXPECT_EQ(inLoader(board), chip.bootRule == BootRule::Exactly256);
            EXPECT_EQ(values(board.takeTransmitted()), std::vector<uint8_t>(20, 0x01));
        }
        {
            // A full download starts at once, with the last byte at the top of RAM.
            Board board(chip.kind);
            board.runUntil(1000);
            hostSends(board, {0xFF}, 1200);
            std::vector<uint8_t> image(bootLoadLimit(chip), 0x01);
            image[0] = 0x20; // bra *
            image[1] = 0xFE;
            image.back() = 0x5A;
            hostSends(board, image, 1200);
            board.runUntil(uint64_t(board.rxWire().busyUntil()) + kCharacter / 2);
            EXPECT_EQ(board.cpu().pc, 0x0000);
            EXPECT_EQ(board.peek(uint16_t(image.size() - 1)), 0x5A);
        }
    }
}

// The 811E2's EEPROM is where CONFIG's upper nibble puts it after a reset.
TEST(BoardVariants, The811E2EepromMovesWithConfig) {
    // Program the 811E2's CONFIG cell to $BF: after the next reset its EEPROM is at $B800-$BFFF.
    Board board(ChipKind::E2);
    board.write(0x1000 + Board::kBprot, 0x00); // special mode: protection may be lifted
    board.write(0x1000 + Board::kPprog, Eeprom::kEelat);
    board.write(0x103F, 0xBF);
    board.write(0x1000 + Board::kPprog, Eeprom::kEelat | Eeprom::kEepgm);
    board.runUntil(board.now() + Eeprom::kProgramCycles);
    board.write(0x1000 + Board::kPprog, 0x00);
    EXPECT_EQ(board.read(0x103F), 0xFF); // the latch changes at reset only
    board.pressReset();
    EXPECT_EQ(board.read(0x103F), 0xBF);
    EXPECT_EQ(board.eeprom().start(), 0xB800);
    EXPECT_EQ(board.read(0xB800), 0xFF); // erased EEPROM, not unmapped space
    EXPECT_FALSE(board.eeprom().contains(0xF800));
}
