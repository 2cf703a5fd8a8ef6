#pragma once
// Test rig: the engine over a real serial port on a pseudo-terminal whose far end is the
// protocol-level talker model. A rig over another far end (the virtual board) only needs the
// device path in place of the model's pty.
#include "engine/DebugEngine.h"
#include "engine/EngineNotifier.h"
#include "PtyPair.h"
#include "link/SerialPort.h"
#include "link/TalkerLink.h"
#include "TalkerModel.h"
#include "link/TargetMemory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

// Keeps every message the engine shows.
class RecordingNotifier : public EngineNotifier {
public:
    void showMessage(const std::string& text) override { messages.push_back(text); }
    std::vector<std::string> messages;
};

// The host objects in the order the application makes them, bound to one device.
struct HostSide {
    SerialPort port;
    TalkerLink link{port};
    TargetMemory memory{link};
    RecordingNotifier notifier;
    DebugEngine engine{link, memory, &notifier};

    HostSide()
    {
        // Generous waits: the far end runs on a thread of a busy machine. Only tests that expect
        // silence shorten them.
        port.readWaitMs = 1000;
        engine.traceWaitMs = 5000;
        memory.programDelayMs = 1;
    }
};

// The engine talking to a TalkerModel; the port is open at 9600 baud unless asked otherwise.
struct ModelRig : HostSide {
    PtyPair pty;
    TalkerModel model{pty};

    static constexpr uint16_t kBarrierAddress = 0xFFFF;

    explicit ModelRig(bool open = true)
    {
        if (open) {
            EXPECT_EQ(link.openPort(pty.modeText()), kTalkerOk);
        }
    }
    ~ModelRig() { engine.setNotifier(nullptr); }

    // Every command the model has finished, in order. A command without a reply ($C1) may still
    // be in the model's hands when the host call returns, so an open port first sends a one-byte
    // read of $FFFF as a barrier: once it is answered, everything before it is logged. Barrier
    // reads are left out.
    std::vector<TalkerModel::Command> commands()
    {
        if (port.isOpen()) {
            uint8_t scratch = 0;
            (void)link.readMemory(kBarrierAddress, 1, &scratch);
        }
        std::vector<TalkerModel::Command> out;
        for (const auto& c : model.commands())
            if (!(c.kind == 0x01 && c.address == kBarrierAddress && c.count == 1))
                out.push_back(c);
        return out;
    }
    // Commands of one kind, in order.
    std::vector<TalkerModel::Command> commandsOf(uint8_t kind)
    {
        std::vector<TalkerModel::Command> out;
        for (const auto& c : commands())
            if (c.kind == kind)
                out.push_back(c);
        return out;
    }
    // Addresses of the one-byte writes of value, in order.
    std::vector<uint32_t> singleWrites(uint8_t value)
    {
        std::vector<uint32_t> out;
        for (const auto& c : commandsOf(0x41))
            if (c.count == 1 && c.data.size() == 1 && c.data[0] == value)
                out.push_back(c.address);
        return out;
    }
    // The kinds of every command received, in order.
    std::vector<uint8_t> kinds()
    {
        std::vector<uint8_t> out;
        for (const auto& c : commands())
            out.push_back(c.kind);
        return out;
    }
};

// Plays the target program: once the host has written a register frame (the start of a run),
// the program "reaches" the given address and the talker reports an SWI there.
class SwiAfterStart {
public:
    SwiAfterStart(TalkerModel& model, uint16_t address)
        : model_(model), base_(frameWrites(model)),
          thread_([this, address] {
              const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
              while (frameWrites(model_) == base_ && std::chrono::steady_clock::now() < deadline)
                  std::this_thread::sleep_for(std::chrono::milliseconds(1));
              model_.raiseSwi(address);
          })
    {
    }
    ~SwiAfterStart() { thread_.join(); }

    static size_t frameWrites(const TalkerModel& model)
    {
        size_t n = 0;
        for (const auto& c : model.commands())
            n += c.kind == 0xC1 ? 1 : 0;
        return n;
    }

private:
    TalkerModel& model_;
    size_t base_;
    std::thread thread_;
};

// The frame bytes of a $C1 command, as a register set.
inline TalkerModel::Registers frameOf(const TalkerModel::Command& c)
{
    TalkerModel::Registers r;
    const auto& d = c.data;
    if (d.size() == 11) {
        r.SP = static_cast<uint16_t>(d[0] << 8 | d[1]);
        r.CCR = d[2];
        r.B = d[3];
        r.A = d[4];
        r.X = static_cast<uint16_t>(d[5] << 8 | d[6]);
        r.Y = static_cast<uint16_t>(d[7] << 8 | d[8]);
        r.PC = static_cast<uint16_t>(d[9] << 8 | d[10]);
    }
    return r;
}

inline bool sameRegisters(const TalkerModel::Registers& a, const TalkerModel::Registers& b)
{
    return a.SP == b.SP && a.CCR == b.CCR && a.B == b.B && a.A == b.A && a.X == b.X && a.Y == b.Y && a.PC == b.PC;
}
