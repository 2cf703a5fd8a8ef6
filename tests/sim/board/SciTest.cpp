#include "sim/Sci.h"
#include <gtest/gtest.h>

namespace {

struct SciBench {
    SerialWire wire;
    Sci sci{wire};
    uint64_t now = 0;

    SciBench(uint8_t baud, uint8_t sccr2) {
        sci.reset(0);
        sci.write(Sci::kBaud, baud, 0);
        sci.write(Sci::kSccr2, sccr2, 0);
    }
    void send(uint8_t value, uint32_t hostBaud) {
        LineSettings s;
        s.baud = hostBaud;
        wire.send(value, s, double(now));
        sci.wireChanged();
    }
    void runFor(uint64_t cycles) { sci.advance(now += cycles); }
    // SCSR and SCDR read the way a program reads them (the SCSR read arms the clear sequence).
    uint8_t status() { return sci.read(Sci::kScsr, now); }
    uint8_t data() { return sci.read(Sci::kScdr, now); }
};

TEST(Sci, BitLengthFollowsPrescalerAndDivider) {
    const std::pair<uint8_t, uint32_t> cases[] = {{0x00, 16},  {0x30, 208},  {0x33, 1664},   {0x22, 256},
                                                  {0x10, 48},  {0x07, 2048}, {0x37, 26624}};
    for (auto [baud, bitCycles] : cases)
        EXPECT_EQ(SciBench(baud, 0).sci.bitCycles(), bitCycles) << "BAUD $" << std::hex << int(baud);
}

// What the receiver makes of a character sent at the host's rate.
TEST(Sci, ReceiverSamplesTheHostsBitStream) {
    enum Outcome { Intact, Garbled, Break };
    struct Case {
        uint32_t hostBaud;
        uint8_t sciBaud, sent;
        Outcome outcome;
    } cases[] = {
        {9600, 0x30, 0xA5, Intact},   {9600, 0x30, 0x00, Intact},   {1200, 0x33, 0x5A, Intact},
        {4800, 0x30, 0x41, Garbled},  {9600, 0x33, 0x41, Garbled},  {19200, 0x20, 0x3C, Garbled},
        // The boot loader's synchronisation: at its initial 7812 baud a $FF sent at 1200 baud is
        // another value, and a $00 at 1200 baud looks like a break.
        {1200, 0x22, 0xFF, Garbled},  {1200, 0x22, 0x00, Break},
    };
    for (const Case& c : cases) {
        SciBench b(c.sciBaud, Sci::kRe);
        b.send(c.sent, c.hostBaud);
        b.runFor(200000);
        const uint8_t status = b.status();
        ASSERT_TRUE(status & Sci::kRdrf) << c.hostBaud << " baud, $" << std::hex << int(c.sent);
        const uint8_t got = b.data();
        const Outcome outcome = (got == c.sent && !(status & Sci::kFe)) ? Intact
                                : (got == 0 && (status & Sci::kFe)) ? Break
                                                                    : Garbled;
        EXPECT_EQ(outcome, c.outcome) << c.hostBaud << " baud, sent $" << std::hex << int(c.sent) << " got $"
                                      << int(got) << " status $" << int(status);
        b.runFor(200000);
        EXPECT_FALSE(b.sci.status() & Sci::kRdrf) << "one character, not more";
    }
}

TEST(Sci, ReceiveFlagsNeedStatusReadThenDataRead) {
    SciBench b(0x30, Sci::kRe | Sci::kRie);
    b.send('a', 9600);
    b.send('b', 9600);
    b.runFor(2100);
    ASSERT_TRUE(b.sci.status() & Sci::kRdrf);
    EXPECT_TRUE(b.sci.interruptRequested());
    EXPECT_EQ(b.data(), 'a'); // no SCSR read before: RDRF stays
    EXPECT_TRUE(b.sci.status() & Sci::kRdrf);
    b.runFor(2100); // the second character completes while RDRF is still set
    EXPECT_EQ(b.status() & (Sci::kRdrf | Sci::kOr), Sci::kRdrf | Sci::kOr);
    EXPECT_EQ(b.data(), 'a') << "the overrunning character is lost";
    EXPECT_EQ(b.sci.status() & (Sci::kRdrf | Sci::kOr), 0);
    EXPECT_FALSE(b.sci.interruptRequested());
}

TEST(Sci, TransmitterStartsOnlyThroughTheFlagSequence) {
    SciBench b(0x30, Sci::kTe);
    EXPECT_EQ(b.sci.status(), Sci::kTdre | Sci::kTc);
    b.runFor(5000); // the preamble has gone
    b.sci.write(Sci::kScdr, 'x', b.now); // without the SCSR read first
    b.runFor(10000);
    EXPECT_TRUE(b.sci.takeTransmitted().empty());

    b.status();
    b.sci.write(Sci::kScdr, 'A', b.now);
    const uint64_t first = b.now;
    EXPECT_EQ(b.sci.status() & (Sci::kTdre | Sci::kTc), Sci::kTdre) << "moved to the shifter at once";
    b.status();
    b.sci.write(Sci::kScdr, 'B', b.now);
    EXPECT_EQ(b.sci.status() & (Sci::kTdre | Sci::kTc), 0);
    b.runFor(4160);
    const auto sent = b.sci.takeTransmitted();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].value, 'A');
    EXPECT_EQ(sent[0].time, first + 2080); // ten bits of 208 E cycles
    EXPECT_EQ(sent[1].value, 'B');
    EXPECT_EQ(sent[1].time, first + 4160);
    EXPECT_EQ(b.sci.status() & (Sci::kTdre | Sci::kTc), Sci::kTdre | Sci::kTc);
}

} // namespace
