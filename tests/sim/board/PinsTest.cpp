// The board's pins driven from outside: the stimulus file's rules, events taking effect at their
// own E cycle (input captures latch TCNT of that cycle), A/D readings following the analog
// inputs, and the parallel ports' strobe and open-drain rules.
#include "sim/Board.h"
#include "sim/Stimulus.h"
#include "TestImages.h"
#include <gtest/gtest.h>

namespace {

PinEvent level(uint64_t at, PinGroup g, int bit, bool high) { return {at, PinDrive::Level, {g, uint8_t(bit)}, high}; }
PinEvent analog(uint64_t at, int bit, uint8_t v) { return {at, PinDrive::Analog, {PinGroup::PortE, uint8_t(bit)}, v}; }
PinEvent spi(uint64_t at, uint8_t v) { return {at, PinDrive::SpiByte, {}, v}; }

TEST(Stimulus, GoodFilesGiveTheirEventsInTimeOrder) {
    struct Case {
        const char* text;
        std::vector<PinEvent> events;
    } cases[] = {
        {"# nothing\n\n   \n", {}},
        {"1000 PA2 high\n+500 pa2 low # comment\n", {level(1000, PinGroup::PortA, 2, true), level(1500, PinGroup::PortA, 2, false)}},
        // 2 E cycles a microsecond at the 2 MHz E clock.
        {"10us IRQ low\n1.5ms IRQ high\n1s XIRQ 0\n",
         {level(20, PinGroup::Irq, 0, false), level(3000, PinGroup::Irq, 0, true), level(2000000, PinGroup::Xirq, 0, false)}},
        // A pulse is the other level for its width; on a pin already high it is a low pulse.
        {"100 PA7 pulse 40\n200 IRQ pulse 10us\n",
         {level(100, PinGroup::PortA, 7, true), level(140, PinGroup::PortA, 7, false),
          level(200, PinGroup::Irq, 0, false), level(220, PinGroup::Irq, 0, true)}},
        // The pulse's end is put in time order among later lines.
        {"0 PA0 pulse 100\n50 PA1 rise\n", {level(0, PinGroup::PortA, 0, true), level(50, PinGroup::PortA, 1, true),
                                            level(100, PinGroup::PortA, 0, false)}},
        // Volts against VRL..VRH: round(255 (V - VRL) / (VRH - VRL)), saturating outside.
        {"0 PE0 2.5v\n0 PE1 5V\n0 PE2 $80\n0 PE3 0x10\n0 PE4 17\n0 PE5 high\n0 PE6 1\n",
         {analog(0, 0, 128), analog(0, 1, 255), analog(0, 2, 0x80), analog(0, 3, 0x10), analog(0, 4, 17),
          analog(0, 5, 255), analog(0, 6, 1)}},
        {"vrl 1.0\nvrh 3.0\n0 PE0 2.0v\n0 PE1 0.5v\n0 PE2 4v\n", {analog(0, 0, 128), analog(0, 1, 0), analog(0, 2, 255)}},
        {"0 spi $12 34 0xff\n5 PC3 1\n", {spi(0, 0x12), spi(0, 34), spi(0, 0xFF), level(5, PinGroup::PortC, 3, true)}},
        {"0 STRA rise\n+2 stra fall\n", {level(0, PinGroup::Stra, 0, true), level(2, PinGroup::Stra, 0, false)}},
    };
    for (const Case& c : cases) {
        const StimulusParseResult r = parseStimulus(c.text, "t.stim");
        ASSERT_TRUE(r.ok()) << c.text << r.error;
        EXPECT_EQ(r.events, c.events) << c.text;
    }
}

TEST(Stimulus, BadLinesNameFileLineAndReason) {
    struct Case {
        const char* text;
        const char* error;
    } cases[] = {
        {"0 PA2 high\n\n1000 PQ1 high\n", "t.stim:3: unknown pin 'PQ1'"},
        {"0 PD6 1\n", "t.stim:1: unknown pin 'PD6'"},
        {"100 PA2 high\n50 PA2 low\n", "t.stim:2: the time goes back (50 E cycles after 100)"},
        {"abc PA2 high\n", "t.stim:1: 'abc' is not a time"},
        {"10xs PA2 high\n", "t.stim:1: '10xs' is not a time"},
        {"-5 PA2 high\n", "t.stim:1: '-5' is not a time"},
        {"99999999999999999999 PA2 high\n", "t.stim:1: '99999999999999999999' is not a time"},
        {"100000s PA2 high\n", "t.stim:1: the time '100000s' is too long"},
        {"10\n", "t.stim:1: a pin (or spi) must follow the time"},
        {"0 PA2\n", "t.stim:1: PA2 needs a value"},
        {"0 PA2 maybe\n", "t.stim:1: 'maybe' is not a level for PA2"},
        {"0 PA2 high low\n", "t.stim:1: one value after PA2, not 2"},
        {"0 PA5 high\n", "t.stim:1: PA5 is an output only"},
        {"0 PB0 low\n", "t.stim:1: PB0 is an output only"},
        {"0 PA2 rise\n5 PA2 rise\n", "t.stim:2: PA2 is already high: a rise needs it low"},
        {"0 IRQ rise\n", "t.stim:1: IRQ is already high: a rise needs it low"},
        {"0 PA1 fall\n", "t.stim:1: PA1 is already low: a fall needs it high"},
        {"0 PA2 pulse\n", "t.stim:1: pulse takes one width"},
        {"0 PA2 pulse 0\n", "t.stim:1: a pulse lasts at least one E cycle"},
        {"0 PE0 6v\n", "t.stim:1: a pin takes 0 to 5.5 volts"},
        {"0 PE0 256\n", "t.stim:1: '256' is not a value for PE0"},
        {"0 PE0 -1v\n", "t.stim:1: '-1v' is not a voltage"},
        {"0 spi\n", "t.stim:1: spi needs the bytes the device returns"},
        {"0 spi $100\n", "t.stim:1: '$100' is not a byte"},
        {"vrh 2\nvrl 3\n0 PE0 1v\n", "t.stim:3: VRH must be above VRL"},
        {"vrh\n", "t.stim:1: vrh takes one voltage from 0 to 5.5"},
        {"0 PE0 1v\nvrh 3\n", "t.stim:2: vrh must come before the first event"},
    };
    for (const Case& c : cases) {
        const StimulusParseResult r = parseStimulus(c.text, "t.stim");
        EXPECT_FALSE(r.ok()) << c.text;
        EXPECT_EQ(r.error.rfind(c.error, 0), 0u) << c.text << "\n got: " << r.error;
        EXPECT_TRUE(r.events.empty()) << "nothing of a refused file is used";
    }
    const StimulusParseResult missing = loadStimulusFile("/nonexistent/x.stim");
    EXPECT_EQ(missing.error.rfind("/nonexistent/x.stim: cannot read", 0), 0u) << missing.error;
}

// A board in special test mode running a test image at $8000; TCNT counts E cycles from time 0.
struct ImageBoard {
    Board board;
    explicit ImageBoard(const char* image) {
        board.write(0x103C, 0xE5);
        const std::vector<uint8_t> code = testimages::load(image);
        EXPECT_FALSE(code.empty()) << image;
        for (size_t i = 0; i < code.size(); ++i)
            board.write(uint16_t(0x8000 + i), code[i]);
        board.cpu().pc = 0x8000;
    }
    uint16_t word(uint16_t a) { return uint16_t(board.read(a) << 8 | board.read(uint16_t(a + 1))); }
};

TEST(Stimulus, CapturesLatchTheCounterAtTheEventsOwnCycle) {
    // IC1 on both edges, its interrupt recording TIC1. Whatever instruction is running when an
    // edge comes, TIC1 holds TCNT of the edge's cycle: at E/1 from reset, the cycle itself.
    const uint64_t edges[] = {5000, 5001, 7777, 9000, 12345, 12349};
    ImageBoard t("TimerIrq");
    t.board.write(0x1021, 0x30); // EDG1B:EDG1A both edges
    t.board.write(0x1022, 0x04); // IC1I
    t.board.cpu().pc = 0x8002;
    std::vector<PinEvent> events;
    bool high = false;
    for (uint64_t at : edges)
        events.push_back(level(at, PinGroup::PortA, 2, high = !high));
    t.board.setStimulus(events);
    // Edges closer than the handler takes are still each latched, the later overwriting TIC1.
    t.board.runUntil(20000);
    std::vector<uint16_t> seen;
    for (uint16_t a = 0x0040; a < t.word(0x0012); a = uint16_t(a + 3)) {
        EXPECT_EQ(t.board.read(uint16_t(a + 2)), 4);
        seen.push_back(t.word(a));
    }
    ASSERT_GE(seen.size(), 4u);
    EXPECT_EQ(seen[0], 5001) << "5000 and 5001 both came before the first handler read TIC1";
    EXPECT_EQ(seen[1], 7777);
    EXPECT_EQ(seen[2], 9000);
    EXPECT_EQ(seen.back(), 12349);
    EXPECT_EQ(t.board.pinState().portA & 0x04, 0) << "an even number of edges leaves PA2 low";
}

TEST(Stimulus, AdcReadingsFollowTheAnalogInputs) {
    // PE1 steps 1 V -> 3 V -> 5 V; each conversion sequence is four conversions of 32 E cycles
    // and takes the input as it is when its conversion ends.
    ImageBoard t("AdcRead");
    t.board.setStimulus(parseStimulus("0 PE1 1v\n3000 PE1 3v\n6000 PE1 5v\n", "a").events);
    t.board.runUntil(20000);
    ASSERT_EQ(t.board.read(0x0004), 0xAA) << "the table filled";
    uint16_t previous = 0;
    int counted = 0;
    for (uint16_t a = 0x0040; a < 0x0070; a = uint16_t(a + 3), ++counted) {
        const uint16_t at = t.word(a);
        const uint8_t value = t.board.read(uint16_t(a + 2));
        // CCF was seen at `at`; the first conversion ended at least 96 cycles before.
        const uint8_t expected = at < 3000 ? 51 : at >= 6000 + 128 ? 255 : at >= 3000 + 128 && at < 6000 ? 153 : value;
        EXPECT_EQ(value, expected) << "record at TCNT " << at;
        if (counted > 0) {
            EXPECT_GE(uint16_t(at - previous), 128) << "a sequence of four conversions";
        }
        previous = at;
    }
}

TEST(Pins, PortCStrobeLatchesAndFlagsAndInterrupts) {
    Board board; // special bootstrap: single-chip, ports B and C are ports
    PinSetting s;
    auto drive = [&](const char* pin, const char* value) {
        std::string error;
        ASSERT_TRUE(parseDrive(pin, {value}, {}, &s, &error)) << error;
        board.drivePin(s);
    };
    board.write(0x1007, 0x0F); // DDRC: PC0-PC3 outputs
    board.write(0x1003, 0x05);
    drive("PC7", "1");
    drive("PC4", "1");
    drive("PC0", "1"); // an output: the outside cannot pull it
    EXPECT_EQ(board.read(0x1003), 0x95);
    EXPECT_EQ(board.pinState().portC, 0x95);
    EXPECT_EQ(board.pinState().portCOutputs, 0x0F);

    // EGA set out of reset: STRA's rising edge latches.
    drive("STRA", "high");
    EXPECT_EQ(board.read(0x1002) & 0x80, 0x80) << "STAF";
    drive("PC7", "0");
    EXPECT_EQ(board.read(0x1005), 0x95) << "PORTCL holds the levels of the edge";
    EXPECT_EQ(board.read(0x1002) & 0x80, 0x00) << "PIOC then PORTCL cleared STAF";
    drive("STRA", "low");
    EXPECT_EQ(board.read(0x1002) & 0x80, 0x00) << "a falling edge is not active with EGA set";

    // STAI: STAF requests the IRQ interrupt.
    board.write(0x1002, 0x40 | 0x02);
    EXPECT_EQ(board.cpu().interruptRequest(), 0);
    drive("STRA", "high");
    EXPECT_EQ(board.cpu().interruptRequest(), Vec::kIrq);
    (void)board.read(0x1002);
    (void)board.read(0x1005);
    EXPECT_EQ(board.cpu().interruptRequest(), 0);
}

// Interlocked full handshake, INVB set (STRB active high): input handshake says "ready" until
// STRA brings data and again once it is read; output handshake says "data ready" from the PORTCL
// write until STRA acknowledges it. Simple strobed mode and the pulsed handshake (PLS) give pulses
// of two E cycles instead, counted from the access.
TEST(Pins, HandshakeAndStrobesDriveStrb) {
    struct Step {
        const char* action; // "stra+", "stra-", "rd pioc", "rd portcl", "wr portcl", "wr portb", "+N" (N E cycles)
        bool strb, staf;
    };
    struct Case {
        const char* name;
        uint8_t pioc;
        std::vector<Step> steps;
    } cases[] = {
        {"input handshake",
         0x13,
         {{"", true, false},
          {"stra+", false, true},
          {"rd portcl", false, true}, // without the PIOC read first STAF stays
          {"rd pioc", false, true},
          {"rd portcl", true, false},
          {"stra-", true, false}}}, // the inactive edge
        {"output handshake",
         0x1B,
         {{"", false, false},
          {"wr portb", false, false}, // no strobe in the handshake modes
          {"wr portcl", true, false},
          {"+5", true, false},
          {"stra+", false, true},
          {"rd pioc", false, true},
          {"rd portcl", false, true}, // output handshake: a read does not clear
          {"rd pioc", false, true},
          {"wr portcl", true, false}}},
        {"simple strobed: a PORTB write pulses STRB",
         0x03,
         {{"", false, false}, {"stra+", false, true}, {"wr portb", true, true}, {"+1", true, true}, {"+1", false, true},
          {"wr portcl", false, true}, {"+5", false, true}}},
        {"simple strobed, INVB clear: an active-low pulse",
         0x02,
         {{"", true, false}, {"wr portb", false, false}, {"+1", false, false}, {"+1", true, false}}},
        {"simple strobed: a second write restarts the pulse",
         0x03,
         {{"wr portb", true, false},
          {"+1", true, false},
          {"wr portb", true, false},
          {"+1", true, false},
          {"+1", false, false}}},
        {"input handshake, INVB clear", 0x12, {{"", false, false}, {"stra+", true, true}}},
        {"pulsed output handshake: data ready for two cycles",
         0x1F,
         {{"", false, false}, {"wr portcl", true, false}, {"+1", true, false}, {"+1", false, false},
          {"stra+", false, true}, {"wr portb", false, true}}},
        {"pulsed input handshake: ready after the clearing sequence",
         0x17,
         {{"", false, false},
          {"stra+", false, true},
          {"rd portcl", false, true}, // not the clearing sequence: no pulse
          {"rd pioc", false, true},
          {"rd portcl", true, false},
          {"+1", true, false},
          {"+1", false, false}}},
    };
    for (const Case& c : cases) {
        // The core waits (WAI with I set) so board time moves exactly as asked.
        Board board;
        board.write(0x0000, 0x3E);
        board.cpu().pc = 0x0000;
        board.cpu().sp = 0x00FF;
        board.runUntil(board.now() + 20);
        ASSERT_EQ(board.cpu().state(), CpuState::Waiting) << c.name;
        board.write(0x1002, c.pioc);
        for (const Step& s : c.steps) {
            const std::string a = s.action;
            if (a[0] == '+') {
                board.runUntil(board.now() + std::stoul(a.substr(1)));
            } else if (a == "wr portb") {
                board.write(0x1004, 0x3C);
            } else if (a == "stra+" || a == "stra-") {
                PinSetting p;
                p.events.push_back(level(0, PinGroup::Stra, 0, a == "stra+"));
                board.drivePin(p);
            } else if (a == "rd pioc") {
                (void)board.read(0x1002);
            } else if (a == "rd portcl") {
                (void)board.read(0x1005);
            } else if (a == "wr portcl") {
                board.write(0x1005, 0x5A);
                EXPECT_EQ(board.read(0x1003) & board.read(0x1007), 0x5A & board.read(0x1007)) << c.name;
            }
            EXPECT_EQ(board.pinState().strbHigh, s.strb) << c.name << " after " << a;
            EXPECT_EQ(board.peek(0x1002) & 0x80, s.staf ? 0x80 : 0) << c.name << " after " << a;
        }
    }
}

TEST(Pins, OpenDrainOutputsAndDirections) {
    struct Case {
        const char* name;
        uint16_t ddr, data, womReg;
        uint8_t womBit;
        std::vector<std::pair<int, bool>> outside; // pins pulled from outside
        uint8_t expectLevels;
        bool straHigh = false; // STRA's level (EGA set: high is its active level)
    } cases[] = {
        {"C push-pull", 0x1007, 0x1003, 0x1002, 0x00, {{0, false}}, 0x0F},
        {"C open drain, floating high", 0x1007, 0x1003, 0x1002, 0x20, {}, 0x0F},
        {"C open drain, pulled low", 0x1007, 0x1003, 0x1002, 0x20, {{0, false}, {1, true}}, 0x0E},
        // Port D's inputs PD4 and PD5 are pulled up.
        {"D push-pull", 0x1009, 0x1008, 0x1028, 0x00, {{2, false}}, 0x3F},
        {"D wired-or (DWOM)", 0x1009, 0x1008, 0x1028, 0x20, {{2, false}}, 0x3B},
        {"D input pulled low", 0x1009, 0x1008, 0x1028, 0x00, {{5, false}}, 0x1F},
        // Output handshake (HNDS, OIN): DDRC-clear pins are three-stated while STRA is inactive and
        // drive the latch (0 above PC3) while it is active.
        {"C output handshake, STRA inactive", 0x1007, 0x1003, 0x1002, 0x18, {{5, true}}, 0x2F, false},
        {"C output handshake, STRA active", 0x1007, 0x1003, 0x1002, 0x18, {{5, true}, {6, true}}, 0x0F, true},
        {"C input handshake, STRA high", 0x1007, 0x1003, 0x1002, 0x10, {{5, true}}, 0x2F, true},
    };
    for (const Case& c : cases) {
        Board board;
        board.write(c.ddr, 0x0F);
        board.write(c.data, 0x0F);
        board.write(c.womReg, uint8_t(c.womBit | (c.womReg == 0x1002 ? 0x03 : 0x04)));
        const PinGroup g = c.data == 0x1003 ? PinGroup::PortC : PinGroup::PortD;
        for (auto [bit, high] : c.outside) {
            PinSetting s;
            s.events.push_back(level(0, g, bit, high));
            board.drivePin(s);
        }
        if (c.straHigh) {
            PinSetting s;
            s.events.push_back(level(0, PinGroup::Stra, 0, true));
            board.drivePin(s);
        }
        const PinState p = board.pinState();
        EXPECT_EQ(g == PinGroup::PortC ? p.portC : p.portD, c.expectLevels) << c.name;
        if (c.womBit & 0x10) { // the handshake rows: what the program reads and what the pins show
            const bool allDrive = c.womBit & 0x08 && c.straHigh;
            EXPECT_EQ(board.read(0x1003), c.expectLevels) << c.name;
            EXPECT_EQ(p.portCOutputs, allDrive ? 0xFF : 0x0F) << c.name;
        }
    }
}

TEST(Pins, SpiModeFaultFollowsTheSsRules) {
    struct Case {
        const char* name;
        uint8_t ddrd;        // DDRD5 set: SS is an output and cannot fault
        bool ssLowFirst;     // SS pulled low before the master is enabled
        bool fault;
    } cases[] = {
        {"SS input pulled low", 0x00, false, true},
        {"master enabled with SS already low", 0x00, true, true},
        {"SS an output", 0x20, false, false},
    };
    for (const Case& c : cases) {
        ImageBoard t("TimerIrq"); // BRA * at $8000
        Board& b = t.board;
        PinSetting low;
        low.events.push_back(level(0, PinGroup::PortD, 5, false));
        b.write(0x1009, c.ddrd);
        if (c.ssLowFirst)
            b.drivePin(low);
        b.write(0x1028, 0xD0); // SPIE, SPE, MSTR
        if (!c.ssLowFirst)
            b.drivePin(low);
        EXPECT_EQ(b.read(0x1029) & 0x10, c.fault ? 0x10 : 0) << c.name << ": MODF";
        EXPECT_EQ(b.read(0x1028) & 0x50, c.fault ? 0 : 0x50) << c.name << ": SPE and MSTR";
        EXPECT_EQ(b.cpu().interruptRequest(), c.fault ? Vec::kSpi : 0) << c.name;
        if (c.fault) {
            (void)b.read(0x1029);
            b.write(0x1028, 0x00);
            EXPECT_EQ(b.read(0x1029) & 0x10, 0) << c.name << ": SPSR then SPCR clears MODF";
            EXPECT_EQ(b.cpu().interruptRequest(), 0) << c.name;
        }
    }
}

TEST(Pins, SpiSlaveTakesTheMastersBytesWhileSelected) {
    ImageBoard t("TimerIrq"); // BRA * at $8000
    Board& b = t.board;
    b.write(0x1028, 0x40 | 0x01); // SPE, slave, 4 E cycles a bit: 32 a byte
    b.write(0x102A, 0xA5);        // what goes back to the master
    const uint64_t t0 = b.now();
    // Selected from +100; bytes at +200 (one) and +400 (two back to back); deselected at +600,
    // so the byte at +700 reaches nothing.
    b.setStimulus(parseStimulus("100 PD5 low\n200 spi $11\n400 spi $22 $33\n600 PD5 high\n700 spi $44\n", "s").events);
    b.runUntil(t0 + 200 + 31);
    EXPECT_EQ(b.read(0x1029) & 0x80, 0) << "8 bit times not yet over";
    b.runUntil(t0 + 200 + 32);
    EXPECT_EQ(b.read(0x1029) & 0x80, 0x80) << "SPIF";
    EXPECT_EQ(b.read(0x102A), 0x11);
    b.runUntil(t0 + 400 + 32);
    (void)b.read(0x1029);
    EXPECT_EQ(b.read(0x102A), 0x22);
    b.runUntil(t0 + 400 + 64 + 10);
    EXPECT_EQ(b.read(0x1029) & 0x80, 0x80) << "the second byte followed at once";
    EXPECT_EQ(b.read(0x102A), 0x33);
    b.runUntil(t0 + 1000);
    EXPECT_EQ(b.read(0x1029) & 0x80, 0) << "deselected: no transfer";
    const std::deque<uint8_t> sent = b.spi().takeSlaveSent();
    // Without a new write the shift register sends back what it received.
    EXPECT_EQ(std::vector<uint8_t>(sent.begin(), sent.end()), (std::vector<uint8_t>{0xA5, 0x11, 0x22}));
}

// STOP with the clock monitor on: clocks stopped for the monitor's detection time (5 us, 10 E
// cycles at 2 MHz) reset the chip through the clock monitor's vector (here a pseudo-vector at
// $00FD, as the talker's slot); an IRQ that wakes the core before then, or the monitor off, lets
// STOP wait.
TEST(Board, StopWithTheClockMonitorOnResets) {
    struct Case {
        const char* name;
        uint8_t option, test1, ccr; // OPTION, TEST1, the CCR before STOP
        bool resets;
        int wakeAfter = -1; // IRQ pulled low this many E cycles after the STOP ends (-1: never)
    } cases[] = {
        {"CME, DISR clear", 0x18, 0x00, 0x00, true},
        {"CME clear", 0x10, 0x00, 0x00, false},
        {"DISR set", 0x18, 0x08, 0x00, false},
        {"S set: STOP is a NOP", 0x18, 0x00, 0x80, false},
        {"woken by IRQ within the detection time", 0x18, 0x00, 0x00, false, 9},
        {"IRQ at the end of the detection time: too late", 0x18, 0x00, 0x00, true, 10},
        {"CME clear, woken by IRQ late", 0x10, 0x00, 0x00, false, 200},
    };
    for (const Case& c : cases) {
        Board board;
        // $0000: LDAA #option; STAA OPTION; LDAA #test1; STAA TEST1; LDAA #ccr; TAP; STOP; BRA *
        const std::vector<uint8_t> code = {0x86, c.option, 0xB7, 0x10, 0x39, 0x86, c.test1, 0xB7, 0x10, 0x3E,
                                           0x86, c.ccr,    0x06, 0xCF, 0x20, 0xFE};
        for (size_t i = 0; i < code.size(); ++i)
            board.write(uint16_t(i), code[i]);
        for (uint8_t i = 0; i < 5; ++i) // $0040: INC $0080; BRA *
            board.write(uint16_t(0x40 + i), std::array<uint8_t, 5>{0x7C, 0x00, 0x80, 0x20, 0xFE}[i]);
        for (uint8_t i = 0; i < 5; ++i) // $0050: INC $0081; BRA * (the IRQ's handler)
            board.write(uint16_t(0x50 + i), std::array<uint8_t, 5>{0x7C, 0x00, 0x81, 0x20, 0xFE}[i]);
        const uint8_t slots[] = {0x7E, 0x00, 0x40, 0x7E, 0x00, 0x50}; // JMP $0040 at $00FD, JMP $0050 at $00EE
        for (uint16_t i = 0; i < 3; ++i) {
            board.write(uint16_t(0xFD + i), slots[i]);
            board.write(uint16_t(0xEE + i), slots[3 + i]);
        }
        board.write(0x0080, 0);
        board.write(0x0081, 0);
        board.cpu().pc = 0x0000;
        board.cpu().sp = 0x00DF;
        constexpr uint64_t kDetect = 10; // 5 us at the 2 MHz E clock
        const uint64_t start = board.now();
        const uint64_t stopEnd = start + 2 + 4 + 2 + 4 + 2 + 2 + 2; // the cycles of the code up to STOP
        if (c.wakeAfter >= 0)
            board.setStimulus({level(stopEnd - start + uint64_t(c.wakeAfter), PinGroup::Irq, 0, false)});
        board.runUntil(stopEnd + kDetect - 1);
        EXPECT_EQ(board.resetCount(), 1u) << c.name << ": not before the detection time";
        board.runUntil(stopEnd + kDetect);
        EXPECT_EQ(board.resetCount(), c.resets ? 2u : 1u) << c.name << ": at the detection time";
        board.runUntil(start + 300);
        EXPECT_EQ(board.resetCount(), c.resets ? 2u : 1u) << c.name;
        EXPECT_EQ(board.read(0x0080), c.resets ? 1 : 0) << c.name;
        EXPECT_EQ(board.read(0x0081), !c.resets && c.wakeAfter >= 0 ? 1 : 0) << c.name << ": the IRQ handler ran";
        EXPECT_EQ(board.cpu().state() == CpuState::Stopped, !c.resets && c.ccr == 0 && c.wakeAfter < 0) << c.name;
    }
}

TEST(Pins, PulseAndRunTimeSettingsGoThroughTheBoardsThread) {
    Board board;
    PinSetting s;
    std::string error;
    ASSERT_TRUE(parseDrive("XIRQ", {"pulse", "100"}, {}, &s, &error)) << error;
    const uint64_t start = board.now();
    board.drivePin(s);
    EXPECT_FALSE(board.pinState().xirqHigh) << "XIRQ idles high: its pulse goes low";
    board.runUntil(start + 50); // the boot loader's instructions are far shorter than 50 cycles
    ASSERT_LT(board.now(), start + 100);
    EXPECT_FALSE(board.pinState().xirqHigh);
    board.runUntil(start + 100);
    EXPECT_TRUE(board.pinState().xirqHigh) << "back high after 100 E cycles";

    ASSERT_TRUE(parseDrive("PE3", {"3.3v"}, {}, &s, &error)) << error;
    const uint64_t ticket = board.postPinSetting(s);
    EXPECT_FALSE(board.pinsShow(ticket));
    board.runUntil(board.now() + 10);
    EXPECT_TRUE(board.pinsShow(ticket));
    EXPECT_EQ(board.publishedPinState().analog[3], 168); // round(255 x 3.3 / 5)
    EXPECT_EQ(board.publishedPinState().portE, 0x08) << "at or above half of VRH reads 1";
}

} // namespace
