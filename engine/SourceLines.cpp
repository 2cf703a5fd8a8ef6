#include "engine/SourceLines.h"

#include <algorithm>

uint32_t SourceLines::addFile(const std::string& path)
{
    const auto it = std::find(files_.begin(), files_.end(), path);
    if (it != files_.end())
        return static_cast<uint32_t>(it - files_.begin());
    files_.push_back(path);
    return static_cast<uint32_t>(files_.size() - 1);
}

void SourceLines::clear()
{
    files_.clear();
    rows_.clear();
}

std::optional<SourcePlace> SourceLines::placeOf(uint32_t address) const
{
    // Sequences may come in any order and may leave gaps: the row that holds the address is the
    // one with the highest address at or below it whose next row in its sequence lies above it.
    const Row* best = nullptr;
    for (size_t i = 0; i + 1 < rows_.size(); ++i) {
        const Row& r = rows_[i];
        if (r.endSequence || r.address > address || rows_[i + 1].address <= address)
            continue;
        if (!best || r.address >= best->address)
            best = &r;
    }
    if (!best || best->file >= files_.size())
        return std::nullopt;
    return SourcePlace{files_[best->file], best->line};
}

bool SourceLines::startsLine(uint32_t address) const
{
    return std::any_of(rows_.begin(), rows_.end(),
                       [&](const Row& r) { return !r.endSequence && r.statement && r.address == address; });
}

std::optional<uint32_t> SourceLines::fileNamed(std::string_view name) const
{
    if (name.empty())
        return std::nullopt;
    for (uint32_t i = 0; i < files_.size(); ++i)
        if (files_[i] == name)
            return i;
    std::optional<uint32_t> found;
    for (uint32_t i = 0; i < files_.size(); ++i) {
        const std::string& f = files_[i];
        const bool tail = f.size() > name.size() && f.ends_with(name) && f[f.size() - name.size() - 1] == '/';
        if (!tail)
            continue;
        if (found)
            return std::nullopt; // two files of that name: the user must say which
        found = i;
    }
    return found;
}

std::optional<std::pair<uint16_t, uint32_t>> SourceLines::codeAtOrAfter(uint32_t file, uint32_t line) const
{
    std::optional<std::pair<uint16_t, uint32_t>> best;
    for (const Row& r : rows_) {
        if (r.endSequence || !r.statement || r.file != file || r.line < line)
            continue;
        if (!best || r.line < best->second || (r.line == best->second && r.address < best->first))
            best = std::make_pair(r.address, r.line);
    }
    return best;
}
