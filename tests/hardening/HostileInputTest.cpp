// Corrupt or hostile files given to the engine: a clear status, nothing sent to the target for a
// malformed S19 file, no hang on a FIFO or a device, nothing read beyond the file.
#include "SampleTarget.h"
#include "TempDir.h"
#include "engine/S19Reader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class HostileInput : public ::testing::Test {
protected:
    void SetUp() override
    {
        target_ = std::make_unique<SampleTarget>(dir_.path(), BoardSession::Options{});
        std::string error;
        ASSERT_TRUE(target_->prepare(&error)) << error;
    }
    TempDir dir_;
    std::unique_ptr<SampleTarget> target_;
};

TEST_F(HostileInput, MalformedS19FilesWriteNothing)
{
    std::mt19937 random(42);
    std::string noise(8000, '\0');
    for (char& c : noise)
        c = static_cast<char>(random());
    std::string valid252 = "S1FFC000";
    for (int i = 0; i < 252; ++i)
        valid252 += "01";
    valid252 += "44\n"; // $FF + $C0 + 252 ones = $2BB
    struct Case {
        const char* name;
        std::string text;
        TalkerStatus status;
        const char* problem; // what the refusal says
    };
    const std::vector<Case> cases = {
        {"a wrong checksum", "S104C0000100\n", kTalkerS19Invalid, "line 1: the checksum is $00, but the record's bytes give $3a"},
        {"non-hex characters", "S104C000013A\nS106C000GG37ZZ00\n", kTalkerS19Invalid,
         "line 2: column 9: 'G' is not a hexadecimal digit"},
        {"an empty file", "", kTalkerS19Invalid, "the file holds no data records (S1)"},
        {"only header and end", "S00600004844521B\nS9030000FC\n", kTalkerS19Invalid, "the file holds no data records (S1)"},
        {"no upper-case S record", "hello\n", kTalkerS19Invalid, "line 1: the line starts with 'h', not an S record"},
        {"a lower-case record", "s104C000013A\n", kTalkerS19Invalid, "line 1: a record must start with an upper-case 'S'"},
        {"a leading NUL", std::string("\0S104C000013A\n", 14), kTalkerS19Invalid,
         "line 1: the line starts with a NUL byte, not an S record"},
        {"a NUL inside a record", std::string("S104C0\0" "00013A\n", 14), kTalkerS19Invalid,
         "line 1: column 7: a NUL byte is not a hexadecimal digit"},
        {"over the register block", "S104C000013A\nS1041030AA11\n", kTalkerS19Invalid,
         "line 2: data at $1030 would be written into the register block ($1000-$103f)"},
        {"count beyond the line", "S1FFC000010203\n", kTalkerS19Invalid, "line 1: the count $ff names 255 bytes, but the line holds 5"},
        {"count below the address", "S102C000\n", kTalkerS19Invalid, "line 1: the count $02 is below 3"},
        {"a lone S", "S", kTalkerS19Invalid, "line 1: the record is cut short"},
        {"two records on one line", "S104C000013AS9030000FC", kTalkerS19Invalid, "line 1: column 13: 'S' is not a hexadecimal digit"},
        {"a 24-bit record", "S2050100000100\n", kTalkerS19Invalid, "line 1: S2 records carry addresses over 16 bits"},
        {"data running past $ffff", "S107FFFE01020304F1\n", kTalkerS19Invalid, "line 1: the data at $fffe runs past $ffff"},
        {"count stopping short of the line end", "S103C0003C00\n", kTalkerS19Invalid,
         "line 1: the count $03 names 3 bytes, but the line holds 4"},
        {"line end inside the data", "S105C00001\n023F\n", kTalkerS19Invalid, "line 1: the count $05 names 5 bytes"},
        {"count digits missing", "S1\n", kTalkerS19Invalid, "line 1: the record is cut short"},
        {"count not hexadecimal", "S1G4C000013A\n", kTalkerS19Invalid, "line 1: column 3: 'G' is not a hexadecimal digit"},
        {"an S at the end of a good record", "S104C000013AS", kTalkerS19Invalid, "line 1: column 13: 'S'"},
        {"16 KB of S", std::string(16384, 'S'), kTalkerS19Invalid, "line 1: SS is no S-record type"},
        {"a NUL before the second record", std::string("S104C000013A\n\0S1FF", 18), kTalkerS19Invalid,
         "line 2: the line starts with a NUL byte"},
        {"blank lines only", std::string(16385, '\n'), kTalkerS19Invalid, "the file holds no data records (S1)"},
        {"binary noise", noise, kTalkerS19Invalid, "line "},
        {"over 4 MB", std::string(S19Reader::kMaxFileSize + 1, '\n'), kTalkerS19Invalid, "the file is 4194305 bytes"},
        {"the longest record", valid252, kTalkerOk, ""},
    };
    SampleTarget& t = *target_;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir_.file("hostile.s19");
        writeFile(path, c.text);
        t.session.setFaults({}); // zeroes the line counts
        EXPECT_EQ(t.engine.loadS19(path), c.status);
        EXPECT_EQ(t.engine.s19Problem().rfind(c.problem, 0), 0u) << t.engine.s19Problem();
        if (c.status != kTalkerOk) {
            EXPECT_EQ(t.session.lineBytes(), 0u) << "nothing went to the target";
            EXPECT_EQ(t.engine.verifyS19(path), c.status);
        } else {
            EXPECT_EQ(t.engine.verifyS19(path), kTalkerOk);
        }
    }
    // The records that were loaded landed in the loops area; put it back, then all is as loaded.
    ASSERT_EQ(t.engine.loadS19(SampleTarget::example("loops.s19")), kTalkerOk);
    EXPECT_TRUE(t.damage().differing.empty());
}

