#include "FuzzScratch.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace {

// TMPDIR when set, else shared memory when writable (file saves that sync to disk would
// dominate the run time), else /tmp.
std::string baseFolder() {
    if (const char* base = std::getenv("TMPDIR"); base && *base)
        return base;
    if (::access("/dev/shm", W_OK | X_OK) == 0)
        return "/dev/shm";
    return "/tmp";
}

std::string makeFolder() {
    std::string pattern = baseFolder() + "/tarvik11-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        return {};
    static const std::string removeAtExit = pattern;
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(removeAtExit, ignored);
    });
    return pattern;
}

} // namespace

const std::string& FuzzScratch::folder() {
    static const std::string folder = makeFolder();
    return folder;
}

std::string FuzzScratch::path(const std::string& name) { return folder() + "/" + name; }

bool FuzzScratch::writeFile(const std::string& path, const uint8_t* data, size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    size_t done = 0;
    while (done < size) {
        const ssize_t put = ::write(fd, data + done, size - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            break;
        done += static_cast<size_t>(put);
    }
    return ::close(fd) == 0 && done == size;
}
