#include "link/BoardWiring.h"

#include "link/ByteChannel.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

namespace {

constexpr std::array<uint32_t, 11> kClassicRates{300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400};

uint32_t hostRate(uint32_t chipRate) {
    for (uint32_t classic : kClassicRates)
        if (std::fabs(double(chipRate) - double(classic)) <= 0.005 * classic)
            return classic;
    return chipRate;
}

std::string lowerCase(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

ModemLine modemLine(ResetLine line) { return line == ResetLine::Rts ? ModemLine::Rts : ModemLine::Dtr; }

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

} // namespace

LineRates hostRatesFor(uint32_t crystalHz) {
    return {hostRate(bootRate(crystalHz)), hostRate(talkerRate(crystalHz)), hostRate(fastRate(crystalHz))};
}

std::optional<uint32_t> crystalFromMhzText(const std::string& text) {
    // Digits with at most one point and at most six decimals: a crystal is given to the hertz.
    size_t digits = 0, point = std::string::npos;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '.' && point == std::string::npos)
            point = i;
        else if (text[i] >= '0' && text[i] <= '9')
            ++digits;
        else
            return std::nullopt;
    }
    if (digits == 0 || digits > 9 || (point != std::string::npos && text.size() - point - 1 > 6))
        return std::nullopt;
    uint64_t hz = 0;
    int decimals = -1;
    for (char c : text) {
        if (c == '.') {
            decimals = 0;
            continue;
        }
        hz = hz * 10 + uint64_t(c - '0');
        if (decimals >= 0)
            ++decimals;
    }
    for (int i = decimals < 0 ? 0 : decimals; i < 6; ++i)
        hz *= 10;
    if (hz < kMinCrystalHz || hz > kMaxCrystalHz)
        return std::nullopt;
    return static_cast<uint32_t>(hz);
}

std::string crystalMhzText(uint32_t crystalHz) {
    std::string text = std::to_string(crystalHz / 1'000'000);
    uint32_t fraction = crystalHz % 1'000'000;
    if (fraction == 0)
        return text;
    std::string decimals = std::to_string(fraction);
    decimals.insert(0, 6 - decimals.size(), '0');
    while (decimals.back() == '0')
        decimals.pop_back();
    return text + "." + decimals;
}

std::optional<ResetPulse> resetPulseFromText(const std::string& text) {
    const std::string t = lowerCase(text);
    if (t == "none")
        return ResetPulse{};
    for (ResetLine line : {ResetLine::Dtr, ResetLine::Rts}) {
        const std::string name = lowerCase(resetLineName(line));
        if (t == name)
            return ResetPulse{line, true};
        if (t == name + "-inverted")
            return ResetPulse{line, false};
    }
    return std::nullopt;
}

std::string resetPulseText(const ResetPulse& pulse) {
    if (pulse.line == ResetLine::None)
        return "none";
    return lowerCase(resetLineName(pulse.line)) + (pulse.assertResets ? "" : "-inverted");
}

std::string resetLineName(ResetLine line) {
    switch (line) {
    case ResetLine::Dtr:
        return "DTR";
    case ResetLine::Rts:
        return "RTS";
    case ResetLine::None:
        break;
    }
    return {};
}

int holdResetIdle(ByteChannel& channel, const ResetPulse& pulse) {
    if (pulse.line == ResetLine::None)
        return 0;
    return channel.setModemLine(modemLine(pulse.line), !pulse.assertResets);
}

int pulseReset(ByteChannel& channel, const ResetPulse& pulse) {
    if (pulse.line == ResetLine::None)
        return 0;
    const ModemLine line = modemLine(pulse.line);
    if (const int error = channel.setModemLine(line, !pulse.assertResets))
        return error;
    if (const int error = channel.setModemLine(line, pulse.assertResets))
        return error;
    sleepMs(kResetPulseMs);
    if (const int error = channel.setModemLine(line, !pulse.assertResets))
        return error;
    sleepMs(kAfterResetPulseMs);
    uint8_t scrap[64];
    while (channel.hasInput() && channel.read(scrap, sizeof scrap) > 0) {
    }
    return 0;
}
