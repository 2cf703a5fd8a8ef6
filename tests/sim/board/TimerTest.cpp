// The timer system measured the way a program sees it: small programs time themselves with TCNT
// and record their interrupts; the expected figures follow from the chip's rules (E cycles of each
// instruction, RTI period 2^(13+RTR) E cycles, prescaler 1/4/8/16, E/64 for gated accumulation).
#include "sim/Board.h"
#include "TestImages.h"
#include <gtest/gtest.h>

namespace {

// A board in special test mode (external RAM at $8000, vectors through the RAM pseudo-vectors)
// with a test image at $8000.
struct TimerBoard {
    Board board;

    explicit TimerBoard(const char* image) {
        board.write(0x103C, 0xE5);
        const std::vector<uint8_t> code = testimages::load(image);
        EXPECT_FALSE(code.empty()) << image;
        for (size_t i = 0; i < code.size(); ++i)
            board.write(uint16_t(0x8000 + i), code[i]);
        board.cpu().pc = 0x8000;
    }
    void run(uint64_t cycles) { board.runUntil(board.now() + cycles); }
    uint16_t word(uint16_t a) { return uint16_t(board.read(a) << 8 | board.read(uint16_t(a + 1))); }
    void setWord(uint16_t a, uint16_t v) {
        board.write(a, uint8_t(v >> 8));
        board.write(uint16_t(a + 1), uint8_t(v));
    }
    uint16_t tcnt() { return word(0x100E); }

