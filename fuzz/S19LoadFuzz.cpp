#include "FuzzCheck.h"
#include "FuzzEntries.h"
#include "FuzzScratch.h"
#include "engine/S19Reader.h"

#include <array>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// A target that only records: 64 KB of memory and the list of writes in order.
struct RecordingTarget {
    std::array<uint8_t, 0x10000> memory{};
    struct Write {
        uint32_t address;
        uint32_t count;
    };
    std::vector<Write> writes;
    uint32_t startAddress = 0;

    void write(uint32_t address, uint32_t count, const uint8_t* data) {
        writes.push_back({address, count});
        for (uint32_t i = 0; i < count; ++i)
            memory[(address + i) & 0xFFFF] = data[i];
    }
};

// The load loop: the file's first S1 or S9 record gives the start address, every record is written.
void applyRecords(const S19Reader& reader, RecordingTarget& target) {
    target.startAddress = reader.firstAddress();
    for (const S19Record& r : reader.records())
        target.write(r.address, r.dataLength, r.data.data());
}

// Canonical S19 text for records (checksums computed, one record a line), with an S9 record
// (address 0) at the end when asked.
std::string toText(const std::vector<S19Record>& dataRecords, bool withEnd) {
    std::vector<S19Record> records = dataRecords;
    if (withEnd)
        records.emplace_back();
    std::string text;
    char hex[8];
    for (size_t n = 0; n < records.size(); ++n) {
        const S19Record& r = records[n];
        const bool end = withEnd && n + 1 == records.size();
        const unsigned count = r.dataLength + 3u;
        unsigned sum = count + (r.address >> 8) + (r.address & 0xFF);
        text += end ? "S9" : "S1";
        std::snprintf(hex, sizeof hex, "%02X", count);
        text += hex;
        char address[5];
        std::snprintf(address, sizeof address, "%04X", static_cast<unsigned>(r.address & 0xFFFF));
        text += address;
        for (size_t i = 0; i < r.dataLength; ++i) {
            std::snprintf(hex, sizeof hex, "%02X", r.data[i]);
            text += hex;
            sum += r.data[i];
        }
        std::snprintf(hex, sizeof hex, "%02X", ~sum & 0xFFu);
        text += hex;
        text += "\r\n";
    }
    return text;
}

bool sameRecords(const std::vector<S19Record>& a, const std::vector<S19Record>& b) {
    if (a.size() != b.size())
        return false;
    for (size_t n = 0; n < a.size(); ++n) {
        if (a[n].address != b[n].address || a[n].dataLength != b[n].dataLength)
            return false;
        for (size_t i = 0; i < a[n].dataLength; ++i)
            if (a[n].data[i] != b[n].data[i])
                return false;
    }
    return true;
}

} // namespace

int fuzzS19Load(const uint8_t* data, size_t size) {
    const std::string path = FuzzScratch::path("load.s19");
    if (!FuzzScratch::writeFile(path, data, size))
        return 0;
    S19Reader reader;
    const TalkerStatus status = reader.readFile(path);
    fuzzExpect(status == kTalkerOk || status == kTalkerS19Invalid,
               "S19 read of a regular file gave status " + std::to_string(status));
    if (size > S19Reader::kMaxFileSize)
        fuzzExpect(status == kTalkerS19Invalid, "an S19 file over the size limit was accepted");
    if (status != kTalkerOk) {
        fuzzExpect(reader.records().empty(), "a rejected S19 file left records behind");
        fuzzExpect(reader.problem().rfind("line ", 0) == 0 || reader.problem().rfind("the file ", 0) == 0,
                   "a rejected S19 file does not say where it is wrong: " + reader.problem());
        return 0;
    }
    fuzzExpect(!reader.records().empty(), "an S19 file without data was accepted");

    const std::vector<S19Record>& records = reader.records();
    size_t dataBytes = 0;
    for (const S19Record& r : records) {
        fuzzExpect(r.address <= 0xFFFF, "S19 record address above $FFFF");
        fuzzExpect(r.dataLength <= 252, "S19 record longer than 252 data bytes");
        fuzzExpect(r.dataLength >= 1 && r.data.size() == r.dataLength, "S19 record without its data");
        dataBytes += r.dataLength;
        // Every record needs "S1ccaaaa", its data digits and a checksum in the file.
        fuzzExpect(10u + 2u * r.dataLength <= size, "S19 record longer than the file holding it");
    }

    RecordingTarget target;
    applyRecords(reader, target);
    size_t written = 0;
    for (const auto& w : target.writes)
        written += w.count;
    fuzzExpect(written == dataBytes, "the load loop did not write every data byte once");
    fuzzExpect(dataBytes <= S19Reader::kMaxDataBytes, "an S19 file with more than 64 KB of data was accepted");

    // Written back as canonical text, the records must read back unchanged (also via the parser
    // alone), and loading that text must leave the same memory image.
    for (bool withEnd : {false, true}) {
        const std::string text = toText(records, withEnd);
        S19Reader again;
        fuzzExpect(again.parse(text) == kTalkerOk, "canonical S19 text was rejected");
        fuzzExpect(sameRecords(records, again.records()), "S19 records changed on a round trip");
        RecordingTarget second;
        applyRecords(again, second);
        fuzzExpect(second.memory == target.memory, "a reloaded S19 text left a different image");
    }
    return 0;
}
