#pragma once
// A debug session on a virtual board that runs as fast as it can, with our talker booted in
// special test mode (external RAM mapped) and the sample programs at hand.
#include "session/DebugSession.h"
#include "sim/VirtualBoard.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

// Keeps what the session reports.
class Recorder : public SessionObserver {
public:
    void progressText(const std::string& text) override { texts.push_back(text); }
    void message(const std::string& text) override { texts.push_back(text); }
    void programStopped(const BreakpointHit& hit) override { stops.push_back(hit); }
    std::vector<std::string> texts;
    std::vector<BreakpointHit> stops;
};

class SessionRig : public ::testing::Test {
protected:
    void SetUp() override
    {
        VirtualBoardOptions options;
        options.speed = 0;
        // The session's rules do not depend on the wire: the board's line stays in memory, on
        // virtual time (the board runs while the session waits, whatever the machine's load).
        options.line = BoardLineKind::Memory;
        options.virtualTime = true;
        board_ = std::make_unique<VirtualBoard>(options);
        std::string error;
        ASSERT_TRUE(board_->start(&error)) << error;
        newSession();
    }
    void TearDown() override
    {
        session.reset();
        board_.reset();
    }

    // A fresh session on the same board (the board's memory stays as it is).
    void newSession()
    {
        session.reset();
        seen = Recorder{};
        session = std::make_unique<DebugSession>();
        session->attachBoard(board_.get());
        session->setObserver(&seen);
    }

    // Boots our talker (special test mode) and loads a sample; false on any failure.
    void bootAndLoad(const std::string& sample)
    {
        BootSettings boot;
        boot.port = session->boardDevice();
        boot.talkerFile = TARVIK11_TALKER_FILE;
        boot.chipMode = ChipMode::SpecialTest;
        boot.readWaitMs = 1000; // generous: the board shares a busy machine
        boot.base = kBaseHexadecimal;
        const CommandResult booted = session->boot(boot);
        ASSERT_TRUE(booted.ok()) << booted.errorText();
        session->engine().traceWaitMs = 5000;
        if (!sample.empty()) {
            const CommandResult loaded = session->loadS19(example(sample + ".s19"));
            ASSERT_TRUE(loaded.ok()) << loaded.errorText();
        }
    }

    // Runs a command expected to succeed.
    void ok(const CommandResult& result) { ASSERT_TRUE(result.ok()) << result.errorText(); }

    // Runs until the program stops; the stop's record.
    BreakpointHit stopped()
    {
        BreakpointHit hit;
        EXPECT_EQ(session->waitForHit(20000, {}, &hit), WaitOutcome::Stopped);
        return hit;
    }
    // The stop that ends a step: waited for when the step set the program running, else the one
    // the step reported before it returned.
    BreakpointHit stepEnded()
    {
        if (session->awaitingHit())
            return stopped();
        EXPECT_FALSE(seen.stops.empty()) << "the step reported no stop";
        return seen.stops.empty() ? BreakpointHit{} : seen.stops.back();
    }

    // The target's byte as it really is (our SWIs included), read past the session's rules.
    uint8_t raw(uint32_t address)
    {
        uint8_t byte = 0;
        EXPECT_EQ(session->memory().readBlock(address, 1, &byte), kTalkerOk);
        return byte;
    }

    // Waits until the talker has sent something (a "J" from a stopped program).
    bool talkerSpoke()
    {
        return session->channel().inputWithin(std::chrono::seconds(10));
    }

    static std::string example(const std::string& name) { return std::string(TARVIK11_EXAMPLES_DIR) + "/" + name; }

    // The symbols of a sample's map file, as "$xxxx" texts.
    static std::map<std::string, std::string> symbols(const std::string& sample)
    {
        std::map<std::string, std::string> out;
        std::ifstream in(example(sample + ".map"));
        std::string address, kind, name;
        while (in >> address >> kind >> name)
            out[name] = "$" + address.substr(address.size() - 4);
        return out;
    }

    // The board the session talks to (its line faults, its traffic figures).
    VirtualBoard& board() { return *board_; }

    std::unique_ptr<DebugSession> session;
    Recorder seen;

private:
    std::unique_ptr<VirtualBoard> board_;
};
