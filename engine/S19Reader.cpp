#include "engine/S19Reader.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// An address or data field: leading blanks skipped, digits up to the first non-hexadecimal
// character, never past the field; a field without digits counts as 0.
uint32_t fieldValue(const std::string& text, size_t start, size_t width)
{
    size_t i = start;
    const size_t end = start + width;
    while (i < end && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    uint32_t value = 0;
    for (; i < end && hexDigit(text[i]) >= 0; ++i)
        value = value * 16 + static_cast<uint32_t>(hexDigit(text[i]));
    return value;
}

} // namespace

TalkerStatus S19Reader::readFile(const std::string& path)
{
    records_.clear();
    // A path with a NUL would name another file; a FIFO or device would block the open or the
    // read (O_NONBLOCK keeps the open from waiting for a writer): only regular files are taken.
    if (path.empty() || path.find('\0') != std::string::npos)
        return kTalkerS19OpenFailed;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return kTalkerS19OpenFailed;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return kTalkerS19OpenFailed;
    }
    if (static_cast<unsigned long long>(info.st_size) > kMaxFileSize) {
        ::close(fd);
        return kTalkerS19Invalid;
    }
    std::string text(static_cast<size_t>(info.st_size), '\0');
    size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    if (got < text.size())
        return kTalkerS19ReadFailed;
    return parse(text);
}

TalkerStatus S19Reader::parse(const std::string& fileText)
{
    records_.clear();
    const std::string text = fileText.substr(0, fileText.find('\0'));
    std::vector<S19Record> records;
    size_t pos = 0;
    while ((pos = text.find('S', pos)) != std::string::npos) {
        // "S", type, two count digits; the count covers address, data and checksum bytes.
        if (pos + 4 > text.size())
            return kTalkerS19Invalid;
        if (text[pos + 1] != '1' && text[pos + 1] != '9')
            return kTalkerS19Invalid;
        const int high = hexDigit(text[pos + 2]);
        const int low = hexDigit(text[pos + 3]);
        if (high < 0 || low < 0)
            return kTalkerS19Invalid;
        const size_t count = static_cast<size_t>(high * 16 + low);
        if (count < 3)
            return kTalkerS19Invalid;
        // The count must name exactly the characters up to the line end: a count that runs
        // past it would take the next record's characters as data, one that stops short would
        // leave characters unread.
        size_t lineEnd = text.find_first_of("\r\n", pos);
        if (lineEnd == std::string::npos)
            lineEnd = text.size();
        if (lineEnd - pos != 4 + 2 * count)
            return kTalkerS19Invalid;

        S19Record record;
        record.address = fieldValue(text, pos + 4, 4);
        record.dataLength = static_cast<uint8_t>(count - 3);
        // Data running past $FFFF would wrap into $0000, over the talker itself.
        if (record.address + record.dataLength > 0x10000u)
            return kTalkerS19Invalid;
        for (size_t i = 0; i < record.dataLength; ++i)
            record.data[i] = static_cast<uint8_t>(fieldValue(text, pos + 8 + 2 * i, 2));
        records.push_back(record);
        pos += 8 + 2 * record.dataLength;
    }
    records_ = std::move(records);
    return kTalkerOk;
}

uint64_t S19Reader::dataBytes() const
{
    uint64_t total = 0;
    for (const S19Record& r : records_)
        total += r.dataLength;
    return total;
}
