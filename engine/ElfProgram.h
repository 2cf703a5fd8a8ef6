#pragma once
#include "engine/S19Reader.h"
#include "engine/SourceLines.h"
#include "link/TalkerStatus.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// A 68HC11 program as the GNU linker writes it (ELF, 32-bit, big-endian, machine 68HC11), read
// with elfutils: the bytes to load as S19 records (the contents of its allocated sections at their
// load addresses), its entry point, its symbols and its DWARF line table.
//
// Loaded are the allocated sections with contents, not the loadable segments whole: the linker
// pages a segment, so the first one usually starts with the file's own headers, which no program
// wants written into the target. A file without section headers falls back to its segments'
// file bytes. Every address must lie in $0000-$FFFF.
class ElfProgram {
public:
    // Largest file read, in bytes.
    static constexpr long long kMaxFileBytes = 16LL * 1024 * 1024;
    // Data bytes per record made from a section.
    static constexpr uint8_t kRecordBytes = 64;

    // True when the file at path starts with the ELF magic (a readable file of any kind).
    static bool isElfFile(const std::string& path);

    // Reads the program at path: 0, or 16 when it cannot be opened or is no regular file, 9 when
    // it cannot be read whole, 17 when it is no 68HC11 program or is damaged (error() says what).
    // Nothing of a failed read is kept.
    [[nodiscard]] TalkerStatus readFile(const std::string& path);
    // Reads the program from bytes already in memory (path only names it in messages).
    [[nodiscard]] TalkerStatus parse(const std::vector<char>& image, const std::string& path);

    // What went wrong with the last read (empty after a good one).
    const std::string& error() const { return error_; }
    // The records to load, in address order within each section.
    const std::vector<S19Record>& records() const { return records_; }
    // The program's entry point.
    uint16_t entry() const { return entry_; }
    // The symbols: address and name (undefined, absolute and file symbols left out).
    const std::vector<std::pair<uint64_t, std::string>>& symbols() const { return symbols_; }
    // The line table (empty when the program carries none).
    const SourceLines& lines() const { return lines_; }

private:
    TalkerStatus fail(const std::string& why);
    void clear();

    std::string error_;
    std::vector<S19Record> records_;
    uint16_t entry_ = 0;
    std::vector<std::pair<uint64_t, std::string>> symbols_;
    SourceLines lines_;
};
