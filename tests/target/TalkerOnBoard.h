#pragma once
#include "TalkerClient.h"
#include "sim/VirtualBoard.h"
#include <gtest/gtest.h>

// A virtual board at full speed with our talker downloaded and answering at 9600 baud, in special
// test mode (HPRIO $E5) so that the external RAM is visible.
class TalkerOnBoard : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(board_.start(&error)) << error;
        ASSERT_TRUE(client_.open(board_.devicePath()));
        ASSERT_TRUE(client_.boot(readFileBytes(TARVIK11_TALKER_FILE)));
        ASSERT_TRUE(client_.writeMemory(0x103C, {0xE5}));
        Bytes hprio;
        ASSERT_TRUE(client_.readMemory(0x103C, 1, &hprio));
        ASSERT_EQ(hprio, Bytes{0xE5});
    }

    uint16_t talker(const std::string& symbol) const { return talkerSymbols_.at(symbol); }

    // Starts the program at pc with the other registers of the current frame.
    void run(uint16_t pc) {
        WireFrame frame;
        ASSERT_TRUE(client_.readRegisters(&frame));
        frame.pc = pc;
        ASSERT_TRUE(client_.writeRegisters(frame));
    }

    // The stopped registers from the $B5 reply (first byte, PC, SP, CCR, B, A, X, Y, two bytes).
    WireFrame waitForStop() {
        Bytes r;
        if (!client_.awaitStop(&r))
            return {};
        return {uint16_t(r[3] << 8 | r[4]), r[5], r[6], r[7], uint16_t(r[8] << 8 | r[9]),
                uint16_t(r[10] << 8 | r[11]), uint16_t(r[1] << 8 | r[2])};
    }

    void load(const std::string& s19Path) {
        for (const auto& [address, data] : readS1Records(s19Path))
            ASSERT_TRUE(client_.writeMemory(address, data));
    }

    VirtualBoard board_{VirtualBoardOptions{0.0, {}, {}}};
    TalkerClient client_;
    const std::map<std::string, uint16_t> talkerSymbols_ = readSymbolMap(TARVIK11_TALKER_MAP);
};
