#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A place in a program's source: a file of the table and a line in it (from 1).
struct SourcePlace {
    std::string file; // the path as the line table names it (with its compilation folder)
    uint32_t line = 0;
    bool operator==(const SourcePlace&) const = default;
};

// A program's line table: which source line each address's code comes from, and back. Rows come
// in sequences as the assembler wrote them; a row covers the addresses from its own up to the next
// row's, and a sequence's end row covers none.
class SourceLines {
public:
    // One row of the table.
    struct Row {
        uint32_t address = 0;     // up to $10000 for the end of a sequence that ends at $FFFF
        uint32_t file = 0;        // index into files()
        uint32_t line = 0;
        bool statement = true;    // a recommended place for a breakpoint
        bool endSequence = false; // the first address after a sequence
    };

    // Adds a source file; its index.
    uint32_t addFile(const std::string& path);
    // Adds a row (rows of one sequence in address order, each sequence closed by an end row).
    void addRow(const Row& row) { rows_.push_back(row); }
    void clear();

    bool empty() const { return rows_.empty(); }
    const std::vector<std::string>& files() const { return files_; }
    const std::vector<Row>& rows() const { return rows_; }

    // The source line whose code holds address, or nothing outside every sequence.
    std::optional<SourcePlace> placeOf(uint32_t address) const;
    // True when address starts a statement row: a line's code begins there.
    bool startsLine(uint32_t address) const;
    // The file of the table that name means: the same path, else the one whose path ends in
    // "/" + name (or is name); nothing when none or more than one does.
    std::optional<uint32_t> fileNamed(std::string_view name) const;
    // Where a breakpoint on line of file goes: the lowest address of the first line at or after
    // line (in that file) that has code, with that line; nothing when no line from there has code.
    std::optional<std::pair<uint16_t, uint32_t>> codeAtOrAfter(uint32_t file, uint32_t line) const;

private:
    std::vector<std::string> files_;
    std::vector<Row> rows_;
};
