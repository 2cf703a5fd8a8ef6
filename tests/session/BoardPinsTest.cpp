// The in-process board's pins as a front end's panel reads and drives them through the session:
// what a program (here the talker's writes) drives shows, what the user drives reaches the chip's
// registers, refusals leave the board as it was, and reads and changes from the front end's thread
// stay in order while the board's thread runs flat out.
#include "session/BoardPins.h"
#include "session/DebugSession.h"
#include "sim/VirtualBoard.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <thread>

namespace {

struct BoardSession {
    std::unique_ptr<VirtualBoard> board;
    DebugSession session;

    explicit BoardSession(double speed)
    {
        VirtualBoardOptions options;
        options.speed = speed;
        options.line = BoardLineKind::Memory;
        board = std::make_unique<VirtualBoard>(options);
        std::string error;
        EXPECT_TRUE(board->start(&error)) << error;
        session.attachBoard(board.get());
    }
    ~BoardSession() { session.attachBoard(nullptr); }

    CommandResult boot()
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(50)); // the loader listens after a moment
        BootSettings settings;
        settings.port = session.boardDevice();
        settings.talkerFile = TARVIK11_TALKER_FILE;
        settings.chipMode = ChipMode::SpecialTest;
        settings.base = NumberBase::Hexadecimal;
        settings.readWaitMs = 500;
        return session.boot(settings);
    }
    // The register at address as the chip's program reads it (through the talker).
    int readRegister(uint32_t address)
    {
        std::vector<uint8_t> bytes;
        const CommandResult r = session.readBytes(address, 1, bytes);
        EXPECT_TRUE(r.ok()) << r.errorText();
        return bytes.empty() ? -1 : bytes[0];
    }
};

} // namespace

TEST(BoardPins, whatTheProgramDrivesShowsAndWhatTheUserDrivesTheProgramReads)
{
    BoardSession b(1.0);
    const CommandResult booted = b.boot();
    ASSERT_TRUE(booted.ok()) << booted.errorText();
    BoardPins pins = b.session.boardPins();
    ASSERT_TRUE(pins.available());

    // The A1's port A: PA3-PA6 outputs, PA7 an input until DDRA7 is set.
    ASSERT_TRUE(b.session.setMemory("1000", "50").ok());
    PinState s = pins.state();
    EXPECT_EQ(s.portAOutputs, 0x78);
    EXPECT_EQ(s.portA, 0x50);
    const std::vector<PortPins> ports = BoardPins::ports(s);
    ASSERT_FALSE(ports.empty());
    EXPECT_EQ(ports[0].port, 'A');
    EXPECT_EQ(ports[0].drivable, 0x87);

    // Each row drives one more input; the program then reads PORTA and PORTE as the chip has them.
    struct Step {
        const char* what;
        std::function<PinChange(BoardPins&)> change;
        int porta, porte;
    };
    const Step steps[] = {
        {"PA0 high", [](BoardPins& p) { return p.setPortPin('A', 0, true); }, 0x51, 0x00},
        {"PA2 high", [](BoardPins& p) { return p.setPortPin('A', 2, true); }, 0x55, 0x00},
        {"PA7 high", [](BoardPins& p) { return p.setPortPin('A', 7, true); }, 0xD5, 0x00},
        {"PA0 low", [](BoardPins& p) { return p.setPortPin('A', 0, false); }, 0xD4, 0x00},
        // PORTE reads an analog input at or above half of VRH as a 1.
        {"PE2 at 200", [](BoardPins& p) { return p.setAnalog(2, 200); }, 0xD4, 0x04},
        {"PE7 at 3.0 V", [](BoardPins& p) { return p.setAnalog(7, BoardPins::analogFromVolts(3.0)); }, 0xD4, 0x84},
        {"PE2 at 127", [](BoardPins& p) { return p.setAnalog(2, 127); }, 0xD4, 0x80},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        ASSERT_EQ(step.change(pins), PinChange::Done);
        EXPECT_EQ(pins.state().portA, step.porta);
        EXPECT_EQ(b.readRegister(0x1000), step.porta);
        EXPECT_EQ(b.readRegister(0x100A), step.porte);
    }
    EXPECT_EQ(pins.state().analog[7], 153);
    EXPECT_EQ(pins.state().analog[2], 127);
}