TEST_F(HostileInput, FilesThatAreNoRegularFilesAreRefusedAtOnce)
{
    SampleTarget& t = *target_;
    const std::string fifo = dir_.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string unreadable = dir_.file("unreadable");
    writeFile(unreadable, std::string(257, '\xFF'));
    ::chmod(unreadable.c_str(), 0);
    const bool root = ::geteuid() == 0; // root reads whatever the mode says
    writeFile(dir_.file("empty"), "");
    writeFile(dir_.file("long"), std::string(258, '\x01'));

    struct Case {
        std::string path;
        TalkerStatus s19, ramTalker, romTalker; // -1: not checked
    };
    const std::vector<Case> cases = {
        {dir_.path(), kTalkerS19OpenFailed, kTalkerFileOpenFailed, kTalkerMapFileFailed},
        {fifo, kTalkerS19OpenFailed, kTalkerFileOpenFailed, kTalkerMapFileFailed},
        {"/dev/zero", kTalkerS19OpenFailed, kTalkerFileOpenFailed, kTalkerMapFileFailed},
        {dir_.file("missing"), kTalkerS19OpenFailed, kTalkerFileOpenFailed, kTalkerMapFileFailed},
        {std::string("/etc/passwd\0.s19", 16), kTalkerS19OpenFailed, kTalkerFileOpenFailed, kTalkerMapFileFailed},
        {"", kTalkerS19OpenFailed, kTalkerFileOpenFailed, kTalkerMapFileFailed},
        {dir_.file("empty"), kTalkerS19Invalid, kTalkerFileInvalid, -1},
        // Text without an S record holds nothing to load.
        {dir_.file("long"), kTalkerS19Invalid, kTalkerFileInvalid, -1},
        {unreadable, root ? kTalkerS19Invalid : kTalkerS19OpenFailed, root ? -1 : kTalkerFileOpenFailed,
         root ? -1 : kTalkerMapFileFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(t.engine.loadS19(c.path), c.s19);
        EXPECT_EQ(t.engine.verifyS19(c.path), c.s19);
        if (c.ramTalker >= 0) {
            EXPECT_EQ(t.engine.startTalker(t.session.device(), TalkerType::Ram, c.path, ChipMode::SpecialTest, 1), c.ramTalker);
        }
        if (c.romTalker >= 0) {
            EXPECT_EQ(t.engine.startTalker(t.session.device(), TalkerType::Rom, c.path, ChipMode::SpecialTest, 0), c.romTalker);
        }
    }
    // The refused starts sent nothing the board took: it still boots.
    EXPECT_EQ(t.session.bootRom(), kTalkerOk);
    EXPECT_TRUE(t.damage().differing.empty());
}

} // namespace
