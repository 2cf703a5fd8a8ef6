#pragma once
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// The assembler listing that belongs to an S19 file: the path without its extension, plus ".lst".
// Only a dot in the file's own name starts an extension, so "build.v2/prog" gives
// "build.v2/prog.lst" and a leading dot (".hidden") is part of the name.
inline std::string listingPathFor(const std::string& s19Path)
{
    const size_t slash = s19Path.find_last_of('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = s19Path.find_last_of('.');
    if (dot == std::string::npos || dot <= nameStart)
        return s19Path + ".lst";
    return s19Path.substr(0, dot) + ".lst";
}

// Largest listing file read, in bytes.
inline constexpr long long kMaxListingBytes = 16LL * 1024 * 1024;

namespace listing_detail {

// A descriptor for reading path when it is a regular file (a link to one counts) of at most
// kMaxListingBytes, else -1. The open does not block: a FIFO would otherwise wait for a writer.
inline int openListing(const std::string& path)
{
    if (path.empty() || path.find('\0') != std::string::npos)
        return -1;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxListingBytes) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace listing_detail

// True when path names a listing that may be read: a regular file of at most 16 MB. A folder,
// FIFO, device or missing file is refused at once, without blocking.
inline bool listingFileUsable(const std::string& path)
{
    const int fd = listing_detail::openListing(path);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

// Appends the lines of the listing at path to lines, without their line ends (LF, CR LF or a lone
// CR) and without a leading UTF-8 byte order mark; a last line without a line end counts. False,
// with lines untouched, when listingFileUsable refuses the file or it cannot be read whole (or
// grows past the limit while being read).
inline bool readListingLines(const std::string& path, std::vector<std::string>& lines)
{
    const int fd = listing_detail::openListing(path);
    if (fd < 0)
        return false;
    std::string text;
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 || static_cast<long long>(text.size()) + got > kMaxListingBytes) {
            ::close(fd);
            return false;
        }
        if (got == 0)
            break;
        text.append(chunk, static_cast<size_t>(got));
    }
    ::close(fd);

    std::vector<std::string> read;
    size_t pos = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (pos < text.size()) {
        const size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) {
            read.push_back(text.substr(pos));
            break;
        }
        read.push_back(text.substr(pos, end - pos));
        pos = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
    lines.insert(lines.end(), read.begin(), read.end());
    return true;
}
