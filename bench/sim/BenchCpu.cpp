// Runs an instruction mix on the CPU core for about two seconds of host CPU time and prints the
// simulated E-clock rate as a multiple of the real chip's 2 MHz. The rate is taken over the
// thread's CPU time, so other load on the machine does not distort the one-core figure.
#include "sim/Cpu.h"
#include "cpu_mix.h"

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

    using Clock = std::chrono::steady_clock;
    const auto wallStart = Clock::now();
    const double cpuStart = threadCpuSeconds();
    double elapsed = 0;
    do {
        cpu.run(2'000'000);
        elapsed = threadCpuSeconds() - cpuStart;
    } while (elapsed < seconds);
    const double wall = std::chrono::duration<double>(Clock::now() - wallStart).count();

    if (bus.ticked() != cpu.cycles() || cpu.state() != CpuState::Running) {
        std::fprintf(stderr, "bench_cpu: core went astray (pc $%04X)\n", cpu.pc);
        return 1;
    }
    const double rate = double(cpu.cycles()) / elapsed;
    std::printf("cpu core: %.0f E cycles in %.2f s CPU time (%.2f s wall) = %.1f MHz E clock\n",
                double(cpu.cycles()), elapsed, wall, rate / 1e6);
    std::printf("speed ratio vs 2 MHz 68HC11: %.1f\n", rate / kChipHz);
    return 0;
}
