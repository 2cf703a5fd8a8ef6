#pragma once
#include "sim/Cpu.h"
#include <cstdint>

// Instruction semantics of the 68HC11 core as small functions on values and the CCR,
// grouped by family. Each returns the result and updates exactly the flags the chip updates.
namespace alu {

using namespace Ccr;

// Replaces the flags in mask with those in value.
constexpr void setFlags(uint8_t& ccr, uint8_t mask, uint8_t value) {
    ccr = uint8_t((ccr & ~mask) | value);
}
constexpr uint8_t nz8(uint8_t r) { return uint8_t(((r & 0x80) ? N : 0) | (r == 0 ? Z : 0)); }
constexpr uint8_t nz16(uint16_t r) { return uint8_t(((r & 0x8000) ? N : 0) | (r == 0 ? Z : 0)); }

// ---- Arithmetic -------------------------------------------------------------------------------

// ADD/ADC/ABA: H N Z V C.
constexpr uint8_t add8(uint8_t& ccr, uint8_t a, uint8_t m, bool carryIn) {
    const uint8_t r = uint8_t(a + m + (carryIn ? 1 : 0));
    const unsigned carries = unsigned((a & m) | (m & ~r) | (~r & a));
    const unsigned overflow = unsigned((a & m & ~r) | (~a & ~m & r));
    setFlags(ccr, H | N | Z | V | C,
             uint8_t(((carries & 0x08) ? H : 0) | nz8(r) | ((overflow & 0x80) ? V : 0) | ((carries & 0x80) ? C : 0)));
    return r;
}

// SUB/SBC/SBA/CMP/CBA: N Z V C; H is left alone.
constexpr uint8_t sub8(uint8_t& ccr, uint8_t a, uint8_t m, bool borrowIn) {
    const uint8_t r = uint8_t(a - m - (borrowIn ? 1 : 0));
    const unsigned borrows = unsigned((~a & m) | (m & r) | (r & ~a));
    const unsigned overflow = unsigned((a & ~m & ~r) | (~a & m & r));
    setFlags(ccr, N | Z | V | C, uint8_t(nz8(r) | ((overflow & 0x80) ? V : 0) | ((borrows & 0x80) ? C : 0)));
    return r;
}

// ADDD: N Z V C.
constexpr uint16_t add16(uint8_t& ccr, uint16_t a, uint16_t m) {
    const uint16_t r = uint16_t(a + m);
    const unsigned carries = unsigned((a & m) | (m & ~r) | (~r & a));
    const unsigned overflow = unsigned((a & m & ~r) | (~a & ~m & r));
    setFlags(ccr, N | Z | V | C, uint8_t(nz16(r) | ((overflow & 0x8000) ? V : 0) | ((carries & 0x8000) ? C : 0)));
    return r;
}

// SUBD and the 16-bit compares CPD/CPX/CPY: N Z V C from the full 16-bit subtraction.
constexpr uint16_t sub16(uint8_t& ccr, uint16_t a, uint16_t m) {
    const uint16_t r = uint16_t(a - m);
    const unsigned borrows = unsigned((~a & m) | (m & r) | (r & ~a));
    const unsigned overflow = unsigned((a & ~m & ~r) | (~a & m & r));
    setFlags(ccr, N | Z | V | C, uint8_t(nz16(r) | ((overflow & 0x8000) ? V : 0) | ((borrows & 0x8000) ? C : 0)));
    return r;
}

constexpr uint8_t neg8(uint8_t& ccr, uint8_t m) {
    const uint8_t r = uint8_t(0 - m);
    setFlags(ccr, N | Z | V | C, uint8_t(nz8(r) | (r == 0x80 ? V : 0) | (r != 0 ? C : 0)));
    return r;
}

// INC/DEC leave C alone (so they can count multi-byte loops).
constexpr uint8_t inc8(uint8_t& ccr, uint8_t m) {
    const uint8_t r = uint8_t(m + 1);
    setFlags(ccr, N | Z | V, uint8_t(nz8(r) | (m == 0x7F ? V : 0)));
    return r;
}
constexpr uint8_t dec8(uint8_t& ccr, uint8_t m) {
    const uint8_t r = uint8_t(m - 1);
    setFlags(ccr, N | Z | V, uint8_t(nz8(r) | (m == 0x80 ? V : 0)));
    return r;
}

// DAA after ADDA/ADCA/ABA: corrects A to packed BCD from the C and H flags. A carry once set is
// never cleared. V is documented as undefined; this core sets it to the two's-complement overflow
// of the correction addition, the value an adder doing the correction produces.
constexpr uint8_t daa(uint8_t& ccr, uint8_t a) {
    const unsigned hi = a >> 4, lo = a & 0x0F;
    uint8_t correction = 0;
    bool carry = (ccr & C) != 0;
    if ((ccr & H) || lo > 9)
        correction |= 0x06;
    if (carry || hi > 9 || (hi >= 9 && lo > 9)) {
        correction |= 0x60;
        carry = true;
    }
    const uint8_t r = uint8_t(a + correction);
    const bool overflow = ((a ^ r) & (correction ^ r) & 0x80) != 0;
    setFlags(ccr, N | Z | V | C, uint8_t(nz8(r) | (overflow ? V : 0) | (carry ? C : 0)));
    return r;
}

// MUL: D = A * B unsigned; only C changes, set to bit 7 of the result so that ADCA #0 rounds.
constexpr uint16_t mul(uint8_t& ccr, uint8_t a, uint8_t b) {
    const uint16_t r = uint16_t(a * b);
    setFlags(ccr, C, (r & 0x80) ? C : 0);
    return r;
}

// Quotient and remainder of IDIV/FDIV.
struct Division {
    uint16_t quotient;
    uint16_t remainder;
};

// IDIV: X = D / X, D = D % X. Z from the quotient, V cleared, C = divide by zero.
// Dividing by zero gives X = $FFFF and leaves D unchanged (a restoring divider that subtracts
// zero sets every quotient bit and shifts the dividend back into the remainder).
constexpr Division idiv(uint8_t& ccr, uint16_t d, uint16_t x) {
    if (x == 0) {
        setFlags(ccr, Z | V | C, C);
        return {0xFFFF, d};
    }
    const uint16_t q = uint16_t(d / x);
    setFlags(ccr, Z | V | C, q == 0 ? Z : 0);
    return {q, uint16_t(d % x)};
}

// FDIV: X = (D * 65536) / X, D = remainder, for D < X. Z from the quotient, V = (X <= D)
// (overflow), C = divide by zero. On overflow or zero divisor X = $FFFF and D is unchanged.
constexpr Division fdiv(uint8_t& ccr, uint16_t d, uint16_t x) {
    if (x <= d) {
        setFlags(ccr, Z | V | C, uint8_t(V | (x == 0 ? C : 0)));
        return {0xFFFF, d};
    }
    const uint32_t n = uint32_t(d) << 16;
    const uint16_t q = uint16_t(n / x);
    setFlags(ccr, Z | V | C, q == 0 ? Z : 0);
    return {q, uint16_t(n % x)};
}

// ---- Logic, loads, stores, transfers ----------------------------------------------------------

// Loads, stores, AND/ORA/EOR/BIT, TAB/TBA, BSET/BCLR: N Z, V cleared, C unchanged.
constexpr uint8_t logic8(uint8_t& ccr, uint8_t r) {
    setFlags(ccr, N | Z | V, nz8(r));
    return r;
}
constexpr uint16_t logic16(uint8_t& ccr, uint16_t r) {
    setFlags(ccr, N | Z | V, nz16(r));
    return r;
}
constexpr uint8_t com8(uint8_t& ccr, uint8_t m) {
    const uint8_t r = uint8_t(~m);
    setFlags(ccr, N | Z | V | C, uint8_t(nz8(r) | C));
    return r;
}
constexpr uint8_t clr8(uint8_t& ccr) {
    setFlags(ccr, N | Z | V | C, Z);
    return 0;
}
constexpr void tst8(uint8_t& ccr, uint8_t m) { setFlags(ccr, N | Z | V | C, nz8(m)); }

// TAP (and RTI): software may clear X but never set it; only reset and XIRQ entry set X.
constexpr uint8_t transferToCcr(uint8_t oldCcr, uint8_t value) {
    return uint8_t((value & ~X) | (value & oldCcr & X));
}

// ---- Shifts and rotates: C = bit shifted out, V = N xor C after the shift ---------------------

constexpr uint8_t shiftFlags8(uint8_t r, bool c) {
    const bool n = (r & 0x80) != 0;
    return uint8_t(nz8(r) | (n != c ? V : 0) | (c ? C : 0));
}
constexpr uint8_t asl8(uint8_t& ccr, uint8_t m) {
    const uint8_t r = uint8_t(m << 1);
    setFlags(ccr, N | Z | V | C, shiftFlags8(r, m & 0x80));
    return r;
}
constexpr uint8_t asr8(uint8_t& ccr, uint8_t m) {
    const uint8_t r = uint8_t((m >> 1) | (m & 0x80));
    setFlags(ccr, N | Z | V | C, shiftFlags8(r, m & 1));
    return r;
}
constexpr uint8_t lsr8(uint8_t& ccr, uint8_t m) {
    const uint8_t r = uint8_t(m >> 1);
    setFlags(ccr, N | Z | V | C, shiftFlags8(r, m & 1));
    return r;
}
constexpr uint8_t rol8(uint8_t& ccr, uint8_t m) {
    const uint8_t r = uint8_t((m << 1) | (ccr & C));
    setFlags(ccr, N | Z | V | C, shiftFlags8(r, m & 0x80));
    return r;
}
constexpr uint8_t ror8(uint8_t& ccr, uint8_t m) {
    const uint8_t r = uint8_t((m >> 1) | ((ccr & C) << 7));
    setFlags(ccr, N | Z | V | C, shiftFlags8(r, m & 1));
    return r;
}
constexpr uint16_t asl16(uint8_t& ccr, uint16_t m) {
    const uint16_t r = uint16_t(m << 1);
    const bool c = (m & 0x8000) != 0, n = (r & 0x8000) != 0;
    setFlags(ccr, N | Z | V | C, uint8_t(nz16(r) | (n != c ? V : 0) | (c ? C : 0)));
    return r;
}
constexpr uint16_t lsr16(uint8_t& ccr, uint16_t m) {
    const uint16_t r = uint16_t(m >> 1);
    const bool c = (m & 1) != 0;
    setFlags(ccr, N | Z | V | C, uint8_t((r == 0 ? Z : 0) | (c ? V | C : 0)));
    return r;
}

// ---- Branches ----------------------------------------------------------------------------------

// Whether the branch with the given page-1 opcode ($20..$2F) is taken under ccr.
constexpr bool branchTaken(uint8_t opcode, uint8_t ccr) {
    const bool c = ccr & C, z = ccr & Z, v = ccr & V, n = ccr & N;
    bool t = false;
    switch ((opcode >> 1) & 7) {
    case 0: t = true; break;            // BRA / BRN
    case 1: t = !(c || z); break;       // BHI / BLS
    case 2: t = !c; break;              // BCC / BCS
    case 3: t = !z; break;              // BNE / BEQ
    case 4: t = !v; break;              // BVC / BVS
    case 5: t = !n; break;              // BPL / BMI
    case 6: t = n == v; break;          // BGE / BLT
    case 7: t = !z && n == v; break;    // BGT / BLE
    }
    return (opcode & 1) ? !t : t;
}

} // namespace alu
