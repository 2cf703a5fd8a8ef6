// The size of the pieces checked mode sends ahead of their echoes, against every way the bytes in
// flight can be doubled on their way to the board: nothing carried beyond the end may start a
// write or be taken for the go after a frame, and a refused go in front may not let the data
// start a write. Data are drawn from the bytes that matter ($00, the write commands, a read).
#include "link/TalkerLink.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

bool startsWrite(uint8_t b) { return b == TalkerCmd::kWriteMemory || b == TalkerCmd::kWriteRegisters; }

// What the talker does with the piece when the bytes whose bits are set in dups arrive twice and
// it still takes `needs` bytes of the command: true when nothing harmful follows.
bool harmless(const std::vector<uint8_t>& piece, unsigned dups, int needs, bool endsCommand)
{
    std::vector<uint8_t> arriving;
    for (size_t i = 0; i < piece.size(); ++i) {
        arriving.push_back(piece[i]);
        if (dups & (1u << i))
            arriving.push_back(piece[i]);
    }
    for (size_t p = size_t(std::max(needs, 0)); p < arriving.size(); ++p) {
        if (!endsCommand && p == size_t(needs) && arriving[p] == TalkerCmd::kGo)
            return false; // an unconfirmed frame would go on
        if (startsWrite(arriving[p]))
            return false;
    }
    return true;
}

} // namespace

TEST(CheckedPieces, NoDoubledByteCarriesAWriteOrAGoBeyondTheEnd)
{
    const uint8_t alphabet[] = {0x00, 0x41, 0xC1, 0x01, 0x4A, 0x81, 0x5A};
    std::mt19937 random(21);
    int larger = 0; // pieces beyond half of what was left: the rule was put to work
    for (int round = 0; round < 400; ++round) {
        const int n = 2 + int(random() % 10);
        std::vector<uint8_t> data(static_cast<size_t>(n));
        for (auto& b : data)
            b = alphabet[random() % sizeof alphabet];
        for (const bool endsCommand : {true, false}) {
            for (const bool goFirst : {false, true}) {
                if (goFirst)
                    data[0] = TalkerCmd::kGo;
                for (int taken = 0; taken < n; ++taken) {
                    const int left = n - taken;
                    const int c = TalkerLink::safeChunk(data.data(), n, taken, endsCommand, goFirst);
                    ASSERT_GE(c, 1);
                    ASSERT_LE(c, left);
                    larger += c > left / 2 && left > 1;
                    const std::vector<uint8_t> piece(data.begin() + taken, data.begin() + taken + c);
                    SCOPED_TRACE("n " + std::to_string(n) + " taken " + std::to_string(taken) + " piece " +
                                 std::to_string(c) + (endsCommand ? " data" : " frame") + (goFirst ? " go first" : ""));
                    // Any set of doubled bytes; or an echo lost on its way back (the talker took one
                    // more than the host counted) with at most one doubled byte.
                    for (unsigned dups = 0; dups < (1u << c) && left > 1; ++dups) {
                        ASSERT_TRUE(harmless(piece, dups, left, endsCommand)) << "doubled " << dups;
                        if (c > left / 2 && __builtin_popcount(dups) <= 1) {
                            ASSERT_TRUE(harmless(piece, dups, left - 1, endsCommand)) << "echo lost, doubled " << dups;
                        }
                    }
                    // The go refused: the rest of the piece is taken as commands.
                    if (goFirst && taken == 0) {
                        for (int j = 1; j < c; ++j)
                            ASSERT_FALSE(startsWrite(data[size_t(j)])) << "after a refused go";
                    }
                }
            }
        }
    }
    EXPECT_GT(larger, 100);
}
