#pragma once
#include "PtyPair.h"
#include "link/SerialPort.h"
#include "link/TalkerLink.h"

#include <gtest/gtest.h>

#include <vector>

using Bytes = std::vector<uint8_t>;

// A port and link opened on a fresh pseudo-terminal at 9600 baud.
class LinkFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.valid());
        ASSERT_EQ(link.openPort(pty.modeText()), kTalkerOk);
        port.readWaitMs = 200; // generous: the peer threads share a busy machine
    }

    PtyPair pty;
    SerialPort port;
    TalkerLink link{port};
};
