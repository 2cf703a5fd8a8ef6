#pragma once
#include "session/DebugSession.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A watch over a few ranges of target memory: each named by an address as the session reads one
// (a number in the project's notations, a symbol, FILE:LINE) and a byte count. Every look reads
// all of them through the session and tells which bytes changed since the look before; an edit
// writes one byte as the user's, as Set Memory does (EEPROM programmed, the talker's RAM and
// the address space's end refused, planted breakpoints kept). Front ends show it; they decide
// when to look.
class MemoryWatch {
public:
    // The bytes a range may span, and what a range names when no count is typed.
    static constexpr uint32_t kMaxBytes = 256;
    static constexpr uint32_t kDefaultBytes = 8;

    // A range as the user gave it.
    struct Range {
        std::string where;            // the address as typed (resolved at every look)
        uint32_t count = kDefaultBytes;
        bool operator==(const Range&) const = default;
    };
    // What the last look found for one range.
    struct Look {
        std::optional<uint32_t> address; // where it resolved (nothing: it did not)
        std::vector<uint8_t> bytes;      // empty when the read failed or did not happen
        std::vector<bool> changed;       // per byte: differs from the look before at that address
        std::string problem;             // why there are no bytes
    };

    // Reads "WHERE [COUNT]" (the count a number in base, 1..kMaxBytes); nothing, with why, for
    // text that is neither. The address is only checked when the range is looked at.
    static std::optional<Range> parse(const std::string& text, NumberBase base, std::string* why);
    // The text parse reads back as range.
    static std::string text(const Range& range);

    const std::vector<Range>& ranges() const { return ranges_; }
    // Replaces every range (what the last looks found is dropped).
    void setRanges(std::vector<Range> ranges);
    void add(const Range& range);
    // Removes range index (an index out of range does nothing).
    void remove(size_t index);

    // Resolves and reads every range through session. A range that does not resolve, or whose
    // read is refused or fails, keeps no bytes and says why; the first failing status is
    // returned (0 when every read succeeded or was only refused for its address).
    TalkerStatus look(DebugSession& session);
    // What the last look found, one entry per range.
    const std::vector<Look>& looks() const { return looks_; }

    // Writes byteText (a byte as typed in a hex editor: hexadecimal unless it carries its own
    // "$", "%" or "#") at offset of range index, as the user's byte. On success the look shows
    // the new byte, unmarked. A refusal or failure writes nothing and says why.
    CommandResult edit(DebugSession& session, size_t index, uint32_t offset, const std::string& byteText);

private:
    std::vector<Range> ranges_;
    std::vector<Look> looks_;
};
