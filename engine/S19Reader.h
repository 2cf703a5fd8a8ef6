#pragma once
#include "link/TalkerStatus.h"
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One S1 or S9 record: its address and data bytes.
struct S19Record {
    uint32_t address = 0;
    uint8_t dataLength = 0;            // count - 3, at most 252
    std::array<uint8_t, 252> data{};
};

// Reads the records of an S19 file: "S" type count address data checksum, in hexadecimal.
// Every uppercase "S" starts a record; only types 1 and 9 are accepted; the checksum is not checked,
// but the count must match the record's characters exactly: from the "S" to the line end (CR, LF
// or the end of the text) there are 4 + 2 x count characters, or the file is refused.
class S19Reader {
public:
    // Largest file accepted, in bytes.
    static constexpr size_t kMaxFileSize = 16384;

    // Reads and parses the whole file: 16 when it cannot be opened or is no regular file, 17 when it is too large or a
    // record is malformed, 9 when it cannot be read whole. On 0, records() holds every record.
    [[nodiscard]] TalkerStatus readFile(const std::string& path);
    // Parses text (ending at its first NUL): 0, or 17 for a malformed record (records() then empty).
    [[nodiscard]] TalkerStatus parse(const std::string& text);
    // The records of the last successful read, in file order.
    const std::vector<S19Record>& records() const { return records_; }
    // The number of data bytes in those records.
    uint64_t dataBytes() const;

private:
    std::vector<S19Record> records_;
};
