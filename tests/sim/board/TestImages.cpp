#include "TestImages.h"
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace testimages {

std::vector<uint8_t> load(const std::string& name) {
    std::ifstream in(std::string(BOARD_TEST_IMAGE_DIR) + "/" + name + ".bin", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> download(const std::vector<uint8_t>& image) {
    std::vector<uint8_t> out(257, 0x00);
    out[0] = 0xFF;
    for (size_t i = 0; i < image.size() && i < 256; ++i)
        out[i + 1] = image[i];
    return out;
}

std::string makeTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tarvik11-board-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        return {};
    return pattern;
}

void removeTree(const std::string& dir) {
    std::error_code ec;
    if (!dir.empty())
        std::filesystem::remove_all(dir, ec);
}

} // namespace testimages