TEST(BoardPins, refusedChangesLeaveTheBoardAsItWas)
{
    BoardSession b(0.0);
    BoardPins pins = b.session.boardPins();
    const PinState before = pins.state();
    struct Case {
        const char* what;
        std::function<PinChange(BoardPins&)> change;
        PinChange expected;
    };
    const Case cases[] = {
        {"PA5 is an output", [](BoardPins& p) { return p.setPortPin('A', 5, true); }, PinChange::NotAnInput},
        {"PA3 is an output on the A1", [](BoardPins& p) { return p.setPortPin('A', 3, true); }, PinChange::NotAnInput},
        {"bit 8", [](BoardPins& p) { return p.setPortPin('A', 8, true); }, PinChange::NoSuchPin},
        {"bit -1", [](BoardPins& p) { return p.setPortPin('A', -1, true); }, PinChange::NoSuchPin},
        {"no port Q", [](BoardPins& p) { return p.setPortPin('Q', 0, true); }, PinChange::NoSuchPin},
        {"channel 8", [](BoardPins& p) { return p.setAnalog(8, 9); }, PinChange::NoSuchPin},
        {"channel -1", [](BoardPins& p) { return p.setAnalog(-1, 9); }, PinChange::NoSuchPin},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.change(pins), c.expected);
    }
    const PinState after = pins.state();
    EXPECT_EQ(after.portA, before.portA);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(after.analog[i], before.analog[i]);

    // Without a board everything is refused and the pins read idle.
    BoardPins none;
    EXPECT_FALSE(none.available());
    EXPECT_EQ(none.setPortPin('A', 0, true), PinChange::NoBoard);
    EXPECT_EQ(none.setIrq(false), PinChange::NoBoard);
    EXPECT_EQ(none.setXirq(false), PinChange::NoBoard);
    EXPECT_EQ(none.setAnalog(0, 1), PinChange::NoBoard);
    EXPECT_TRUE(none.state().irqHigh && none.state().xirqHigh);
}

// The board runs as fast as it can in its own thread (the boot loader polls the SCI); every
// change the front end makes is seen by its next read, in order, and nothing waits long.
TEST(BoardPins, readsAndChangesFromAnotherThreadStayInOrder)
{
    BoardSession b(0.0);
    BoardPins pins = b.session.boardPins();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 400; ++i) {
        const bool level = i & 1;
        ASSERT_EQ(pins.setPortPin('A', i % 3, level), PinChange::Done);
        ASSERT_EQ(pins.setAnalog(i % 8, uint8_t(i)), PinChange::Done);
        ASSERT_EQ(pins.setIrq(!level), PinChange::Done);
        const PinState s = pins.state();
        ASSERT_EQ(bool(s.portA & (1 << (i % 3))), level) << i;
        ASSERT_EQ(s.analog[i % 8], uint8_t(i)) << i;
        ASSERT_EQ(s.irqHigh, !level) << i;
    }
    // 400 round trips to the board's thread; each waits for a slice of the board at most.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));

    // A stopped board takes changes at once.
    b.board->stop();
    ASSERT_EQ(pins.setXirq(false), PinChange::Done);
    ASSERT_EQ(pins.setAnalog(5, 77), PinChange::Done);
    EXPECT_FALSE(pins.state().xirqHigh);
    EXPECT_EQ(pins.state().analog[5], 77);
}

TEST(BoardPins, voltsAndEightBitValues)
{
    struct Case {
        double volts;
        uint8_t value;
    };
    const Case cases[] = {
        {0.0, 0},   {5.0, 255}, {2.5, 128}, {1.0, 51}, {0.0098, 0}, {0.0099, 1}, {4.99, 254},
        {-1.0, 0},  {7.0, 255}, {std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BoardPins::analogFromVolts(c.volts), c.value) << c.volts;
    // Every value comes back from its own voltage.
    for (int v = 0; v < 256; ++v)
        ASSERT_EQ(BoardPins::analogFromVolts(BoardPins::voltsOfAnalog(uint8_t(v))), v);
    EXPECT_DOUBLE_EQ(BoardPins::voltsOfAnalog(255), BoardPins::kVrh);
}
