// Runs an instruction mix for about two seconds of host CPU time each on the bare CPU core, on the
// virtual board with its peripherals idle, and on the board with the timer's overflow, the RTI and
// an output compare interrupting; prints each simulated E-clock rate as a multiple of the real
// chip's 2 MHz. Rates are taken over the thread's CPU time, so other load on the machine distorts
// the one-core figures less (shared caches still do).
#include "sim/Board.h"
#include "sim/Cpu.h"
#include "BoardMix.h"
#include "CpuMix.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

constexpr double kChipHz = 2'000'000.0;

double threadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// 64 KB of RAM on fast pages, except the register block at $1000, which goes through read/write
// as it does on a board; tick() stands in for the peripherals' clock.
class BenchBus final : public Bus {
public:
    BenchBus() : mem_(0x10000, 0) {
        tickSlack = UINT32_MAX; // no peripheral waits for a tick
        for (int p = 0; p < 256; ++p)
            if (p != 0x10)
                readPage[p] = writePage[p] = &mem_[size_t(p) << 8];
    }
    uint8_t read(uint16_t a) override { return mem_[a]; }
    void write(uint16_t a, uint8_t v) override { mem_[a] = v; }
    void tick(uint32_t cycles) override { ticked_ += cycles; }
    uint16_t readVector(uint16_t v) override { return uint16_t(mem_[v] << 8 | mem_[uint16_t(v + 1)]); }
    uint8_t* memory() { return mem_.data(); }
    uint64_t ticked() const { return ticked_; }

private:
    std::vector<uint8_t> mem_;
    uint64_t ticked_ = 0;
};

struct Rate {
    double cycles = 0, cpuSeconds = 0, wallSeconds = 0;
    double ratio() const { return cycles / cpuSeconds / kChipHz; }
};

// Calls run(n) (which runs about n E cycles and returns false when the program went astray)
// until `seconds` of thread CPU time have passed.
template <typename Run> bool measure(double seconds, Run run, Rate& rate) {
    using Clock = std::chrono::steady_clock;
    const auto wallStart = Clock::now();
    const double cpuStart = threadCpuSeconds();
    do {
        if (!run(2'000'000))
            return false;
        rate.cycles += 2'000'000;
        rate.cpuSeconds = threadCpuSeconds() - cpuStart;
    } while (rate.cpuSeconds < seconds);
    rate.wallSeconds = std::chrono::duration<double>(Clock::now() - wallStart).count();
    return true;
}

void report(const char* what, const Rate& r) {
    std::printf("%-34s %.0f E cycles in %.2f s CPU (%.2f s wall): %.1f MHz, %.1f times real time\n", what,
                r.cycles, r.cpuSeconds, r.wallSeconds, r.cycles / r.cpuSeconds / 1e6, r.ratio());
}

// Places a handler at `at` and points the pseudo-vector slot `slot` at it.
void handler(Board& board, uint16_t slot, uint16_t at, std::initializer_list<uint8_t> code) {
    board.write(slot, 0x7E);
    board.write(uint16_t(slot + 1), uint8_t(at >> 8));
    board.write(uint16_t(slot + 2), uint8_t(at));
    for (uint8_t v : code)
        board.write(at++, v);
}

// A board in special test mode running the mix from external RAM; with `interrupts`, RTI every
// 2^13 E cycles, TOF every 65536 and OC2 every 2000 interrupt it.
bool runBoard(double seconds, bool interrupts, Rate& rate) {
    Board board;
    board.write(0x103C, 0xE5);
    for (size_t i = 0; i < sizeof kBoardMixProgram; ++i)
        board.write(uint16_t(0x8000 + i), kBoardMixProgram[i]);
    board.cpu().pc = 0x8000;
    uint64_t entries = 0;
    if (interrupts) {
        // Each handler counts its entries in a word: LDX $000n; INX; STX $000n.
        // LDAA #$40; STAA TFLG2; (count $0000); RTI
        handler(board, 0x00EB, 0xA000, {0x86, 0x40, 0xB7, 0x10, 0x25, 0xFE, 0x00, 0x00, 0x08, 0xFF, 0x00, 0x00, 0x3B});
        // LDAA #$80; STAA TFLG2; (count $0002); RTI
        handler(board, 0x00D0, 0xA010, {0x86, 0x80, 0xB7, 0x10, 0x25, 0xFE, 0x00, 0x02, 0x08, 0xFF, 0x00, 0x02, 0x3B});
        // LDD TOC2; ADDD #2000; STD TOC2; LDAA #$40; STAA TFLG1; (count $0004); RTI
        handler(board, 0x00DC, 0xA020,
                {0xFC, 0x10, 0x18, 0xC3, 0x07, 0xD0, 0xFD, 0x10, 0x18, 0x86, 0x40, 0xB7, 0x10, 0x23, 0xFE,
                 0x00, 0x04, 0x08, 0xFF, 0x00, 0x04, 0x3B});
        board.write(0x1022, 0x40);
        board.write(0x1024, 0xC0);
        board.cpu().ccr = uint8_t(board.cpu().ccr & ~Ccr::I);
    }
    const bool ok = measure(seconds, [&](uint64_t n) {
        const uint64_t before = board.cpu().cycles();
        board.runUntil(board.now() + n);
        if (interrupts) // collect the handlers' counts before they wrap
            for (uint16_t a = 0; a < 6; a = uint16_t(a + 2)) {
                entries += unsigned(board.read(a) << 8 | board.read(uint16_t(a + 1)));
                board.write(a, 0);
                board.write(uint16_t(a + 1), 0);
            }
        return board.cpu().cycles() - before >= n && board.cpu().state() == CpuState::Running &&
               board.cpu().pc >= 0x8000;
    }, rate);
    if (!ok) {
        std::fprintf(stderr, "bench_cpu: board program went astray (pc $%04X)\n", board.cpu().pc);
        return false;
    }
    if (interrupts) {
        const double expected = rate.cycles / 8192 + rate.cycles / 65536 + rate.cycles / 2000;
        if (double(entries) < expected * 0.99) {
            std::fprintf(stderr, "bench_cpu: %.0f interrupts where %.0f were due\n", double(entries), expected);
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    double seconds = 2.0;
    if (argc > 1)
        seconds = std::atof(argv[1]);
    if (!(seconds > 0)) {
        std::fprintf(stderr, "usage: bench_cpu [seconds]\n");
        return 2;
    }
    BenchBus bus;
    std::memcpy(bus.memory() + 0x8000, kCpuMixProgram, sizeof kCpuMixProgram);
    bus.memory()[0xFFFE] = 0x80;
    bus.memory()[0xFFFF] = 0x00;
    Cpu cpu(bus);
    cpu.reset();
    Rate core;
    measure(seconds, [&](uint64_t n) { cpu.run(n); return true; }, core);
    if (bus.ticked() != cpu.cycles() || cpu.state() != CpuState::Running) {
        std::fprintf(stderr, "bench_cpu: core went astray (pc $%04X)\n", cpu.pc);
        return 1;
    }
    report("cpu core alone:", core);
    Rate idle, busy;
    if (!runBoard(seconds, false, idle))
        return 1;
    report("board, peripherals idle:", idle);
    if (!runBoard(seconds, true, busy))
        return 1;
    report("board, TOF + RTI + OC2 interrupting:", busy);
    std::printf("speed ratio vs 2 MHz 68HC11: %.1f (core), %.1f (board idle), %.1f (board interrupting)\n",
                core.ratio(), idle.ratio(), busy.ratio());
    return 0;
}
