#include "sim/FaultRule.h"
#include <charconv>
#include <cstdio>
#include <cstdlib>

namespace {
constexpr std::array<std::string_view, kFaultKindCount> kKindNames{
    "drop", "garble", "duplicate", "delay", "outage", "reset"};
constexpr std::array<std::string_view, 3> kDirectionNames{"to-board", "to-host", "both"};
constexpr uint32_t kMaxMs = 600000;

bool parseCount(std::string_view text, uint64_t* value) {
    if (text.empty())
        return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return ec == std::errc() && end == text.data() + text.size() && *value > 0;
}

bool parseProbability(std::string_view text, double* value) {
    if (text.empty() || text.size() > 32)
        return false;
    const std::string copy(text);
    char* end = nullptr;
    const double v = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size() || !(v > 0) || v > 1)
        return false;
    *value = v;
    return true;
}

bool fail(std::string* error, std::string_view text, const std::string& reason) {
    if (error)
        *error = "bad fault '" + std::string(text) + "': " + reason;
    return false;
}
} // namespace

std::string_view faultKindName(FaultKind kind) { return kKindNames[size_t(kind)]; }

bool FaultRule::parse(std::string_view text, FaultRule* spec, std::string* error) {
    FaultRule s;
    const size_t comma = text.find(',');
    const std::string_view kindText = text.substr(0, comma);
    bool known = false;
    for (size_t i = 0; i < kKindNames.size(); ++i) {
        if (kKindNames[i] == kindText) {
            s.kind = FaultKind(i);
            known = true;
        }
    }
    if (!known)
        return fail(error, text, "unknown kind '" + std::string(kindText) +
                                     "' (drop, garble, duplicate, delay, outage or reset)");
    std::string seen; // one letter per key already given
    std::string_view rest = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    if (comma != std::string_view::npos && rest.empty())
        return fail(error, text, "empty setting after ','");
    while (!rest.empty()) {
        const size_t next = rest.find(',');
        const std::string_view item = rest.substr(0, next);
        rest = next == std::string_view::npos ? std::string_view() : rest.substr(next + 1);
        if (next != std::string_view::npos && rest.empty())
            return fail(error, text, "empty setting after ','");
        const size_t eq = item.find('=');
        if (eq == std::string_view::npos)
            return fail(error, text, "'" + std::string(item) + "' is not key=value");
        const std::string_view key = item.substr(0, eq);
        const std::string_view value = item.substr(eq + 1);
        const std::string keyText(key);
        if (seen.find("|" + keyText + "|") != std::string::npos)
            return fail(error, text, keyText + " given twice");
        seen += "|" + keyText + "|";
        const std::string bad = "bad " + keyText + " '" + std::string(value) + "'";
        if (key == "p") {
            if (!parseProbability(value, &s.probability))
                return fail(error, text, bad + " (a probability above 0, at most 1)");
        } else if (key == "after") {
            if (!parseCount(value, &s.after))
                return fail(error, text, bad + " (a byte count of at least 1)");
        } else if (key == "every") {
            if (!parseCount(value, &s.every))
                return fail(error, text, bad + " (a byte count of at least 1)");
        } else if (key == "count") {
            if (!parseCount(value, &s.limit))
                return fail(error, text, bad + " (at least 1)");
        } else if (key == "ms") {
            uint64_t ms = 0;
            if (!parseCount(value, &ms) || ms > kMaxMs)
                return fail(error, text, bad + " (1 to 600000 milliseconds)");
            s.ms = uint32_t(ms);
        } else if (key == "dir") {
            bool ok = false;
            for (size_t i = 0; i < kDirectionNames.size(); ++i) {
                if (kDirectionNames[i] == value) {
                    s.direction = FaultDirection(i);
                    ok = true;
                }
            }
            if (!ok)
                return fail(error, text, bad + " (to-board, to-host or both)");
        } else {
            return fail(error, text, "unknown setting '" + keyText + "' (p, after, every, count, ms, dir)");
        }
    }
    const int triggers = (s.probability > 0) + (s.after > 0) + (s.every > 0);
    if (triggers != 1)
        return fail(error, text, "give exactly one of p=, after= and every=");
    const bool timed = s.kind == FaultKind::Delay || s.kind == FaultKind::Outage;
    if (timed && s.ms == 0)
        return fail(error, text, std::string(faultKindName(s.kind)) + " needs ms=");
    if (!timed && s.ms != 0)
        return fail(error, text, std::string(faultKindName(s.kind)) + " takes no ms=");
    *spec = s;
    return true;
}

std::string FaultRule::text() const {
    std::string out(faultKindName(kind));
    char buffer[64];
    if (probability > 0) {
        std::snprintf(buffer, sizeof buffer, ",p=%.12g", probability);
        out += buffer;
    }
    if (after > 0)
        out += ",after=" + std::to_string(after);
    if (every > 0)
        out += ",every=" + std::to_string(every);
    if (ms > 0)
        out += ",ms=" + std::to_string(ms);
    if (limit > 0)
        out += ",count=" + std::to_string(limit);
    if (direction != FaultDirection::Both)
        out += ",dir=" + std::string(kDirectionNames[size_t(direction)]);
    return out;
}
