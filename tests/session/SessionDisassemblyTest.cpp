// The disassembly command on the virtual board: the program's bytes under planted breakpoints,
// names from the map loaded with the program, the range's edges, and the map's life.
#include "SessionRig.h"

#include <algorithm>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

class SessionDisassembly : public SessionRig {
protected:
    // The line of the instruction at address ("c008  ..."), or empty.
    static std::string lineAt(const CommandResult& r, const std::string& address)
    {
        for (const std::string& line : r.lines)
            if (line.rfind(address + "  ", 0) == 0)
                return line;
        return {};
    }
    static bool has(const CommandResult& r, const std::string& line)
    {
        return std::find(r.lines.begin(), r.lines.end(), line) != r.lines.end();
    }
};

TEST_F(SessionDisassembly, ShowsTheProgramUnderPlantedBreakpointsWithNames)
{
    bootAndLoad("counter");
    ok(session->setBreakpoint("$cc00"));
    ok(session->execute(std::string("$cc0a")));
    // The program counts on in its loop, the SWI at $cc00 planted and never reached.
    ASSERT_EQ(raw(0xCC00), DebugEngine::kSwiOpcode);

    const CommandResult r = session->disassemble("$cc00", "$cc0b");
    ok(r);
    EXPECT_TRUE(has(r, "main:"));
    EXPECT_TRUE(has(r, "loop:"));
    EXPECT_NE(lineAt(r, "cc00").find("8E DF FF        lds    #$dfff"), std::string::npos) << lineAt(r, "cc00");
    EXPECT_NE(lineAt(r, "cc06").find("stx    count"), std::string::npos) << lineAt(r, "cc06");
    EXPECT_NE(lineAt(r, "cc0a").find("ldx    count"), std::string::npos) << lineAt(r, "cc0a");
    for (const std::string& line : r.lines)
        EXPECT_EQ(line.find("swi"), std::string::npos) << line;
    // The last instruction that starts in the range is shown whole, nothing after it.
    EXPECT_EQ(r.rangeStart, 0xCC00u);
    EXPECT_EQ(r.rangeEnd, 0xCC0Cu);
    EXPECT_EQ(lineAt(r, "cc0d"), "");
    EXPECT_EQ(raw(0xCC00), DebugEngine::kSwiOpcode) << "the disassembly leaves our SWIs where they are";
    ok(session->stop());
}

TEST_F(SessionDisassembly, RangesAndRefusals)
{
    bootAndLoad("loops");
    const CommandResult byDefault = session->disassemble("$c000", "");
    ok(byDefault);
    EXPECT_EQ(byDefault.rangeStart, 0xC000u);
    EXPECT_GE(byDefault.rangeEnd, 0xC000u + DebugSession::kDisassemblyBytes - 1);
    EXPECT_LE(byDefault.rangeEnd, 0xC000u + DebugSession::kDisassemblyBytes + 3);

    // A label of the program stands for its address (the S19's map has no line table).
    const CommandResult byName = session->disassemble("loops", "");
    ok(byName);
    EXPECT_EQ(byName.rangeStart, 0xC000u);

    const CommandResult top = session->disassemble("$fffe", "$ffff");
    ok(top);
    EXPECT_EQ(top.rangeEnd, 0xFFFFu) << "never past the address space";

    struct Refusal {
        const char* start;
        const char* end;
    };
    for (const Refusal& c : {Refusal{"$c010", "$c000"}, Refusal{"$10000", ""}, Refusal{"$c000", "$10000"},
                             Refusal{"nosuchlabel", ""}, Refusal{"$c000", "zz"}, Refusal{"loops.s:3", ""}}) {
        SCOPED_TRACE(std::string(c.start) + " " + c.end);
        const CommandResult r = session->disassemble(c.start, c.end);
        EXPECT_FALSE(r.ok());
        EXPECT_FALSE(r.refusal.empty());
        EXPECT_TRUE(r.lines.empty());
    }
}

TEST_F(SessionDisassembly, TheMapComesAndGoesWithThePrograms)
{
    bootAndLoad("recursion");
    EXPECT_EQ(session->symbols().addressOf("recurse"), 0xDC11);
    EXPECT_TRUE(has(session->disassemble("$dc00", "$dc10"), "main:"));

    // The same program without its map (its listing beside it): no names, and no box to dismiss.
    const fs::path folder = fs::temp_directory_path() / ("tarvik11_disasm_" + std::to_string(::getpid()));
    fs::create_directories(folder);
    fs::copy_file(example("recursion.s19"), folder / "bare.s19", fs::copy_options::overwrite_existing);
    fs::copy_file(example("recursion.lst"), folder / "bare.lst", fs::copy_options::overwrite_existing);
    const CommandResult loaded = session->loadS19((folder / "bare.s19").string());
    ok(loaded);
    EXPECT_TRUE(loaded.notes.empty());
    EXPECT_TRUE(session->symbols().empty());
    const CommandResult bare = session->disassemble("$dc00", "$dc10");
    ok(bare);
    EXPECT_FALSE(has(bare, "main:"));
    EXPECT_NE(lineAt(bare, "dc00").find("8E"), std::string::npos);

    // Neither listing nor map: only the listing's note.
    fs::remove(folder / "bare.lst");
    const CommandResult alone = session->loadS19((folder / "bare.s19").string());
    ok(alone);
    EXPECT_EQ(alone.notes, std::vector<std::string>{"Unable to open LST file, S19 loaded successfully"});
    fs::remove_all(folder);
}

} // namespace
