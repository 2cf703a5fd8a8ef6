// 8- and 16-bit arithmetic run as assembled programs over operand tables; every result and
// every CCR bit is checked against values computed here with plain integer arithmetic.
#include "CpuTestSupport.h"

#include <optional>
#include <sstream>

namespace {

constexpr uint8_t kH = 0x20, kN = 0x08, kZ = 0x04, kV = 0x02, kC = 0x01;

int s8(int v) { return int8_t(uint8_t(v)); }
int s16(int v) { return int16_t(uint16_t(v)); }

// Flags from a result and its carries, computed the long way.
struct Outcome {
    int result;
    bool h = false, v = false, c = false;
};
Outcome add8(int a, int m, int cin) {
    const int sum = a + m + cin;
    const int ssum = s8(a) + s8(m) + cin;
    return {sum & 0xFF, (a & 15) + (m & 15) + cin > 15, ssum < -128 || ssum > 127, sum > 255};
}
Outcome sub8(int a, int m, int cin) {
    const int diff = a - m - cin;
    const int sdiff = s8(a) - s8(m) - cin;
    return {diff & 0xFF, false, sdiff < -128 || sdiff > 127, diff < 0};
}

// The CCR after an instruction that changes the flags in mask.
uint8_t ccrAfter(uint8_t in, uint8_t mask, int result, bool h, bool v, bool c, int width = 8) {
    const int top = 1 << (width - 1), all = (1 << width) - 1;
    const uint8_t flags = uint8_t((h ? kH : 0) | ((result & top) ? kN : 0) | ((result & all) == 0 ? kZ : 0) |
                                  (v ? kV : 0) | (c ? kC : 0));
    return uint8_t((in & ~mask) | (flags & mask));
}

struct Expected {
    int a, b;     // -1: not checked
    uint8_t ccr;
    uint8_t ccrMask = 0xFF; // CCR bits that are checked
};

int bcdValue(int v) { return (v >> 4) * 10 + (v & 15); }
bool isBcd(int v) { return (v >> 4) < 10 && (v & 15) < 10; }

std::optional<Expected> expectAlu8(int op, int a, int m, uint8_t ccr) {
    const int c = ccr & kC;
    const uint8_t hnzvc = kH | kN | kZ | kV | kC, nzvc = kN | kZ | kV | kC, nzv = kN | kZ | kV;
    auto arith = [&](Outcome o, uint8_t mask) { return ccrAfter(ccr, mask, o.result, o.h, o.v, o.c); };
    auto logic = [&](int r) { return ccrAfter(ccr, nzv, r, false, false, false); };
    auto shift = [&](int r, bool cout) { return ccrAfter(ccr, nzvc, r, false, bool(r & 0x80) != cout, cout); };
    switch (op) {
    case 0: { auto o = add8(a, m, 0); return Expected{o.result, m, arith(o, hnzvc)}; }
    case 1: { auto o = add8(a, m, c); return Expected{o.result, m, arith(o, hnzvc)}; }
    case 2: { auto o = sub8(a, m, 0); return Expected{o.result, m, arith(o, nzvc)}; }
    case 3: { auto o = sub8(a, m, c); return Expected{o.result, m, arith(o, nzvc)}; }
    case 4: { auto o = sub8(a, m, 0); return Expected{a, m, arith(o, nzvc)}; }
    case 5: return Expected{a & m, m, logic(a & m)};
    case 6: return Expected{a | m, m, logic(a | m)};
    case 7: return Expected{a ^ m, m, logic(a ^ m)};
    case 8: return Expected{a, m, logic(a & m)};
    case 9: { int r = (256 - a) & 0xFF; return Expected{r, m, ccrAfter(ccr, nzvc, r, false, a == 0x80, a != 0)}; }
    case 10: { int r = 255 - a; return Expected{r, m, ccrAfter(ccr, nzvc, r, false, false, true)}; }
    case 11: { int r = (a + 1) & 0xFF; return Expected{r, m, ccrAfter(ccr, nzv, r, false, a == 0x7F, false)}; }
    case 12: { int r = (a + 255) & 0xFF; return Expected{r, m, ccrAfter(ccr, nzv, r, false, a == 0x80, false)}; }
    case 13: return Expected{a, m, ccrAfter(ccr, nzvc, a, false, false, false)};
    case 14: return Expected{0, m, ccrAfter(ccr, nzvc, 0, false, false, false)};
    case 15: return Expected{(a * 2) & 0xFF, m, shift((a * 2) & 0xFF, a >= 128)};
    case 16: { int r = s8(a) / 2 - (s8(a) < 0 && (a & 1) ? 1 : 0); return Expected{r & 0xFF, m, shift(r & 0xFF, a & 1)}; }
    case 17: return Expected{a / 2, m, shift(a / 2, a & 1)};
    case 18: return Expected{(a * 2 + c) & 0xFF, m, shift((a * 2 + c) & 0xFF, a >= 128)};
    case 19: return Expected{a / 2 + c * 128, m, shift(a / 2 + c * 128, a & 1)};
    case 20: { // ADDA then DAA: decimal addition of two BCD bytes; V is left undefined by the chip
        if (!isBcd(a) || !isBcd(m))
            return std::nullopt;
        const int sum = bcdValue(a) + bcdValue(m);
        const int r = (sum % 100 / 10) << 4 | sum % 10;
        const bool h = (a & 15) + (m & 15) > 15;
        return Expected{r, m, ccrAfter(ccr, hnzvc, r, h, false, sum >= 100), uint8_t(~kV)};
    }
    case 21: { auto o = add8(a, m, 0); return Expected{o.result, m, arith(o, hnzvc)}; }
    case 22: { auto o = sub8(a, m, 0); return Expected{o.result, m, arith(o, nzvc)}; }
    case 23: { auto o = sub8(a, m, 0); return Expected{a, m, arith(o, nzvc)}; }
    case 24: { // MUL: C = bit 7 of the product, so that ADCA #0 rounds A
        const int p = a * m;
        return Expected{p >> 8, p & 0xFF, uint8_t((ccr & ~kC) | ((p & 0xFF) >= 128 ? kC : 0))};
    }
    case 25: return Expected{a, a, logic(a)};
    case 26: return Expected{m, m, logic(m)};
    case 27: { auto o = add8(m, a, c); return Expected{a, o.result, arith(o, hnzvc)}; }
    case 28: { auto o = sub8(m, a, c); return Expected{a, o.result, arith(o, nzvc)}; }
    case 29: { auto o = sub8(m, 0x55, 0); return Expected{a, o.result, arith(o, nzvc)}; }
    case 30: return Expected{(a * 2 + c) & 0xFF, -1, shift((a * 2 + c) & 0xFF, a >= 128)};
    case 31: { int r = (256 - a) & 0xFF; return Expected{r, -1, ccrAfter(ccr, nzvc, r, false, a == 0x80, a != 0)}; }
    case 32: return Expected{a / 2, -1, shift(a / 2, a & 1)};
    }
    return std::nullopt;
}
constexpr int kAlu8Ops = 33;

// Operand values: edges of every carry and overflow boundary plus a spread of others.
std::vector<int> operandSample() {
    std::vector<int> v = {0x00, 0x01, 0x02, 0x07, 0x08, 0x09, 0x0F, 0x10, 0x19, 0x40, 0x45, 0x50,
                          0x66, 0x7E, 0x7F, 0x80, 0x81, 0x90, 0x99, 0x9A, 0xA0, 0xC3, 0xF0, 0xFE, 0xFF};
    for (int i = 3; v.size() < 64; i += 37)
        v.push_back(i & 0xFF);
    return v;
}

uint32_t nextRandom(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state >> 16;
}
uint8_t randomCcr(uint32_t& state) { return uint8_t(0xD0 | (nextRandom(state) & 0x2F)); } // S X I kept set

// Runs a table-driven program over the records in batches (inputs at $0100, end address at
// $0000, slotSize-byte result slots from $1000) and hands every slot to check, which returns
// an error text or an empty string.
template <class Check>
void runTableProgram(const char* name, const std::vector<std::vector<uint8_t>>& records, int ops, int slotSize, Check check) {
    const auto program = loadProgram(name);
    const size_t recordSize = records.front().size();
    const size_t batch = std::min<size_t>(0x7000 / (ops * slotSize), 0x0F00 / recordSize);
    int failures = 0;
    for (size_t first = 0; first < records.size() && failures < 20; first += batch) {
        const size_t n = std::min(batch, records.size() - first);
        FlatBus bus;
        for (size_t i = 0; i < n; ++i)
            bus.load(uint16_t(0x0100 + recordSize * i), records[first + i]);
        bus.setWord(0x0000, uint16_t(0x0100 + recordSize * n));
        Cpu cpu(bus);
        runProgram(cpu, bus, program);
        for (size_t i = 0; i < n && failures < 20; ++i)
            for (int op = 0; op < ops; ++op) {
                const std::string error = check(first + i, op, &bus.mem[0x1000 + (i * ops + op) * slotSize]);
                if (!error.empty() && ++failures)
                    ADD_FAILURE() << name << " op " << op << ": " << error;
            }
    }
}

std::string hex(int v) {
    std::ostringstream s;
    s << '$' << std::hex << v;
    return s.str();
}

TEST(CpuAluProgram, EightBitResultsAndFlags) {
    std::vector<std::vector<uint8_t>> records; // a, m, ccr
    uint32_t rnd = 12345;
    for (int m : operandSample())
        for (int a = 0; a < 256; ++a)
            records.push_back({uint8_t(a), uint8_t(m), randomCcr(rnd)});
    runTableProgram("alu8", records, kAlu8Ops, 3, [&](size_t i, int op, const uint8_t* got) {
        const auto& r = records[i];
        const auto e = expectAlu8(op, r[0], r[1], r[2]);
        if (!e || ((e->a < 0 || got[0] == e->a) && (e->b < 0 || got[1] == e->b) &&
                   (got[2] & e->ccrMask) == (e->ccr & e->ccrMask)))
            return std::string();
        return "a=" + hex(r[0]) + " m=" + hex(r[1]) + " ccr=" + hex(r[2]) + ": got " + hex(got[0]) + " " +
               hex(got[1]) + " " + hex(got[2]) + ", want " + hex(e->a) + " " + hex(e->b) + " " + hex(e->ccr);
    });
}

// ---- 16-bit ---------------------------------------------------------------------------------

struct Record16 {
    uint16_t d, m, x;
    uint8_t ccr;
};

// Slots of alu16.s: D (2 bytes), X (2 bytes), CCR.
struct Expected16 {
    int d, x; // -1: not checked
    uint8_t ccr;
};

Expected16 expectAlu16(int op, const Record16& r) {
    const uint8_t nzvc = kN | kZ | kV | kC;
    const int d = r.d, m = r.m, x = r.x;
    auto sub = [&](int p, int q) {
        const int diff = p - q, sdiff = s16(p) - s16(q);
        return ccrAfter(r.ccr, nzvc, diff & 0xFFFF, false, sdiff < -32768 || sdiff > 32767, diff < 0, 16);
    };
    switch (op) {
    case 0: { // ADDD
        const int sum = d + m, ssum = s16(d) + s16(m);
        return {sum & 0xFFFF, -1, ccrAfter(r.ccr, nzvc, sum & 0xFFFF, false, ssum < -32768 || ssum > 32767, sum > 0xFFFF, 16)};
    }
    case 1: return {(d - m) & 0xFFFF, -1, sub(d, m)}; // SUBD
    case 2: return {d, -1, sub(d, m)};                // CPD dir
    case 3: return {d, -1, sub(d, m)};                // CPD ind,Y
    case 4: return {-1, -1, sub(x, m)};               // CPX dir
    case 5: return {-1, -1, sub(x, m)};               // CPY ext
    case 6: { // ASLD
        const int res = (d * 2) & 0xFFFF;
        const bool c = d >= 0x8000;
        return {res, -1, ccrAfter(r.ccr, nzvc, res, false, bool(res & 0x8000) != c, c, 16)};
    }
    case 7: { // LSRD
        const bool c = d & 1;
        return {d / 2, -1, ccrAfter(r.ccr, nzvc, d / 2, false, c, c, 16)};
    }
    case 8: { // IDIV; by zero: X = $FFFF, D unchanged
        if (x == 0)
            return {d, 0xFFFF, uint8_t((r.ccr & ~(kZ | kV | kC)) | kC)};
        const int q = d / x;
        return {d % x, q, uint8_t((r.ccr & ~(kZ | kV | kC)) | (q == 0 ? kZ : 0))};
    }
    case 9: { // FDIV; X <= D overflows (V), X = 0 also sets C
        if (x <= d)
            return {d, 0xFFFF, uint8_t((r.ccr & ~(kZ | kV | kC)) | kV | (x == 0 ? kC : 0))};
        const long long n = (long long)d * 65536;
        const int q = int(n / x);
        return {int(n % x), q, uint8_t((r.ccr & ~(kZ | kV | kC)) | (q == 0 ? kZ : 0))};
    }
    }
    return {-1, -1, 0};
}
constexpr int kAlu16Ops = 10;

TEST(CpuAluProgram, SixteenBitResultsAndFlags) {
    const std::vector<int> edges = {0x0000, 0x0001, 0x0002, 0x00FF, 0x0100, 0x7FFF, 0x8000, 0x8001, 0xFFFE, 0xFFFF};
    std::vector<Record16> all;
    uint32_t rnd = 777;
    for (int d : edges)
        for (int m : edges)
            all.push_back({uint16_t(d), uint16_t(m), uint16_t(m), randomCcr(rnd)});
    for (int d : edges)
        for (int x : edges) // divisions by the edge values, including 0 and X <= D
            all.push_back({uint16_t(d), uint16_t(nextRandom(rnd)), uint16_t(x), randomCcr(rnd)});
    for (int i = 0; i < 3000; ++i)
        all.push_back({uint16_t(nextRandom(rnd) * 7), uint16_t(nextRandom(rnd) * 3), uint16_t(nextRandom(rnd) >> (i % 12)),
                       randomCcr(rnd)});

    std::vector<std::vector<uint8_t>> records; // d, m, x (big-endian), ccr
    for (const Record16& r : all)
        records.push_back({uint8_t(r.d >> 8), uint8_t(r.d), uint8_t(r.m >> 8), uint8_t(r.m), uint8_t(r.x >> 8),
                           uint8_t(r.x), r.ccr});
    runTableProgram("alu16", records, kAlu16Ops, 5, [&](size_t i, int op, const uint8_t* got) {
        const Record16& r = all[i];
        const Expected16 e = expectAlu16(op, r);
        const int gotD = got[0] << 8 | got[1], gotX = got[2] << 8 | got[3];
        if ((e.d < 0 || gotD == e.d) && (e.x < 0 || gotX == e.x) && got[4] == e.ccr)
            return std::string();
        return "d=" + hex(r.d) + " m=" + hex(r.m) + " x=" + hex(r.x) + " ccr=" + hex(r.ccr) + ": got D=" + hex(gotD) +
               " X=" + hex(gotX) + " CCR=" + hex(got[4]) + ", want D=" + hex(e.d) + " X=" + hex(e.x) + " CCR=" + hex(e.ccr);
    });
}

} // namespace
