#pragma once
#include "link/TalkerStatus.h"
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One S1 record with data: its address, its bytes and the file line it came from.
struct S19Record {
    uint32_t address = 0;
    uint8_t dataLength = 0;    // data.size(), 1 to 252
    std::vector<uint8_t> data;
    uint32_t line = 0;         // 1 for the file's first line
};

// Reads the records of an S19 file, one record a line (LF, CR-LF or CR ends a line; blank lines
// and trailing blanks are skipped). Every other line must be a whole record: an upper-case "S", its
// type, the count, the address, the data and the checksum, all in hexadecimal digits, the count
// naming exactly the bytes on the line and the checksum matching them. S1 records carry the data;
// S9 gives the end (start) address, S0 headers and S5 record counts are taken and skipped; 24- and
// 32-bit records (S2, S3, S7, S8) have no place in a 16-bit address space. A file that breaks any
// of this, holds no data, or more data than the 64 KB address space, is refused whole, with the
// line and what is wrong in problem().
class S19Reader {
public:
    // Largest file accepted, in bytes: 64 KB of data in one-byte records with CR-LF line ends take
    // under 1 MB, so a larger file holds mostly what is not data.
    static constexpr size_t kMaxFileSize = 4u << 20;
    // Most data bytes a file may hold: the whole address space.
    static constexpr uint64_t kMaxDataBytes = 0x10000;

    // Reads and parses the whole file: 16 when it cannot be opened or is no regular file, 17 when it is too large or
    // malformed, 9 when it cannot be read whole. On 0, records() holds every data record.
    [[nodiscard]] TalkerStatus readFile(const std::string& path);
    // Parses text: 0, or 17 for a malformed file (records() then empty, problem() says why).
    [[nodiscard]] TalkerStatus parse(const std::string& text);
    // The data records of the last successful read, in file order.
    const std::vector<S19Record>& records() const { return records_; }
    // The address of the file's first S1 or S9 record (where a program loaded from it starts).
    uint32_t firstAddress() const { return firstAddress_; }
    // The number of data bytes in those records.
    uint64_t dataBytes() const;
    // What is wrong with the file last refused ("line 3: ..."); empty after a success.
    const std::string& problem() const { return problem_; }

private:
    TalkerStatus refuse(std::string problem);
    // Checks one line (without its line end) and takes its record; false with problem_ set.
    bool takeLine(const std::string& text, size_t begin, size_t end, uint32_t line, uint64_t& dataBytes,
                  bool& haveFirst);

    std::vector<S19Record> records_;
    uint32_t firstAddress_ = 0;
    std::string problem_;
};
