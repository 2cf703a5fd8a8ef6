#pragma once
#include <string>
#include <vector>

// Where the talker and the sample programs (S19 files with their listings and maps) are found,
// whichever front end asks and wherever it was started: beside the working folder, in the build
// tree, in the installed data folder next to the running program, in the configured data folder.

// The talker's file name.
inline constexpr const char* kTalkerFileName = "ambrel.boo";
// The name of the folder that holds the sample programs.
inline constexpr const char* kSamplesFolderName = "examples";

// The places a build knows of, fixed when it is configured.
struct DataFileLayout {
    std::string buildTree;           // the build tree; its data serves only programs run from inside it
    std::string buildDataFolder;     // the build tree's folder holding the talker and examples/
    std::string dataFromExecutable;  // the installed data folder relative to the program's folder
    std::string installedDataFolder; // the configured installed data folder

    // The layout this build was configured with.
    static DataFileLayout configured();
};

// The folders searched, in order: the working folder, the build tree's data folder (only when the
// executable lies inside the build tree), the data folder relative to the executable's folder, the
// configured installed data folder. Unknown places are left out and each folder is listed once.
std::vector<std::string> dataSearchFolders(const DataFileLayout& layout, const std::string& workingFolder,
                                           const std::string& executable);

// The talker file in the first folder that holds one as a regular file, or empty.
std::string findTalkerFileIn(const std::vector<std::string>& folders);
// The samples folder in the first folder whose samples folder holds at least one .s19 file, or empty.
std::string findSamplesFolderIn(const std::vector<std::string>& folders);

// The running program's absolute path, or empty when it cannot be told.
std::string runningExecutable();
// The folders this process searches (the configured layout, the working folder, this program).
std::vector<std::string> dataSearchFolders();

// This process's talker file, or empty when none is found.
std::string findTalkerFile();
// This process's samples folder, or empty when none is found.
std::string findSamplesFolder();
// The talker file to download for a talker setting: a file the user named is kept as it is; an
// empty setting or the bare default name is searched for, and stays the bare default name when
// nowhere found, so that the error names the file that is missing.
std::string talkerFileFor(const std::string& setting);
// The same, searching the given folders.
std::string talkerFileFor(const std::string& setting, const std::vector<std::string>& folders);
