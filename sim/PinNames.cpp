#include "sim/PinNames.h"
#include "sim/LineSettings.h"
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace {
constexpr double kMaxPinVolts = 5.5;
// The longest time a file or command may name: about 24 hours of board time.
constexpr double kMaxSeconds = 86400.0;

std::string lower(std::string_view text) {
    std::string s(text);
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool parseDecimal(std::string_view text, double* value) {
    if (text.empty() || text.size() > 32)
        return false;
    const std::string s(text);
    if (!std::isdigit(static_cast<unsigned char>(s[0])) && s[0] != '.')
        return false;
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (*end != '\0' || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

bool parseByteText(std::string_view text, uint8_t* value) {
    int base = 10;
    if (text.size() > 1 && text[0] == '$') {
        text.remove_prefix(1);
        base = 16;
    } else if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    unsigned v = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v, base);
    if (ec != std::errc() || ptr != text.data() + text.size() || text.empty() || v > 0xFF)
        return false;
    *value = uint8_t(v);
    return true;
}

} // namespace

bool parsePinByte(std::string_view text, uint8_t* value) { return parseByteText(text, value); }

namespace {
constexpr struct {
    std::string_view prefix;
    PinGroup group;
} kPorts[] = {{"pa", PinGroup::PortA}, {"pb", PinGroup::PortB}, {"pc", PinGroup::PortC},
              {"pd", PinGroup::PortD}, {"pe", PinGroup::PortE}};
} // namespace

int portPinCount(PinGroup group) {
    switch (group) {
    case PinGroup::PortD: return 6;
    case PinGroup::Stra:
    case PinGroup::Irq:
    case PinGroup::Xirq: return 1;
    default: return 8;
    }
}

std::optional<PinName> parsePinName(std::string_view text) {
    const std::string s = lower(text);
    if (s == "irq")
        return PinName{PinGroup::Irq, 0};
    if (s == "xirq")
        return PinName{PinGroup::Xirq, 0};
    if (s == "stra")
        return PinName{PinGroup::Stra, 0};
    if (s.size() != 3)
        return std::nullopt;
    for (const auto& port : kPorts) {
        if (s.compare(0, 2, port.prefix) != 0 || s[2] < '0' || s[2] > '7')
            continue;
        const int bit = s[2] - '0';
        if (bit >= portPinCount(port.group))
            return std::nullopt;
        return PinName{port.group, uint8_t(bit)};
    }
    return std::nullopt;
}

std::string pinNameText(PinName pin) {
    switch (pin.group) {
    case PinGroup::Irq: return "IRQ";
    case PinGroup::Xirq: return "XIRQ";
    case PinGroup::Stra: return "STRA";
    default: break;
    }
    std::string s = "P";
    s += char('A' + int(pin.group) - int(PinGroup::PortA));
    s += char('0' + pin.bit);
    return s;
}

bool pinTakesInput(PinName pin) {
    if (pin.group == PinGroup::PortB)
        return false;
    return !(pin.group == PinGroup::PortA && pin.bit >= 4 && pin.bit <= 6);
}

bool parsePinTime(std::string_view text, uint64_t* cycles, std::string* error) {
    const std::string s = lower(text);
    struct Unit {
        std::string_view suffix;
        double seconds;
    };
    constexpr Unit kUnits[] = {{"us", 1e-6}, {"ms", 1e-3}, {"s", 1.0}};
    for (const Unit& u : kUnits) {
        if (s.size() <= u.suffix.size() || s.compare(s.size() - u.suffix.size(), u.suffix.size(), u.suffix) != 0)
            continue;
        double v = 0;
        if (!parseDecimal(std::string_view(s).substr(0, s.size() - u.suffix.size()), &v)) {
            *error = "'" + std::string(text) + "' is not a time (cycles, or a number with us, ms or s)";
            return false;
        }
        if (v * u.seconds > kMaxSeconds) {
            *error = "the time '" + std::string(text) + "' is too long";
            return false;
        }
        *cycles = uint64_t(std::llround(v * u.seconds * kEClockHz));
        return true;
    }
    uint64_t v = 0;
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc() || ptr != s.data() + s.size()) {
        *error = "'" + std::string(text) + "' is not a time (cycles, or a number with us, ms or s)";
        return false;
    }
    if (double(v) > kMaxSeconds * kEClockHz) {
        *error = "the time '" + std::string(text) + "' is too long";
        return false;
    }
    *cycles = v;
    return true;
}

bool voltsToValue(double volts, const AnalogReference& ref, uint8_t* value, std::string* error) {
    if (!(volts >= 0) || volts > kMaxPinVolts) {
        *error = "a pin takes 0 to 5.5 volts";
        return false;
    }
    const double scaled = std::round(255.0 * (volts - ref.vrl) / (ref.vrh - ref.vrl));
    *value = uint8_t(std::clamp(scaled, 0.0, 255.0));
    return true;
}

std::vector<std::string_view> splitWords(std::string_view line) {
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i])))
            ++i;
        const size_t start = i;
        while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i])))
            ++i;
        if (i > start)
            words.push_back(line.substr(start, i - start));
    }
    return words;
}

