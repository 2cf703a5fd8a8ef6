#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// A private temporary folder for the files the fuzz entries write (in TMPDIR, else /dev/shm, else
// /tmp); created on first use and removed with everything in it when the process ends.
class FuzzScratch {
public:
    // The folder's path (empty when it could not be created).
    static const std::string& folder();
    // folder() + "/" + name.
    static std::string path(const std::string& name);
    // Replaces the file at path with size bytes of data; false on any failure.
    static bool writeFile(const std::string& path, const uint8_t* data, size_t size);
};
