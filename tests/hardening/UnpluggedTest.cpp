// The serial device vanishing: the virtual board stopped or its process killed, while idle, during
// a transfer and while a program runs. Every operation ends with a status, a running program's
// poll reports the lost line, and a board that comes back at the same path is taken up again.
#include "SampleTarget.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <future>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

// Operations on a vanished device all fail with a status; a poll while running says the line is gone.
void expectDeviceGone(SampleTarget& t)
{
    DebugEngine& e = t.engine;
    Bytes bytes;
    EXPECT_NE(t.session.read(0xC000, 16, &bytes), kTalkerOk);
    const uint8_t one = 1;
    EXPECT_NE(t.session.memory.writeBlock(0xC100, 1, &one), kTalkerOk);
    if (e.running) {
        const BreakpointHit hit = e.pollBreakpointHit();
        EXPECT_EQ(hit.kind, BreakpointHitKind::None);
        EXPECT_EQ(hit.status, kTalkerCommError) << "the poll reports the lost line";
    }
    EXPECT_NE(e.stop(), kTalkerOk);
    EXPECT_NE(e.traceStep(t.flow("flow")), kTalkerOk);
    EXPECT_NE(e.loadS19(SampleTarget::example("loops.s19")), kTalkerOk);
}

// After a new board has come up at the same path: a boot and the usual operations work.
void expectWorkingAgain(SampleTarget& t)
{
    ASSERT_EQ(t.session.bootRom(), kTalkerOk);
    EXPECT_EQ(t.engine.running, 0);
    EXPECT_TRUE(t.nothingPlanted());
    ASSERT_EQ(t.engine.loadS19(SampleTarget::example("loops.s19")), kTalkerOk);
    EXPECT_EQ(t.engine.verifyS19(SampleTarget::example("loops.s19")), kTalkerOk);
    EXPECT_EQ(t.engine.traceStep(SampleTarget::kLoops), kTalkerOk);
}

class Unplugged : public ::testing::Test {
protected:
    void SetUp() override
    {
        BoardSession::Options options;
        options.linkPath = dir_.file("tty");
        options.readWaitMs = 200;
        target_ = std::make_unique<SampleTarget>(dir_.path(), options);
        std::string error;
        ASSERT_TRUE(target_->prepare(&error)) << error;
        ASSERT_EQ(target_->session.device(), dir_.file("tty"));
    }

    TempDir dir_;
    std::unique_ptr<SampleTarget> target_;
};

