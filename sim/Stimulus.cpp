#include "sim/Stimulus.h"
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

namespace {
// The longest file taken: far beyond any hand-written one, short of exhausting memory.
constexpr size_t kMaxEvents = 1'000'000;

std::string lower(std::string_view text) {
    std::string s(text);
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool parseReference(std::string_view text, double* volts) {
    const std::string s(text.size() > 1 && (text.back() == 'v' || text.back() == 'V') ? text.substr(0, text.size() - 1)
                                                                                         : text);
    if (s.empty() || (!std::isdigit(static_cast<unsigned char>(s[0])) && s[0] != '.'))
        return false;
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (*end != '\0' || !(v >= 0) || v > 5.5)
        return false;
    *volts = v;
    return true;
}

// The level a pin has before the file drives it.
bool initialLevel(PinName pin) {
    return pin.group == PinGroup::Irq || pin.group == PinGroup::Xirq || pin.group == PinGroup::PortD;
}
} // namespace

StimulusParseResult parseStimulus(std::string_view text, const std::string& fileName) {
    StimulusParseResult result;
    AnalogReference ref;
    bool eventsSeen = false;
    uint64_t last = 0;
    std::map<std::pair<int, int>, bool> levels; // (group, bit) -> level the file left
    size_t lineNumber = 0;
    auto fail = [&](const std::string& reason) {
        result.events.clear();
        result.error = fileName + ":" + std::to_string(lineNumber) + ": " + reason;
        return result;
    };
    while (!text.empty()) {
        ++lineNumber;
        const size_t feed = text.find('\n');
        std::string_view line = text.substr(0, feed);
        text = feed == std::string_view::npos ? std::string_view() : text.substr(feed + 1);
        if (const size_t hash = line.find('#'); hash != std::string_view::npos)
            line = line.substr(0, hash);
        const std::vector<std::string_view> words = splitWords(line);
        if (words.empty())
            continue;
        const std::string first = lower(words[0]);
        if (first == "vrh" || first == "vrl") {
            if (eventsSeen)
                return fail(first + " must come before the first event");
            double v = 0;
            if (words.size() != 2 || !parseReference(words[1], &v))
                return fail(first + " takes one voltage from 0 to 5.5");
            (first == "vrh" ? ref.vrh : ref.vrl) = v;
            if (ref.vrh <= ref.vrl && first == "vrh")
                return fail("VRH must be above VRL");
            continue;
        }
        // TIME TARGET VALUE...
        std::string_view timeText = words[0];
        const bool relative = timeText.front() == '+';
        if (relative)
            timeText.remove_prefix(1);
        uint64_t at = 0;
        std::string error;
        if (!parsePinTime(timeText, &at, &error))
            return fail(error);
        if (relative)
            at += last;
        else if (at < last)
            return fail("the time goes back (" + std::to_string(at) + " E cycles after " + std::to_string(last) + ")");
        if (words.size() < 2)
            return fail("a pin (or spi) must follow the time");
        if (ref.vrh <= ref.vrl)
            return fail("VRH must be above VRL");
        eventsSeen = true;
        last = at;
        const std::vector<std::string_view> values(words.begin() + 2, words.end());
        PinSetting setting;
        if (!parseDrive(words[1], values, ref, &setting, &error))
            return fail(error);
        if (setting.events[0].drive == PinDrive::SpiByte) {
            for (PinEvent e : setting.events) {
                e.at = at;
                result.events.push_back(e);
            }
            if (result.events.size() > kMaxEvents)
                return fail("more than " + std::to_string(kMaxEvents) + " events");
            continue;
        }
        const PinName pin = setting.events[0].pin;
        const auto key = std::make_pair(int(pin.group), int(pin.bit));
        const bool before = levels.count(key) ? levels[key] : initialLevel(pin);
        if (setting.word == LevelWord::Rise && before)
            return fail(pinNameText(pin) + " is already high: a rise needs it low");
        if (setting.word == LevelWord::Fall && !before)
            return fail(pinNameText(pin) + " is already low: a fall needs it high");
        if (setting.pulse && before)
            invertPulse(&setting);
        for (PinEvent e : setting.events) {
            e.at += at;
            result.events.push_back(e);
        }
        if (!setting.pulse) {
            const PinEvent& e = setting.events.back();
            levels[key] = e.drive == PinDrive::Level ? e.value != 0 : e.value >= 0x80;
        }
        if (result.events.size() > kMaxEvents)
            return fail("more than " + std::to_string(kMaxEvents) + " events");
    }
    std::stable_sort(result.events.begin(), result.events.end(),
                     [](const PinEvent& a, const PinEvent& b) { return a.at < b.at; });
    return result;
}

StimulusParseResult loadStimulusFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        StimulusParseResult r;
        r.error = path + ": cannot read the stimulus file: " + std::strerror(errno);
        return r;
    }
    std::ostringstream text;
    text << in.rdbuf();
    const std::string s = text.str();
    if (s.find('\0') != std::string::npos) {
        StimulusParseResult r;
        r.error = path + ": not a text file";
        return r;
    }
    return parseStimulus(s, path);
}
