// Engine transfers against the virtual board in real time at 9600 baud, each printed as a ratio of
// the time taken to the time its bytes need on the wire (10 bits a byte, both directions, counted
// from the talker protocol) plus, for the EEPROM, the programming waits the host makes.
//
// With --extended the same run then starts our talker again in its extended mode (125000 baud,
// checked reads, EEPROM blocks programmed by the talker) and prints those figures too: the read
// against its own wire time and against the plain read's time, the EEPROM block against its data
// wire time plus 10 ms for every program and every erase pulse it needs.
//
// usage: bench_engine [--read BYTES] [--s19 BYTES] [--eeprom BYTES] [--speed N] [--extended]
#include "engine/DebugEngine.h"
#include "link/SerialPort.h"
#include "link/TalkerLink.h"
#include "link/TargetMemory.h"
#include "sim/VirtualBoard.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr double kBitsPerByte = 10.0;
constexpr double kBaud = 9600.0;
constexpr uint32_t kCommandBytes = 256;  // largest block of one talker command
constexpr uint32_t kRecordBytes = 32;    // data bytes per S1 record
constexpr uint32_t kFileBytes = 4096;    // data bytes per S19 file (the reader takes files up to 16 KB)
constexpr uint32_t kS19Base = 0xC000;    // external RAM
constexpr uint32_t kEepromStart = 0xB600;

// Read of n bytes (one command): $01, echo, count, address high and low, then the data.
uint64_t readCommandBytes(uint32_t n) { return 5 + n; }
// Verified write of n bytes: $41, echo, count, address, data, then the read-back.
uint64_t writeCommandBytes(uint32_t n) { return 5 + n + readCommandBytes(n); }

uint64_t readBlockBytes(uint32_t count)
{
    uint64_t bytes = 0;
    for (uint32_t done = 0; done < count; done += kCommandBytes)
        bytes += readCommandBytes(std::min(kCommandBytes, count - done));
    return bytes;
}

// One EEPROM pulse (erase or program): BPROT, PPROG latch, the byte, PPROG pump on, PPROG off.
constexpr uint64_t kPulseBytes = 5 * (5 + 1 + 5 + 1);

// Pulses that erasing first..last takes: single bytes up to a row boundary, whole rows, single bytes.
uint32_t erasePulses(uint32_t first, uint32_t last)
{
    uint32_t pulses = 0;
    uint32_t a = first;
    while ((a & 0x0F) != 0 && a <= last) {
        ++pulses;
        ++a;
    }
    while (a <= last && last - a >= 15) {
        ++pulses;
        a += 16;
    }
    return pulses + (a <= last ? last - a + 1 : 0);
}

double wireSeconds(uint64_t bytes, double baud = kBaud) { return static_cast<double>(bytes) * kBitsPerByte / baud; }

