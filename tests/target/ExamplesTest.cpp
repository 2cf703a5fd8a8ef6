// The sample programs run under our talker and stop as their comments say.
#include "TalkerOnBoard.h"

namespace {
struct Example {
    const char* name;
    const char* entry;
    const char* stop; // label of the SWI the program stops at
    int a, b;         // expected accumulators, -1 when not checked
    const char* cell; // a result byte in memory, nullptr when none
    uint8_t cellValue;
};
void PrintTo(const Example& e, std::ostream* os) { *os << e.name; }

class ExampleRun : public TalkerOnBoard, public ::testing::WithParamInterface<Example> {};
} // namespace

TEST_P(ExampleRun, StopsWithTheDocumentedResult) {
    const Example& e = GetParam();
    const std::string base = std::string(TARVIK11_EXAMPLES_DIR) + "/" + e.name;
    auto symbols = readSymbolMap(base + ".map");
    ASSERT_TRUE(client_.writeMemory(0x1035, {0x00})); // BPROT: the EEPROM can be programmed
    load(base + ".s19");
    run(symbols.at(e.entry));
    const WireFrame stopped = waitForStop();
    EXPECT_EQ(stopped.pc, symbols.at(e.stop) + 1);
    EXPECT_TRUE(e.a < 0 || stopped.a == e.a) << int(stopped.a);
    EXPECT_TRUE(e.b < 0 || stopped.b == e.b) << int(stopped.b);
    if (e.cell) {
        Bytes cell;
        ASSERT_TRUE(client_.readMemory(symbols.at(e.cell), 1, &cell));
        EXPECT_EQ(cell, Bytes{e.cellValue});
    }
}

INSTANTIATE_TEST_SUITE_P(Samples, ExampleRun,
                         ::testing::Values(Example{"loops", "loops", "done", 0x37, -1, "total", 0x37},
                                           Example{"subroutine", "main", "done", 0xF8, 0x00, nullptr, 0},
                                           Example{"branches", "main", "done", 0xFF, 0x80, "negatives", 3},
                                           Example{"eeprom", "main", "done", 0x38, -1, "total", 0x38},
                                           Example{"flow", "flow", "flow_end", -1, -1, nullptr, 0},
                                           Example{"recursion", "main", "done", 0x00, 0x0F, "result", 0x00},
                                           Example{"timer", "main", "done", 10, -1, "analog", 0x00}),
                         [](const auto& info) { return std::string(info.param.name); });
