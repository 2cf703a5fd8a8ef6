#include "FuzzCheck.h"
#include "FuzzEntries.h"
#include "FuzzScratch.h"
#include "engine/ElfProgram.h"

#include <string>
#include <vector>

namespace {

// What a read that succeeded promises: records inside $0000-$FFFF with their data, a line table
// whose rows name its files and lie in the address space.
void checkProgram(const ElfProgram& program)
{
    fuzzExpect(program.error().empty(), "a good ELF read left an error: " + program.error());
    fuzzExpect(!program.records().empty(), "an ELF program without code or data was accepted");
    for (const S19Record& r : program.records()) {
        fuzzExpect(r.dataLength >= 1 && r.data.size() == r.dataLength, "an ELF record without its data");
        fuzzExpect(r.dataLength <= ElfProgram::kRecordBytes, "an ELF record longer than a record may be");
        fuzzExpect(r.address + r.dataLength <= 0x10000, "an ELF record reaching beyond $ffff");
    }
    const SourceLines& lines = program.lines();
    for (const SourceLines::Row& row : lines.rows()) {
        fuzzExpect(row.address <= 0x10000, "a line table row beyond the address space");
        fuzzExpect(row.file < lines.files().size(), "a line table row naming no file of the table");
    }
}

bool sameProgram(const ElfProgram& a, const ElfProgram& b)
{
    if (a.entry() != b.entry() || a.records().size() != b.records().size() || a.symbols() != b.symbols() ||
        a.lines().rows().size() != b.lines().rows().size() || a.lines().files() != b.lines().files())
        return false;
    for (size_t i = 0; i < a.records().size(); ++i)
        if (a.records()[i].address != b.records()[i].address || a.records()[i].data != b.records()[i].data)
            return false;
    return true;
}

} // namespace

int fuzzElfProgram(const uint8_t* data, size_t size)
{
    const std::vector<char> image(reinterpret_cast<const char*>(data), reinterpret_cast<const char*>(data) + size);
    ElfProgram program;
    const TalkerStatus status = program.parse(image, "fuzz.elf");
    fuzzExpect(status == kTalkerOk || status == kTalkerS19Invalid,
               "ELF read of an image gave status " + std::to_string(status));
    if (status != kTalkerOk) {
        fuzzExpect(!program.error().empty(), "a rejected ELF image does not say what is wrong");
        fuzzExpect(program.records().empty() && program.symbols().empty() && program.lines().empty(),
                   "a rejected ELF image left part of a program behind");
    } else {
        checkProgram(program);
    }

    // The same bytes read from a file give the same outcome, and a reader used before forgets
    // its earlier program.
    const std::string path = FuzzScratch::path("program.elf");
    if (!FuzzScratch::writeFile(path, data, size))
        return 0;
    ElfProgram again;
    if (again.parse({'x'}, "other.elf") == kTalkerOk)
        fuzzExpect(false, "a one-byte image was read as a program");
    const TalkerStatus fromFile = again.readFile(path);
    fuzzExpect(fromFile == status, "the file and the image of the same bytes were read differently");
    if (status == kTalkerOk && fromFile == kTalkerOk)
        fuzzExpect(sameProgram(program, again), "the file and the image of the same bytes gave different programs");
    return 0;
}