    // TimerIrq's records: TCNT (or TIC1) at entry and the source id.
    struct Record {
        uint16_t count;
        int id;
    };
    std::vector<Record> records() {
        std::vector<Record> r;
        for (uint16_t a = 0x0040; a < word(0x0012); a = uint16_t(a + 3))
            r.push_back({word(a), board.read(uint16_t(a + 2))});
        return r;
    }
};

TEST(Timer, CounterRateFollowsThePrescaler) {
    const uint16_t loopCycles = 5 + 4 + 3 + 1006 * 6;
    for (uint8_t pr = 0; pr < 4; ++pr) {
        TimerBoard t("TimerRate");
        t.board.write(0x0010, pr);
        t.run(8000);
        ASSERT_EQ(t.board.read(0x0004), 0xAA) << "PR " << int(pr);
        const unsigned divide[] = {1, 4, 8, 16};
        EXPECT_EQ(uint16_t(t.word(0x0002) - t.word(0x0000)), loopCycles / divide[pr]) << "PR " << int(pr);
        EXPECT_EQ(t.board.read(0x1024) & 3, pr);
    }
}

TEST(Timer, PrescalerIsProtectedInNormalModes) {
    Board board;
    board.runUntil(100);
    board.write(0x103C, 0x25); // leave the special modes: expanded
    ASSERT_EQ(board.mode(), BoardMode::Expanded);
    board.write(0x1024, 0x03);
    EXPECT_EQ(board.read(0x1024), 0x00) << "past the first 64 E cycles";
    board.write(0x1024, 0xF3);
    EXPECT_EQ(board.read(0x1024), 0xF0) << "the interrupt enables stay writable";

    Board special;
    special.runUntil(100);
    special.write(0x1024, 0x02);
    EXPECT_EQ(special.read(0x1024), 0x02) << "special modes: writable at any time";
}

TEST(Timer, PeriodicInterruptsComeAtTheManualsPeriod) {
    struct Case {
        const char* name;
        uint8_t pactl, tmsk1, tmsk2;
        uint16_t step; // added to TOC2 by its handler
        int id;
        uint16_t period; // in TCNT counts
    } cases[] = {
        {"RTI E/2^13", 0x00, 0x00, 0x40, 0, 1, 8192},
        {"RTI E/2^14, TCNT E/4", 0x01, 0x00, 0x41, 0, 1, 16384 / 4},
        {"RTI E/2^15, TCNT E/8", 0x02, 0x00, 0x42, 0, 1, 32768 / 8},
        {"RTI E/2^16, TCNT E/16", 0x03, 0x00, 0x43, 0, 1, 65536 / 16},
        {"OC2 every 1000", 0x00, 0x40, 0x00, 1000, 2, 1000},
        {"OC2 every 300, TCNT E/4", 0x00, 0x40, 0x01, 300, 2, 300},
        {"TOF", 0x00, 0x00, 0x80, 0, 3, 0},
    };
    for (const Case& c : cases) {
        TimerBoard t("TimerIrq");
        t.board.write(0x1026, c.pactl);
        t.board.write(0x1024, c.tmsk2);
        t.setWord(0x1018, 0x0400);
        t.setWord(0x0016, c.step);
        t.board.write(0x1022, c.tmsk1);
        t.board.cpu().pc = 0x8002;
        t.run(300000);
        const auto r = t.records();
        ASSERT_GE(r.size(), 3u) << c.name;
        for (size_t i = 0; i < r.size(); ++i) {
            EXPECT_EQ(r[i].id, c.id) << c.name;
            if (i > 0) {
                EXPECT_EQ(uint16_t(r[i].count - r[i - 1].count), c.period) << c.name << " record " << i;
            }
        }
    }
}

// RTI, OC2 and TOF all pending when the program clears I: the fixed order, or the one PSEL promotes.
TEST(Timer, PendingInterruptsTakenInPriorityOrder) {
    struct Case {
        uint8_t hprio;
        std::vector<int> order;
    } cases[] = {
        {0xE5, {1, 2, 3}}, // PSEL reserved: IRQ first (not pending), then the fixed order
        {0xE0, {3, 1, 2}}, // TOF promoted
        {0xEC, {2, 1, 3}}, // OC2 promoted
    };
    for (const Case& c : cases) {
        TimerBoard t("TimerIrq");
        t.board.write(0x103C, c.hprio);
        t.setWord(0x1018, 0x0100);
        t.board.write(0x1022, 0x40);
        t.board.write(0x1024, 0xC0);
        t.run(70000); // holding with I set: every flag comes up
        EXPECT_EQ(t.board.read(0x1023) & 0x40, 0x40);
        EXPECT_EQ(t.board.read(0x1025) & 0xC0, 0xC0);
        t.board.cpu().pc = 0x8002;
        t.run(2000);
        const auto r = t.records();
        ASSERT_EQ(r.size(), 3u) << std::hex << int(c.hprio);
        for (size_t i = 0; i < 3; ++i)
            EXPECT_EQ(r[i].id, c.order[i]) << std::hex << int(c.hprio) << " record " << i;
    }
}

TEST(Timer, InputCaptureLatchesTheCounterOnTheChosenEdges) {
    struct Case {
        uint8_t tctl2;
        bool onRise, onFall;
    } cases[] = {{0x00, false, false}, {0x10, true, false}, {0x20, false, true}, {0x30, true, true}};
    for (const Case& c : cases) {
        TimerBoard t("TimerIrq");
        t.board.write(0x1021, c.tctl2);
        t.board.write(0x1022, 0x04);
        t.board.cpu().pc = 0x8002;
        t.run(1000);
        const uint16_t atRise = t.tcnt();
        t.board.setPortAInput(2, true);
        t.run(1234);
        const uint16_t atFall = t.tcnt();
        t.board.setPortAInput(2, false);
        t.run(1000);
        std::vector<uint16_t> expected;
        if (c.onRise)
            expected.push_back(atRise);
        if (c.onFall)
            expected.push_back(atFall);
        const auto r = t.records();
        ASSERT_EQ(r.size(), expected.size()) << std::hex << int(c.tctl2);
        for (size_t i = 0; i < r.size(); ++i) {
            EXPECT_EQ(r[i].id, 4);
            EXPECT_EQ(r[i].count, expected[i]) << std::hex << int(c.tctl2);
        }
        EXPECT_GE(uint16_t(atFall - atRise), 1234) << "the counter ran at E between the edges";
        EXPECT_LE(uint16_t(atFall - atRise), 1234 + 6);
    }
}

TEST(Timer, OutputComparePinActionsForceAndFlags) {
    TimerBoard t("TimerIrq"); // holding loop, interrupts masked
    Board& b = t.board;
    b.write(0x1000, 0x20);          // PA5 high before OC3 takes the pin
    b.write(0x1020, 0b01'10'11'01); // OC2 toggle, OC3 clear, OC4 set, OC5 toggle
    const uint16_t at = uint16_t(t.tcnt() + 50);
    for (uint16_t reg = 0x1018; reg <= 0x101E; reg = uint16_t(reg + 2))
        t.setWord(reg, at);
    b.write(0x1000, 0x00); // no effect on pins the compares own
    EXPECT_EQ(b.read(0x1000) & 0x78, 0x20);
    EXPECT_EQ(b.read(0x1023), 0x00);
    t.run(60);
    EXPECT_EQ(b.read(0x1000) & 0x78, 0x58) << "PA6 toggled, PA5 cleared, PA4 set, PA3 toggled";
    EXPECT_EQ(b.read(0x1023), 0x78);
    b.write(0x1023, 0x48); // writing 1 clears a flag, 0 leaves it
    EXPECT_EQ(b.read(0x1023), 0x30);
    b.write(0x100B, 0x48); // force OC2 and OC5: actions without flags
    EXPECT_EQ(b.read(0x1000) & 0x78, 0x10);
    EXPECT_EQ(b.read(0x1023), 0x30);

    // OC1 drives PA6 high and PA7 (as output) at the count where OC2 toggles PA6: OC1 wins.
    b.write(0x1026, 0x80);
    b.write(0x100C, 0xC0);
    b.write(0x100D, 0xC0);
    const uint16_t at2 = uint16_t(t.tcnt() + 40);
    t.setWord(0x1016, at2);
    t.setWord(0x1018, at2);
    b.write(0x1000, 0x00); // OC1M pins still take port writes
    EXPECT_EQ(b.read(0x1000) & 0x80, 0x00);
    t.run(50);
    EXPECT_EQ(b.read(0x1000) & 0xC0, 0xC0);
    EXPECT_EQ(b.read(0x1023) & 0xC0, 0xC0);
    const PinState pins = b.pinState();
    EXPECT_EQ(pins.portA & 0xC0, 0xC0);
    EXPECT_EQ(pins.portAOutputs, 0xF8) << "PA7 as output, PA3-PA6, inputs PA0-PA2";
}

TEST(Timer, PulseAccumulatorCountsEdgesOnPa7) {
    struct Case {
        const char* name;
        uint8_t pactl, preset;
        int pulses;
        uint8_t count, flags;
    } cases[] = {
        {"off", 0x00, 0x00, 3, 0x00, 0x00},
        {"falling edges", 0x40, 0x00, 3, 0x03, 0x10},
        {"rising edges", 0x50, 0x10, 5, 0x15, 0x10},
        {"overflow", 0x40, 0xFE, 3, 0x01, 0x30},
    };
    for (const Case& c : cases) {
        TimerBoard t("TimerIrq");
        t.board.write(0x1026, c.pactl);
        t.board.write(0x1027, c.preset);
        for (int i = 0; i < c.pulses; ++i) {
            t.run(20);
            t.board.setPortAInput(7, true);
            t.run(20);
            t.board.setPortAInput(7, false);
        }
        EXPECT_EQ(t.board.read(0x1027), c.count) << c.name;
        EXPECT_EQ(t.board.read(0x1025), c.flags) << c.name;
    }

    // PA7 as an output, driven by OC1 through CFORC: its own edges are counted.
    TimerBoard t("TimerIrq");
    t.board.write(0x1026, 0xC0);
    t.board.write(0x100C, 0x80);
    for (int i = 0; i < 4; ++i) {
        t.board.write(0x100D, 0x80);
        t.board.write(0x100B, 0x80);
        t.board.setPortAInput(7, false); // the outside cannot pull an output
        t.board.write(0x100D, 0x00);
        t.board.write(0x100B, 0x80);
    }
    EXPECT_EQ(t.board.read(0x1027), 4);
}

TEST(Timer, GatedAccumulationCountsE64WhileTheGateIsOpen) {
    TimerBoard t("TimerIrq");
    t.board.write(0x1026, 0x60); // PAEN, PAMOD, gate open while PA7 is high
    t.run(1000);
    EXPECT_EQ(t.board.read(0x1027), 0);
    const uint64_t open = t.board.now();
    t.board.setPortAInput(7, true);
    t.run(64 * 300); // past one overflow
    EXPECT_EQ(t.board.read(0x1025) & 0x10, 0x00) << "PAIF waits for the trailing edge";
    const uint64_t close = t.board.now();
    t.board.setPortAInput(7, false);
    t.run(5000);
    const uint64_t ticks = close / 64 - open / 64; // E/64 ticks from reset at time 0
    EXPECT_EQ(t.board.read(0x1027), uint8_t(ticks));
    EXPECT_EQ(t.board.read(0x1025) & 0x30, 0x30) << "PAOVF and PAIF";
}

} // namespace

namespace {

// IRQ as level or edge (IRQE), XIRQ as level: how many times a handler runs while the pin is held
// low for a while and then released.
TEST(Board, IrqAndXirqPins) {
    struct Case {
        const char* name;
        uint8_t option;
        bool xirq;
        int id;
        bool many; // the level keeps requesting while low
    } cases[] = {
        {"IRQ level", 0x00, false, 6, true},
        {"IRQ edge", 0x20, false, 6, false},
        {"XIRQ", 0x00, true, 7, true},
    };
    for (const Case& c : cases) {
        TimerBoard t("TimerIrq");
        t.board.write(0x1039, c.option);
        t.board.cpu().pc = 0x8002;
        t.run(500); // waiting in WAI
        c.xirq ? t.board.setXirqPin(false) : t.board.setIrqPin(false);
        t.run(500);
        c.xirq ? t.board.setXirqPin(true) : t.board.setIrqPin(true);
        t.run(500);
        const auto r = t.records();
        ASSERT_FALSE(r.empty()) << c.name;
        EXPECT_EQ(r[0].id, c.id) << c.name;
        if (c.many) {
            EXPECT_GT(r.size(), 3u) << c.name;
        } else {
            EXPECT_EQ(r.size(), 1u) << c.name;
        }
    }
}

// The watchdog resets the board 2^15 x 4^CR E cycles after it was last served, unless it is served.
TEST(Board, CopTimesOutAtItsRateUnlessServed) {
    struct Case {
        uint8_t cr;
        bool served;
    } cases[] = {{0, false}, {1, false}, {2, false}, {0, true}};
    for (const Case& c : cases) {
        Board board;
        // Program CONFIG with NOCOP clear ($0D -> $09), as a program would, and reset to latch it.
        board.write(0x1035, 0x00);
        board.write(0x103B, 0x02);
        board.write(0x103F, 0x09);
        board.write(0x103B, 0x03);
        board.runUntil(board.now() + Eeprom::kProgramCycles);
        board.write(0x103B, 0x00);
        board.pressReset();
        ASSERT_EQ(board.read(0x103F), 0x09);
        const uint64_t resets = board.resetCount();
        // COP pseudo-vector: JMP $0020; $0020: INC $0030; BRA *
        const uint8_t landing[] = {0x7E, 0x00, 0x20};
        const uint8_t mark[] = {0x7C, 0x00, 0x30, 0x20, 0xFE};
        for (size_t i = 0; i < sizeof landing; ++i)
            board.write(uint16_t(0xFA + i), landing[i]);
        for (size_t i = 0; i < sizeof mark; ++i)
            board.write(uint16_t(0x20 + i), mark[i]);
        // $0000: BRA * ; $0010: LDAA #$55; STAA COPRST; LDAA #$AA; STAA COPRST; BRA $0010
        const uint8_t code[] = {0x20, 0xFE};
        const uint8_t serve[] = {0x86, 0x55, 0xB7, 0x10, 0x3A, 0x86, 0xAA, 0xB7, 0x10, 0x3A, 0x20, 0xF4};
        for (size_t i = 0; i < sizeof code; ++i)
            board.write(uint16_t(i), code[i]);
        for (size_t i = 0; i < sizeof serve; ++i)
            board.write(uint16_t(0x10 + i), serve[i]);
        board.cpu().pc = c.served ? 0x0010 : 0x0000;
        board.write(0x1039, uint8_t(0x10 | c.cr));
        board.write(0x103E, 0x00); // DISR cleared: the COP runs from here
        const uint64_t start = board.now();
        const uint64_t timeout = Board::kCopBaseCycles << (2 * c.cr);
        board.runUntil(start + timeout - 8);
        EXPECT_EQ(board.resetCount(), resets) << "CR " << int(c.cr);
        board.runUntil(start + timeout + 8);
        EXPECT_EQ(board.resetCount(), resets + (c.served ? 0 : 1)) << "CR " << int(c.cr);
        EXPECT_EQ(board.read(0x0030), c.served ? 0 : 1) << "through the COP pseudo-vector";
    }
}

} // namespace

namespace {

// Four conversions of 32 E cycles: CCF 128 E cycles after the ADCTL write; results by MULT/SCAN.
TEST(Board, AnalogConversionsTakeTheirTimeAndChannels) {
    struct Case {
        const char* name;
        uint8_t option, adctl;
        uint8_t results[4];
        int second; // the channel ADR2 converts
    } cases[] = {
        {"one channel", 0x80, 0x03, {0x33, 0x33, 0x33, 0x33}, 3},
        {"group PE4-PE7", 0x80, 0x14, {0x44, 0x55, 0x66, 0x77}, 5},
        {"group PE0-PE3, scan", 0x80, 0x30, {0x00, 0x11, 0x22, 0x33}, 1},
        {"no charge pump", 0x00, 0x03, {0x00, 0x00, 0x00, 0x00}, 3},
    };
    for (const Case& c : cases) {
        TimerBoard t("TimerIrq"); // BRA * at $8000: 3 E cycles a step
        for (int i = 0; i < 8; ++i)
            t.board.setAnalogInput(i, uint8_t(0x11 * i));
        t.board.write(0x1039, c.option);
        const uint64_t start = t.board.now();
        t.board.write(0x1030, c.adctl);
        t.board.runUntil(start + 125);
        EXPECT_EQ(t.board.read(0x1030) & 0x80, 0) << c.name << ": CCF before the fourth conversion";
        t.board.runUntil(start + 128);
        EXPECT_EQ(t.board.read(0x1030), 0x80 | c.adctl) << c.name;
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(t.board.read(uint16_t(0x1031 + i)), c.results[i]) << c.name << " ADR" << i + 1;
        // A changed input: only a scanning converter takes it up.
        t.board.setAnalogInput(c.second, 0xEE);
        t.board.runUntil(t.board.now() + 200);
        const bool scanned = (c.adctl & 0x20) != 0;
        EXPECT_EQ(t.board.read(0x1032), scanned ? 0xEE : c.results[1]) << c.name;
    }
}

} // namespace

namespace {

// A master transfer takes 8 bit times of 2, 4, 16 or 32 E cycles; the attached device's bytes come
// back in order, then $FF; a write during a transfer sets WCOL; SPSR-then-SPDR clears the flags.
TEST(Board, SpiMasterTransfersAtItsRate) {
    const uint64_t bitCycles[] = {2, 4, 16, 32};
    for (uint8_t spr = 0; spr < 4; ++spr) {
        TimerBoard t("TimerIrq"); // BRA * at $8000
        Board& b = t.board;
        b.spi().deviceReturns(0x3C);
        b.write(0x1028, uint8_t(0x50 | spr)); // SPE, MSTR
        const uint64_t start = b.now();
        b.write(0x102A, 0xA5);
        const uint64_t length = 8 * bitCycles[spr];
        b.runUntil(start + length - 3);
        EXPECT_EQ(b.read(0x1029), 0x00) << "SPR " << int(spr);
        b.write(0x102A, 0x11);
        EXPECT_EQ(b.read(0x1029), 0x40) << "WCOL";
        b.runUntil(start + length);
        EXPECT_EQ(b.read(0x1029), 0xC0) << "SPIF, WCOL";
        EXPECT_EQ(b.read(0x102A), 0x3C) << "the device's byte";
        EXPECT_EQ(b.read(0x1029), 0x00) << "cleared by SPSR then SPDR";
        b.write(0x102A, 0x22);
        b.runUntil(b.now() + length + 3);
        b.read(0x1029);
        EXPECT_EQ(b.read(0x102A), 0xFF) << "nothing attached: the line idles high";
    }
}

} // namespace
