#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

// The symbols of a program, as the tools that built it list them: address to name and name to
// address. Two formats are read, each line on its own: the `nm -n` listing our build writes beside
// every sample ("0000c000 t loops") and the symbol lines of a GNU ld map ("   0x000000000000c000
// loops" inside an output section). Absolute symbols (equates, sizes), linker-internal names, names
// that read as numbers and addresses beyond $FFFF are left out; a line that is neither format is skipped and counted.
class SymbolMap {
public:
    // Largest map file read, in bytes (a larger one is refused whole).
    static constexpr long long kMaxFileBytes = 16LL * 1024 * 1024;

    // Replaces the symbols with those of the file at path; false (and no symbols) when the file is
    // missing, not a regular file, larger than kMaxFileBytes or holds no symbol at all.
    bool load(const std::string& path);
    // Replaces the symbols with those of the given lines; the number of symbols taken.
    size_t parse(const std::vector<std::string>& lines);
    void clear();
    // Replaces the symbols with the given (address, name) pairs, under the same rules as a map
    // file's lines, remembering path as their source; the number of symbols taken.
    size_t assign(const std::vector<std::pair<uint64_t, std::string>>& symbols, const std::string& path);

    bool empty() const { return byName_.empty(); }
    // Distinct names taken.
    size_t size() const { return byName_.size(); }
    // Lines that were neither a symbol nor a line of the formats' framing.
    size_t skippedLines() const { return skipped_; }
    // Most distinct names kept; symbols past them are counted, not kept.
    static constexpr size_t kMaxSymbols = 65536;
    // Symbols left out because kMaxSymbols names were kept already.
    size_t droppedSymbols() const { return dropped_; }
    // The file the symbols came from (empty when parsed from lines or cleared).
    const std::string& path() const { return path_; }

    // The name shown for address: a name without a leading underscore before one with it, then
    // the first listed; nothing when no symbol is there.
    std::optional<std::string_view> nameAt(uint16_t address) const;
    // The address of name (the first definition when a name is listed twice), or nothing.
    std::optional<uint16_t> addressOf(std::string_view name) const;
    // The nearest symbol at or below address, no further than maxDistance bytes below it.
    std::optional<uint16_t> symbolAtOrBefore(uint16_t address, uint16_t maxDistance) const;

private:
    // Takes one symbol; false when the name is no usable label.
    bool add(uint64_t address, std::string_view name);
    // Takes one line of either format; inLinkerSection carries a linker map's section from line to line.
    void parseLine(std::string_view line, bool& inLinkerSection);

    std::map<uint16_t, std::string> byAddress_;
    std::unordered_map<std::string, uint16_t> byName_;
    size_t skipped_ = 0;
    size_t dropped_ = 0;
    std::string path_;
};

// The symbol map that belongs to an S19 file: the path without its extension, plus ".map" (only a
// dot in the file's own name starts an extension).
std::string symbolMapPathFor(const std::string& s19Path);