TEST_F(Unplugged, BoardStoppedWhileIdleWhileRunningAndMidTransfer)
{
    SampleTarget& t = *target_;
    std::string error;
    // Idle.
    t.session.stopBoard();
    expectDeviceGone(t);
    ASSERT_TRUE(t.session.restartBoard(&error)) << error;
    expectWorkingAgain(t);

    // A program running with breakpoints planted.
    ASSERT_EQ(t.engine.loadS19(SampleTarget::example("counter.s19")), kTalkerOk);
    ASSERT_EQ(t.clearBreakpoints(), kTalkerOk);
    ASSERT_EQ(t.engine.setBreakpoint(SampleTarget::kLoopsFill), kTalkerOk);
    ASSERT_EQ(t.engine.execute(SampleTarget::kCounter, true), kTalkerOk);
    EXPECT_EQ(t.engine.pollBreakpointHit().status, kTalkerOk);
    t.session.stopBoard();
    expectDeviceGone(t);
    ASSERT_TRUE(t.session.restartBoard(&error)) << error;
    expectWorkingAgain(t);

    // In the middle of a 4 KB write (about four seconds at 9600 baud).
    const Bytes block(4096, 0x5A);
    auto write = std::async(std::launch::async, [&] {
        return t.session.memory.writeBlock(0x9000, static_cast<uint32_t>(block.size()), block.data());
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    t.session.stopBoard();
    EXPECT_NE(write.get(), kTalkerOk);
    ASSERT_TRUE(t.session.restartBoard(&error)) << error;
    expectWorkingAgain(t);
}

// The tarvik11-board program, started with its output read line by line.
class BoardProcess {
public:
    explicit BoardProcess(std::vector<std::string> args)
    {
        int out[2], err[2];
        if (::pipe(out) != 0 || ::pipe(err) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addclose(&actions, err[0]);
        args.insert(args.begin(), BOARD_PROGRAM);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, BOARD_PROGRAM, &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~BoardProcess()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(out_);
        ::close(err_);
    }
    // The first line of standard output, waiting up to ten seconds.
    std::string firstLine()
    {
        std::string line;
        char c;
        while (line.find('\n') == std::string::npos) {
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, 10000) <= 0 || ::read(out_, &c, 1) != 1)
                break;
            line += c;
        }
        return line;
    }
    // Sends a signal and, for a stopping one, waits for the exit; returns the exit status.
    int signalAndWait(int sig)
    {
        ::kill(pid_, sig);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return status;
    }
    void signal(int sig) { ::kill(pid_, sig); }
    // Everything written to standard error (after the process ended).
    std::string errors()
    {
        std::string text;
        char buffer[256];
        ssize_t n;
        while ((n = ::read(err_, buffer, sizeof buffer)) > 0)
            text.append(buffer, static_cast<size_t>(n));
        return text;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
};

// Boots the talker from the board program's EEPROM, pressing RESET (SIGUSR1) before each try.
TalkerStatus bootProcessBoard(DebugEngine& engine, BoardProcess& board, const std::string& link)
{
    TalkerStatus boot = kTalkerCommError;
    for (int attempt = 0; attempt < 3 && boot != kTalkerOk; ++attempt) {
        board.signal(SIGUSR1);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        boot = engine.startTalker(link, TalkerType::Rom, TARVIK11_TALKER_FILE, ChipMode::SpecialTest, 0);
    }
    return boot;
}

TEST(UnpluggedProcess, KilledBoardIsReportedAndANewOneAtTheSamePathIsTakenUp)
{
    TempDir dir;
    std::string error;
    const std::string eeprom = dir.file("eeprom.img");
    ASSERT_TRUE(writeRomTalkerImage(eeprom, &error)) << error;
    const std::string link = dir.file("tty");
    const std::vector<std::string> args{"--link", link, "--speed", "max", "--eeprom", eeprom};

    SerialPort port;
    TalkerLink talker(port);
    TargetMemory memory(talker);
    DebugEngine engine(talker, memory);
    port.readWaitMs = 500;
    {
        BoardProcess board(args);
        ASSERT_EQ(board.firstLine(), "ready " + link + "\n");
        ASSERT_EQ(bootProcessBoard(engine, board, link), kTalkerOk);
        ASSERT_EQ(engine.loadS19(SampleTarget::example("counter.s19")), kTalkerOk);
        ASSERT_EQ(engine.setBreakpoint(SampleTarget::kCounter + 0x13), kTalkerOk); // "count", never run
        ASSERT_EQ(engine.execute(SampleTarget::kCounter, true), kTalkerOk);
        board.signalAndWait(SIGKILL); // the device is gone, its link left dangling
        const BreakpointHit hit = engine.pollBreakpointHit();
        EXPECT_EQ(hit.status, kTalkerCommError);
        uint8_t byte = 0;
        EXPECT_NE(talker.readMemory(SampleTarget::kCounter, 1, &byte), kTalkerOk);
        EXPECT_NE(engine.stop(), kTalkerOk);
        EXPECT_EQ(engine.breakpoints[0].planted, true) << "the SWI stays recorded";
    }
    BoardProcess again(args);
    ASSERT_EQ(again.firstLine(), "ready " + link + "\n");
    ASSERT_EQ(bootProcessBoard(engine, again, link), kTalkerOk);
    uint8_t byte = 0;
    EXPECT_EQ(talker.readMemory(0xB600, 1, &byte), kTalkerOk);
    EXPECT_EQ(byte, 0xCE) << "the EEPROM start-up code";
    EXPECT_EQ(engine.running, 0);
}

TEST(UnpluggedProcess, FaultSettingsOfTheBoardProgram)
{
    TempDir dir;
    std::string error;
    const std::string eeprom = dir.file("eeprom.img");
    ASSERT_TRUE(writeRomTalkerImage(eeprom, &error)) << error;
    const std::string link = dir.file("tty");
    BoardProcess board({"--link", link, "--speed", "max", "--eeprom", eeprom, "--fault", "outage,after=1,ms=600000",
                        "--fault-seed", "5"});
    ASSERT_EQ(board.firstLine(), "ready " + link + "\n");
    SerialPort port;
    TalkerLink talker(port);
    TargetMemory memory(talker);
    DebugEngine engine(talker, memory);
    port.readWaitMs = 200;
    EXPECT_NE(engine.startTalker(link, TalkerType::Rom, TARVIK11_TALKER_FILE, ChipMode::SpecialTest, 0), kTalkerOk) << "the line is cut";
    board.signal(SIGUSR2); // the faults end
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(bootProcessBoard(engine, board, link), kTalkerOk);
    const int status = board.signalAndWait(SIGTERM);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::string text = board.errors();
    EXPECT_NE(text.find("faults injected 1 (drop 0, garble 0, duplicate 0, delay 0, outage 1, reset 0)"),
              std::string::npos)
        << text;

    // Bad settings are refused with the reason and exit status 2.
    const std::vector<std::pair<std::vector<std::string>, std::string>> bad{
        {{"--fault", "drop"}, "bad fault 'drop': give exactly one of"},
        {{"--fault", "delay,p=0.1"}, "delay needs ms="},
        {{"--fault-seed", "x1"}, "bad fault seed 'x1'"},
        {{"--fault"}, "missing value for '--fault'"},
    };
    for (const auto& [args, reason] : bad) {
        BoardProcess refused(args);
        const int rc = refused.signalAndWait(0); // signal 0: only waits
        EXPECT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) == 2) << args[0];
        EXPECT_NE(refused.errors().find(reason), std::string::npos) << reason;
    }
}

} // namespace
