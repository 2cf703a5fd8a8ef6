#include "FuzzCheck.h"
#include "FuzzEntries.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

namespace {

using Entry = int (*)(const uint8_t*, size_t);

struct Target {
    const char* name; // folder under corpus-regressions
    Entry entry;
};

const Target kTargets[] = {
    {"s19_load", fuzzS19Load},
    {"parse_number", fuzzNumberParse},
    {"serial_mode", fuzzSerialMode},
    {"talker_file", fuzzTalkerFile},
    {"talker_reply", fuzzTalkerReply},
    {"elf_program", fuzzElfProgram},
#ifdef TARVIK11_FUZZ_WITH_QT
    {"listing_reader", fuzzListingReader},
    {"settings_store", fuzzSettingsStore},
#endif
};

// Test names and messages show the target's folder name.
void PrintTo(const Target& target, std::ostream* out) { *out << target.name; }

// The saved inputs of a target, then its fuzzing seeds (which take every operation down its
// successful path).
std::vector<std::filesystem::path> inputsOf(const std::string& target) {
    std::vector<std::filesystem::path> files;
    for (const char* root : {TARVIK11_FUZZ_REGRESSIONS, TARVIK11_FUZZ_SEEDS}) {
        std::vector<std::filesystem::path> found;
        std::error_code error;
        for (const auto& item : std::filesystem::directory_iterator(std::filesystem::path(root) / target, error))
            if (item.is_regular_file())
                found.push_back(item.path());
        std::sort(found.begin(), found.end());
        files.insert(files.end(), found.begin(), found.end());
    }
    return files;
}

class CorpusReplay : public ::testing::TestWithParam<Target> {
protected:
    void TearDown() override { setFuzzFailureHandler({}); }
};

// Every saved input and seed runs through its entry without a failed check (the sanitizer builds also
// catch memory faults and undefined behaviour on the way).
TEST_P(CorpusReplay, SavedInputsPass) {
    const auto files = inputsOf(GetParam().name);
    if (files.empty())
        GTEST_SKIP() << "no saved inputs for " << GetParam().name;
    std::string current;
    setFuzzFailureHandler([&current](const std::string& what) { ADD_FAILURE() << current << ": " << what; });
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        current = file.parent_path().filename().string() + "/" + file.filename().string();
        EXPECT_EQ(GetParam().entry(bytes.data(), bytes.size()), 0) << current;
    }
}

INSTANTIATE_TEST_SUITE_P(Fuzz, CorpusReplay, ::testing::ValuesIn(kTargets),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