constexpr double kFastBaud = 125000.0;
// Checked read of n bytes: what the host receives.
uint64_t checkedReadBytes(uint32_t count)
{
    uint64_t bytes = 0;
    // Per block of up to 64 pages: its four header bytes sent back, the data, the 16-bit sum.
    constexpr uint32_t kBlock = 64 * 256;
    for (uint32_t done = 0; done < count; done += kBlock)
        bytes += 4 + std::min(kBlock, count - done) + 2;
    return bytes;
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void printRatio(const char* what, double seconds, uint64_t wireBytes, double waitSeconds)
{
    const double reference = wireSeconds(wireBytes) + waitSeconds;
    std::printf("%-34s %8.2f s  wire %7llu bytes %8.2f s  waits %6.2f s  ratio %.3f\n", what, seconds,
                static_cast<unsigned long long>(wireBytes), wireSeconds(wireBytes), waitSeconds,
                seconds / reference);
    std::fflush(stdout);
}

// Writes S19 files holding count bytes from kS19Base; returns their paths.
std::vector<std::string> writeS19Files(uint32_t count)
{
    std::vector<std::string> paths;
    for (uint32_t fileStart = 0; fileStart < count; fileStart += kFileBytes) {
        char path[] = "/tmp/bench_engine_XXXXXX";
        const int fd = ::mkstemp(path);
        if (fd < 0)
            break;
        FILE* f = ::fdopen(fd, "w");
        const uint32_t fileEnd = std::min(count, fileStart + kFileBytes);
        for (uint32_t r = fileStart; r < fileEnd; r += kRecordBytes) {
            const uint32_t n = std::min(kRecordBytes, fileEnd - r);
            const uint32_t address = kS19Base + r;
            unsigned sum = n + 3 + (address >> 8) + (address & 0xFF);
            std::fprintf(f, "S1%02X%04X", n + 3, address);
            for (uint32_t i = 0; i < n; ++i) {
                const unsigned byte = ((r + i) * 37 + 11) & 0xFF;
                sum += byte;
                std::fprintf(f, "%02X", byte);
            }
            std::fprintf(f, "%02X\n", ~sum & 0xFF);
        }
        std::fprintf(f, "S9030000FC\n");
        std::fclose(f);
        paths.push_back(path);
    }
    return paths;
}

// The start-up after a download whose first command went unanswered: once the talker answers,
// lift block protection, switch the EEPROM on (CONFIG and a reset) and enter special test mode.
TalkerStatus finishStartUp(TalkerLink& link, TargetMemory& memory)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    static constexpr uint8_t unprotect = 0x00;
    static constexpr uint8_t configOn = 0x0D;
    static constexpr uint8_t specialTest = 0xE5;
    uint8_t config = 0;
    TalkerStatus s;
    if ((s = memory.readBlock(Hc11Reg::kConfig, 1, &config)) || (s = memory.writeBlock(Hc11Reg::kBprot, 1, &unprotect)))
        return s;
    if (config != configOn) {
        (void)memory.eraseEeprom(Hc11Reg::kConfig, EraseMode::Byte);
        (void)memory.programEepromByte(Hc11Reg::kConfig, configOn);
        if ((s = link.resetTarget()) || (s = memory.writeBlock(Hc11Reg::kBprot, 1, &unprotect)) ||
            (s = memory.readBlock(Hc11Reg::kConfig, 1, &config)))
            return s;
        if (config != configOn)
            return kTalkerRegisterWriteFailed;
    }
    link.eepromEnabled = 1;
    return link.writeMemory(Hc11Reg::kHprio, 1, &specialTest);
}

// Ends the run after a failure without waiting for the board thread: a board that stopped
// answering must not keep the benchmark from ending.
int fail()
{
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(1);
}

bool argument(int& i, int argc, char** argv, const char* name, double& value)
{
    if (std::strcmp(argv[i], name) != 0 || i + 1 >= argc)
        return false;
    value = std::atof(argv[++i]);
    return true;
}

