#pragma once
#include <cerrno>
#include <fcntl.h>
#include <iterator>
#include <string>
#include <string_view>
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

// Calls take(line) for every line of the listing at path, without its line end (LF, CR LF or a
// lone CR) and without a leading UTF-8 byte order mark; a last line without a line end counts. The
// file is read in pieces, so only the line at hand is held. False when listingFileUsable refuses
// the file or it cannot be read whole (or grows past the limit while being read); the lines
// before the failure have been given by then.
template <typename Take>
bool forEachListingLine(const std::string& path, Take&& take)
{
    const int fd = listing_detail::openListing(path);
    if (fd < 0)
        return false;
    std::string line;          // the line being read
    bool first = true;         // nothing read yet: a byte order mark may come
    bool afterCr = false;      // the last byte was a CR: an LF now ends nothing more
    bool open = false;         // a line has started (or a line end is due for it)
    long long total = 0;
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 || (total += got) > kMaxListingBytes) {
            ::close(fd);
            return false;
        }
        if (got == 0)
            break;
        size_t i = 0;
        if (first) {
            first = false;
            // A byte order mark split over two reads is too rare to look for.
            if (got >= 3 && std::string_view(chunk, 3) == "\xEF\xBB\xBF")
                i = 3;
        }
        for (; i < static_cast<size_t>(got); ++i) {
            const char c = chunk[i];
            if (c == '\n' && afterCr) {
                afterCr = false;
                continue;
            }
            afterCr = c == '\r';
            if (c == '\r' || c == '\n') {
                take(std::string_view(line));
                line.clear();
                open = false;
                continue;
            }
            line += c;
            open = true;
        }
    }
    ::close(fd);
    if (open)
        take(std::string_view(line));
    return true;
}

// Most listing lines kept for a view: far more than a listing of the whole 64 KB address space
// needs, so that a file of millions of lines that carry nothing cannot take the memory.
inline constexpr size_t kMaxListingLines = 262144;

// Appends the lines of the listing at path to lines (as forEachListingLine gives them), at most
// kMaxListingLines; cut (when given) tells whether lines were left out past that. False, with
// lines untouched, when listingFileUsable refuses the file or it cannot be read whole.
inline bool readListingLines(const std::string& path, std::vector<std::string>& lines, bool* cut = nullptr)
{
    std::vector<std::string> read;
    bool more = false;
    const bool ok = forEachListingLine(path, [&](std::string_view line) {
        if (read.size() < kMaxListingLines)
            read.emplace_back(line);
        else
            more = true;
    });
    if (!ok)
        return false;
    lines.insert(lines.end(), std::make_move_iterator(read.begin()), std::make_move_iterator(read.end()));
    if (cut)
        *cut = more;
    return true;
}
