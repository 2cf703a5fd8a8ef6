#include "engine/DataFiles.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

#ifndef TARVIK11_BUILD_TREE
#define TARVIK11_BUILD_TREE ""
#endif
#ifndef TARVIK11_BUILD_DATA_FOLDER
#define TARVIK11_BUILD_DATA_FOLDER ""
#endif
#ifndef TARVIK11_DATA_FROM_EXECUTABLE
#define TARVIK11_DATA_FROM_EXECUTABLE ""
#endif
#ifndef TARVIK11_INSTALLED_DATA_FOLDER
#define TARVIK11_INSTALLED_DATA_FOLDER ""
#endif

// The path with symbolic links resolved as far as it exists, or lexically normalised when that fails.
fs::path resolved(const std::string& path)
{
    std::error_code error;
    fs::path p = fs::weakly_canonical(path, error);
    return error ? fs::path(path).lexically_normal() : p;
}

// True when path lies in folder or below it, comparing whole components.
bool isInside(const fs::path& path, const fs::path& folder)
{
    auto p = path.begin();
    for (auto f = folder.begin(); f != folder.end(); ++f, ++p) {
        if (f->empty()) // a trailing separator
            continue;
        if (p == path.end() || *p != *f)
            return false;
    }
    return true;
}

bool isRegularFile(const fs::path& path)
{
    std::error_code error;
    return fs::is_regular_file(path, error);
}

bool holdsS19File(const fs::path& folder)
{
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error)
        return false;
    for (const fs::directory_entry& entry : it) {
        std::error_code ignored;
        if (entry.path().extension() == ".s19" && entry.is_regular_file(ignored))
            return true;
    }
    return false;
}

} // namespace

DataFileLayout DataFileLayout::configured()
{
    return {TARVIK11_BUILD_TREE, TARVIK11_BUILD_DATA_FOLDER, TARVIK11_DATA_FROM_EXECUTABLE,
            TARVIK11_INSTALLED_DATA_FOLDER};
}

std::vector<std::string> dataSearchFolders(const DataFileLayout& layout, const std::string& workingFolder,
                                           const std::string& executable)
{
    std::vector<std::string> folders;
    auto add = [&folders](const fs::path& folder) {
        const std::string text = folder.lexically_normal().string();
        if (!folder.empty() && std::find(folders.begin(), folders.end(), text) == folders.end())
            folders.push_back(text);
    };
    add(workingFolder);
    if (!executable.empty() && !layout.buildTree.empty() && !layout.buildDataFolder.empty()
        && isInside(resolved(executable), resolved(layout.buildTree)))
        add(layout.buildDataFolder);
    if (!executable.empty() && !layout.dataFromExecutable.empty())
        add(fs::path(executable).parent_path() / layout.dataFromExecutable);
    add(layout.installedDataFolder);
    return folders;
}

std::string findTalkerFileIn(const std::vector<std::string>& folders)
{
    for (const std::string& folder : folders) {
        const fs::path file = fs::path(folder) / kTalkerFileName;
        if (isRegularFile(file))
            return file.string();
    }
    return {};
}

std::string findSamplesFolderIn(const std::vector<std::string>& folders)
{
    for (const std::string& folder : folders) {
        const fs::path samples = fs::path(folder) / kSamplesFolderName;
        if (holdsS19File(samples))
            return samples.string();
    }
    return {};
}

std::string runningExecutable()
{
    std::error_code error;
    const fs::path exe = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string() : exe.string();
}

std::vector<std::string> dataSearchFolders()
{
    std::error_code error;
    const fs::path working = fs::current_path(error);
    return dataSearchFolders(DataFileLayout::configured(), error ? std::string() : working.string(),
                             runningExecutable());
}

std::string findTalkerFile()
{
    return findTalkerFileIn(dataSearchFolders());
}

std::string findSamplesFolder()
{
    return findSamplesFolderIn(dataSearchFolders());
}

std::string talkerFileFor(const std::string& setting)
{
    return talkerFileFor(setting, dataSearchFolders());
}

std::string talkerFileFor(const std::string& setting, const std::vector<std::string>& folders)
{
    if (!setting.empty() && setting != kTalkerFileName)
        return setting;
    const std::string found = findTalkerFileIn(folders);
    return found.empty() ? std::string(kTalkerFileName) : found;
}