// The extended mode's figures, after the plain ones in the same run.
int runExtended(VirtualBoard& board, DebugEngine& engine, TalkerLink& link, TargetMemory& memory, uint32_t readCount,
                uint32_t eepromCount, double plainReadSeconds)
{
    engine.fastLine = true;
    engine.extendedMode = true;
    board.pressReset();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    TalkerStatus status = engine.startTalker(board.devicePath(), TalkerType::Ram, TARVIK11_TALKER_FILE,
                                             ChipMode::SpecialTest, 1);
    if (status || !engine.extended().active() || link.port().lineSettings().baud != kFastBaud) {
        std::fprintf(stderr, "bench_engine: extended start-up failed: %s, %u baud\n", talkerStatusText(status),
                     link.port().lineSettings().baud);
        return fail();
    }
    std::printf("extended mode: 125000 baud, checked reads, EEPROM blocks in the talker\n");
    if (readCount > 0) {
        std::vector<uint8_t> buffer(readCount);
        const auto start = std::chrono::steady_clock::now();
        if (TalkerStatus s = memory.readBlock(0, readCount, buffer.data())) {
            std::fprintf(stderr, "bench_engine: checked read failed: %s\n", talkerStatusText(s));
            return fail();
        }
        const double seconds = secondsSince(start);
        const double wire = wireSeconds(checkedReadBytes(readCount), kFastBaud);
        std::printf("%-34s %8.2f s  wire %8.2f s  ratio %.3f  (limit 1.10)  to plain 9600 %.3f  (limit 0.10)\n",
                    ("checked read " + std::to_string(readCount) + " bytes").c_str(), seconds, wire, seconds / wire,
                    plainReadSeconds > 0 ? seconds / plainReadSeconds : 0.0);
    }
    if (eepromCount > 0) {
        // Every byte changes from what the plain run left, and every third one needs an erase.
        std::vector<uint8_t> old(eepromCount), data(eepromCount);
        if (TalkerStatus s = link.readMemory(kEepromStart, std::min<uint32_t>(256, eepromCount), old.data(),
                                             ReplyEnd::Settled);
            s || (eepromCount > 256 &&
                  (s = link.readMemory(kEepromStart + 256, eepromCount - 256, old.data() + 256, ReplyEnd::Settled)))) {
            std::fprintf(stderr, "bench_engine: EEPROM read failed: %s\n", talkerStatusText(s));
            return fail();
        }
        uint32_t erases = 0;
        for (uint32_t i = 0; i < eepromCount; ++i) {
            data[i] = static_cast<uint8_t>(i % 3 == 0 ? ~old[i] : (old[i] & 0x5A) ^ (old[i] == (old[i] & 0x5A) ? 0x01 : 0));
            if (data[i] == old[i])
                data[i] = static_cast<uint8_t>(~old[i]);
            if ((data[i] & ~old[i]) != 0)
                ++erases;
        }
        const double pulses = (eepromCount + erases) * 0.010;
        const double wire = wireSeconds(uint64_t(eepromCount) * 3 + erases * 3ull, kFastBaud);
        const auto start = std::chrono::steady_clock::now();
        if (TalkerStatus s = memory.writeBlock(kEepromStart, eepromCount, data.data())) {
            std::fprintf(stderr, "bench_engine: EEPROM block failed: %s\n", talkerStatusText(s));
            return fail();
        }
        const double seconds = secondsSince(start);
        std::vector<uint8_t> check(eepromCount);
        if (memory.readBlock(kEepromStart, eepromCount, check.data()) != kTalkerOk || check != data) {
            std::fprintf(stderr, "bench_engine: the EEPROM does not hold what the talker programmed\n");
            return fail();
        }
        std::printf("%-34s %8.2f s  wire %6.3f s  pulses %u x 10 ms  ratio %.3f  (limit 1.15, 15 s)\n",
                    ("EEPROM block " + std::to_string(eepromCount) + " bytes").c_str(), seconds, wire,
                    eepromCount + erases, seconds / (wire + pulses));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    double readBytes = 65536, s19Bytes = 8192, eepromBytes = 512, speed = 1;
    bool extended = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--extended") == 0) {
            extended = true;
            continue;
        }
        if (!argument(i, argc, argv, "--read", readBytes) && !argument(i, argc, argv, "--s19", s19Bytes) &&
            !argument(i, argc, argv, "--eeprom", eepromBytes) && !argument(i, argc, argv, "--speed", speed)) {
            std::fprintf(stderr, "usage: bench_engine [--read BYTES] [--s19 BYTES] [--eeprom BYTES] [--speed N] "
                                 "[--extended]\n");
            return 1;
        }
    }
    const auto readCount = static_cast<uint32_t>(std::clamp(readBytes, 0.0, 65536.0));
    const auto s19Count = static_cast<uint32_t>(std::clamp(s19Bytes, 0.0, 8192.0));
    const auto eepromCount = static_cast<uint32_t>(std::clamp(eepromBytes, 0.0, 512.0));

    VirtualBoardOptions options;
    options.speed = speed;
    VirtualBoard board(options);
    std::string error;
    if (!board.start(&error)) {
        std::fprintf(stderr, "bench_engine: cannot start the virtual board: %s\n", error.c_str());
        return 1;
    }
    SerialPort port;
    TalkerLink link(port);
    TargetMemory memory(link);
    DebugEngine engine(link, memory);
    port.readWaitMs = 200;
    // The plain figures: the plain protocol at 9600 baud, whatever talker file it is.
    engine.fastLine = false;
    engine.extendedMode = false;
    board.pressReset();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    // Special test mode reaches the external RAM; the EEPROM is switched on for its programming.
    TalkerStatus status = engine.startTalker(board.devicePath(), TalkerType::Ram, TARVIK11_TALKER_FILE, ChipMode::SpecialTest, 1);
    if (status == kTalkerNoResponse) {
        std::printf("talker start-up lost its first command; finishing the start-up by hand\n");
        status = finishStartUp(link, memory);
    }
    if (status) {
        std::fprintf(stderr, "bench_engine: talker start-up failed: %s\n", talkerStatusText(status));
        return fail();
    }
    std::printf("virtual board at %s real time, 9600 baud\n", speed == 0 ? "max" : std::to_string(speed).c_str());

    double plainReadSeconds = 0;
    if (readCount > 0) {
        std::vector<uint8_t> buffer(readCount);
        const auto start = std::chrono::steady_clock::now();
        if (TalkerStatus s = memory.readBlock(0, readCount, buffer.data())) {
            std::fprintf(stderr, "bench_engine: memory read failed: %s\n", talkerStatusText(s));
            return fail();
        }
        plainReadSeconds = secondsSince(start);
        printRatio(("memory read " + std::to_string(readCount) + " bytes").c_str(), plainReadSeconds,
                   readBlockBytes(readCount), 0);
    }

    if (s19Count > 0) {
        const std::vector<std::string> files = writeS19Files(s19Count);
        uint64_t wire = 0;
        for (uint32_t r = 0; r < s19Count; r += kRecordBytes) {
            const uint32_t n = std::min(kRecordBytes, s19Count - r);
            wire += writeCommandBytes(n) + readCommandBytes(n); // load, then verify
        }
        const auto start = std::chrono::steady_clock::now();
        for (const std::string& path : files) {
            TalkerStatus s = engine.loadS19(path);
            if (s == kTalkerOk)
                s = engine.verifyS19(path);
            if (s) {
                std::fprintf(stderr, "bench_engine: S19 load failed: %s\n", talkerStatusText(s));
                return fail();
            }
        }
        const double seconds = secondsSince(start);
        for (const std::string& path : files)
            ::unlink(path.c_str());
        printRatio(("S19 load and verify " + std::to_string(s19Count) + " bytes").c_str(), seconds, wire, 0);
    }

    if (eepromCount > 0) {
        std::vector<uint8_t> data(eepromCount);
        for (uint32_t i = 0; i < eepromCount; ++i)
            data[i] = static_cast<uint8_t>(i * 7 + 3);
        const uint32_t last = kEepromStart + eepromCount - 1;
        const uint32_t pulses = erasePulses(kEepromStart, last) + eepromCount;
        const uint64_t wire = pulses * kPulseBytes + eepromCount * readCommandBytes(1);
        const double waits = pulses * memory.programDelayMs / 1000.0;
        const auto start = std::chrono::steady_clock::now();
        if (TalkerStatus s = memory.writeBlock(kEepromStart, eepromCount, data.data())) {
            std::fprintf(stderr, "bench_engine: EEPROM programming failed: %s\n", talkerStatusText(s));
            return fail();
        }
        const double seconds = secondsSince(start);
        std::vector<uint8_t> check(eepromCount);
        if (memory.readBlock(kEepromStart, eepromCount, check.data()) != kTalkerOk || check != data) {
            std::fprintf(stderr, "bench_engine: the EEPROM does not hold what was programmed\n");
            return fail();
        }
        printRatio(("EEPROM programming " + std::to_string(eepromCount) + " bytes").c_str(), seconds, wire, waits);
    }
    if (extended)
        return runExtended(board, engine, link, memory, readCount, eepromCount, plainReadSeconds);
    return 0;
}
