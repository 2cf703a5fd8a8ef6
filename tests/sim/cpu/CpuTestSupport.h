#pragma once
// Buses and a program runner for the CPU core tests.
#include "sim/Cpu.h"
#include "hc11/OpcodeTable.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

// 64 KB of plain memory; with fastPages the core reaches it through readPage/writePage.
class FlatBus : public Bus {
public:
    explicit FlatBus(bool fastPages = true) : mem(0x10000, 0) {
        if (fastPages)
            for (int p = 0; p < 256; ++p)
                readPage[p] = writePage[p] = &mem[size_t(p) << 8];
    }
    uint8_t read(uint16_t a) override { return mem[a]; }
    void write(uint16_t a, uint8_t v) override { mem[a] = v; }
    void tick(uint32_t cycles) override {
        ticked += cycles;
        ++tickCalls;
    }
    uint16_t readVector(uint16_t v) override { return word(v); }

    uint16_t word(uint16_t a) const { return uint16_t(mem[a] << 8 | mem[uint16_t(a + 1)]); }
    void setWord(uint16_t a, uint16_t v) {
        mem[a] = uint8_t(v >> 8);
        mem[uint16_t(a + 1)] = uint8_t(v);
    }
    void load(uint16_t a, const std::vector<uint8_t>& bytes) {
        for (size_t i = 0; i < bytes.size(); ++i)
            mem[uint16_t(a + i)] = bytes[i];
    }

    std::vector<uint8_t> mem;
    uint64_t ticked = 0;
    uint64_t tickCalls = 0;
};

// A bus that knows exactly which bytes may be read and written; any other access is a test
// failure. Reads come from `memory`; writes are recorded in order and also land in `memory`.
class StrictBus : public Bus {
public:
    struct Write {
        uint16_t address;
        uint8_t value;
        bool operator==(const Write&) const = default;
    };

    uint8_t read(uint16_t a) override {
        auto it = memory.find(a);
        if (it == memory.end()) {
            ADD_FAILURE() << "unexpected read of $" << std::hex << a;
            return 0;
        }
        return it->second;
    }
    void write(uint16_t a, uint8_t v) override {
        if (!writable.count(a))
            ADD_FAILURE() << "unexpected write of $" << std::hex << int(v) << " to $" << a;
        writes.push_back({a, v});
        memory[a] = v;
    }
    void tick(uint32_t cycles) override { ticked += cycles; }
    uint16_t readVector(uint16_t v) override {
        auto it = vectors.find(v);
        if (it == vectors.end()) {
            ADD_FAILURE() << "unexpected vector fetch $" << std::hex << v;
            return 0;
        }
        return it->second;
    }

    // Places code (or data) that may be read.
    void place(uint16_t a, const std::vector<uint8_t>& bytes) {
        for (size_t i = 0; i < bytes.size(); ++i)
            memory[uint16_t(a + i)] = bytes[i];
    }
    // Allows writes to [a, a + n).
    void allowWrites(uint16_t a, int n) {
        for (int i = 0; i < n; ++i)
            writable.insert(uint16_t(a + i));
    }

    std::map<uint16_t, uint8_t> memory;
    std::set<uint16_t> writable;
    std::map<uint16_t, uint16_t> vectors;
    std::vector<Write> writes;
    uint64_t ticked = 0;
};

// Reads a program assembled at build time (flat binary based at $8000).
inline std::vector<uint8_t> loadProgram(const std::string& name) {
    std::ifstream in(std::string(CPU_TEST_PROGRAM_DIR) + "/" + name + ".bin", std::ios::binary);
    EXPECT_TRUE(in.good()) << "missing program " << name;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline constexpr uint16_t kProgramBase = 0x8000;
inline constexpr uint16_t kHaltAddress = 0xF000;

// Loads a program at $8000, points RESET there and SWI at a halt address, and runs it until it
// executes SWI. Checks that the core, the bus clock and the opcode table agree on every cycle.
// Returns the cycles taken.
inline uint64_t runProgram(Cpu& cpu, FlatBus& bus, const std::vector<uint8_t>& program,
                           uint64_t maxSteps = 50'000'000) {
    bus.load(kProgramBase, program);
    bus.setWord(Vec::kReset, kProgramBase);
    bus.setWord(Vec::kSwi, kHaltAddress);
    bus.setWord(Vec::kIllegal, kHaltAddress + 2); // an illegal opcode ends the run as a failure
    cpu.reset();
    const uint64_t startCycles = cpu.cycles(), startTicks = bus.ticked;
    uint64_t tableCycles = 0;
    for (uint64_t n = 0; n < maxSteps && cpu.pc < kHaltAddress; ++n) {
        tableCycles += opcodes::instructionAt(bus.mem[cpu.pc], bus.mem[uint16_t(cpu.pc + 1)]).cycles;
        cpu.step();
    }
    EXPECT_EQ(cpu.pc, kHaltAddress) << "program did not reach SWI";
    EXPECT_EQ(cpu.cycles() - startCycles, tableCycles);
    EXPECT_EQ(bus.ticked - startTicks, cpu.cycles() - startCycles);
    return cpu.cycles() - startCycles;
}
