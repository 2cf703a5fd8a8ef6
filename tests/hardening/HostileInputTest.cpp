// Corrupt or hostile files given to the engine: a clear status, nothing sent to the target for a
// malformed S19 file, no hang on a FIFO or a device, nothing read beyond the file.
#include "SampleTarget.h"
#include "TempDir.h"

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
    valid252 += "00\n";
    struct Case {
        const char* name;
        std::string text;
        TalkerStatus status;
    };
    const std::vector<Case> cases = {
        {"count beyond the file", "S1FFC000010203\n", kTalkerS19Invalid},
        {"count beyond the file at its very end", "S1FF", kTalkerS19Invalid},
        {"count below the address", "S102C000\n", kTalkerS19Invalid},
        {"count digits missing", "S1\n", kTalkerS19Invalid},
        {"a lone S", "S", kTalkerS19Invalid},
        {"an S at the end of a good record", "S104C0000100S", kTalkerS19Invalid},
        {"type digit not 1 or 9", "S204C0000100\n", kTalkerS19Invalid},
        {"count not hexadecimal", "S1G4C0000100\n", kTalkerS19Invalid},
        {"binary noise", noise, kTalkerS19Invalid},
        {"16 KB of S", std::string(16384, 'S'), kTalkerS19Invalid},
        {"one byte over 16 KB", std::string(16385, '\n'), kTalkerS19Invalid},
        {"a NUL before the second record", std::string("S104C0000100\n\0S1FF", 18), kTalkerOk},
        {"a NUL inside the first record", std::string("S104C0\0" "000100\n", 14), kTalkerS19Invalid},
        {"the longest record", valid252, kTalkerOk},
    };
    SampleTarget& t = *target_;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir_.file("hostile.s19");
        writeFile(path, c.text);
        t.session.setFaults({}); // zeroes the line counts
        EXPECT_EQ(t.engine.loadS19(path), c.status);
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
        {dir_.file("empty"), kTalkerOk, kTalkerFileInvalid, -1},
        // Text without an "S" holds no record: nothing to load.
        {dir_.file("long"), kTalkerOk, kTalkerFileInvalid, -1},
        {unreadable, root ? kTalkerOk : kTalkerS19OpenFailed, root ? -1 : kTalkerFileOpenFailed,
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
