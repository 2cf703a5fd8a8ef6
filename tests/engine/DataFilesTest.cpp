#include "engine/DataFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A fresh folder under the temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "tarvik11-data-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            path_ = fs::path(pattern);
    }
    ~TempFolder()
    {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// Changes the working folder for its lifetime.
class WorkingFolder {
public:
    explicit WorkingFolder(const fs::path& folder) : previous_(fs::current_path()) { fs::current_path(folder); }
    ~WorkingFolder() { fs::current_path(previous_); }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

private:
    fs::path previous_;
};

void writeFile(const fs::path& path)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "x";
}

// The four places a lookup can find data in, laid out under one temporary root:
//   work/                         the working folder
//   build/target/                 the build tree's data folder (build/ is the build tree)
//   prefix/bin/prog               the running program, data in prefix/share/tarvik11/
//   configured/share/tarvik11/    the configured installed data folder
enum Place { kWork = 1, kBuild = 2, kBesideProgram = 4, kConfigured = 8 };

struct Tree {
    fs::path root;
    DataFileLayout layout;
    fs::path work, buildData, besideProgram, configured, program;

    explicit Tree(const fs::path& r) : root(r)
    {
        work = root / "work";
        buildData = root / "build" / "target";
        besideProgram = root / "prefix" / "share" / "tarvik11";
        configured = root / "configured" / "share" / "tarvik11";
        program = root / "prefix" / "bin" / "prog";
        layout = {(root / "build").string(), buildData.string(), "../share/tarvik11", configured.string()};
        for (const fs::path& p : {work, buildData, besideProgram, configured, program.parent_path()})
            fs::create_directories(p);
    }
    fs::path folder(Place place) const
    {
        switch (place) {
        case kWork: return work;
        case kBuild: return buildData;
        case kBesideProgram: return besideProgram;
        case kConfigured: return configured;
        }
        return {};
    }
};

std::string normal(const fs::path& p)
{
    return p.lexically_normal().string();
}

