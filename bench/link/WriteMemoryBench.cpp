// Time of one verified one-byte writeMemory against a talker model that answers at once over a
// pseudo-terminal, compared with the wire time of the same exchange at 9600 baud.
#include "PtyPair.h"
#include "link/SerialPort.h"
#include "link/TalkerLink.h"
#include "TalkerModel.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

// $41 echo, count, address high and low, data; $01 echo, count, address high and low, data.
constexpr int kBytesOnWire = 12;
constexpr double kBitsPerByte = 10.0;
constexpr double kBaud = 9600.0;

// 0 and the mean time in ms, or the number of the step that failed.
int measure(int readWaitMs, int rounds, double& meanMs) {
    PtyPair pty;
    if (!pty.valid())
        return 1;
    TalkerModel model(pty);
    SerialPort port;
    TalkerLink link(port);
    if (link.openPort(pty.modeText(9600)) != kTalkerOk)
        return 2;
    port.readWaitMs = readWaitMs;
    uint8_t value = 0;
    if (link.writeMemory(0x0100, 1, &value) != kTalkerOk) // warm-up
        return 3;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i) {
        value = static_cast<uint8_t>(i);
        if (link.writeMemory(0x0100 + static_cast<uint32_t>(i % 64), 1, &value) != kTalkerOk)
            return 4;
    }
    const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
    meanMs = elapsed.count() / rounds;
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::atoi(argv[1]) : 200;
    if (rounds < 1)
        rounds = 1;
    const double wireMs = kBytesOnWire * kBitsPerByte * 1000.0 / kBaud;
    std::printf("one verified one-byte writeMemory, %d rounds, pseudo-terminal at 9600 baud\n", rounds);
    std::printf("wire time (12 bytes x 10 bits / 9600 baud): %.2f ms\n", wireMs);
    std::printf("%-12s %12s %10s\n", "readWaitMs", "mean ms", "ratio");
    int failures = 0;
    // 20 ms is the default read wait; 5 ms shows how little the wait matters when replies are prompt.
    for (int readWaitMs : {5, 20}) {
        double meanMs = 0.0;
        if (int step = measure(readWaitMs, rounds, meanMs)) {
            std::printf("%-12d failed at step %d (a reply came later than one read wait; busy machine?)\n",
                        readWaitMs, step);
            ++failures;
            continue;
        }
        std::printf("%-12d %12.3f %10.3f\n", readWaitMs, meanMs, meanMs / wireMs);
    }
    return failures == 0 ? 0 : 1;
}
