#include "session/MemoryWatch.h"
#include "engine/CommandTexts.h"

#include <sstream>

std::optional<MemoryWatch::Range> MemoryWatch::parse(const std::string& text, NumberBase base, std::string* why)
{
    std::istringstream words(text);
    std::string where, countText, extra;
    words >> where >> countText >> extra;
    auto refuse = [&](const std::string& reason) -> std::optional<Range> {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    if (where.empty())
        return refuse("Watch: give an address or symbol, and a byte count if not 8");
    if (!extra.empty())
        return refuse("Watch: '" + text + "' is more than an address and a byte count");
    Range range{where, kDefaultBytes};
    if (!countText.empty()) {
        const TypedNumber count = readTypedNumber(countText, base, kMaxBytes);
        if (count.problem != NumberProblem::None || count.value == 0)
            return refuse("Watch: the byte count takes 1 to 256, not '" + countText + "'");
        range.count = count.value;
    }
    return range;
}

std::string MemoryWatch::text(const Range& range)
{
    // The count in decimal with its own prefix, so that it reads back in any default base.
    return range.where + " #" + std::to_string(range.count);
}

void MemoryWatch::setRanges(std::vector<Range> ranges)
{
    ranges_ = std::move(ranges);
    looks_.assign(ranges_.size(), {});
}

void MemoryWatch::add(const Range& range)
{
    ranges_.push_back(range);
    looks_.resize(ranges_.size());
}

void MemoryWatch::remove(size_t index)
{
    if (index >= ranges_.size())
        return;
    ranges_.erase(ranges_.begin() + static_cast<std::ptrdiff_t>(index));
    looks_.erase(looks_.begin() + static_cast<std::ptrdiff_t>(index));
}

TalkerStatus MemoryWatch::look(DebugSession& session)
{
    TalkerStatus first = kTalkerOk;
    looks_.resize(ranges_.size());
    for (size_t i = 0; i < ranges_.size(); ++i) {
        const Range& range = ranges_[i];
        Look before = std::move(looks_[i]);
        Look& now = looks_[i] = Look{};
        std::string why;
        now.address = session.resolveAddress(range.where, &why);
        if (!now.address) {
            now.problem = why.empty() ? "'" + range.where + "' is no address or symbol of the program" : why;
            continue;
        }
        const CommandResult read = session.readBytes(*now.address, range.count, now.bytes);
        if (!read.ok()) {
            now.bytes.clear();
            now.problem = read.errorText();
            if (read.refusal.empty() && first == kTalkerOk)
                first = read.status;
            continue;
        }
        // Only a byte seen before at the same address can have changed.
        now.changed.assign(now.bytes.size(), false);
        if (before.address == now.address)
            for (size_t b = 0; b < now.bytes.size() && b < before.bytes.size(); ++b)
                now.changed[b] = now.bytes[b] != before.bytes[b];
    }
    return first;
}

CommandResult MemoryWatch::edit(DebugSession& session, size_t index, uint32_t offset, const std::string& byteText)
{
    CommandResult result;
    if (index >= ranges_.size() || index >= looks_.size() || !looks_[index].address ||
        offset >= ranges_[index].count) {
        result.refusal = "Watch: that byte is not shown";
        return result;
    }
    const uint32_t address = *looks_[index].address + offset;
    std::string value = byteText;
    if (!value.empty() && value[0] != '$' && value[0] != '%' && value[0] != '#')
        value = "$" + value;
    result = session.setMemory(CommandText::format("$%x", address), value);
    if (!result.ok())
        return result;
    // The byte shown is the one written; every watched copy of it follows, unmarked.
    const TypedNumber written = readTypedNumber(value, session.base(), kByteMax);
    for (size_t i = 0; i < looks_.size(); ++i) {
        Look& look = looks_[i];
        if (!look.address || address < *look.address || address - *look.address >= look.bytes.size())
            continue;
        look.bytes[address - *look.address] = static_cast<uint8_t>(written.value);
        look.changed[address - *look.address] = false;
    }
    return result;
}
