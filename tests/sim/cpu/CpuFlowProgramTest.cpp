// Branches, bit operations, stack use, subroutines and the prebyte pages, run as assembled
// programs and checked against conditions and values worked out here.
#include "CpuTestSupport.h"

namespace {

constexpr uint8_t kN = 0x08, kZ = 0x04, kV = 0x02, kC = 0x01;

// Whether each of the sixteen branches $20..$2F is taken, from the condition each one names.
bool branchTaken(int opcode, uint8_t ccr) {
    const bool n = ccr & kN, z = ccr & kZ, v = ccr & kV, c = ccr & kC;
    switch (opcode) {
    case 0x20: return true;              // BRA
    case 0x21: return false;             // BRN
    case 0x22: return !c && !z;          // BHI: unsigned greater
    case 0x23: return c || z;            // BLS
    case 0x24: return !c;                // BCC / BHS
    case 0x25: return c;                 // BCS / BLO
    case 0x26: return !z;                // BNE
    case 0x27: return z;                 // BEQ
    case 0x28: return !v;                // BVC
    case 0x29: return v;                 // BVS
    case 0x2A: return !n;                // BPL
    case 0x2B: return n;                 // BMI
    case 0x2C: return !(n ^ v);          // BGE: signed greater or equal
    case 0x2D: return n ^ v;             // BLT
    case 0x2E: return !z && !(n ^ v);    // BGT
    case 0x2F: return z || (n ^ v);      // BLE
    }
    return false;
}

TEST(CpuFlowProgram, BranchesAndBitOperations) {
    FlatBus bus;
    const int kRecords = 256;
    for (int i = 0; i < kRecords; ++i) {
        bus.mem[0x0100 + 2 * i] = uint8_t(0xD0 | (i & 0x0F));
        bus.mem[0x0101 + 2 * i] = uint8_t(i * 37 + 11);
    }
    bus.setWord(0x0000, uint16_t(0x0100 + 2 * kRecords));
    Cpu cpu(bus);
    runProgram(cpu, bus, loadProgram("branches"));

    for (int i = 0; i < kRecords; ++i) {
        const uint8_t ccr = uint8_t(0xD0 | (i & 0x0F)), mem = uint8_t(i * 37 + 11);
        const uint8_t* out = &bus.mem[0x1000 + 6 * i];
        for (int op = 0x20; op <= 0x2F; ++op) {
            const bool got = out[(op - 0x20) / 8] & (1 << ((op - 0x20) % 8));
            EXPECT_EQ(got, branchTaken(op, ccr)) << "branch $" << std::hex << op << " ccr $" << int(ccr);
        }
        const uint8_t wantBitTests = uint8_t(((mem & 0x81) == 0x81 ? 0x01 : 0) | ((mem & 0x81) == 0 ? 0x02 : 0) |
                                             ((mem & 0x80) ? 0x04 : 0) | ((mem & 0x01) == 0 ? 0x08 : 0) |
                                             (mem == 0xFF ? 0x10 : 0) | ((mem & 0x3C) == 0 ? 0x20 : 0) | 0x40);
        EXPECT_EQ(out[2], wantBitTests) << "mem $" << std::hex << int(mem);
        const uint8_t set = uint8_t(mem | 0x81);
        EXPECT_EQ(out[3], set);
        // BSET: N from bit 7 (always set here), Z clear, V cleared, C kept.
        EXPECT_EQ(out[4], uint8_t((ccr & ~(kN | kZ | kV)) | kN)) << "ccr $" << std::hex << int(ccr);
        EXPECT_EQ(out[5], uint8_t(mem & ~0x18));
    }
}

TEST(CpuFlowProgram, StackSubroutinesInterruptsAndPrebytePages) {
    FlatBus bus;
    Cpu cpu(bus);
    runProgram(cpu, bus, loadProgram("stack"));
    auto w = [&](uint16_t a) { return bus.word(a); };

    // Pushes: A, B, then X and Y low byte first; TSX gives SP + 1; pulls come back in reverse.
    EXPECT_EQ(bus.mem[0x01FF], 0x11);
    EXPECT_EQ(bus.mem[0x01FE], 0x22);
    EXPECT_EQ(w(0x01FC), 0x3344);
    EXPECT_EQ(w(0x01FA), 0x5566);
    EXPECT_EQ(w(0x0200), 0x01FA);
    EXPECT_EQ(w(0x0202), 0x01F9);
    EXPECT_EQ(w(0x0204), 0x5566);
    EXPECT_EQ(w(0x0206), 0x3344);
    EXPECT_EQ(w(0x0208), 0x1122);

    // Transfers, exchanges and unsigned B additions to X and Y.
    EXPECT_EQ(w(0x020A), 0x014F);
    EXPECT_EQ(w(0x020C), 0x1234);
    EXPECT_EQ(w(0x020E), 0xABCD);
    EXPECT_EQ(w(0x0210), 0x0F00);
    EXPECT_EQ(w(0x0212), 0x1234);
    EXPECT_EQ(w(0x0214), 0x1110);
    EXPECT_EQ(w(0x0216), 0x0010);
    EXPECT_TRUE(bus.mem[0x0218] & kZ);  // DEY to zero
    EXPECT_FALSE(bus.mem[0x0219] & kZ); // INY to one

    // JSR direct, extended, ind,X, ind,Y and BSR each ran the counter once and came back.
    EXPECT_EQ(bus.mem[0x021A], 5);
    EXPECT_EQ(w(0x021C), w(0x021E)); // stacked return address = address after the JSR

    // SWI frame: CCR, B, A, X, Y, then the address after the SWI; I set inside the handler.
    const uint8_t* frame = &bus.mem[0x0220];
    EXPECT_EQ(frame[0] & 0xD1, 0xC1); // S X set, I clear, C set at the SWI
    EXPECT_EQ(frame[1], 0xB2);
    EXPECT_EQ(frame[2], 0xA1);
    EXPECT_EQ(w(0x0223), 0xC3D4);
    EXPECT_EQ(w(0x0225), 0xE5F6);
    EXPECT_EQ(w(0x0227), w(0x0234));
    EXPECT_TRUE(bus.mem[0x0229] & 0x10);
    // RTI reloads everything from the frame, including the handler's change to A.
    EXPECT_EQ(bus.mem[0x0230], 0x77);
    EXPECT_EQ(bus.mem[0x0231], 0xB2);
    EXPECT_EQ(bus.mem[0x0232], frame[0]);

    // Prebyte pages $1A and $CD: Y through X, X through Y, CPD/CPX/CPY indexed.
    EXPECT_EQ(w(0x0242), 0x1234);
    EXPECT_TRUE(bus.mem[0x0244] & kZ);
    EXPECT_EQ(w(0x0252), 0x5678);
    EXPECT_TRUE(bus.mem[0x0254] & kZ);
    EXPECT_EQ(bus.mem[0x0255] & (kN | kZ | kV | kC), 0);
    EXPECT_EQ(bus.mem[0x0256] & (kN | kZ | kV | kC), 0);
    EXPECT_EQ(bus.mem[0x0257], 0xF0);
}

} // namespace
