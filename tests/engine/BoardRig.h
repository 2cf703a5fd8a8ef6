#pragma once
// Test rig: the engine on the virtual board's in-memory line, on virtual time (the board runs
// while the host waits, so nothing depends on the machine's load), with our talker downloaded
// into the board's RAM (special test mode, so the external RAM at $C000 is there for test
// programs). The wire itself is tested over pseudo-terminals elsewhere.
#include "EngineRig.h"
#include "link/Deadline.h"
#include "session/BoardChannel.h"
#include "sim/VirtualBoard.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// n bytes of a fixed pseudo-random pattern, a different one for each seed.
inline Bytes pattern(uint32_t n, uint32_t seed)
{
    Bytes out(n);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& b : out) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }
    return out;
}

// A started board on virtual time (null, with a failure added, when it cannot start).
inline std::unique_ptr<VirtualBoard> startedBoardOnVirtualTime()
{
    VirtualBoardOptions options;
    options.line = BoardLineKind::Memory;
    options.virtualTime = true;
    auto board = std::make_unique<VirtualBoard>(options);
    std::string error;
    if (!board->start(&error)) {
        ADD_FAILURE() << error;
        return nullptr;
    }
    return board;
}

// The host objects in the order the application makes them, on the board's line.
struct BoardRig {
    std::unique_ptr<VirtualBoard> board = startedBoardOnVirtualTime();
    BoardChannel port{*board->memoryLine()};
    TalkerLink link{port};
    TargetMemory memory{link};
    RecordingNotifier notifier;
    DebugEngine engine{link, memory, &notifier};

    BoardRig()
    {
        // On virtual time a wait costs the machine the board's run through it, not wall time, and
        // the machine's load cannot stretch a reply: a real line's waits are ample.
        port.readWaitMs = 100;
        engine.traceWaitMs = 500;
        memory.programDelayMs = 1;
        started = engine.startTalker("board", TalkerType::Ram, TARVIK11_TALKER_FILE, ChipMode::SpecialTest, 1) == kTalkerOk;
        EXPECT_TRUE(started) << "the talker did not start";
        notifier.messages.clear();
    }
    ~BoardRig() { engine.setNotifier(nullptr); }

    void poke(uint32_t address, const Bytes& bytes)
    {
        ASSERT_EQ(link.writeMemory(address, static_cast<uint32_t>(bytes.size()), bytes.data()), kTalkerOk);
    }
    Bytes peek(uint32_t address, uint32_t count)
    {
        Bytes out(count);
        EXPECT_EQ(link.readMemory(address, count, out.data()), kTalkerOk);
        return out;
    }
    uint8_t peek(uint32_t address) { return peek(address, 1).at(0); }
    TargetRegisters registers()
    {
        TargetRegisters r;
        EXPECT_EQ(link.readRegisters(r), kTalkerOk);
        return r;
    }

    // Frees every breakpoint record.
    void clearBreakpoints()
    {
        for (const auto& b : std::vector<BreakpointRecord>(engine.breakpoints.begin(), engine.breakpoints.end())) {
            if (b.address != 0) {
                EXPECT_EQ(engine.removeBreakpoint(b.address), kTalkerOk);
            }
        }
    }

    // Polls until the program stops at an SWI (bounded by a number of looks, not by time).
    BreakpointHit awaitHit()
    {
        BreakpointHit hit;
        for (int i = 0; i < 20000 && hit.kind == BreakpointHitKind::None; ++i) {
            hit = engine.pollBreakpointHit();
            if (hit.kind == BreakpointHitKind::None)
                Deadline::afterMs(1).sleepUntil();
        }
        return hit;
    }
    // Reads the frame until the target is back in the talker's idle loop (bounded).
    bool awaitIdle()
    {
        for (int i = 0; i < 2000; ++i) {
            if (registers().PC == engine.talkerIdleAddress)
                return true;
            Deadline::afterMs(1).sleepUntil();
        }
        return false;
    }

    bool started = false;
};
