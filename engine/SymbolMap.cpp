#include "engine/SymbolMap.h"

#include "engine/ListingPath.h"
#include "link/NumberParse.h"

#include <array>
#include <cctype>

namespace {

constexpr size_t kMaxNameLength = 128;

// Names the GNU linker defines for its own bookkeeping; "__" names are all its own too.
constexpr std::array<std::string_view, 5> kLinkerNames = {"_etext", "_edata", "_end", "_stack", "_data_image"};

// Sections of a linker map whose symbols are no program addresses.
constexpr std::array<std::string_view, 5> kForeignSections = {".debug", ".comment", ".stab", ".note", ".gnu"};

std::vector<std::string_view> words(std::string_view line)
{
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < line.size() && out.size() < 8) {
        while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i])))
            ++i;
        const size_t start = i;
        while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i])))
            ++i;
        if (i > start)
            out.push_back(line.substr(start, i - start));
    }
    return out;
}

// The value of 1 to 16 hex digits, or nothing.
std::optional<uint64_t> hexValue(std::string_view digits)
{
    if (digits.empty() || digits.size() > 16)
        return std::nullopt;
    uint64_t value = 0;
    for (char c : digits) {
        const int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                      : (c >= 'a' && c <= 'f')                   ? c - 'a' + 10
                      : (c >= 'A' && c <= 'F')                   ? c - 'A' + 10
                                                                 : -1;
        if (d < 0)
            return std::nullopt;
        value = value << 4 | static_cast<uint64_t>(d);
    }
    return value;
}

bool usableName(std::string_view name)
{
    if (name.empty() || name.size() > kMaxNameLength || std::isdigit(static_cast<unsigned char>(name[0])))
        return false;
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '.' && c != '$')
            return false;
    if (name.starts_with("__"))
        return false;
    // A name that reads as a number ("$c000") would stand for another address wherever it is
    // shown or typed. Bare hex-digit words ("add", "dead") stay names: addresses are always shown
    // with their "$".
    if (readTypedNumber(std::string(name), NumberBase::Decimal, 0xFFFFFFFFu).problem != NumberProblem::NotANumber)
        return false;
    for (std::string_view internal : kLinkerNames)
        if (name == internal)
            return false;
    return true;
}

// nm symbol types that stand for a place in the program: text, data, bss, read-only, small data
// and weak symbols. Absolute ('A'), undefined and debugging symbols are no places.
bool placeType(std::string_view type)
{
    if (type.size() != 1)
        return false;
    const char t = static_cast<char>(std::tolower(static_cast<unsigned char>(type[0])));
    return t == 't' || t == 'd' || t == 'b' || t == 'r' || t == 'g' || t == 's' || t == 'w' || t == 'v';
}

} // namespace

bool SymbolMap::load(const std::string& path)
{
    clear();
    // Line by line, as the file is read: only the symbols are kept, never the file's lines.
    bool inLinkerSection = false;
    if (!forEachListingLine(path, [&](std::string_view line) { parseLine(line, inLinkerSection); }) || empty()) {
        clear();
        return false;
    }
    path_ = path;
    return true;
}

size_t SymbolMap::parse(const std::vector<std::string>& lines)
{
    clear();
    bool inLinkerSection = false; // inside an output section of a linker map that holds program addresses
    for (const std::string& text : lines)
        parseLine(text, inLinkerSection);
    return byName_.size();
}

void SymbolMap::parseLine(std::string_view line, bool& inLinkerSection)
{
    const std::vector<std::string_view> w = words(line);
    if (w.empty())
        return;
    bool taken = false;
    if (line[0] == '.') {
        // An output section of a linker map starts at the line's first column.
        inLinkerSection = true;
        for (std::string_view foreign : kForeignSections)
            if (w[0].starts_with(foreign))
                inLinkerSection = false;
        return;
    }
    if (w.size() == 3 && placeType(w[1])) {
        if (const auto address = hexValue(w[0]))
            taken = add(*address, w[2]);
    } else if (w.size() == 2 && inLinkerSection && std::isspace(static_cast<unsigned char>(line[0])) &&
               w[0].starts_with("0x")) {
        if (const auto address = hexValue(w[0].substr(2)))
            taken = add(*address, w[1]);
    }
    if (!taken)
        ++skipped_;
}

void SymbolMap::clear()
{
    byAddress_.clear();
    byName_.clear();
    skipped_ = 0;
    dropped_ = 0;
    path_.clear();
}

size_t SymbolMap::assign(const std::vector<std::pair<uint64_t, std::string>>& symbols, const std::string& path)
{
    clear();
    for (const auto& [address, name] : symbols)
        (void)add(address, name);
    path_ = path;
    return byName_.size();
}

bool SymbolMap::add(uint64_t address, std::string_view name)
{
    if (address > 0xFFFF || !usableName(name))
        return false;
    if (byName_.size() >= kMaxSymbols && !byName_.contains(std::string(name))) {
        ++dropped_;
        return true;
    }
    const auto at = static_cast<uint16_t>(address);
    byName_.emplace(std::string(name), at); // keeps the first definition
    auto [it, inserted] = byAddress_.emplace(at, std::string(name));
    if (!inserted && it->second.starts_with('_') && !name.starts_with('_'))
        it->second = std::string(name);
    return true;
}

std::optional<std::string_view> SymbolMap::nameAt(uint16_t address) const
{
    const auto it = byAddress_.find(address);
    if (it == byAddress_.end())
        return std::nullopt;
    return std::string_view(it->second);
}

std::optional<uint16_t> SymbolMap::addressOf(std::string_view name) const
{
    const auto it = byName_.find(std::string(name));
    if (it == byName_.end())
        return std::nullopt;
    return it->second;
}

std::optional<uint16_t> SymbolMap::symbolAtOrBefore(uint16_t address, uint16_t maxDistance) const
{
    auto it = byAddress_.upper_bound(address);
    if (it == byAddress_.begin())
        return std::nullopt;
    --it;
    if (static_cast<uint16_t>(address - it->first) > maxDistance)
        return std::nullopt;
    return it->first;
}

std::string symbolMapPathFor(const std::string& s19Path)
{
    const std::string listing = listingPathFor(s19Path);
    return listing.substr(0, listing.size() - 4) + ".map";
}
