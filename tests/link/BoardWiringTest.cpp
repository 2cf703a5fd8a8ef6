#include "PtyPair.h"
#include "link/BoardWiring.h"
#include "link/SerialPort.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <utility>
#include <vector>

namespace {

// The chip's rates are a 6656th, an 832nd and a 64th of the crystal; the host sets a classic rate
// instead only where one lies within 0.5 %.
TEST(LineRates, EachCrystalGivesTheChipsRatesOrTheClassicOneBesideThem) {
    const std::pair<uint32_t, LineRates> cases[] = {
        {8'000'000, {1200, 9600, 125000}}, // the chip makes 1202 and 9615
        {4'915'200, {738, 5908, 76800}},    {7'372'800, {1108, 8862, 115200}},
        {9'830'400, {1477, 11815, 153600}}, {12'000'000, {1803, 14423, 187500}},
        {16'000'000, {2400, 19200, 250000}}, // 2404 and 19231
    };
    for (const auto& [hz, rates] : cases)
        EXPECT_EQ(hostRatesFor(hz), rates) << hz;
}

TEST(LineRates, CrystalTextInMegahertz) {
    const std::pair<const char*, std::optional<uint32_t>> cases[] = {
        {"8", 8'000'000}, {"4.9152", 4'915'200}, {"12.000", 12'000'000}, {"8.", 8'000'000},
        {"20", 20'000'000}, {"0.999999", {}}, {"20.000001", {}}, {"", {}}, {".", {}},
        {"8.1234567", {}}, {"8,0", {}}, {"-8", {}}, {" 8", {}}, {"8MHz", {}}, {"99999999999", {}},
    };
    for (const auto& [text, hz] : cases)
        EXPECT_EQ(crystalFromMhzText(text), hz) << text;
    for (uint32_t hz : kCommonCrystalsHz)
        EXPECT_EQ(crystalFromMhzText(crystalMhzText(hz)), hz) << crystalMhzText(hz);
}

// Records what is done to the modem lines; the chip answers every change with a break byte.
class ModemLineRecorder : public ByteChannel {
public:
    std::vector<std::pair<ModemLine, bool>> levels;
    int queued = 0;
    int failAt = -1; // the call (from 0) that fails with ENOTTY

    int open(const std::string&) override { return 0; }
    void close() override {}
    bool isOpen() const override { return true; }
    int read(uint8_t* buffer, int count) override { return queued > 0 && count > 0 ? (*buffer = 0, queued--, 1) : 0; }
    int write(const uint8_t*, int) override { return 0; }
    bool inputWithin(std::chrono::microseconds) override { return queued > 0; }
    bool hasInput() override { return queued > 0; }
    bool lineLost() override { return false; }
    SerialLineSettings lineSettings() const override { return {}; }
    int setLineSettings(const SerialLineSettings&) override { return 0; }
    int readinessDescriptor() const override { return -1; }
    int setModemLine(ModemLine line, bool asserted) override {
        if (static_cast<int>(levels.size()) == failAt)
            return ENOTTY;
        levels.emplace_back(line, asserted);
        ++queued;
        return 0;
    }
};

TEST(ResetPulse, IdleThenResettingLevelThenIdleAndTheChipsBreakIsDropped) {
    using Levels = std::vector<std::pair<ModemLine, bool>>;
    const std::pair<const char*, Levels> cases[] = {
        {"none", {}},
        {"dtr", {{ModemLine::Dtr, false}, {ModemLine::Dtr, true}, {ModemLine::Dtr, false}}},
        {"rts", {{ModemLine::Rts, false}, {ModemLine::Rts, true}, {ModemLine::Rts, false}}},
        {"dtr-inverted", {{ModemLine::Dtr, true}, {ModemLine::Dtr, false}, {ModemLine::Dtr, true}}},
    };
    for (const auto& [text, levels] : cases) {
        const ResetPulse pulse = resetPulseFromText(text).value();
        ModemLineRecorder channel, opened;
        EXPECT_EQ(pulseReset(channel, pulse), 0);
        EXPECT_EQ(channel.levels, levels) << text;
        EXPECT_EQ(channel.queued, 0) << text;
        // After an open only the idle level is set.
        EXPECT_EQ(holdResetIdle(opened, pulse), 0);
        EXPECT_EQ(opened.levels, levels.empty() ? Levels{} : Levels{levels.front()}) << text;
    }
    // A line the driver refuses stops the pulse there with its error.
    for (int failAt : {0, 1, 2}) {
        ModemLineRecorder channel;
        channel.failAt = failAt;
        EXPECT_EQ(pulseReset(channel, {ResetLine::Dtr, true}), ENOTTY) << failAt;
        EXPECT_EQ(static_cast<int>(channel.levels.size()), failAt);
    }
}

// A pseudo-terminal has no modem lines and refuses low latency: the port says the first, and
// opens all the same. A second open of one port is refused as busy, naming the device.
TEST(SerialPortLines, PseudoTerminalLinesAndASecondOpen) {
    PtyPair pty;
    ASSERT_TRUE(pty.valid());
    SerialPort port, second;
    EXPECT_EQ(port.setModemLine(ModemLine::Dtr, true), EBADF);
    ASSERT_EQ(port.open(pty.modeText()), 0);
    EXPECT_FALSE(port.lowLatency());
    EXPECT_EQ(port.setModemLine(ModemLine::Rts, false), ENOTTY);
    EXPECT_EQ(second.open(pty.modeText()), EBUSY);
    EXPECT_EQ(portOpenCause(second.lastOpenError(), second.deviceName()),
              pty.slavePath() + " is in use by another program");
    EXPECT_EQ(portOpenCause(ENOENT, "COM9"), "no device is set for port COM9");
}

} // namespace