TEST(DataFiles, TalkerAndSamplesComeFromTheFirstPlaceHoldingThem)
{
    struct Case {
        const char* name;
        int holding;          // places holding a talker and samples
        bool programInBuild;  // the running program lies inside the build tree
        int expected;         // the place found, 0 for none
    };
    const std::vector<Case> cases = {
        {"working folder first", kWork | kBuild | kBesideProgram | kConfigured, true, kWork},
        {"build tree next", kBuild | kBesideProgram | kConfigured, true, kBuild},
        {"build tree ignored by an installed program", kBuild | kBesideProgram | kConfigured, false,
         kBesideProgram},
        {"beside the program before the configured folder", kBesideProgram | kConfigured, false, kBesideProgram},
        {"configured folder last", kConfigured, false, kConfigured},
        {"build tree alone, installed program", kBuild, false, 0},
        {"nowhere", 0, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder temp;
        Tree tree(temp.path());
        for (Place place : {kWork, kBuild, kBesideProgram, kConfigured})
            if (c.holding & place) {
                writeFile(tree.folder(place) / "ambrel.boo");
                writeFile(tree.folder(place) / "examples" / "loops.s19");
            }
        const fs::path program = c.programInBuild ? tree.root / "build" / "cli" / "prog" : tree.program;
        const std::vector<std::string> folders = dataSearchFolders(tree.layout, tree.work.string(), program.string());
        const std::string talker = findTalkerFileIn(folders);
        const std::string samples = findSamplesFolderIn(folders);
        if (c.expected == 0) {
            EXPECT_EQ(talker, "");
            EXPECT_EQ(samples, "");
            EXPECT_EQ(talkerFileFor("", folders), "ambrel.boo"); // the error then names the file
        } else {
            const fs::path where = tree.folder(Place(c.expected));
            EXPECT_EQ(normal(talker), normal(where / "ambrel.boo"));
            EXPECT_EQ(normal(samples), normal(where / "examples"));
            EXPECT_EQ(normal(talkerFileFor("", folders)), normal(where / "ambrel.boo"));
            EXPECT_EQ(normal(talkerFileFor("ambrel.boo", folders)), normal(where / "ambrel.boo"));
        }
        // A file the user named is never replaced, found or not.
        EXPECT_EQ(talkerFileFor("mine.boo", folders), "mine.boo");
        EXPECT_EQ(talkerFileFor("/elsewhere/ambrel.boo", folders), "/elsewhere/ambrel.boo");
    }
}

TEST(DataFiles, LookalikesAreSkipped)
{
    TempFolder temp;
    Tree tree(temp.path());
    // In the working folder: a folder named like the talker, and a samples folder without S19 files.
    fs::create_directories(tree.work / "ambrel.boo");
    writeFile(tree.work / "examples" / "loops.lst");
    fs::create_directories(tree.work / "examples" / "old.s19");
    writeFile(tree.configured / "ambrel.boo");
    writeFile(tree.configured / "examples" / "loops.s19");

    const std::vector<std::string> folders = dataSearchFolders(tree.layout, tree.work.string(), tree.program.string());
    EXPECT_EQ(normal(findTalkerFileIn(folders)), normal(tree.configured / "ambrel.boo"));
    EXPECT_EQ(normal(findSamplesFolderIn(folders)), normal(tree.configured / "examples"));
}

TEST(DataFiles, BuildTreeIsTakenOnlyForProgramsInsideIt)
{
    TempFolder temp;
    Tree tree(temp.path());
    fs::create_directories(tree.root / "build" / "cli");
    fs::create_directories(tree.root / "build-pkg" / "cli");
    fs::create_directory_symlink(tree.root / "build", tree.root / "linked-build");

    struct Case {
        const char* name;
        fs::path program;
        std::string buildTree;
        bool taken;
    };
    const std::vector<Case> cases = {
        {"inside", tree.root / "build" / "cli" / "prog", (tree.root / "build").string(), true},
        {"build tree given with a trailing separator", tree.root / "build" / "cli" / "prog",
         (tree.root / "build").string() + "/", true},
        {"build tree given through a link", tree.root / "build" / "cli" / "prog",
         (tree.root / "linked-build").string(), true},
        {"program started through a link", tree.root / "linked-build" / "cli" / "prog",
         (tree.root / "build").string(), true},
        {"a sibling whose name starts alike", tree.root / "build-pkg" / "cli" / "prog",
         (tree.root / "build").string(), false},
        {"installed", tree.program, (tree.root / "build").string(), false},
        {"no build tree configured", tree.root / "build" / "cli" / "prog", "", false},
        {"program unknown", "", (tree.root / "build").string(), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DataFileLayout layout = tree.layout;
        layout.buildTree = c.buildTree;
        const std::vector<std::string> folders = dataSearchFolders(layout, tree.work.string(), c.program.string());
        const bool taken = std::find(folders.begin(), folders.end(), normal(tree.buildData)) != folders.end();
        EXPECT_EQ(taken, c.taken);
        // The others are searched all the same, each once.
        EXPECT_EQ(folders.front(), normal(tree.work));
        EXPECT_EQ(folders.back(), normal(tree.configured));
        EXPECT_EQ(std::set<std::string>(folders.begin(), folders.end()).size(), folders.size());
    }
}

// This test program runs from the build tree, so without a talker in the working folder it finds
// the build's own; a talker in the working folder comes first.
TEST(DataFiles, ThisProcessFindsTheBuildsDataUnlessTheWorkingFolderHasIts)
{
    const DataFileLayout layout = DataFileLayout::configured();
    EXPECT_EQ(normal(layout.buildDataFolder), normal(fs::path(TARVIK11_TALKER_FILE).parent_path()));
    EXPECT_TRUE(fs::path(layout.dataFromExecutable).is_relative()) << layout.dataFromExecutable;
    EXPECT_EQ(fs::path(layout.installedDataFolder).filename(), "tarvik11");
    EXPECT_EQ(fs::path(runningExecutable()).filename(), "tarvik11_datafiles_tests");

    TempFolder temp;
    WorkingFolder inTemp(temp.path());
    EXPECT_EQ(fs::canonical(findTalkerFile()), fs::canonical(TARVIK11_TALKER_FILE));
    EXPECT_EQ(fs::canonical(findSamplesFolder()), fs::canonical(TARVIK11_EXAMPLES_DIR));
    EXPECT_EQ(fs::canonical(talkerFileFor("ambrel.boo")), fs::canonical(TARVIK11_TALKER_FILE));

    writeFile(temp.path() / "ambrel.boo");
    writeFile(temp.path() / "examples" / "mine.s19");
    EXPECT_EQ(fs::canonical(findTalkerFile()), fs::canonical(temp.path() / "ambrel.boo"));
    EXPECT_EQ(fs::canonical(findSamplesFolder()), fs::canonical(temp.path() / "examples"));
}

} // namespace