bool parsePinSetting(PinName pin, const std::vector<std::string_view>& words, const AnalogReference& ref,
                     PinSetting* setting, std::string* error) {
    const std::string name = pinNameText(pin);
    if (!pinTakesInput(pin)) {
        *error = name + " is an output only";
        return false;
    }
    if (words.empty()) {
        *error = name + " needs a value";
        return false;
    }
    const std::string word = lower(words[0]);
    const bool analog = pin.group == PinGroup::PortE;
    setting->events.clear();
    setting->word = LevelWord::Plain;
    setting->pulse = false;
    auto level = [&](bool high) {
        if (analog)
            setting->events.push_back({0, PinDrive::Analog, pin, uint8_t(high ? 0xFF : 0x00)});
        else
            setting->events.push_back({0, PinDrive::Level, pin, uint8_t(high)});
    };
    if (word == "pulse") {
        uint64_t width = 0;
        if (words.size() != 2) {
            *error = "pulse takes one width (cycles, or a number with us, ms or s)";
            return false;
        }
        if (!parsePinTime(words[1], &width, error))
            return false;
        if (width == 0) {
            *error = "a pulse lasts at least one E cycle";
            return false;
        }
        setting->pulse = true;
        level(true);
        level(false);
        setting->events[1].at = width;
        return true;
    }
    if (words.size() != 1) {
        *error = "one value after " + name + ", not " + std::to_string(words.size());
        return false;
    }
    if (word == "high" || word == "rise" || (!analog && word == "1")) {
        setting->word = word == "rise" ? LevelWord::Rise : LevelWord::Plain;
        level(true);
        return true;
    }
    if (word == "low" || word == "fall" || (!analog && word == "0")) {
        setting->word = word == "fall" ? LevelWord::Fall : LevelWord::Plain;
        level(false);
        return true;
    }
    if (!analog) {
        *error = "'" + std::string(words[0]) + "' is not a level for " + name + " (high, low, 1, 0, rise, fall, pulse)";
        return false;
    }
    uint8_t v = 0;
    if (word.size() > 1 && word.back() == 'v') {
        double volts = 0;
        if (!parseDecimal(std::string_view(word).substr(0, word.size() - 1), &volts)) {
            *error = "'" + std::string(words[0]) + "' is not a voltage";
            return false;
        }
        if (!voltsToValue(volts, ref, &v, error))
            return false;
    } else if (!parsePinByte(word, &v)) {
        *error = "'" + std::string(words[0]) + "' is not a value for " + name +
                 " (volts as 2.5v, 0-255, $00-$FF, high, low)";
        return false;
    }
    setting->events.push_back({0, PinDrive::Analog, pin, v});
    return true;
}

void invertPulse(PinSetting* setting) {
    for (PinEvent& e : setting->events)
        e.value = e.drive == PinDrive::Analog ? uint8_t(0xFF - e.value) : uint8_t(!e.value);
}

bool parseDrive(std::string_view target, const std::vector<std::string_view>& words, const AnalogReference& ref,
                PinSetting* setting, std::string* error) {
    setting->events.clear();
    setting->word = LevelWord::Plain;
    setting->pulse = false;
    if (lower(target) == "spi") {
        if (words.empty()) {
            *error = "spi needs the bytes the device returns";
            return false;
        }
        for (std::string_view w : words) {
            uint8_t v = 0;
            if (!parsePinByte(w, &v)) {
                *error = "'" + std::string(w) + "' is not a byte (0-255, $00-$FF)";
                return false;
            }
            setting->events.push_back({0, PinDrive::SpiByte, {}, v});
        }
        return true;
    }
    const auto pin = parsePinName(target);
    if (!pin) {
        *error = "unknown pin '" + std::string(target) + "' (PA0-PA7, PC0-PC7, PD0-PD5, PE0-PE7, STRA, IRQ, XIRQ or spi)";
        return false;
    }
    return parsePinSetting(*pin, words, ref, setting, error);
}
