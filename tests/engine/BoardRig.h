#pragma once
// Test rig: the engine over a real serial port on the virtual board's pseudo-terminal, with our
// talker downloaded into the board's RAM (special test mode, so the external RAM at $C000 is
// there for test programs).
#include "EngineRig.h"
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

struct BoardRig : HostSide {
    std::unique_ptr<VirtualBoard> board;

    BoardRig()
    {
        VirtualBoardOptions options;
        options.speed = 0;
        board = std::make_unique<VirtualBoard>(options);
        std::string error;
        if (!board->start(&error)) {
            ADD_FAILURE() << error;
            return;
        }
        started = engine.startTalker(board->devicePath(), TalkerType::Ram, TARVIK11_TALKER_FILE, ChipMode::SpecialTest, 1) == kTalkerOk;
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
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return hit;
    }
    // Reads the frame until the target is back in the talker's idle loop (bounded).
    bool awaitIdle()
    {
        for (int i = 0; i < 2000; ++i) {
            if (registers().PC == engine.talkerIdleAddress)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }

    bool started = false;
};
