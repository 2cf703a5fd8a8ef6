#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The assembled test images (images/*.s) and what is built from them.
namespace testimages {
// The raw bytes of images/<name>.s as assembled; empty when missing.
std::vector<uint8_t> load(const std::string& name);
// A bootstrap download of an image: $FF, then the image padded with $00 to 256 bytes.
std::vector<uint8_t> download(const std::vector<uint8_t>& image);
// A directory of its own under the system's temporary directory, removed by the caller.
std::string makeTempDir();
// Removes a directory made by makeTempDir with everything in it.
void removeTree(const std::string& dir);
} // namespace testimages
